// qvpublish config [--mode 0|1|2] [--sign KEYFILE --serial N] CONFIG.json OUT
//
// Writes the configuration file "QVConfig.dat": one row of 81 cells, in the
// order and kinds of ConfigLayout (core/ConfigRecord.h), the layout the
// installer's loader reads. Texts are stored as kind-3 UTF-8 cells, numbers
// in the kind the layout names (4, 5 or 6).
//
// CONFIG.json is one UTF-8 JSON object. Its members name cells by their
// layout names; whatever is not named keeps the default of ConfigRecord:
//   text cells    productCode, serviceName, text3, productKeyLocation, text11,
//                 text12, text15, text22, text27..text30, text78,
//                 programVersion, text81                      JSON strings
//   number cells  option5..option10, option13, option14, option16..option21,
//                 option23..option26, postInstallFlags, option32..option38,
//                 option75, option76, option77, option79     JSON integers
//                                                           (32-bit signed)
//   "servers"     array of at most 12 entries; position N is server entry N
//                 (0 configuration, 1 program, 2 database, 10 news). Each
//                 entry is null (all defaults) or an object with any of
//                 "host" (host names separated by ";"), "path", "port"
//                 (0 to 65535).
// An unknown member, a value of the wrong type, a number out of range or a
// text holding a zero character is an error and OUT is left as it was: a
// typo must never publish a default.
//
// With --sign, OUT.sig is written too: the file's release signature for the
// channel "config" (core/ReleaseSignature.h), put in place just before
// OUT itself.
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "core/ConfigRecord.h"
#include "core/TableFile.h"
#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/JsonInput.h"
#include "tools/qvpublish/ReleaseSigning.h"
#include "tools/qvpublish/TableOutput.h"
#include "tools/qvpublish/ToolSupport.h"

using nlohmann::json;

const char kConfigUsage[] =
    "  qvpublish config [--mode 0|1|2] [--sign KEYFILE --serial N] CONFIG.json OUT\n"
    "                                                  write QVConfig.dat from a JSON description\n";

namespace {

const int kLastServerCell = CONFIG_FIRST_SERVER_CELL + 3 * CONFIG_SERVER_COUNT - 1;
const int32_t kHighestPort = 65535;

bool IsServerCell(int index) { return index >= CONFIG_FIRST_SERVER_CELL && index <= kLastServerCell; }

// Index of the cell outside the server table whose layout name is name; -1 if none.
int FindNamedCell(const std::string& name)
{
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i)
        if (!IsServerCell(i) && name == ConfigLayout(i).name)
            return i;
    return -1;
}

bool ReadText(const json& value, const std::string& what, std::string& text, std::string& error)
{
    if (!value.is_string()) {
        error = what + " must be a string, not " + JsonTypeName(value);
        return false;
    }
    text = value.get<std::string>();
    if (!IsCleanUtf8(text)) {
        error = what + " must not hold a zero character";
        return false;
    }
    return true;
}

bool ReadNumber(const json& value, const std::string& what, int32_t& number, std::string& error)
{
    if (!JsonToInt32(value, number)) {
        error = what + " must be an integer from -2147483648 to 2147483647, not " +
                (value.is_number_integer() ? value.dump() : JsonTypeName(value));
        return false;
    }
    return true;
}

bool ApplyServer(const json& entry, int index, ConfigRecord& record, std::string& error)
{
    std::string where = "servers[" + std::to_string(index) + "]";
    if (entry.is_null())
        return true;
    if (!entry.is_object()) {
        error = where + " must be an object with host, path and port, or null";
        return false;
    }
    ConfigServer server = record.Server(index);
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        std::string what = where + "." + it.key();
        if (it.key() == "host") {
            if (!ReadText(it.value(), what, server.hostList, error))
                return false;
        } else if (it.key() == "path") {
            if (!ReadText(it.value(), what, server.path, error))
                return false;
        } else if (it.key() == "port") {
            if (!ReadNumber(it.value(), what, server.port, error))
                return false;
            if (server.port < 0 || server.port > kHighestPort) {
                error = what + " must be from 0 to 65535";
                return false;
            }
        } else {
            error = "unknown member \"" + it.key() + "\" in " + where + " (host, path, port)";
            return false;
        }
    }
    record.SetServer(index, server);
    return true;
}

bool ApplyServers(const json& servers, ConfigRecord& record, std::string& error)
{
    if (!servers.is_array()) {
        error = "servers must be an array, not " + JsonTypeName(servers);
        return false;
    }
    if (servers.size() > static_cast<size_t>(CONFIG_SERVER_COUNT)) {
        error = "servers has " + std::to_string(servers.size()) + " entries; the configuration holds 12";
        return false;
    }
    for (size_t i = 0; i < servers.size(); ++i)
        if (!ApplyServer(servers[i], static_cast<int>(i), record, error))
            return false;
    return true;
}

// Fills record from the JSON description; false with error set.
bool ApplyDescription(const json& description, ConfigRecord& record, std::string& error)
{
    if (!description.is_object()) {
        error = "the configuration must be a JSON object";
        return false;
    }
    for (auto it = description.begin(); it != description.end(); ++it) {
        const std::string& name = it.key();
        if (name == "servers") {
            if (!ApplyServers(it.value(), record, error))
                return false;
            continue;
        }
        int index = FindNamedCell(name);
        if (index < 0) {
            error = "unknown field \"" + name + "\"";
            return false;
        }
        if (ConfigLayout(index).kind == CONFIG_TEXT) {
            std::string text;
            if (!ReadText(it.value(), name, text, error))
                return false;
            record.SetText(index, text);
        } else {
            int32_t number = 0;
            if (!ReadNumber(it.value(), name, number, error))
                return false;
            record.SetNumber(index, number);
        }
    }
    return true;
}

// The configuration file's only row, cell by cell as the loader reads it.
bool BuildTable(const ConfigRecord& record, CTableFile& table)
{
    if (!table.AddRow())
        return false;
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i) {
        bool ok = false;
        switch (ConfigLayout(i).kind) {
        case CONFIG_TEXT: ok = AddUtf8Cell(table, record.Text(i)); break;
        case CONFIG_NUMBER4: ok = table.AddNumber4(record.Number(i)); break;
        case CONFIG_NUMBER5: ok = table.AddNumber5(record.Number(i)); break;
        case CONFIG_NUMBER6: ok = table.AddNumber6(record.Number(i)); break;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

int RunConfigCommand(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"mode", "sign", "serial"}, error))
        return UsageError(error);
    if (options.Positional().size() != 2)
        return UsageError("config needs CONFIG.json and OUT");
    int mode = kDefaultPublishMode;
    if (!ReadPublishMode(options, mode, error))
        return UsageError(error);
    CReleaseKey key;
    SigningRequest request;
    bool signing = false;
    if (int code = ReadSigningOptions(options, false, key, request, signing))
        return code;
    const std::string& source = options.Positional()[0];
    const std::string& out = options.Positional()[1];

    json description;
    if (!ReadJsonFile(source, description, error))
        return Fail(error);
    ConfigRecord record;
    if (!ApplyDescription(description, record, error))
        return Fail(source + ": " + error);
    CTableFile table;
    if (!BuildTable(record, table))
        return Fail("out of memory");
    if (!signing) {
        if (!SaveTable(table, out, mode, error))
            return Fail(error);
        WarnOfStaleSignature(out);
        return kExitOk;
    }
    // The signature describes the bytes saved in the temporary file, and
    // goes into place before they replace OUT.
    std::string signError;
    bool saved = ReplaceFile(
        out,
        [&](const std::string& temporary) {
            return table.Save(temporary.c_str(), nullptr, 0, mode, true) &&
                   WriteSignatureFor(request, temporary, out + ".sig", signError);
        },
        error);
    if (!saved)
        return Fail(signError.empty() ? error : signError);
    return kExitOk;
}
