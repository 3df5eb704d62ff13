#include "core/ByteBuffer.h"

#include <cstdlib>
#include <cstring>

CByteBuffer::~CByteBuffer() { free(data_); }

CByteBuffer::CByteBuffer(CByteBuffer&& other) noexcept { Swap(other); }

CByteBuffer& CByteBuffer::operator=(CByteBuffer&& other) noexcept
{
    if (this != &other) {
        Detach(true);
        Swap(other);
    }
    return *this;
}

bool CByteBuffer::Allocate(size_t size, bool zero)
{
    Detach(true);
    if (size == 0)
        return true;
    unsigned char* block = static_cast<unsigned char*>(zero ? calloc(size, 1) : malloc(size));
    if (!block)
        return false;
    data_ = block;
    size_ = size;
    return true;
}

bool CByteBuffer::Attach(unsigned char* block, size_t size, bool zero)
{
    if (!block)
        return false;
    if (block != data_)
        Detach(true);
    if (zero && size > 0)
        memset(block, 0, size);
    data_ = block;
    size_ = size;
    return true;
}

unsigned char* CByteBuffer::Detach(bool freeBlock)
{
    unsigned char* block = data_;
    data_ = nullptr;
    size_ = 0;
    if (freeBlock) {
        free(block);
        return nullptr;
    }
    return block;
}

bool CByteBuffer::Grow(size_t count)
{
    if (count == 0)
        return true;
    if (count > static_cast<size_t>(-1) - size_)
        return false;
    // realloc keeps the old block when it fails, so a failure changes nothing.
    unsigned char* block = static_cast<unsigned char*>(realloc(data_, size_ + count));
    if (!block)
        return false;
    memset(block + size_, 0, count);
    data_ = block;
    size_ += count;
    return true;
}

bool CByteBuffer::Resize(size_t size)
{
    if (size == size_)
        return true;
    if (size == 0) {
        Detach(true);
        return true;
    }
    // realloc keeps the old block when it fails, so a failure changes nothing.
    unsigned char* block = static_cast<unsigned char*>(realloc(data_, size));
    if (!block)
        return false;
    data_ = block;
    size_ = size;
    return true;
}

void CByteBuffer::Shrink(size_t size)
{
    if (size >= size_)
        return;
    if (size == 0) {
        Detach(true);
        return;
    }
    // Giving memory back is optional: a failed shrinking realloc keeps the block.
    if (unsigned char* block = static_cast<unsigned char*>(realloc(data_, size)))
        data_ = block;
    size_ = size;
}

void CByteBuffer::Swap(CByteBuffer& other) noexcept
{
    unsigned char* data = data_;
    size_t size = size_;
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = data;
    other.size_ = size;
}

unsigned char CByteBuffer::ByteAt(size_t position) const { return position < size_ ? data_[position] : 0; }
