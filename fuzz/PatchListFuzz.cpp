// Fuzz target: a patch list as the engine reads it, from any bytes: the table
// file, the record rows and the name check every record's names go through
// before anything is fetched or written. Beyond returning without a crash or
// an out-of-bounds read, every record must come from a row of the table, and
// a record whose names pass the check must name plain files only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "core/NameCheck.h"
#include "core/PatchListReader.h"
#include "core/TableFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CTableFile table;
    if (!table.OpenImage(data, size, nullptr, 0))
        return 0;
    std::string header[2];
    std::deque<PatchRecord> records;
    ReadPatchListRows(table, header, records);
    if (records.size() + 1 > table.RowCount())
        abort();
    for (const PatchRecord& record : records) {
        if (IsPlainFileName(record.fileName) &&
            (record.fileName.find_first_of("\\/:") != std::string::npos || record.fileName == ".."))
            abort();
        IsPlainFileName(record.packageName);
        IsPlainRelativePath(record.remoteFolder);
    }
    return 0;
}
