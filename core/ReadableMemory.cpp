#include "core/ReadableMemory.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool IsReadableBlock(const void* data, size_t length)
{
    if (!data)
        return false;
#ifdef _WIN32
    if (length > 0 && IsBadReadPtr(data, length))
        return false;
#endif
    return true;
}
