#include "core/ZlibBlock.h"

#include <climits>
#include <cstring>
#include <new>

#include <zlib.h>

namespace {

// The least output space an inflate starts with.
const size_t kFirstOutputSize = 4096;

} // namespace

CBlockPacker::~CBlockPacker() {}

CInflater::CInflater() : stream_(nullptr), produced_(0) {}

CInflater::~CInflater()
{
    if (stream_) {
        inflateEnd(static_cast<z_stream*>(stream_));
        delete static_cast<z_stream*>(stream_);
    }
}

void CInflater::TakeOutput(CByteBuffer& out)
{
    buffer_.Shrink(produced_);
    out.Swap(buffer_);
    buffer_.Detach(true);
    produced_ = 0;
}

bool CInflater::Inflate(const unsigned char* data, size_t length, bool* overLimit)
{
    if (overLimit)
        *overLimit = false;
    produced_ = 0;
    if (!data || length == 0 || length > UINT_MAX / 2)
        return false;
    if (!stream_) {
        z_stream* stream = new (std::nothrow) z_stream();
        if (!stream)
            return false;
        if (inflateInit(stream) != Z_OK) {
            delete stream;
            return false;
        }
        stream_ = stream;
    } else if (inflateReset(static_cast<z_stream*>(stream_)) != Z_OK) {
        return false;
    }
    z_stream* stream = static_cast<z_stream*>(stream_);
    // inflate writes every byte it reports, so the buffer needs no zero-fill.
    // zlib takes its fast path only while 258 bytes of output space are left:
    // a buffer of twice a small row would leave most of the row to the slow
    // one, so the buffer starts at a few kilobytes.
    size_t start = length < kMaxInflatedBlock / 2 ? 2 * length : kMaxInflatedBlock;
    if (start < kFirstOutputSize)
        start = kFirstOutputSize;
    if (buffer_.Size() < start && !buffer_.Resize(start))
        return false;
    stream->next_in = const_cast<Bytef*>(data);
    stream->avail_in = static_cast<uInt>(length);
    size_t produced = 0;
    for (;;) {
        size_t space = buffer_.Size() - produced;
        if (space > UINT_MAX)
            space = UINT_MAX;
        stream->next_out = buffer_.Data() + produced;
        stream->avail_out = static_cast<uInt>(space);
        int status = inflate(stream, Z_NO_FLUSH);
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
        if (buffer_.Size() >= kMaxInflatedBlock) {
            if (overLimit)
                *overLimit = true;
            return false;
        }
        size_t next = buffer_.Size() < kMaxInflatedBlock / 2 ? 2 * buffer_.Size() : kMaxInflatedBlock;
        if (!buffer_.Resize(next))
            return false;
    }
    produced_ = produced;
    return true;
}

bool InflateBlock(const unsigned char* data, size_t length, CByteBuffer& out, bool* overLimit)
{
    CInflater inflater;
    if (!inflater.Inflate(data, length, overLimit))
        return false;
    inflater.TakeOutput(out);
    return true;
}
