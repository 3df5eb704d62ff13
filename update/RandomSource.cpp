#include "update/RandomSource.h"

#include <windows.h>

#include <ctime>

namespace {

// MurmurHash3's finaliser: every input bit reaches every output bit, so
// seeds a few ticks apart give unrelated values.
uint32_t Mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}

} // namespace

uint32_t CRandomSource::Next()
{
    if (!seeded_) {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        Seed(Mix(GetTickCount() ^ (GetCurrentProcessId() << 16) ^ GetCurrentThreadId()) ^
             Mix(static_cast<uint32_t>(time(nullptr))) ^ Mix(counter.LowPart ^ Mix(counter.HighPart)));
    }
    // A full-period linear congruential step (Numerical Recipes' constants),
    // its value mixed on the way out.
    state_ = state_ * 1664525u + 1013904223u;
    return Mix(state_);
}
