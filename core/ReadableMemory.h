// Pointer checks for blocks handed in by callers.
#pragma once

#include <cstddef>

// False for a null pointer and, on Windows, for a block of which some byte
// cannot be read (IsBadReadPtr). Other platforms cannot tell and trust a
// non-null pointer.
bool IsReadableBlock(const void* data, size_t length);
