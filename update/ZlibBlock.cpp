#include "update/ZlibBlock.h"

#include <climits>
#include <cstring>

#include <zlib.h>

namespace {

const int kCompressionLevel = 9;
// Room the output buffer has beyond the input length.
const size_t kDeflateSlack = 1024;

// Ends a deflate stream on every path.
class DeflateStream {
public:
    DeflateStream() { memset(&stream_, 0, sizeof(stream_)); }
    ~DeflateStream()
    {
        if (open_)
            deflateEnd(&stream_);
    }
    bool Init()
    {
        open_ = deflateInit(&stream_, kCompressionLevel) == Z_OK;
        return open_;
    }
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

private:
    z_stream stream_;
    bool open_ = false;
};

// Ends an inflate stream on every path.
class InflateStream {
public:
    InflateStream() { memset(&stream_, 0, sizeof(stream_)); }
    ~InflateStream()
    {
        if (open_)
            inflateEnd(&stream_);
    }
    bool Init()
    {
        open_ = inflateInit(&stream_) == Z_OK;
        return open_;
    }
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

private:
    z_stream stream_;
    bool open_ = false;
};

} // namespace

bool DeflateBlock(const unsigned char* data, size_t length, CByteBuffer& out)
{
    // zlib counts in uInt: the block and its output buffer must fit in one.
    if (!data || length == 0 || length > UINT_MAX - kDeflateSlack)
        return false;
    DeflateStream stream;
    if (!stream.Init())
        return false;
    // length + 1024 covers every block up to a few megabytes; incompressible
    // blocks beyond that need zlib's own bound.
    size_t capacity = length + kDeflateSlack;
    uLong bound = deflateBound(stream.get(), static_cast<uLong>(length));
    if (bound > capacity && bound <= UINT_MAX)
        capacity = bound;
    CByteBuffer result;
    if (!result.Allocate(capacity, false))
        return false;
    stream->next_in = const_cast<Bytef*>(data);
    stream->avail_in = static_cast<uInt>(length);
    stream->next_out = result.Data();
    stream->avail_out = static_cast<uInt>(capacity);
    // Only Z_STREAM_END means the whole stream, trailer included, is in the buffer.
    if (deflate(stream.get(), Z_FINISH) != Z_STREAM_END)
        return false;
    result.Shrink(stream->total_out);
    out.Swap(result);
    return true;
}

bool InflateBlock(const unsigned char* data, size_t length, CByteBuffer& out, bool* overLimit)
{
    if (overLimit)
        *overLimit = false;
    if (!data || length == 0 || length > UINT_MAX / 2)
        return false;
    InflateStream stream;
    if (!stream.Init())
        return false;
    CByteBuffer result;
    // inflate writes every byte it reports, so the buffer needs no zero-fill.
    if (!result.Allocate(length < kMaxInflatedBlock / 2 ? 2 * length : kMaxInflatedBlock, false))
        return false;
    stream->next_in = const_cast<Bytef*>(data);
    stream->avail_in = static_cast<uInt>(length);
    size_t produced = 0;
    for (;;) {
        size_t space = result.Size() - produced;
        stream->next_out = result.Data() + produced;
        stream->avail_out = static_cast<uInt>(space);
        int status = inflate(stream.get(), Z_NO_FLUSH);
        produced += space - stream->avail_out;
        if (status == Z_STREAM_END)
            break;
        if (status != Z_OK)
            return false;
        // inflate stops when the input or the output space runs out. Free
        // space left over means the input ended inside the stream.
        if (stream->avail_out != 0)
            return false;
        // The output is full: more may follow even when all input is consumed.
        // Doubling keeps the copying of a large block linear.
        if (result.Size() >= kMaxInflatedBlock) {
            if (overLimit)
                *overLimit = true;
            return false;
        }
        size_t next = result.Size() < kMaxInflatedBlock / 2 ? 2 * result.Size() : kMaxInflatedBlock;
        if (!result.Resize(next))
            return false;
    }
    result.Shrink(produced);
    out.Swap(result);
    return true;
}
