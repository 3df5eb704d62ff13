// The writing half of the signature file's format (ReleaseSignature.h), for
// signers; apart from the reader so that a program that only checks links
// none of it.
#include "core/ReleaseSignature.h"

namespace {

std::string LowerHex(const uint8_t* bytes, size_t size)
{
    static const char kHexDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 15];
    }
    return text;
}

} // namespace

std::string ReleaseSignatureHeader(const uint8_t keyId[RELEASE_KEY_ID_BYTES], ReleaseChannel channel,
                                   uint64_t serial)
{
    return std::string("QVSIG 1\n") + "key " + LowerHex(keyId, RELEASE_KEY_ID_BYTES) + "\n" +
           "channel " + ReleaseChannelName(channel) + "\nserial " + std::to_string(serial) + "\n";
}

std::string ReleaseSignatureFileText(const std::string& header, const uint8_t signature[ED25519_SIGNATURE_BYTES])
{
    return header + "signature " + LowerHex(signature, ED25519_SIGNATURE_BYTES) + "\n";
}
