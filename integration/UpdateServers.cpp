#include "integration/UpdateServers.h"

const char kPrimaryUpdateHost[] = QV_PRIMARY_UPDATE_HOST;
const char kSecondaryUpdateHost[] = QV_SECONDARY_UPDATE_HOST;
const char kConfigServerPath[] = "/TKAS/AccessFile/Update5/Personal/KorvaneFree";
const int kConfigServerPort = QV_CONFIG_SERVER_PORT;
