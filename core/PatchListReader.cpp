#include "core/PatchListReader.h"

#include "core/StringUtil.h"
#include "core/TableFile.h"

namespace {

// Reads the current cell as text (empty when it is missing or a number).
std::string ReadText(const CTableFile& table)
{
    std::string text;
    table.GetText(text);
    return text;
}

} // namespace

void ReadPatchListRows(CTableFile& table, std::string header[2], std::deque<PatchRecord>& records)
{
    // Each text cell is read, then the cursor moves on to the next.
    auto text = [&table]() {
        std::string value = ReadText(table);
        table.NextCell();
        return value;
    };
    if (table.HasCell()) {
        header[0] = text();
        header[1] = text();
    }
    while (table.NextRow() && table.HasCell()) {
        PatchRecord record;
        record.remoteFolder = TrimmedBlanks(text());
        record.fileMd5 = text();
        record.targetFolder = text();
        record.fileName = text();
        record.restartKind = text();
        record.releaseStamp = text();
        record.packageName = text();
        record.packageMd5 = text();
        // A size cell of another kind counts as 0 for this record.
        record.size = 0;
        table.GetNumber4(record.size);
        table.NextCell();
        table.GetNumber6(record.registerFlag);
        table.NextCell();
        table.GetNumber6(record.deleteFlag);
        table.NextCell();
        records.push_back(record);
    }
}
