// CScopedLock: holds a critical section from its construction to the end of
// its scope, on every path out of it.
#pragma once

#include "framework/CriticalSection.h"

class CScopedLock {
public:
    explicit CScopedLock(CCriticalSection& lock) : lock_(lock) { lock_.Lock(); }
    ~CScopedLock() { lock_.Unlock(); }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CCriticalSection& lock_;
};
