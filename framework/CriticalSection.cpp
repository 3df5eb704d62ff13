#include "framework/CriticalSection.h"

CCriticalSection::CCriticalSection() { InitializeCriticalSection(&m_section); }

CCriticalSection::~CCriticalSection() { DeleteCriticalSection(&m_section); }

bool CCriticalSection::Lock()
{
    EnterCriticalSection(&m_section);
    return true;
}

bool CCriticalSection::Unlock()
{
    LeaveCriticalSection(&m_section);
    return true;
}
