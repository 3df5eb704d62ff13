// The program's general data file: an ordered list of rows, each an ordered
// list of typed cells (see TableCell.h), stored in a "QVCSF" container whose
// rows are checksummed, compressed and optionally encrypted by CDataCodec.
// The configuration file, the patch lists and the link files use it.
//
// Reading goes through a cursor (a current row and a current cell in it);
// building a table goes through appends to the current row. A null key with
// length 0 selects the codec's built-in key material. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>
#include <string>

#include "core/DataCodec.h"
#include "core/TableCell.h"
#include "core/TextConvert.h"

class CTableFile {
public:
    CTableFile();
    virtual ~CTableFile();
    CTableFile(const CTableFile&) = delete;
    CTableFile& operator=(const CTableFile&) = delete;

    // --- Reading ---

    // Clears the table, reads the file (shared, binary) and loads it; the
    // cursor goes to the first cell of the first row. False for a null or
    // empty path, a file that cannot be opened or read, a failed load, or a
    // table that is empty or whose first row has no cell. Rows read before a
    // failure stay in the table.
    bool Open(const char* path, const void* key, size_t keyLength);
    // The same from a memory image of a file (a download, a test, a fuzzer).
    bool OpenImage(const void* data, size_t size, const void* key, size_t keyLength);

    // True while the cursor stands on a cell.
    bool HasCell() const;
    // Next cell of the current row; false when there is none (the cursor then
    // stands past the row's end).
    bool NextCell();
    // First cell of the next row; false when there is no further row (the
    // cursor stays). The next row may have no cells: check HasCell.
    bool NextRow();
    // Kind of the current cell, 0 when the cursor is not on a cell. Text read
    // from a file is always kind 3 (UTF-8).
    int CellKind() const;

    // Clears text, then reads the current cell as system-code-page text
    // (kind 1 as is, kind 2 from UTF-16, kind 3 from UTF-8). False, with text
    // empty, when the cursor is not on a cell or the cell is a number; an
    // empty cell gives empty text.
    bool GetText(std::string& text) const;
    // True and the value when the current cell has exactly that kind.
    // GetNumber4 leaves value untouched on failure; GetNumber5 and
    // GetNumber6 set it to 0 first.
    bool GetNumber4(int32_t& value) const;
    bool GetNumber5(int32_t& value) const;
    bool GetNumber6(int32_t& value) const;

    // --- Writing ---
    // Every append goes to the current row, leaves the cursor on the new cell
    // and fails when there is no current row or memory runs out.

    // Appends an empty row and makes it current.
    bool AddRow();
    // asUtf8 false: a kind-1 cell with a copy of text (null gives an empty
    // cell). True: a kind-3 cell with text converted to UTF-8, terminating
    // zero included; a failed conversion gives an empty kind-3 cell.
    bool AddText(const char* text, bool asUtf8);
    // asUtf8 false: a kind-2 cell (two bytes per unit, null gives an empty
    // cell). True: a kind-3 cell with the UTF-8 form as for AddText.
    bool AddWideText(const WideChar* text, bool asUtf8);
    // A kind-3 cell that owns block (a malloc block) from this call on, even
    // when the append fails; null or length 0 gives an empty cell.
    bool AddBytes(unsigned char* block, size_t length);
    bool AddNumber4(int32_t value);
    bool AddNumber5(int32_t value);
    bool AddNumber6(int32_t value);

    // Writes the table under codec mode. False when overwrite is false and
    // the file exists (the file is untouched), when the file cannot be
    // created, on a short write, when a row cannot be encoded (the other rows
    // are still written), or when no row has a cell (a header-only file).
    // Every row is compressed at zlib's level 9.
    bool Save(const char* path, const void* key, size_t keyLength, int mode, bool overwrite) const;
    // The same with every row packed by packer (CStoredPacker writes the
    // rows uncompressed).
    bool Save(const char* path, const void* key, size_t keyLength, int mode, bool overwrite,
              CBlockPacker& packer) const;

    // Frees every cell and row.
    void Clear();

    size_t RowCount() const { return rows_.size(); }

private:
    typedef std::vector<CTableCell> Row;

    bool Load(const unsigned char* data, size_t size, const void* key, size_t keyLength);
    bool AddCell(CTableCell& cell);
    const CTableCell* CurrentCell() const;
    bool GetNumber(int kind, int32_t& value) const;

    std::deque<Row> rows_;
    size_t row_ = 0;
    size_t cell_ = 0;
    CDataCodec codec_;
};
