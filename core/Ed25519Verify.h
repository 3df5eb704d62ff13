// Ed25519 signature verification (RFC 8032, pure Ed25519), from the
// reference Ed25519 of OpenBSD's signify (in qv_core, compiled from Debian's
// signify-openbsd source in core/CMakeLists.txt). This pair is the only
// code that includes it; nothing here signs or draws random numbers.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t ED25519_PUBLIC_KEY_BYTES = 32;
const size_t ED25519_SIGNATURE_BYTES = 64;

// True when signature is publicKey's signature of the length bytes at
// message. False for any other signature, for a key that is not a valid
// point, for a null publicKey or signature, a null message with a
// length, for a signature whose S half is not below the group order, or
// when the two work blocks of the message's size cannot be had.
bool VerifyEd25519(const uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES],
                   const uint8_t signature[ED25519_SIGNATURE_BYTES], const uint8_t* message, size_t length);
