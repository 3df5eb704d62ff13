// An owned heap block and its size: the buffer type of the codec, the table
// file and the HTTP reader.
//
// Blocks come from malloc and go back with free, so a block handed in with
// Attach or handed out with Detach(false) must be a malloc block. The empty
// state is a null pointer and size 0. Nothing here throws.
#pragma once

#include <cstddef>

class CByteBuffer {
public:
    CByteBuffer() = default;
    ~CByteBuffer();
    CByteBuffer(CByteBuffer&& other) noexcept;
    CByteBuffer& operator=(CByteBuffer&& other) noexcept;
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // Frees the old block and allocates size bytes (none for 0), zero-filled
    // when asked. False when the allocation fails; the buffer is then empty.
    bool Allocate(size_t size, bool zero);
    // Frees the old block and takes ownership of block (size bytes),
    // zero-filling it when asked. False for a null block (buffer unchanged).
    bool Attach(unsigned char* block, size_t size, bool zero);
    // Forgets the block. Frees it when freeBlock is set and returns null;
    // otherwise returns it and the caller owns it.
    unsigned char* Detach(bool freeBlock);
    // Appends count zero bytes, keeping the contents. False when the
    // allocation fails or the size would overflow; the buffer is then unchanged.
    bool Grow(size_t count);
    // Makes the block size bytes long, keeping the contents that fit; bytes
    // beyond the old size are left uninitialised (for a writer that fills
    // them). False when the allocation fails; the buffer is then unchanged.
    bool Resize(size_t size);
    // Keeps only the first size bytes (no-op when size is not smaller).
    void Shrink(size_t size);
    // Exchanges the blocks of two buffers.
    void Swap(CByteBuffer& other) noexcept;

    // The byte at position, or 0 past the end.
    unsigned char ByteAt(size_t position) const;
    unsigned char* Data() { return data_; }
    const unsigned char* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }

private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};
