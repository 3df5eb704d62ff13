// The update servers the installer asks for its configuration file. Their host
// names are build settings (CMake cache variables QV_PRIMARY_UPDATE_HOST and
// QV_SECONDARY_UPDATE_HOST); a test build points both at loopback.
#pragma once

extern const char kPrimaryUpdateHost[];
extern const char kSecondaryUpdateHost[];
// Path and port of the configuration file on both servers.
extern const char kConfigServerPath[]; // "/TKAS/AccessFile/Update5/Personal/KorvaneFree"
const int kConfigServerPort = 80;
