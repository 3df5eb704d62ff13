#include "core/ReleaseSignature.h"

#include <cstdint>
#include <cstring>

#include "core/ByteBuffer.h"

namespace {

const char kMagicLine[] = "QVSIG 1\n";
const char kKeyPrefix[] = "key ";
const char kChannelPrefix[] = "channel ";
const char kSerialPrefix[] = "serial ";
const char kSignaturePrefix[] = "signature ";

const char* const kChannelNames[] = {"config", "program", "database"};

// A piece of the file: no copies, no allocation.
struct CText {
    const char* data;
    size_t length;
};

// A cursor over the file's bytes that takes one expected piece at a time.
class CLineReader {
public:
    CLineReader(const uint8_t* data, size_t length)
        : at_(reinterpret_cast<const char*>(data)), end_(at_ + length)
    {
    }

    size_t Offset(const uint8_t* start) const { return at_ - reinterpret_cast<const char*>(start); }
    bool AtEnd() const { return at_ == end_; }

    // Takes the literal text; false (nothing taken) when the bytes differ.
    bool Take(const char* text)
    {
        size_t n = strlen(text);
        if (static_cast<size_t>(end_ - at_) < n || memcmp(at_, text, n) != 0)
            return false;
        at_ += n;
        return true;
    }

    // Takes the rest of the line and its LF; false when there is no LF.
    bool TakeLine(CText& line)
    {
        const void* lf = memchr(at_, '\n', end_ - at_);
        if (!lf)
            return false;
        const char* stop = static_cast<const char*>(lf);
        line = CText{at_, static_cast<size_t>(stop - at_)};
        at_ = stop + 1;
        return true;
    }

private:
    const char* at_;
    const char* end_;
};

int LowerHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Exactly 2 * size lower-case hex digits into size bytes.
bool ParseLowerHex(const CText& text, uint8_t* bytes, size_t size)
{
    if (text.length != 2 * size)
        return false;
    for (size_t i = 0; i < size; ++i) {
        int high = LowerHexValue(text.data[2 * i]);
        int low = LowerHexValue(text.data[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

bool HasKeyId(const uint8_t key[ED25519_PUBLIC_KEY_BYTES], const uint8_t keyId[RELEASE_KEY_ID_BYTES])
{
    return memcmp(key, keyId, RELEASE_KEY_ID_BYTES) == 0;
}

} // namespace

bool ParseReleaseChannel(const char* text, size_t length, ReleaseChannel& channel)
{
    if (!text)
        return false;
    for (int i = RELEASE_CHANNEL_CONFIG; i <= RELEASE_CHANNEL_DATABASE; ++i) {
        if (length == strlen(kChannelNames[i]) && memcmp(text, kChannelNames[i], length) == 0) {
            channel = static_cast<ReleaseChannel>(i);
            return true;
        }
    }
    return false;
}

const char* ReleaseChannelName(ReleaseChannel channel)
{
    return channel >= RELEASE_CHANNEL_CONFIG && channel <= RELEASE_CHANNEL_DATABASE ? kChannelNames[channel] : "";
}

bool ParseReleaseSerial(const char* text, size_t length, uint64_t& serial)
{
    if (!text || length == 0 || length > static_cast<size_t>(RELEASE_SERIAL_MAX_DIGITS))
        return false;
    if (text[0] == '0' && length > 1)
        return false;
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');  // 18 digits fit in 60 bits
    }
    serial = value;
    return true;
}

bool ParseReleaseSignature(const uint8_t* data, size_t length, ReleaseSignatureFields& fields)
{
    if (!data || length == 0 || length > RELEASE_SIGNATURE_MAX_BYTES)
        return false;
    CLineReader reader(data, length);
    CText line;
    if (!reader.Take(kMagicLine))
        return false;
    if (!reader.Take(kKeyPrefix) || !reader.TakeLine(line) || !ParseLowerHex(line, fields.keyId, RELEASE_KEY_ID_BYTES))
        return false;
    if (!reader.Take(kChannelPrefix) || !reader.TakeLine(line) || !ParseReleaseChannel(line.data, line.length, fields.channel))
        return false;
    if (!reader.Take(kSerialPrefix) || !reader.TakeLine(line) || !ParseReleaseSerial(line.data, line.length, fields.serial))
        return false;
    fields.signedHeaderLength = reader.Offset(data);
    if (!reader.Take(kSignaturePrefix) || !reader.TakeLine(line) ||
        !ParseLowerHex(line, fields.signature, ED25519_SIGNATURE_BYTES))
        return false;
    return reader.AtEnd();
}

ReleaseSignatureResult CheckReleaseSignature(const uint8_t* signatureFile, size_t signatureLength,
                                             const uint8_t* manifest, size_t manifestLength,
                                             ReleaseChannel expected,
                                             const uint8_t (*trustedKeys)[ED25519_PUBLIC_KEY_BYTES],
                                             size_t keyCount, uint64_t& serial)
{
    if (!signatureFile || signatureLength == 0)
        return RELEASE_SIGNATURE_MISSING;
    ReleaseSignatureFields fields;
    if (!ParseReleaseSignature(signatureFile, signatureLength, fields))
        return RELEASE_SIGNATURE_MALFORMED;
    if (!trustedKeys)
        keyCount = 0;
    bool keyKnown = false;
    for (size_t k = 0; k < keyCount; ++k)
        keyKnown = keyKnown || HasKeyId(trustedKeys[k], fields.keyId);
    if (!keyKnown)
        return RELEASE_SIGNATURE_UNKNOWN_KEY;
    if (fields.channel != expected)
        return RELEASE_SIGNATURE_WRONG_CHANNEL;
    if (!manifest && manifestLength > 0)
        return RELEASE_SIGNATURE_BAD;

    // The verifier takes the signed message in one block: the four header
    // lines, then the manifest.
    size_t headerLength = fields.signedHeaderLength;
    CByteBuffer message;
    if (manifestLength > SIZE_MAX - headerLength || !message.Allocate(headerLength + manifestLength, false))
        return RELEASE_SIGNATURE_NO_MEMORY;
    memcpy(message.Data(), signatureFile, headerLength);
    if (manifestLength > 0)
        memcpy(message.Data() + headerLength, manifest, manifestLength);
    // Every trusted key of that id is tried: two keys may share their first
    // eight bytes, however unlikely.
    for (size_t k = 0; k < keyCount; ++k) {
        if (HasKeyId(trustedKeys[k], fields.keyId) &&
            VerifyEd25519(trustedKeys[k], fields.signature, message.Data(), message.Size())) {
            serial = fields.serial;
            return RELEASE_SIGNATURE_OK;
        }
    }
    return RELEASE_SIGNATURE_BAD;
}

const char* ReleaseSignatureResultText(ReleaseSignatureResult result)
{
    switch (result) {
    case RELEASE_SIGNATURE_OK: return "good signature";
    case RELEASE_SIGNATURE_MISSING: return "signature file missing or empty";
    case RELEASE_SIGNATURE_MALFORMED: return "signature file malformed";
    case RELEASE_SIGNATURE_UNKNOWN_KEY: return "signed with an unknown key";
    case RELEASE_SIGNATURE_WRONG_CHANNEL: return "signed for another channel";
    case RELEASE_SIGNATURE_BAD: return "bad signature";
    case RELEASE_SIGNATURE_NO_MEMORY: return "out of memory";
    case RELEASE_SIGNATURE_OLDER: return "an older release than the one accepted before";
    }
    return "unknown result";
}
