// One-shot zlib compression of a whole block and its inverse: the first
// step of every codec mode.
#pragma once

#include <cstddef>

#include "update/ByteBuffer.h"

// One zlib stream of the block at level 9 (default window and memory), made
// with a single deflate call with Z_FINISH into a buffer of length + 1024
// bytes (more when zlib's bound for the block is larger). False for empty or
// null input, a failed allocation or a stream that did not finish; out is
// then left as it was.
bool DeflateBlock(const unsigned char* data, size_t length, CByteBuffer& out);

// Inflates one zlib stream into out. The output buffer starts at twice the
// input length and grows by the input length each time it fills up. False
// for empty or null input, a zlib error, a failed allocation, or input that
// ends before the stream does; out is then left as it was. Bytes after the
// end of the stream are ignored.
bool InflateBlock(const unsigned char* data, size_t length, CByteBuffer& out);
