#include "core/TableFile.h"

#include "core/HandleHolder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/Coding.h"
#include "core/Crc32.h"
#include "core/FileAccess.h"


namespace {

const unsigned char kMagic[5] = {'Q', 'V', 'C', 'S', 'F'};
const unsigned char kFormatVersion = 4;
const size_t kVersionOffset = sizeof(kMagic);
const size_t kModeOffset = kVersionOffset + 1;
const size_t kHeaderSize = kModeOffset + 1;  // magic, version, codec mode
const size_t kBlockHeaderSize = 8;           // stored length, CRC-32
const size_t kCellHeaderSize = 8;            // kind, payload length
const size_t kNumberSize = 4;


// A malloc copy of length bytes into cell's payload.
bool CopyPayload(CTableCell& cell, const void* data, size_t length)
{
    if (!cell.payload.Allocate(length, false))
        return false;
    if (length > 0)
        memcpy(cell.payload.Data(), data, length);
    return true;
}

// Takes a converter's result (delete[] block) into cell's payload; a null
// result leaves the payload empty.
void TakeConverted(CTableCell& cell, char* converted, int length)
{
    if (converted && length > 0)
        CopyPayload(cell, converted, static_cast<size_t>(length));
    FreeConverted(converted);
}

// UTF-16 units, terminated, from little-endian bytes (an odd last byte is dropped).
std::vector<WideChar> WideFromBytes(const unsigned char* p, size_t length)
{
    std::vector<WideChar> wide(length / 2 + 1, 0);
    for (size_t i = 0; i < length / 2; ++i)
        wide[i] = static_cast<WideChar>(p[2 * i] | p[2 * i + 1] << 8);
    return wide;
}

// Plain ASCII is the same text in every code page and in UTF-8: such a text
// cell is copied (one byte per unit) with a terminating zero, without a
// conversion. False, cell untouched, for any other text.
bool CopyAsciiText(int kind, const unsigned char* payload, size_t length, CTableCell& cell)
{
    const size_t unit = kind == CELL_WIDE_TEXT ? 2 : 1;
    const size_t count = length / unit;
    for (size_t i = 0; i < count; ++i) {
        unsigned char c = payload[i * unit];
        if (c == 0 || c >= 0x80 || (unit == 2 && payload[i * unit + 1] != 0))
            return false;
    }
    if (!cell.payload.Allocate(count + 1, false))
        return false;
    for (size_t i = 0; i < count; ++i)
        cell.payload.Data()[i] = payload[i * unit];
    cell.payload.Data()[count] = 0;
    return true;
}

// A text cell read from a file becomes kind 3 holding UTF-8 with its
// terminating zero; an empty or unconvertible text becomes an empty kind-3 cell.
void MakeUtf8Cell(int kind, const unsigned char* payload, size_t length, CTableCell& cell)
{
    cell.kind = CELL_BYTES;
    if (length == 0)
        return;
    if (kind != CELL_BYTES && CopyAsciiText(kind, payload, length, cell))
        return;
    int converted = 0;
    if (kind == CELL_ANSI_TEXT) {
        std::string text(reinterpret_cast<const char*>(payload), length);
        char* utf8 = AnsiToUtf8(text.c_str(), &converted);
        TakeConverted(cell, utf8, converted);
    } else if (kind == CELL_WIDE_TEXT) {
        std::vector<WideChar> wide = WideFromBytes(payload, length);
        char* utf8 = WideToUtf8(wide.data(), &converted);
        TakeConverted(cell, utf8, converted);
    } else {
        CopyPayload(cell, payload, length);
    }
}

// Parses a decoded cell stream into row. False when a cell has an unknown
// kind or claims more bytes than the payload holds: the rest of the row is
// then abandoned. Nothing is read past the payload.
bool ParseCells(const unsigned char* p, size_t end, std::vector<CTableCell>& row)
{
    // Count the cells first, so the row is allocated once.
    size_t cells = 0;
    uint32_t kind = 0;
    uint32_t length = 0;
    for (CBoundedReader counter(p, end); counter.ReadWords(kind, length) && counter.Take(length);)
        ++cells;
    row.reserve(cells + 1);
    CBoundedReader reader(p, end);
    while (!reader.AtEnd()) {
        if (!reader.ReadWords(kind, length)) // a cell header: kind, payload length
            return false;
        const unsigned char* payload = reader.Take(length);
        if (!payload)
            return false;
        CTableCell cell;
        switch (kind) {
        case CELL_ANSI_TEXT:
        case CELL_WIDE_TEXT:
        case CELL_BYTES:
            MakeUtf8Cell(static_cast<int>(kind), payload, length, cell);
            break;
        case CELL_NUMBER4:
        case CELL_NUMBER5:
        case CELL_NUMBER6:
            if (length < kNumberSize)
                return false;
            cell.kind = static_cast<int>(kind);
            cell.number = static_cast<int32_t>(ReadLe32(payload));
            break;
        default:
            return false;
        }
        row.push_back(std::move(cell));
    }
    return true;
}

// The cell stream of one row (see the layout above CTableFile::Save); false
// when it cannot be allocated or does not fit the 32-bit length fields.
bool BuildCellStream(const std::vector<CTableCell>& row, CByteBuffer& stream)
{
    uint64_t total = 0;
    for (const CTableCell& cell : row)
        total += kCellHeaderSize + cell.Length();
    if (total > 0xFFFFFFFFu || !stream.Allocate(static_cast<size_t>(total), false))
        return false;
    unsigned char* p = stream.Data();
    for (const CTableCell& cell : row) {
        WriteLe32(static_cast<uint32_t>(cell.kind), p);
        WriteLe32(static_cast<uint32_t>(cell.Length()), p + 4);
        p += kCellHeaderSize;
        if (cell.IsNumber()) {
            WriteLe32(static_cast<uint32_t>(cell.number), p);
        } else if (!cell.payload.Empty()) {
            memcpy(p, cell.payload.Data(), cell.payload.Size());
        }
        p += cell.Length();
    }
    return true;
}

bool WriteAll(FILE* file, const void* data, size_t size) { return size == 0 || fwrite(data, 1, size, file) == size; }

} // namespace

CTableFile::CTableFile() = default;

CTableFile::~CTableFile() { Clear(); }

void CTableFile::Clear()
{
    rows_.clear();
    row_ = 0;
    cell_ = 0;
}

// --- Reading ---

bool CTableFile::Open(const char* path, const void* key, size_t keyLength)
{
    Clear();
    if (!path || !*path)
        return false;
    CByteBuffer image;
    if (!ReadFileImage(path, image))
        return false;
    return OpenImage(image.Data(), image.Size(), key, keyLength);
}

bool CTableFile::OpenImage(const void* data, size_t size, const void* key, size_t keyLength)
{
    Clear();
    bool loaded = data && Load(static_cast<const unsigned char*>(data), size, key, keyLength);
    row_ = 0;
    cell_ = 0;
    return loaded && !rows_.empty() && !rows_.front().empty();
}

bool CTableFile::Load(const unsigned char* data, size_t size, const void* key, size_t keyLength)
{
    if (size < kHeaderSize || memcmp(data, kMagic, sizeof(kMagic)) != 0 || data[kVersionOffset] != kFormatVersion)
        return false;
    int mode = data[kModeOffset];
    bool anyDecoded = false;
    bool lastBlockOk = false;
    CBoundedReader reader(data + kHeaderSize, size - kHeaderSize);
    CInflater inflater;   // one zlib stream and output buffer for every row
    CByteBuffer rc4Copy;
    try {
        while (!reader.AtEnd()) {
            uint32_t storedLength = 0;
            uint32_t storedCrc = 0;
            if (!reader.ReadWords(storedLength, storedCrc)) // a block header: stored length, CRC-32
                return false;
            const unsigned char* block = reader.Take(storedLength);
            if (!block)
                return false;
            if (Crc32OfBlock(block, storedLength) != storedCrc)
                return false;
            // The RC4 mode decrypts in place: it works on a private copy
            // (one buffer for all rows); the other modes only read the block.
            unsigned char* input = const_cast<unsigned char*>(block);
            if (mode == CODEC_RC4) {
                if (rc4Copy.Size() < storedLength && !rc4Copy.Resize(storedLength))
                    return false;
                if (storedLength > 0)
                    memcpy(rc4Copy.Data(), block, storedLength);
                input = rc4Copy.Data();
            }
            bool overLimit = false;
            if (!codec_.Decode(input, storedLength, inflater, key, keyLength, mode, &overLimit)) {
                if (overLimit)
                    return false;  // a row of that size is no real row: the file is hostile or broken
                continue;          // a row that does not decode is dropped
            }
            anyDecoded = true;
            rows_.emplace_back();
            lastBlockOk = ParseCells(inflater.Output(), inflater.OutputSize(), rows_.back());
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return anyDecoded && lastBlockOk;
}

const CTableCell* CTableFile::CurrentCell() const
{
    if (row_ >= rows_.size() || cell_ >= rows_[row_].size())
        return nullptr;
    return &rows_[row_][cell_];
}

bool CTableFile::HasCell() const { return CurrentCell() != nullptr; }

bool CTableFile::NextCell()
{
    if (row_ >= rows_.size())
        return false;
    if (cell_ < rows_[row_].size())
        ++cell_;
    return cell_ < rows_[row_].size();
}

bool CTableFile::NextRow()
{
    if (row_ + 1 >= rows_.size())
        return false;
    ++row_;
    cell_ = 0;
    return true;
}

int CTableFile::CellKind() const
{
    const CTableCell* cell = CurrentCell();
    return cell ? cell->kind : 0;
}

bool CTableFile::GetText(std::string& text) const
{
    text.clear();
    const CTableCell* cell = CurrentCell();
    if (!cell || cell->IsNumber())
        return false;
    if (cell->payload.Empty())
        return true;
    const char* bytes = reinterpret_cast<const char*>(cell->payload.Data());
    size_t length = cell->payload.Size();
    try {
        if (cell->kind == CELL_ANSI_TEXT) {
            text.assign(bytes, length);
            return true;
        }
        char* ansi = nullptr;
        if (cell->kind == CELL_WIDE_TEXT) {
            std::vector<WideChar> wide = WideFromBytes(cell->payload.Data(), length);
            ansi = WideToAnsi(wide.data());
        } else {
            // A byte cell need not carry its terminating zero.
            std::string utf8(bytes, length);
            int converted = 0;
            ansi = Utf8ToAnsi(utf8.c_str(), &converted);
        }
        if (ansi)
            text = ansi;
        FreeConverted(ansi);
    } catch (const std::bad_alloc&) {
        text.clear();
        return false;
    }
    return true;
}

bool CTableFile::GetNumber(int kind, int32_t& value) const
{
    const CTableCell* cell = CurrentCell();
    if (!cell || cell->kind != kind)
        return false;
    value = cell->number;
    return true;
}

bool CTableFile::GetNumber4(int32_t& value) const { return GetNumber(CELL_NUMBER4, value); }

bool CTableFile::GetNumber5(int32_t& value) const
{
    value = 0;
    return GetNumber(CELL_NUMBER5, value);
}

bool CTableFile::GetNumber6(int32_t& value) const
{
    value = 0;
    return GetNumber(CELL_NUMBER6, value);
}

// --- Writing ---

bool CTableFile::AddRow()
{
    try {
        rows_.emplace_back();
    } catch (const std::bad_alloc&) {
        return false;
    }
    row_ = rows_.size() - 1;
    cell_ = 0;
    return true;
}

bool CTableFile::AddCell(CTableCell& cell)
{
    if (row_ >= rows_.size())
        return false;
    Row& row = rows_[row_];
    try {
        row.push_back(std::move(cell));
    } catch (const std::bad_alloc&) {
        return false;
    }
    cell_ = row.size() - 1;
    return true;
}

bool CTableFile::AddText(const char* text, bool asUtf8)
{
    CTableCell cell;
    if (asUtf8) {
        cell.kind = CELL_BYTES;
        int length = 0;
        char* utf8 = AnsiToUtf8(text, &length);
        TakeConverted(cell, utf8, length);
    } else {
        cell.kind = CELL_ANSI_TEXT;
        if (text && !CopyPayload(cell, text, strlen(text)))
            return false;
    }
    return AddCell(cell);
}

bool CTableFile::AddWideText(const WideChar* text, bool asUtf8)
{
    CTableCell cell;
    if (asUtf8) {
        cell.kind = CELL_BYTES;
        int length = 0;
        char* utf8 = WideToUtf8(text, &length);
        TakeConverted(cell, utf8, length);
    } else {
        cell.kind = CELL_WIDE_TEXT;
        size_t units = WideLength(text);
        if (!cell.payload.Allocate(2 * units, false))
            return false;
        for (size_t i = 0; i < units; ++i) {
            cell.payload.Data()[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
            cell.payload.Data()[2 * i + 1] = static_cast<unsigned char>((text[i] >> 8) & 0xFF);
        }
    }
    return AddCell(cell);
}

bool CTableFile::AddBytes(unsigned char* block, size_t length)
{
    CTableCell cell;
    cell.kind = CELL_BYTES;
    if (block && length > 0)
        cell.payload.Attach(block, length, false);
    else
        free(block);
    return AddCell(cell);
}

bool CTableFile::AddNumber4(int32_t value)
{
    CTableCell cell;
    cell.kind = CELL_NUMBER4;
    cell.number = value;
    return AddCell(cell);
}

bool CTableFile::AddNumber5(int32_t value)
{
    CTableCell cell;
    cell.kind = CELL_NUMBER5;
    cell.number = value;
    return AddCell(cell);
}

bool CTableFile::AddNumber6(int32_t value)
{
    CTableCell cell;
    cell.kind = CELL_NUMBER6;
    cell.number = value;
    return AddCell(cell);
}

// File layout ("QVCSF" table file); every integer is little-endian.
//
//   Container:
//     offset 0  5 bytes  magic "QVCSF" (ASCII, no terminator)
//     offset 5  1 byte   format version, always 4
//     offset 6  1 byte   codec mode: 0 deflate, 1 deflate then RC4,
//                        2 deflate then SEED (see DataCodec.h)
//     offset 7  ...      row blocks, one per row that has cells, in row
//                        order, to the end of the file
//
//   Row block:
//     offset 0  4 bytes  n, length of the stored payload
//     offset 4  4 bytes  CRC-32 of the n stored bytes
//     offset 8  n bytes  stored payload: the row's cell stream after
//                        CDataCodec::Encode under the file's mode
//
//   Cell stream (the decoded payload): cells back to back to its end, each
//     4 bytes  kind (1 to 6, see TableCell.h)
//     4 bytes  L, payload length (4 for the number kinds)
//     L bytes  payload
//
// A row without cells writes no block, so it does not survive a save and load.
bool CTableFile::Save(const char* path, const void* key, size_t keyLength, int mode, bool overwrite,
                      CBlockPacker& packer) const
{
    if (!path || !*path)
        return false;
    if (!overwrite && FileExists(path))
        return false;
    CFileStreamHolder file(OpenSharedFile(path, "wb"));
    if (!file)
        return false;
    // Encode with the mode exactly as the header byte records it.
    const unsigned char storedMode = static_cast<unsigned char>(mode);
    unsigned char header[kHeaderSize];
    memcpy(header, kMagic, sizeof(kMagic));
    header[kVersionOffset] = kFormatVersion;
    header[kModeOffset] = storedMode;
    if (!WriteAll(file.Get(), header, sizeof(header)))
        return false;

    bool wroteRow = false;
    bool rowLost = false;
    for (const Row& row : rows_) {
        if (row.empty())
            continue;
        CByteBuffer stream;
        if (!BuildCellStream(row, stream))
            return false;
        CByteBuffer stored;
        if (!codec_.Encode(stream.Data(), stream.Size(), stored, key, keyLength, storedMode, packer)) {
            // The other rows are still worth writing, but the save must not claim success.
            rowLost = true;
            continue;
        }
        unsigned char blockHeader[kBlockHeaderSize];
        WriteLe32(static_cast<uint32_t>(stored.Size()), blockHeader);
        WriteLe32(Crc32OfBlock(stored.Data(), stored.Size()), blockHeader + 4);
        if (!WriteAll(file.Get(), blockHeader, sizeof(blockHeader)) ||
            !WriteAll(file.Get(), stored.Data(), stored.Size()))
            return false;
        wroteRow = true;
    }
    return file.Close() && wroteRow && !rowLost;
}
