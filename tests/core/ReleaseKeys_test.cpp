// The release keys built into this build are the ones it was configured
// with (QV_RELEASE_PUBLIC_KEYS, handed to this test as QV_TEST_RELEASE_KEYS
// with "," between keys), byte for byte and in order; a build with the
// sample key accepts the sample release's signatures with them.
#include "update/ReleaseKeys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ReleaseSignature.h"
#include "tests/core/CodecTestUtil.h"
#include "tests/support/TestSupport.h"

using qvtest::Bytes;

namespace {

std::vector<Bytes> ConfiguredKeys()
{
    std::vector<Bytes> keys;
    std::string text = QV_TEST_RELEASE_KEYS;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        keys.push_back(qvtest::FromHex(text.substr(start, end - start)));
        start = end + 1;
    }
    return keys;
}

std::string ReadFixture(const std::string& relative)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(qvtest::ReadBytes(qvtest::SourcePath(relative), bytes)) << relative;
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(ReleaseKeys, AreTheConfiguredKeys)
{
    std::vector<Bytes> configured = ConfiguredKeys();
    ASSERT_EQ(ReleaseKeyCount(), configured.size());
    for (size_t i = 0; i < configured.size(); ++i) {
        ASSERT_NE(ReleaseKey(i), nullptr);
        EXPECT_EQ(Bytes(ReleaseKey(i), ReleaseKey(i) + ED25519_PUBLIC_KEY_BYTES), configured[i]) << "key " << i;
        EXPECT_EQ(ReleaseKeys()[i], ReleaseKey(i));
    }
    EXPECT_EQ(ReleaseKey(configured.size()), nullptr);
    EXPECT_EQ(ReleaseKey(2), nullptr);
}

TEST(ReleaseKeys, CheckTheSampleReleaseWhenTheSampleKeyIsBuiltIn)
{
    std::string sampleHex = ReadFixture("server/sample-release-key.SAMPLE-ONLY.pub");
    Bytes sample = qvtest::FromHex(sampleHex);
    bool builtIn = false;
    for (size_t i = 0; i < ReleaseKeyCount(); ++i)
        builtIn = builtIn || Bytes(ReleaseKey(i), ReleaseKey(i) + ED25519_PUBLIC_KEY_BYTES) == sample;
    std::string manifest = ReadFixture("tests/fixtures/signature/manifest.bin");
    std::string signature = ReadFixture("tests/fixtures/signature/program-7.sig");
    uint64_t serial = 0;
    ReleaseSignatureResult result =
        CheckReleaseSignature(reinterpret_cast<const uint8_t*>(signature.data()), signature.size(),
                              reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size(),
                              RELEASE_CHANNEL_PROGRAM, ReleaseKeys(), ReleaseKeyCount(), serial);
    // Without it (no keys, or only the vendor's) the sample is an unknown key.
    EXPECT_EQ(result, builtIn ? RELEASE_SIGNATURE_OK : RELEASE_SIGNATURE_UNKNOWN_KEY);
}
