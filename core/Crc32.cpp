#include "core/Crc32.h"

#include <climits>

#include <zlib.h>

#include "core/ReadableMemory.h"

uint32_t Crc32OfBlock(const void* data, size_t length)
{
    // zlib's table-driven routine: the same polynomial, preset and final
    // inversion, several bytes per step.
    const Bytef* p = static_cast<const Bytef*>(data);
    uLong crc = crc32(0L, Z_NULL, 0);
    while (length > 0) {
        uInt piece = length > UINT_MAX ? UINT_MAX : static_cast<uInt>(length);
        crc = crc32(crc, p, piece);
        p += piece;
        length -= piece;
    }
    return static_cast<uint32_t>(crc);
}

uint32_t Crc32(const void* data, size_t length)
{
    if (!IsReadableBlock(data, length))
        return 0;
    return Crc32OfBlock(data, length);
}
