#include "integration/TextTable.h"

#include "core/TableFile.h"
#include "integration/ProductSettings.h"

#include "platform/PathKind.h"

#include <windows.h>

CTextTable g_textTable;

namespace {

const int32_t ROW_TEXT = 1000;    // identifier, text A, text B
const int32_t ROW_SKIPPED = 1003; // three cells the installer does not use

} // namespace

bool CTextTable::Load()
{
    std::string path;
    g_productSettings.GetLanguageFilePath(path);
    return LoadFile(path);
}

bool CTextTable::LoadFile(const std::string& path)
{
    texts_.clear();
    if (!IsExistingFile(path))
        return false;

    CTableFile table;
    if (!table.Open(path.c_str(), nullptr, 0))
        return true; // a damaged file leaves the table empty
    do {
        int32_t rowKind = 0;
        if (!table.GetNumber4(rowKind) && !table.GetNumber5(rowKind) && !table.GetNumber6(rowKind))
            continue;
        table.NextCell();
        if (rowKind == ROW_TEXT) {
            int32_t id = 0;
            if (!table.GetNumber4(id) && !table.GetNumber5(id) && !table.GetNumber6(id))
                continue;
            table.NextCell();
            std::string textA, textB;
            table.GetText(textA);
            table.NextCell();
            table.GetText(textB);
            texts_.emplace(id, std::make_pair(textA, textB)); // the first text of an identifier stays
        } else if (rowKind == ROW_SKIPPED) {
            table.NextCell();
            table.NextCell();
            table.NextCell();
        }
    } while (table.NextRow());
    return true;
}

bool CTextTable::GetText(int32_t id, std::string& text) const
{
    auto found = texts_.find(id);
    if (found == texts_.end())
        return false;
    text = found->second.second;
    return true;
}
