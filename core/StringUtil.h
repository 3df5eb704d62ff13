// Small text helpers shared by the platform library and the engine.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

// Removes blanks (0x20 only, not tabs) from both ends in place; false for null.
bool TrimBlanks(char* text);
// Replaces every byte equal to from by to among the first count bytes; returns
// the number replaced (0 for a null buffer or a count of 0).
int ReplaceChar(char* buffer, char from, char to, int count);
// djb2 over the bytes taken as signed 8-bit values; 5381 for null or "".
uint32_t StringHash(const char* text);
// Formats like printf into buffer (size bytes). Returns the length, or -1
// when the text does not fit (buffer then holds as much as fits, terminated)
// or buffer is null or size 0. On Windows this is the system C library's
// formatter: the MinGW runtime's own links float formatting we never use.
int FormatInto(char* buffer, size_t size, const char* format, ...);
// The same with the arguments as a va_list.
int FormatIntoV(char* buffer, size_t size, const char* format, va_list arguments);

// The text without leading and trailing blanks (0x20 only, not tabs or line ends).
std::string TrimmedBlanks(const std::string& text);
