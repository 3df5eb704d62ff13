#include "core/SeedFraming.h"

#include <cstring>

#include "core/ReadableMemory.h"
#include "core/SeedCipher.h"

namespace {

const size_t kBlock = CSeedCipher::kBlockSize;
// The leading byte that holds L mod 16.
const size_t kLengthByte = 1;

} // namespace

size_t SeedFramedLength(size_t length)
{
    if (length == 0)
        return 0;
    size_t whole = length / kBlock * kBlock;
    size_t blocks = whole + (length % kBlock ? kBlock : 0);
    if (blocks > static_cast<size_t>(-1) - kLengthByte)
        return 0;
    return blocks + kLengthByte;
}

bool SeedFrameEncrypt(const unsigned char* data, size_t length, const uint8_t key[16], CByteBuffer& out)
{
    if (length == 0 || !IsReadableBlock(data, length))
        return false;
    size_t framed = SeedFramedLength(length);
    CByteBuffer result;
    if (framed == 0 || !result.Allocate(framed, true))
        return false;
    CSeedCipher cipher(key);
    unsigned char* p = result.Data();
    p[0] = static_cast<unsigned char>(length % kBlock);
    memcpy(p + kLengthByte, data, length);
    // The tail after the plaintext is already zero: the padding of the last block.
    for (size_t offset = kLengthByte; offset < framed; offset += kBlock)
        cipher.EncryptBlock(p + offset, p + offset);
    out.Swap(result);
    return true;
}

bool SeedFrameDecrypt(const unsigned char* data, size_t length, const uint8_t key[16], CByteBuffer& out)
{
    if (!data || length < kBlock)
        return false;
    size_t skip = 0;
    size_t plain = 0;
    if (length % kBlock == kLengthByte) {
        size_t rest = data[0];
        // A length byte of 16 or more would claim bytes that were never encrypted.
        if (rest >= kBlock)
            return false;
        skip = kLengthByte;
        plain = rest != 0 ? rest + length - (kBlock + kLengthByte) : length - kLengthByte;
    } else if (length % kBlock == 0) {
        plain = length;
    } else {
        return false;
    }
    CByteBuffer blocks;
    if (!blocks.Allocate(length - skip, false))
        return false;
    CSeedCipher cipher(key);
    for (size_t offset = 0; offset < blocks.Size(); offset += kBlock)
        cipher.DecryptBlock(data + skip + offset, blocks.Data() + offset);
    blocks.Shrink(plain);
    out.Swap(blocks);
    return true;
}
