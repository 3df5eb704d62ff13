#include "core/HandleHolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

unsigned long SavedLastError()
{
#ifdef _WIN32
    return GetLastError();
#else
    return static_cast<unsigned long>(errno);
#endif
}

void RestoreLastError(unsigned long error)
{
#ifdef _WIN32
    SetLastError(error);
#else
    errno = static_cast<int>(error);
#endif
}
