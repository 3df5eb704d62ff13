// CStoredPacker: a zlib stream whose deflate blocks are all stored ones.
#include "core/ZlibBlock.h"

#include <climits>
#include <cstring>

#include <zlib.h>

namespace {

// Header of a zlib stream: deflate with a 32 KB window, the "fastest" level
// flag, no dictionary; the two bytes read as a multiple of 31.
const unsigned char kStreamHeader[2] = {0x78, 0x01};
const size_t kMaxStoredBlock = 65535;
// Per stored block: the final-block and type bits padded to a byte, then
// the length and its complement, 16 bits each.
const size_t kBlockHeader = 5;
const size_t kTrailer = 4;  // Adler-32 of the data, most significant byte first

} // namespace

bool CStoredPacker::Pack(const unsigned char* data, size_t length, CByteBuffer& out)
{
    if (!data || length == 0 || length > UINT_MAX / 2)
        return false;
    const size_t blocks = (length + kMaxStoredBlock - 1) / kMaxStoredBlock;
    CByteBuffer result;
    if (!result.Allocate(sizeof(kStreamHeader) + blocks * kBlockHeader + length + kTrailer, false))
        return false;
    unsigned char* at = result.Data();
    memcpy(at, kStreamHeader, sizeof(kStreamHeader));
    at += sizeof(kStreamHeader);
    for (size_t offset = 0; offset < length; offset += kMaxStoredBlock) {
        const size_t size = length - offset < kMaxStoredBlock ? length - offset : kMaxStoredBlock;
        at[0] = offset + size == length ? 1 : 0;  // last block flag; type 00 is "stored"
        at[1] = static_cast<unsigned char>(size);
        at[2] = static_cast<unsigned char>(size >> 8);
        at[3] = static_cast<unsigned char>(~size);
        at[4] = static_cast<unsigned char>(~size >> 8);
        memcpy(at + kBlockHeader, data + offset, size);
        at += kBlockHeader + size;
    }
    const uLong sum = adler32(adler32(0L, Z_NULL, 0), data, static_cast<uInt>(length));
    at[0] = static_cast<unsigned char>(sum >> 24);
    at[1] = static_cast<unsigned char>(sum >> 16);
    at[2] = static_cast<unsigned char>(sum >> 8);
    at[3] = static_cast<unsigned char>(sum);
    out.Swap(result);
    return true;
}
