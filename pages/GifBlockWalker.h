// CGifBlockWalker: walks the block structure of GIF data held in memory and
// cuts it into frames, without decoding any pixels.
//
// A GIF file is laid out as
//   header        "GIF87a" / "GIF89a" (6) + logical screen descriptor (7):
//                 width u16, height u16, packed u8 (bit 7: global colour
//                 table present, bits 0-2: n, table of 3 * 2^(n+1) bytes),
//                 background colour index u8, aspect u8
//   global colour table (optional)
//   blocks, each starting with one byte:
//     0x21 0xFF  application extension    14 bytes + sub-block chain
//     0x21 0xFE  comment extension         2 bytes + sub-block chain
//     0x21 0xF9  graphic control extension 8 bytes: 21 F9 04 packed
//                delay u16 (1/100 s) transparent-index 00; disposal
//                method = bits 2-4 of packed
//     0x21 0x01  plain text extension     15 bytes + sub-block chain
//     0x2C       image: descriptor (10 bytes: 2C left u16 top u16 width
//                u16 height u16 packed u8, bit 7 of packed: local colour
//                table of 3 * 2^(n+1) bytes follows) + LZW code size (1)
//                + local colour table + sub-block chain
//     0x3B       trailer (1 byte)
//   A sub-block chain is a run of (length byte, that many bytes) ending with
//   a zero length byte.
//
// Every read is checked against the data's size: a block that would run past
// the end is a failure, never a read beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gif {
const size_t kHeaderSize = 13;               // signature + logical screen descriptor
const uint8_t kExtensionIntroducer = 0x21;
const uint8_t kImageSeparator = 0x2C;
const uint8_t kTrailer = 0x3B;
const uint8_t kApplicationLabel = 0xFF;
const uint8_t kCommentLabel = 0xFE;
const uint8_t kGraphicControlLabel = 0xF9;
const uint8_t kPlainTextLabel = 0x01;
const size_t kApplicationFixedSize = 14;     // 21 FF 0B + 11 bytes of identifier
const size_t kCommentFixedSize = 2;          // 21 FE
const size_t kGraphicControlSize = 8;        // 21 F9 04 + 4 bytes + 00
const size_t kPlainTextFixedSize = 15;       // 21 01 0C + 12 bytes
const size_t kImageFixedSize = 11;           // 10-byte descriptor + LZW code size
const size_t kTrailerSize = 1;
const uint8_t kColourTableFlag = 0x80;
const uint8_t kColourTableSizeBits = 0x07;
const int kNoDelay = -1;                     // frame without a graphic control extension

// Bytes of a colour table announced by a packed byte (0 when none).
size_t ColourTableSize(uint8_t packed);
} // namespace gif

enum GifBlockKind {
    kGifApplication,
    kGifComment,
    kGifGraphicControl,
    kGifPlainText,
    kGifImage,
    kGifTrailer,
    kGifUnknown,
};

// One frame found by the walker: its bytes are data[start, end).
struct GifFrameInfo {
    size_t start = 0;
    size_t end = 0;
    int delay = gif::kNoDelay;  // hundredths of a second
    int disposal = 0;           // GIF disposal method, 0 to 7
    int left = 0, top = 0, width = 0, height = 0;
};

class CGifBlockWalker {
public:
    // `firstBlock` is where the first block starts: 13 + global colour table.
    CGifBlockWalker(const uint8_t* data, size_t size, size_t firstBlock);

    void Rewind() { m_offset = m_firstBlock; }
    size_t Offset() const { return m_offset; }

    GifBlockKind KindAt(size_t offset) const;
    // Total length of the block at `offset`; false when it is unrecognised or
    // would run past the end of the data.
    bool BlockLength(size_t offset, size_t& length) const;

    // Passes one frame. False (position unspecified) at the trailer, on an
    // unrecognised block or on truncated data.
    bool SkipFrame();
    // Like SkipFrame, and describes the frame passed.
    bool ExtractFrame(GifFrameInfo& frame);

    // A stand-alone one-frame GIF: the file's first `firstBlock` bytes, the
    // frame's bytes and a trailer. Empty when the frame lies outside the data.
    std::vector<uint8_t> AssembleFrame(const GifFrameInfo& frame) const;

private:
    bool Walk(GifFrameInfo* frame);
    bool Pass(size_t& length);
    bool SubBlockChainLength(size_t at, size_t& length) const;
    uint16_t Word(size_t at) const { return static_cast<uint16_t>(m_data[at] | (m_data[at + 1] << 8)); }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_firstBlock;
    size_t m_offset;
};
