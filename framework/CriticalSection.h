// CCriticalSection: a Win32 critical section owned by an object. Lock and
// Unlock always succeed (they return true); the section may be entered again
// by the thread that holds it.
#pragma once

#include <windows.h>

#include "framework/Object.h"

class CCriticalSection : public CObject {
public:
    CCriticalSection();
    ~CCriticalSection() override;

    bool Lock();
    bool Unlock();

private:
    CRITICAL_SECTION m_section;
};
