// qvpublish table: table files as JSON lines.
//
// One line per row, a JSON array of cells:
//   {"kind":K,"text":"..."}   kinds 1 to 3 (UTF-8 in the JSON)
//   {"kind":K,"number":N}     kinds 4 to 6 (32-bit signed)
// "dump" prints the text as CTableFile::GetText delivers it (code page 949)
// converted to UTF-8, and the kind the table reports (text read from a file
// is kind 3). "make" stores kind 1 in code page 949, kind 2 in UTF-16 and
// kind 3 as UTF-8 with its terminating zero.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "core/TableFile.h"
#include "core/TextConvert.h"
#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/ToolSupport.h"

using nlohmann::json;

const char kTableUsage[] =
    "  qvpublish table dump FILE [--key HEX]           print the rows as JSON lines\n"
    "  qvpublish table make --mode 0|1|2 [--key HEX] OUT  write JSON lines from stdin\n";

namespace {

// Frees a TextConvert result.
struct ConvertedDeleter {
    void operator()(const void* p) const { FreeConverted(p); }
};
typedef std::unique_ptr<char[], ConvertedDeleter> ConvertedText;
typedef std::unique_ptr<WideChar[], ConvertedDeleter> ConvertedWide;

std::string AnsiToUtf8String(const std::string& ansi)
{
    int length = 0;
    ConvertedText utf8(AnsiToUtf8(ansi.c_str(), &length));
    return utf8 ? std::string(utf8.get()) : std::string();
}

bool ReadKeyOption(const CToolOptions& options, std::vector<unsigned char>& key, std::string& error)
{
    key.clear();
    if (!options.Has("key"))
        return true;
    if (!ParseHexKey(options.Value("key"), key)) {
        error = "--key needs an even number of hexadecimal digits";
        return false;
    }
    return true;
}

json CellToJson(const CTableFile& table)
{
    int kind = table.CellKind();
    int32_t number = 0;
    switch (kind) {
    case CELL_NUMBER4: table.GetNumber4(number); return json{{"kind", kind}, {"number", number}};
    case CELL_NUMBER5: table.GetNumber5(number); return json{{"kind", kind}, {"number", number}};
    case CELL_NUMBER6: table.GetNumber6(number); return json{{"kind", kind}, {"number", number}};
    default: break;
    }
    std::string text;
    table.GetText(text);
    return json{{"kind", kind}, {"text", AnsiToUtf8String(text)}};
}

int Dump(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"key"}, error))
        return UsageError(error);
    if (options.Positional().size() != 1)
        return UsageError("table dump needs exactly one FILE");
    std::vector<unsigned char> key;
    if (!ReadKeyOption(options, key, error))
        return UsageError(error);
    const std::string& path = options.Positional()[0];

    CTableFile table;
    if (!table.Open(path.c_str(), key.empty() ? nullptr : key.data(), key.size()))
        return Fail("cannot open table file " + path + " (missing, unreadable, damaged or wrong key)");
    do {
        json row = json::array();
        for (bool more = table.HasCell(); more; more = table.NextCell())
            row.push_back(CellToJson(table));
        std::cout << row.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
    } while (table.NextRow());
    std::cout.flush();
    return std::cout.good() ? kExitOk : Fail("cannot write the output");
}

// Appends one JSON cell to the current row; false with error set.
bool AddJsonCell(CTableFile& table, const json& cell, std::string& error)
{
    if (!cell.is_object() || !cell.contains("kind") || !cell["kind"].is_number_integer()) {
        error = "a cell must be an object with an integer \"kind\"";
        return false;
    }
    long long kind = cell["kind"].get<long long>();
    bool hasText = cell.contains("text");
    bool hasNumber = cell.contains("number");
    if (kind >= CELL_NUMBER4 && kind <= CELL_NUMBER6) {
        if (!hasNumber || hasText || !cell["number"].is_number_integer()) {
            error = "a kind " + std::to_string(kind) + " cell needs an integer \"number\" and no \"text\"";
            return false;
        }
        // is_number_integer covers unsigned values too: compare without narrowing.
        const json& n = cell["number"];
        bool inRange = n.is_number_unsigned() ? n.get<unsigned long long>() <= INT32_MAX
                                              : n.get<long long>() >= INT32_MIN && n.get<long long>() <= INT32_MAX;
        if (!inRange) {
            error = "number out of the 32-bit signed range";
            return false;
        }
        int32_t value = static_cast<int32_t>(n.get<long long>());
        bool ok = kind == CELL_NUMBER4 ? table.AddNumber4(value)
                  : kind == CELL_NUMBER5 ? table.AddNumber5(value) : table.AddNumber6(value);
        if (!ok)
            error = "out of memory";
        return ok;
    }
    if (kind < CELL_ANSI_TEXT || kind > CELL_BYTES) {
        error = "unknown cell kind " + std::to_string(kind) + " (kinds are 1 to 6)";
        return false;
    }
    if (!hasText || hasNumber || !cell["text"].is_string()) {
        error = "a kind " + std::to_string(kind) + " cell needs a string \"text\" and no \"number\"";
        return false;
    }
    const std::string& text = cell["text"].get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos) {
        error = "a text cannot hold a zero character";
        return false;
    }
    bool ok = false;
    if (kind == CELL_ANSI_TEXT) {
        int length = 0;
        ConvertedText ansi(Utf8ToAnsi(text.c_str(), &length));
        if (!ansi || AnsiToUtf8String(ansi.get()) != text) {
            error = "text \"" + text + "\" cannot be written in code page 949";
            return false;
        }
        ok = table.AddText(ansi.get(), false);
    } else if (kind == CELL_WIDE_TEXT) {
        ConvertedWide wide(Utf8ToWide(text.c_str(), nullptr));
        ok = wide && table.AddWideText(wide.get(), false);
    } else {
        // UTF-8 with its terminating zero.
        unsigned char* block = static_cast<unsigned char*>(malloc(text.size() + 1));
        if (block) {
            memcpy(block, text.c_str(), text.size() + 1);
            ok = table.AddBytes(block, text.size() + 1);
        }
    }
    if (!ok)
        error = "out of memory";
    return ok;
}

// Reads JSON lines from in into table; false with error set.
bool ReadRows(std::istream& in, CTableFile& table, std::string& error)
{
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::string where = "line " + std::to_string(lineNumber) + ": ";
        json row = json::parse(line, nullptr, false);
        if (row.is_discarded()) {
            error = where + "malformed JSON";
            return false;
        }
        if (!row.is_array()) {
            error = where + "a row must be a JSON array of cells";
            return false;
        }
        if (!table.AddRow()) {
            error = where + "out of memory";
            return false;
        }
        for (size_t i = 0; i < row.size(); ++i) {
            if (!AddJsonCell(table, row[i], error)) {
                error = where + "cell " + std::to_string(i + 1) + ": " + error;
                return false;
            }
        }
    }
    if (in.bad()) {
        error = "cannot read the input";
        return false;
    }
    return true;
}

int Make(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"mode", "key"}, error))
        return UsageError(error);
    if (options.Positional().size() != 1)
        return UsageError("table make needs exactly one OUT file");
    std::string mode = options.Value("mode");
    if (mode != "0" && mode != "1" && mode != "2")
        return UsageError("table make needs --mode 0, 1 or 2");
    std::vector<unsigned char> key;
    if (!ReadKeyOption(options, key, error))
        return UsageError(error);
    const std::string& out = options.Positional()[0];

    CTableFile table;
    if (!ReadRows(std::cin, table, error))
        return Fail(error);
    int codecMode = mode[0] - '0';
    bool saved = ReplaceFile(
        out,
        [&](const std::string& temporary) {
            return table.Save(temporary.c_str(), key.empty() ? nullptr : key.data(), key.size(), codecMode, true);
        },
        error);
    if (!saved)
        return Fail(error + " (a table needs at least one cell)");
    return kExitOk;
}

} // namespace

int RunTableCommand(const ToolArgs& args)
{
    if (args.empty())
        return UsageError("table needs a command: dump or make");
    ToolArgs rest(args.begin() + 1, args.end());
    if (args[0] == "dump")
        return Dump(rest);
    if (args[0] == "make")
        return Make(rest);
    return UsageError("unknown table command \"" + args[0] + "\"");
}
