#include "update/PatchListReader.h"

#include "update/TableFile.h"

namespace {

// Reads the current cell as text (empty when it is missing or a number).
std::string ReadText(const CTableFile& table)
{
    std::string text;
    table.GetText(text);
    return text;
}

// The text without leading and trailing blanks (spaces only).
std::string TrimmedBlanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

void ReadPatchListRows(CTableFile& table, std::string header[2], std::deque<PatchRecord>& records)
{
    if (table.HasCell()) {
        header[0] = ReadText(table);
        table.NextCell();
        header[1] = ReadText(table);
        table.NextCell();
    }
    while (table.NextRow() && table.HasCell()) {
        PatchRecord record;
        record.remoteFolder = TrimmedBlanks(ReadText(table));
        table.NextCell();
        record.fileMd5 = ReadText(table);
        table.NextCell();
        record.targetFolder = ReadText(table);
        table.NextCell();
        record.fileName = ReadText(table);
        table.NextCell();
        record.restartKind = ReadText(table);
        table.NextCell();
        record.releaseStamp = ReadText(table);
        table.NextCell();
        record.packageName = ReadText(table);
        table.NextCell();
        record.packageMd5 = ReadText(table);
        table.NextCell();
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
