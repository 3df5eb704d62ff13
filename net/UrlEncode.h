// Percent-encoding of request parameter names and values, and the checks and
// encoding a request path goes through before it is sent.
#pragma once

#include <string>

// Copies 0-9, A-Z, a-z and - . / : @ \ _ unchanged and writes every other byte
// (the blank and every byte of 0x80 or above included) as "%XX" with
// upper-case hexadecimal digits; there is no "+" for the blank. False for null
// or when the result is empty, so the caller falls back to the raw text.
bool UrlEncode(const char* text, std::string& encoded);

// True when text is not null and holds no control byte (below 0x20, or 0x7F):
// such a byte in a host, path or header line would end the request line or a
// header early and let the rest pass for headers of its own.
bool HasNoControlBytes(const char* text);

// The request target for path (query included): each byte of 0x80 or above
// and the blank as "%XX", every other byte unchanged ("%" too, so an encoded
// path stays as it is). False, with encoded empty, for null or a path with a
// control byte: such a path is never sent.
bool EncodeRequestPath(const char* path, std::string& encoded);
