// Fuzz target: table-file load, and the codec's SEED and inflate decoding.
//
// The first input byte picks the target, the rest is the data:
//   0-3   CTableFile::OpenImage of the rest (built-in key), then every cell read
//   4     CDataCodec::Decode in mode 0 (inflate)
//   5     CDataCodec::Decode in mode 1 (RC4, inflate)
//   6     CDataCodec::Decode in mode 2 (SEED framing, inflate)
//   7     SeedFrameDecrypt alone
// Every call must return without crashing, reading out of bounds or leaking.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/DataCodec.h"
#include "core/SeedFraming.h"
#include "core/TableFile.h"

namespace {

void ReadEveryCell(CTableFile& table)
{
    if (table.RowCount() == 0)
        return;
    do {
        for (bool more = table.HasCell(); more; more = table.NextCell()) {
            std::string text;
            int32_t number = 0;
            table.GetText(text);
            table.GetNumber4(number);
            table.GetNumber5(number);
            table.GetNumber6(number);
        }
    } while (table.NextRow());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t selector = data[0] & 7;
    // A private copy: mode 1 decrypts in place, and an exact-size heap block
    // lets AddressSanitizer see any read past the end.
    std::vector<uint8_t> rest(data + 1, data + size);
    uint8_t* bytes = rest.empty() ? nullptr : rest.data();
    if (selector <= 3) {
        CTableFile table;
        table.OpenImage(bytes, rest.size(), nullptr, 0);
        ReadEveryCell(table);
        return 0;
    }
    CByteBuffer out;
    if (selector == 7) {
        const uint8_t key[16] = {0};
        SeedFrameDecrypt(bytes, rest.size(), key, out);
        return 0;
    }
    CDataCodec codec;
    codec.Decode(bytes, rest.size(), out, nullptr, 0, selector - 4);
    return 0;
}
