// CRandomSource: the update engine's own generator for its random choices
// (the first server of a host list and the order of the others, the machine
// key). It seeds itself once, on first use, from the tick count, the process
// and thread ids, the time and the performance counter, so that two runs
// started within the same second draw differently; the C runtime's rand,
// which other code seeds with the time in seconds, is not used.
#pragma once

#include <cstdint>

class CRandomSource {
public:
    // Fixes the sequence that follows (tests).
    void Seed(uint32_t seed)
    {
        state_ = seed;
        seeded_ = true;
    }
    // The next value, all 32 bits used.
    uint32_t Next();

private:
    uint32_t state_ = 0;
    bool seeded_ = false;
};
