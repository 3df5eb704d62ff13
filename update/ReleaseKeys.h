// The release public keys built into this program: the Ed25519 keys whose
// signatures on a release's manifests it trusts (core/ReleaseSignature.h).
// They come from the CMake setting QV_RELEASE_PUBLIC_KEYS: none (the build
// checks no signatures), one, or two while the vendor rotates its key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Ed25519Verify.h"

// How many keys are built in: 0, 1 or 2.
size_t ReleaseKeyCount();

// Key index (32 bytes), or null when index is not below ReleaseKeyCount().
const uint8_t* ReleaseKey(size_t index);

// All keys, for CheckReleaseSignature (ReleaseKeyCount() of them).
const uint8_t (*ReleaseKeys())[ED25519_PUBLIC_KEY_BYTES];
