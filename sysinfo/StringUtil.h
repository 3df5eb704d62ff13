// Small text helpers shared by the platform library and the engine.
#pragma once

#include <cstdint>

// Removes blanks (0x20 only, not tabs) from both ends in place; false for null.
bool TrimBlanks(char* text);
// Replaces every byte equal to from by to among the first count bytes; returns
// the number replaced (0 for a null buffer or a count of 0).
int ReplaceChar(char* buffer, char from, char to, int count);
// djb2 over the bytes taken as signed 8-bit values; 5381 for null or "".
uint32_t StringHash(const char* text);
