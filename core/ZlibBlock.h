// A whole block into one zlib stream and back: the first step of every
// codec mode. The compressor lives in its own source file, so that a program
// that does not compress does not link it.
#pragma once

#include <cstddef>

#include "core/ByteBuffer.h"

// Turns one block into one zlib stream: the first step of every codec mode.
// A writer of many blocks (the rows of a table file) keeps one packer for
// all of them.
class CBlockPacker {
public:
    virtual ~CBlockPacker();
    // False for empty or null input, a failed allocation or a stream that did
    // not finish; out is then left as it was.
    virtual bool Pack(const unsigned char* data, size_t length, CByteBuffer& out) = 0;
};

// Compresses at level 9 (default window and memory) with one deflate call
// with Z_FINISH into a buffer of length + 1024 bytes (more when zlib's bound
// for the block is larger). The stream is set up once and reset per block.
class CDeflater : public CBlockPacker {
public:
    CDeflater();
    ~CDeflater() override;
    CDeflater(const CDeflater&) = delete;
    CDeflater& operator=(const CDeflater&) = delete;

    bool Pack(const unsigned char* data, size_t length, CByteBuffer& out) override;

private:
    void* stream_;  // z_stream, set up on first use
};

// Stores the block without compressing it: a zlib stream of stored deflate
// blocks, which every inflater reads. For a program that writes only small
// files, where compression gains a few bytes and the compressor would cost
// far more in the program itself.
class CStoredPacker : public CBlockPacker {
public:
    bool Pack(const unsigned char* data, size_t length, CByteBuffer& out) override;
};

// The most one block may inflate to: far above any real row (a patch list of
// thousands of records inflates to a few hundred kilobytes), far below what
// would let a small hostile file take the memory and minutes of a machine.
const size_t kMaxInflatedBlock = 64u << 20;

// Inflates one zlib stream into out. The output buffer starts at twice the
// input length (4 KiB at the least) and doubles each time it fills up, up to
// kMaxInflatedBlock.
// False for empty or null input, a zlib error, a failed allocation, input
// that ends before the stream does, or a stream that inflates to more than
// kMaxInflatedBlock (then *overLimit, when given, is set); out is then left
// as it was. Bytes after the end of the stream are ignored.
bool InflateBlock(const unsigned char* data, size_t length, CByteBuffer& out, bool* overLimit = nullptr);

// One inflate stream and one output buffer kept from block to block, for a
// reader of many small blocks (the rows of a table file): a stream is set up
// once and reset per block, and the buffer keeps its size.
class CInflater {
public:
    CInflater();
    ~CInflater();
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    // Inflates one zlib stream, with the results and failures of
    // InflateBlock. The output is Output()/OutputSize() until the next call.
    bool Inflate(const unsigned char* data, size_t length, bool* overLimit = nullptr);
    const unsigned char* Output() const { return buffer_.Data(); }
    size_t OutputSize() const { return produced_; }
    // Hands the output over (trimmed to its size) and forgets it.
    void TakeOutput(CByteBuffer& out);

private:
    void* stream_;  // z_stream, set up on first use
    CByteBuffer buffer_;
    size_t produced_;
};
