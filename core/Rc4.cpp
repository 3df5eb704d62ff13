#include "core/Rc4.h"

CRc4::CRc4(const unsigned char* key, size_t keyLength)
{
    for (int n = 0; n < 256; ++n)
        state_[n] = static_cast<uint8_t>(n);
    uint8_t j = 0;
    for (int n = 0; n < 256; ++n) {
        j = static_cast<uint8_t>(j + state_[n] + key[n % keyLength]);
        uint8_t t = state_[n];
        state_[n] = state_[j];
        state_[j] = t;
    }
}

void CRc4::Apply(unsigned char* data, size_t length)
{
    for (size_t n = 0; n < length; ++n) {
        i_ = static_cast<uint8_t>(i_ + 1);
        j_ = static_cast<uint8_t>(j_ + state_[i_]);
        uint8_t t = state_[i_];
        state_[i_] = state_[j_];
        state_[j_] = t;
        data[n] ^= state_[static_cast<uint8_t>(state_[i_] + state_[j_])];
    }
}
