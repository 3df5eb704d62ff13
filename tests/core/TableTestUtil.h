// Helpers of the table-file tests: reading a whole table back through the
// cursor, and building file images byte by byte.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/Crc32.h"
#include "core/DataCodec.h"
#include "core/TableFile.h"
#include "tests/core/CodecTestUtil.h"
#include "tests/core/TableFixture.h"

namespace qvtest {

inline bool operator==(const ExpectedCell& a, const ExpectedCell& b)
{
    return a.kind == b.kind && a.text == b.text && a.number == b.number;
}

inline std::ostream& operator<<(std::ostream& out, const ExpectedCell& cell)
{
    return out << "{kind " << cell.kind << ", text \"" << cell.text << "\", number " << cell.number << "}";
}

// Reads every row from the cursor's row (the first row after a load) to the end.
inline std::vector<ExpectedRow> ReadRows(CTableFile& table)
{
    std::vector<ExpectedRow> rows;
    if (table.RowCount() == 0)
        return rows;
    do {
        ExpectedRow row;
        for (bool more = table.HasCell(); more; more = table.NextCell()) {
            ExpectedCell cell{table.CellKind(), std::string(), 0};
            switch (cell.kind) {
            case 4: table.GetNumber4(cell.number); break;
            case 5: table.GetNumber5(cell.number); break;
            case 6: table.GetNumber6(cell.number); break;
            default: table.GetText(cell.text); break;
            }
            row.push_back(cell);
        }
        rows.push_back(row);
    } while (table.NextRow());
    return rows;
}

inline void AppendLe32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One cell of a cell stream: kind, length, payload.
inline Bytes CellBytes(uint32_t kind, const Bytes& payload, uint32_t declaredLength)
{
    Bytes out;
    AppendLe32(out, kind);
    AppendLe32(out, declaredLength);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes CellBytes(uint32_t kind, const Bytes& payload)
{
    return CellBytes(kind, payload, static_cast<uint32_t>(payload.size()));
}

inline Bytes NumberCell(uint32_t kind, int32_t value)
{
    Bytes payload;
    AppendLe32(payload, static_cast<uint32_t>(value));
    return CellBytes(kind, payload);
}

// A table file image assembled block by block.
class ImageBuilder {
public:
    explicit ImageBuilder(int mode) : mode_(mode)
    {
        const char header[] = "QVCSF";
        image_.assign(header, header + 5);
        image_.push_back(4);
        image_.push_back(static_cast<uint8_t>(mode));
    }
    // A block holding this cell stream, encoded under the image's mode.
    void AddRow(const Bytes& cellStream)
    {
        CByteBuffer stored;
        CDeflater deflater;
        codec_.Encode(cellStream.data(), cellStream.size(), stored, nullptr, 0, mode_, deflater);
        AddStored(ToBytes(stored));
    }
    // A block of these stored bytes, with their correct CRC.
    void AddStored(const Bytes& stored)
    {
        AppendLe32(image_, static_cast<uint32_t>(stored.size()));
        AppendLe32(image_, Crc32(stored.data(), stored.size()));
        image_.insert(image_.end(), stored.begin(), stored.end());
    }
    void AddRaw(const Bytes& bytes) { image_.insert(image_.end(), bytes.begin(), bytes.end()); }
    const Bytes& image() const { return image_; }

private:
    int mode_;
    CDataCodec codec_;
    Bytes image_;
};

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace qvtest
