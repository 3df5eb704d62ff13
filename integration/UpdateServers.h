// The update servers the installer asks for its configuration file. Their host
// names and port are build settings (CMake cache variables
// QV_PRIMARY_UPDATE_HOST, QV_SECONDARY_UPDATE_HOST and QV_CONFIG_SERVER_PORT,
// 80 unless set); a test build points them at a loopback server.
#pragma once

extern const char kPrimaryUpdateHost[];
extern const char kSecondaryUpdateHost[];
// Path and port of the configuration file on both servers.
extern const char kConfigServerPath[]; // "/TKAS/AccessFile/Update5/Personal/KorvaneFree"
extern const int kConfigServerPort;
