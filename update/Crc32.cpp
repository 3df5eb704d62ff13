#include "update/Crc32.h"

#include "sysinfo/ReadableMemory.h"

namespace {

const uint32_t kReflectedPolynomial = 0xEDB88320u;

// The 256-entry table of the byte-at-a-time algorithm, built once.
struct Crc32Table {
    uint32_t entry[256];
    Crc32Table()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (kReflectedPolynomial ^ (c >> 1)) : (c >> 1);
            entry[n] = c;
        }
    }
};

// Built on first use, so callers running during static construction are safe.
const Crc32Table& Table()
{
    static const Crc32Table table;
    return table;
}

} // namespace

uint32_t Crc32(const void* data, size_t length)
{
    if (!IsReadableBlock(data, length))
        return 0;
    const uint32_t* entry = Table().entry;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
        crc = entry[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
