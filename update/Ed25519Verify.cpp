#include "update/Ed25519Verify.h"

#include <cstdlib>

#include "core.h"
#include "crypto_sign_ed25519.h"
#include "randombytes.h"

bool VerifyEd25519(const uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES],
                   const uint8_t signature[ED25519_SIGNATURE_BYTES], const uint8_t* message, size_t length)
{
    if (!publicKey || !signature || (!message && length > 0))
        return false;
    static const uint8_t kNoMessage = 0;
    if (!message)
        message = &kNoMessage;
    return crypto_sign_ed25519_verify_detached(signature, message, length, publicKey) == 0;
}

// libsodium's memory helpers (sodium/utils.c, for sodium_memcmp and
// sodium_memzero) share their file with its guarded allocator, which seeds a
// canary from the random source and reports misuse through the library's
// core. The verifier uses neither; these two close the link without
// compiling the random source or the core (with its CPU feature detection),
// and stop the program should anything ever reach them, as libsodium's own
// misuse handler does.
extern "C" void randombytes_buf(void* const buf, const size_t size)
{
    abort();
}

extern "C" void sodium_misuse(void)
{
    abort();
}
