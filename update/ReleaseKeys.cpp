#include "update/ReleaseKeys.h"

// Generated at configure time (cmake/QvReleaseKeys.cmake): QV_RELEASE_KEY_COUNT
// and kReleaseKeyData, one 32-byte row per key (one zero row when there is none).
#include "update/ReleaseKeyData.h"

size_t ReleaseKeyCount() { return QV_RELEASE_KEY_COUNT; }

const uint8_t* ReleaseKey(size_t index) { return index < QV_RELEASE_KEY_COUNT ? kReleaseKeyData[index] : nullptr; }

const uint8_t (*ReleaseKeys())[ED25519_PUBLIC_KEY_BYTES] { return kReleaseKeyData; }
