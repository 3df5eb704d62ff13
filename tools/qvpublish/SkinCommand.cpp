// qvpublish skin [--mode 0|1|2] TEXTS OUT
//
// Writes a language file from a translator's text source (format in
// SkinSource.h). One row per text, in source order:
//   number 1000 (kind 4), identifier (kind 4), text A, text B (kind-3 UTF-8)
// The setup program asks for the identifiers in kProgramTextIds; a source
// without one of them is written all the same (the product may add its own
// texts first), with a warning on stderr.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "core/TableFile.h"
#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/SkinSource.h"
#include "tools/qvpublish/TableOutput.h"
#include "tools/qvpublish/ToolSupport.h"

const char kSkinUsage[] =
    "  qvpublish skin [--mode 0|1|2] TEXTS OUT         write a language file from a text source\n";

namespace {

const int32_t kTextRow = 1000;  // first cell of a row that holds one text
const int32_t kProgramTextIds[] = {10206, 10208, 10210, 10211, 10212, 10213, 10214, 10215, 10220};

bool ReadWholeFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

bool BuildTable(const CSkinSource& source, CTableFile& table)
{
    for (const SkinEntry& entry : source.Entries()) {
        bool ok = table.AddRow() && table.AddNumber4(kTextRow) && table.AddNumber4(entry.id) &&
                  AddUtf8Cell(table, entry.textA) && AddUtf8Cell(table, entry.textB);
        if (!ok)
            return false;
    }
    return true;
}

void WarnAboutMissingTexts(const CSkinSource& source, const std::string& path)
{
    std::string missing;
    for (int32_t id : kProgramTextIds) {
        bool found = false;
        for (const SkinEntry& entry : source.Entries())
            found = found || entry.id == id;
        if (!found)
            missing += (missing.empty() ? "" : ", ") + std::to_string(id);
    }
    if (!missing.empty())
        fprintf(stderr, "qvpublish: warning: %s has no text for %s (the setup program uses them)\n",
                path.c_str(), missing.c_str());
}

} // namespace

int RunSkinCommand(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"mode"}, error))
        return UsageError(error);
    if (options.Positional().size() != 2)
        return UsageError("skin needs TEXTS and OUT");
    int mode = kDefaultPublishMode;
    if (!ReadPublishMode(options, mode, error))
        return UsageError(error);
    const std::string& path = options.Positional()[0];
    const std::string& out = options.Positional()[1];

    std::string text;
    if (!ReadWholeFile(path, text))
        return Fail("cannot read " + path);
    CSkinSource source;
    if (!source.Parse(text, error))
        return Fail(path + ": " + error);
    if (source.Entries().empty())
        return Fail(path + ": no texts (a language file needs at least one)");
    CTableFile table;
    if (!BuildTable(source, table))
        return Fail("out of memory");
    if (!SaveTable(table, out, mode, error))
        return Fail(error);
    WarnAboutMissingTexts(source, path);
    return kExitOk;
}
