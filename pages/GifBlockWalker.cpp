#include "pages/GifBlockWalker.h"

namespace gif {
size_t ColourTableSize(uint8_t packed)
{
    if (!(packed & kColourTableFlag))
        return 0;
    return 3u * (2u << (packed & kColourTableSizeBits));
}
} // namespace gif

using namespace gif;

CGifBlockWalker::CGifBlockWalker(const uint8_t* data, size_t size, size_t firstBlock)
    : m_data(data), m_size(data ? size : 0), m_firstBlock(firstBlock), m_offset(firstBlock)
{
}

GifBlockKind CGifBlockWalker::KindAt(size_t offset) const
{
    if (offset >= m_size)
        return kGifUnknown;
    switch (m_data[offset]) {
    case kImageSeparator:
        return kGifImage;
    case kTrailer:
        return kGifTrailer;
    case kExtensionIntroducer:
        if (offset + 1 >= m_size)
            return kGifUnknown;
        switch (m_data[offset + 1]) {
        case kApplicationLabel:
            return kGifApplication;
        case kCommentLabel:
            return kGifComment;
        case kGraphicControlLabel:
            return kGifGraphicControl;
        case kPlainTextLabel:
            return kGifPlainText;
        default:
            return kGifUnknown;
        }
    default:
        return kGifUnknown;
    }
}

bool CGifBlockWalker::SubBlockChainLength(size_t at, size_t& length) const
{
    size_t position = at;
    for (;;) {
        if (position >= m_size)
            return false;
        size_t blockSize = m_data[position];
        position += blockSize + 1;
        if (blockSize == 0)
            break;
    }
    length = position - at;
    return true;
}

bool CGifBlockWalker::BlockLength(size_t offset, size_t& length) const
{
    size_t fixed = 0;
    bool chain = true;
    switch (KindAt(offset)) {
    case kGifApplication:
        fixed = kApplicationFixedSize;
        break;
    case kGifComment:
        fixed = kCommentFixedSize;
        break;
    case kGifPlainText:
        fixed = kPlainTextFixedSize;
        break;
    case kGifGraphicControl:
        fixed = kGraphicControlSize;
        chain = false;
        break;
    case kGifTrailer:
        fixed = kTrailerSize;
        chain = false;
        break;
    case kGifImage: {
        const size_t packedAt = offset + 9;
        if (packedAt >= m_size)
            return false;
        fixed = kImageFixedSize + ColourTableSize(m_data[packedAt]);
        break;
    }
    default:
        return false;
    }
    size_t chainLength = 0;
    if (chain && !SubBlockChainLength(offset + fixed, chainLength))
        return false;
    length = fixed + chainLength;
    return offset + length <= m_size;
}

bool CGifBlockWalker::Pass(size_t& length)
{
    if (!BlockLength(m_offset, length))
        return false;
    m_offset += length;
    return true;
}

bool CGifBlockWalker::SkipFrame() { return Walk(nullptr); }

bool CGifBlockWalker::ExtractFrame(GifFrameInfo& frame) { return Walk(&frame); }

bool CGifBlockWalker::Walk(GifFrameInfo* frame)
{
    size_t length = 0;
    // Blocks before the frame: application and comment extensions.
    for (;;) {
        GifBlockKind kind = KindAt(m_offset);
        if (kind == kGifGraphicControl || kind == kGifImage || kind == kGifPlainText)
            break;
        if (kind == kGifTrailer || kind == kGifUnknown)
            return false;
        if (!Pass(length))
            return false;
    }

    GifFrameInfo found;
    found.start = m_offset;
    if (KindAt(m_offset) == kGifGraphicControl) {
        if (!BlockLength(m_offset, length))
            return false;
        const uint8_t packed = m_data[m_offset + 3];
        found.disposal = (packed >> 2) & 0x07;
        found.delay = Word(m_offset + 4);
        m_offset += length;
        // The blocks after the extension, up to and including the image; a
        // plain text extension ends the frame instead.
        for (;;) {
            GifBlockKind kind = KindAt(m_offset);
            if (kind == kGifTrailer || kind == kGifUnknown)
                return false;
            const size_t blockStart = m_offset;
            if (!Pass(length))
                return false;
            if (kind == kGifImage) {
                found.left = Word(blockStart + 1);
                found.top = Word(blockStart + 3);
                found.width = Word(blockStart + 5);
                found.height = Word(blockStart + 7);
                break;
            }
            if (kind == kGifPlainText)
                break;
        }
    } else {
        const size_t blockStart = m_offset;
        const bool image = KindAt(m_offset) == kGifImage;
        if (!Pass(length))
            return false;
        if (image) {
            found.left = Word(blockStart + 1);
            found.top = Word(blockStart + 3);
            found.width = Word(blockStart + 5);
            found.height = Word(blockStart + 7);
        }
    }
    found.end = m_offset;
    if (frame)
        *frame = found;
    return true;
}

std::vector<uint8_t> CGifBlockWalker::AssembleFrame(const GifFrameInfo& frame) const
{
    std::vector<uint8_t> bytes;
    if (m_firstBlock > m_size || frame.start < m_firstBlock || frame.end > m_size || frame.start >= frame.end)
        return bytes;
    bytes.reserve(m_firstBlock + (frame.end - frame.start) + kTrailerSize);
    bytes.insert(bytes.end(), m_data, m_data + m_firstBlock);
    bytes.insert(bytes.end(), m_data + frame.start, m_data + frame.end);
    bytes.push_back(kTrailer);
    return bytes;
}
