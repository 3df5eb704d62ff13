// RC4 stream cipher: the published key schedule over a 256-byte state and
// the output generator, no initial output discarded. Applying the same key
// twice gives back the input.
#pragma once

#include <cstddef>
#include <cstdint>

class CRc4 {
public:
    // Schedules key (keyLength bytes, repeated over the 256 state positions).
    // keyLength must be at least 1.
    CRc4(const unsigned char* key, size_t keyLength);
    CRc4(const CRc4&) = delete;
    CRc4& operator=(const CRc4&) = delete;

    // XORs the next length key-stream bytes onto data in place.
    void Apply(unsigned char* data, size_t length);

private:
    uint8_t state_[256];
    uint8_t i_ = 0;
    uint8_t j_ = 0;
};
