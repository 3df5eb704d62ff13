// Fuzz target: a release signature file as the programs read it, and the
// check against a manifest, with the sample release key as the one trusted
// key. The input is the signature file; when it holds a zero byte (a real
// one never does), the bytes after the first zero are the manifest,
// otherwise a small fixed manifest (the one the committed good inputs are
// signed over). Beyond returning without a crash or an out-of-bounds read:
// a file the check accepts is exactly the canonical file the writer makes
// of its fields, and the reader and the check agree on what is well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/ReleaseSignature.h"

namespace {

// server/sample-release-key.SAMPLE-ONLY.pub
const uint8_t kSampleKey[1][ED25519_PUBLIC_KEY_BYTES] = {
    {0x01, 0xb3, 0x36, 0x6c, 0x8e, 0x62, 0x82, 0x00, 0xac, 0xb7, 0x06, 0x99, 0x96, 0x59, 0x7a, 0x80,
     0x56, 0x73, 0x89, 0xde, 0x43, 0x69, 0xdf, 0xe5, 0x12, 0xf3, 0x99, 0xec, 0xe8, 0xd5, 0xf4, 0x19}};

const char kFixedManifest[] = "QVCSF fixed manifest of the signature fuzz target\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* manifest = reinterpret_cast<const uint8_t*>(kFixedManifest);
    size_t manifestLength = sizeof(kFixedManifest) - 1;
    size_t signatureLength = size;
    if (const void* zero = memchr(data, 0, size)) {
        signatureLength = static_cast<const uint8_t*>(zero) - data;
        manifest = data + signatureLength + 1;
        manifestLength = size - signatureLength - 1;
    }
    ReleaseSignatureFields fields;
    bool parsed = ParseReleaseSignature(data, signatureLength, fields);
    for (int channel = RELEASE_CHANNEL_CONFIG; channel <= RELEASE_CHANNEL_DATABASE; ++channel) {
        uint64_t serial = 0;
        ReleaseSignatureResult result =
            CheckReleaseSignature(data, signatureLength, manifest, manifestLength,
                                  static_cast<ReleaseChannel>(channel), kSampleKey, 1, serial);
        bool wellFormed = result != RELEASE_SIGNATURE_MISSING && result != RELEASE_SIGNATURE_MALFORMED;
        if (wellFormed != parsed)
            abort();
        if (result != RELEASE_SIGNATURE_OK)
            continue;
        std::string canonical = ReleaseSignatureFileText(
            ReleaseSignatureHeader(fields.keyId, fields.channel, fields.serial), fields.signature);
        if (serial != fields.serial || fields.channel != channel || canonical.size() != signatureLength ||
            memcmp(canonical.data(), data, signatureLength) != 0)
            abort();
    }
    return 0;
}
