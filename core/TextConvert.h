// Conversions between the system code page, UTF-16 and UTF-8.
//
// Every converter returns a newly allocated, zero-filled buffer that the caller
// releases with FreeConverted (or delete[]); a failed conversion returns null and
// sets the length out-parameter, where there is one, to 0. The terminating zero
// of the source is converted too.
//
// On Windows the system code page is CP_ACP (949 on a Korean system). The host
// build, used by the release tool, treats the system code page as code page 949.
#pragma once

#include <cstddef>

#ifdef _WIN32
typedef wchar_t WideChar;
#else
typedef char16_t WideChar;
#endif

// Buffer of 2n + 2 bytes for n converted characters (terminator included in n).
WideChar* AnsiToWide(const char* text);
// Buffer one byte longer than the converted size.
char* WideToAnsi(const WideChar* text);
// length = bytes including the terminating zero.
char* WideToUtf8(const WideChar* text, int* length);
// length = characters including the terminating zero.
WideChar* Utf8ToWide(const char* text, int* length);
// length = bytes including the terminating zero.
char* AnsiToUtf8(const char* text, int* length);
// length = the result's length without the terminating zero.
char* Utf8ToAnsi(const char* text, int* length);

inline void FreeConverted(const void* buffer) { delete[] static_cast<const char*>(buffer); }

// Number of UTF-16 units before the terminating zero.
size_t WideLength(const WideChar* text);
