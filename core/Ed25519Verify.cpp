#include "core/Ed25519Verify.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include "crypto_api.h"

// mod_ed25519.c: checks the signed message sm (signature, then message) of
// smlen bytes against pk; 0 when it verifies. m must hold smlen bytes: the
// check builds the hashed text there.
int crypto_sign_ed25519_open(unsigned char* m, unsigned long long* mlen, const unsigned char* sm,
                             unsigned long long smlen, const unsigned char* pk);
}

namespace {

// Frees a block allocated with malloc on every path.
class Block {
public:
    explicit Block(size_t size) : data_(static_cast<unsigned char*>(malloc(size))) {}
    ~Block() { free(data_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    unsigned char* get() const { return data_; }
private:
    unsigned char* data_;
};

// The group order L, little-endian: RFC 8032 (5.1.7) refuses a signature
// whose S half is L or more, which the reference check would take modulo L.
const unsigned char kGroupOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                       0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                       0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};

bool IsReducedScalar(const uint8_t* s)
{
    for (int i = 31; i >= 0; --i) {
        if (s[i] != kGroupOrder[i])
            return s[i] < kGroupOrder[i];
    }
    return false; // S == L
}

} // namespace

bool VerifyEd25519(const uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES],
                   const uint8_t signature[ED25519_SIGNATURE_BYTES], const uint8_t* message, size_t length)
{
    if (!publicKey || !signature || (!message && length > 0) || !IsReducedScalar(signature + 32))
        return false;
    const size_t signedLength = ED25519_SIGNATURE_BYTES + length;
    if (signedLength < length)
        return false;
    // The check wants the signature and the message in one block, and a
    // second block of the same size to work in.
    Block signedMessage(signedLength);
    Block work(signedLength);
    if (!signedMessage.get() || !work.get())
        return false;
    memcpy(signedMessage.get(), signature, ED25519_SIGNATURE_BYTES);
    if (length > 0)
        memcpy(signedMessage.get() + ED25519_SIGNATURE_BYTES, message, length);
    unsigned long long opened = 0;
    return crypto_sign_ed25519_open(work.get(), &opened, signedMessage.get(), signedLength, publicKey) == 0;
}
