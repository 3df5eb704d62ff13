// Percent-encoding of request parameter names and values.
#pragma once

#include <string>

// Copies 0-9, A-Z, a-z and - . / : @ \ _ unchanged and writes every other byte
// (the blank and every byte of 0x80 or above included) as "%XX" with
// upper-case hexadecimal digits; there is no "+" for the blank. False for null
// or when the result is empty, so the caller falls back to the raw text.
bool UrlEncode(const char* text, std::string& encoded);
