// Ed25519 signature verification (RFC 8032, pure Ed25519), from libsodium's
// verifier (qv_ed25519, compiled from libsodium's source in
// update/CMakeLists.txt). This pair is the only code that includes
// libsodium; nothing here signs, draws random numbers or looks at the CPU.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t ED25519_PUBLIC_KEY_BYTES = 32;
const size_t ED25519_SIGNATURE_BYTES = 64;

// True when signature is publicKey's signature of the length bytes at
// message. False for any other signature, for a key or signature that is
// not in canonical form or of small order (libsodium refuses those), and
// for a null publicKey or signature, or a null message with a length.
bool VerifyEd25519(const uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES],
                   const uint8_t signature[ED25519_SIGNATURE_BYTES], const uint8_t* message, size_t length);
