#include "core/ConfigRecord.h"

namespace {

// Cells 1 to 81 of the configuration file's first row. Names of cells that no
// code interprets say only where they stand.
const ConfigCellLayout kLayout[CONFIG_CELL_COUNT] = {
    {CONFIG_TEXT, "productCode"},          // 1
    {CONFIG_TEXT, "serviceName"},          // 2
    {CONFIG_TEXT, "text3"},                // 3
    {CONFIG_TEXT, "productKeyLocation"},   // 4
    {CONFIG_NUMBER6, "option5"},           // 5
    {CONFIG_NUMBER6, "option6"},
    {CONFIG_NUMBER6, "option7"},
    {CONFIG_NUMBER6, "option8"},
    {CONFIG_NUMBER6, "option9"},
    {CONFIG_NUMBER4, "option10"},          // 10
    {CONFIG_TEXT, "text11"},
    {CONFIG_TEXT, "text12"},
    {CONFIG_NUMBER4, "option13"},
    {CONFIG_NUMBER6, "option14"},
    {CONFIG_TEXT, "text15"},               // 15
    {CONFIG_NUMBER4, "option16"},
    {CONFIG_NUMBER4, "option17"},
    {CONFIG_NUMBER4, "option18"},
    {CONFIG_NUMBER4, "option19"},
    {CONFIG_NUMBER4, "option20"},          // 20
    {CONFIG_NUMBER4, "option21"},
    {CONFIG_TEXT, "text22"},
    {CONFIG_NUMBER4, "option23"},
    {CONFIG_NUMBER4, "option24"},
    {CONFIG_NUMBER4, "option25"},          // 25
    {CONFIG_NUMBER4, "option26"},
    {CONFIG_TEXT, "text27"},
    {CONFIG_TEXT, "text28"},
    {CONFIG_TEXT, "text29"},
    {CONFIG_TEXT, "text30"},               // 30
    {CONFIG_NUMBER4, "postInstallFlags"},  // 31
    {CONFIG_NUMBER4, "option32"},
    {CONFIG_NUMBER4, "option33"},
    {CONFIG_NUMBER4, "option34"},
    {CONFIG_NUMBER4, "option35"},          // 35
    {CONFIG_NUMBER4, "option36"},
    {CONFIG_NUMBER4, "option37"},
    {CONFIG_NUMBER4, "option38"},
    // 39 to 74: twelve server entries of host list, path and port.
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_TEXT, "host"}, {CONFIG_TEXT, "path"}, {CONFIG_NUMBER5, "port"},
    {CONFIG_NUMBER4, "option75"},          // 75
    {CONFIG_NUMBER4, "option76"},
    {CONFIG_NUMBER6, "option77"},
    {CONFIG_TEXT, "text78"},
    {CONFIG_NUMBER6, "option79"},
    {CONFIG_TEXT, "programVersion"},       // 80
    {CONFIG_TEXT, "text81"},               // 81
};

const std::string kEmpty;

bool InRange(int index) { return index >= 0 && index < CONFIG_CELL_COUNT; }

int ServerCell(int entry) { return CONFIG_FIRST_SERVER_CELL + 3 * entry; }

} // namespace

const ConfigCellLayout& ConfigLayout(int index)
{
    static const ConfigCellLayout kNone = {CONFIG_TEXT, ""};
    return InRange(index) ? kLayout[index] : kNone;
}

const char kDefaultProgramVersion[] = "v5.0.0.1";

ConfigRecord::ConfigRecord()
{
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i)
        numbers_[i] = 0;
    SetProgramVersion(kDefaultProgramVersion);
    for (int entry = 0; entry < 10; ++entry)
        numbers_[ServerCell(entry) + 2] = 80;
}

const std::string& ConfigRecord::Text(int index) const { return InRange(index) ? texts_[index] : kEmpty; }

int32_t ConfigRecord::Number(int index) const { return InRange(index) ? numbers_[index] : 0; }

void ConfigRecord::SetText(int index, const std::string& text)
{
    if (InRange(index))
        texts_[index] = text;
}

void ConfigRecord::SetNumber(int index, int32_t value)
{
    if (InRange(index))
        numbers_[index] = value;
}

ConfigServer ConfigRecord::Server(int entry) const
{
    ConfigServer server;
    if (entry < 0 || entry >= CONFIG_SERVER_COUNT)
        return server;
    server.hostList = texts_[ServerCell(entry)];
    server.path = texts_[ServerCell(entry) + 1];
    server.port = numbers_[ServerCell(entry) + 2];
    return server;
}

void ConfigRecord::SetServer(int entry, const ConfigServer& server)
{
    if (entry < 0 || entry >= CONFIG_SERVER_COUNT)
        return;
    texts_[ServerCell(entry)] = server.hostList;
    texts_[ServerCell(entry) + 1] = server.path;
    numbers_[ServerCell(entry) + 2] = server.port;
}
