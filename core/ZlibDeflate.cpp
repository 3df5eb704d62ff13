// The level-9 compressor of table-file rows (see ZlibBlock.h).
#include "core/ZlibBlock.h"

#include <climits>
#include <new>

#include <zlib.h>

namespace {

const int kCompressionLevel = 9;
// Room the output buffer has beyond the input length.
const size_t kDeflateSlack = 1024;

} // namespace

CDeflater::CDeflater() : stream_(nullptr) {}

CDeflater::~CDeflater()
{
    if (stream_) {
        deflateEnd(static_cast<z_stream*>(stream_));
        delete static_cast<z_stream*>(stream_);
    }
}

bool CDeflater::Pack(const unsigned char* data, size_t length, CByteBuffer& out)
{
    // zlib counts in uInt: the block and its output buffer must fit in one.
    if (!data || length == 0 || length > UINT_MAX - kDeflateSlack)
        return false;
    if (!stream_) {
        z_stream* stream = new (std::nothrow) z_stream();
        if (!stream)
            return false;
        if (deflateInit(stream, kCompressionLevel) != Z_OK) {
            delete stream;
            return false;
        }
        stream_ = stream;
    } else if (deflateReset(static_cast<z_stream*>(stream_)) != Z_OK) {
        return false;
    }
    z_stream* stream = static_cast<z_stream*>(stream_);
    // length + 1024 covers every block up to a few megabytes; incompressible
    // blocks beyond that need zlib's own bound.
    size_t capacity = length + kDeflateSlack;
    uLong bound = deflateBound(stream, static_cast<uLong>(length));
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
    if (deflate(stream, Z_FINISH) != Z_STREAM_END)
        return false;
    result.Shrink(stream->total_out);
    out.Swap(result);
    return true;
}
