// The release-signature reader and check: good files signed with the sample
// release key give their serial, and each damaged form gives its named
// result. Runs on the host and under Wine (tests/fixtures/signature).
#include "core/ReleaseSignature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/core/CodecTestUtil.h"
#include "tests/support/TestSupport.h"

using qvtest::Bytes;

namespace {

struct Key {
    uint8_t bytes[ED25519_PUBLIC_KEY_BYTES];
};

std::string Fixture(const std::string& name)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(qvtest::ReadBytes(qvtest::SourcePath("tests/fixtures/signature/" + name), bytes)) << name;
    return std::string(bytes.begin(), bytes.end());
}

// The sample release key's public half, as committed beside the key.
Key SampleKey()
{
    Key key = {};
    std::vector<unsigned char> text;
    EXPECT_TRUE(qvtest::ReadBytes(qvtest::SourcePath("server/sample-release-key.SAMPLE-ONLY.pub"), text));
    Bytes bytes = qvtest::FromHex(std::string(text.begin(), text.end()));
    EXPECT_EQ(bytes.size(), sizeof(key.bytes));
    std::copy(bytes.begin(), bytes.begin() + std::min(bytes.size(), sizeof(key.bytes)), key.bytes);
    return key;
}

class ReleaseSignatureCheck : public ::testing::Test {
protected:
    ReleaseSignatureResult Check(const std::string& signature, ReleaseChannel channel = RELEASE_CHANNEL_PROGRAM)
    {
        return CheckWith(signature, manifest_, channel, {sample_});
    }
    ReleaseSignatureResult CheckWith(const std::string& signature, const std::string& manifest,
                                     ReleaseChannel channel, const std::vector<Key>& keys)
    {
        serial_ = 12345;  // a value no case expects
        return CheckReleaseSignature(reinterpret_cast<const uint8_t*>(signature.data()), signature.size(),
                                     reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size(), channel,
                                     reinterpret_cast<const uint8_t(*)[ED25519_PUBLIC_KEY_BYTES]>(keys.data()),
                                     keys.size(), serial_);
    }

    const Key sample_ = SampleKey();
    const std::string manifest_ = Fixture("manifest.bin");
    const std::string good_ = Fixture("program-7.sig");
    uint64_t serial_ = 0;
};

// good_ with the first occurrence of from replaced by to.
std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// The line of good_ that starts with prefix, without its LF.
std::string Line(const std::string& text, const std::string& prefix)
{
    size_t at = text.find("\n" + prefix);
    size_t start = text.compare(0, prefix.size(), prefix) == 0 ? 0 : at + 1;
    return text.substr(start, text.find('\n', start) - start);
}

std::string CrLf(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

TEST_F(ReleaseSignatureCheck, GoodFilesGiveTheirSerial)
{
    ASSERT_EQ(Check(good_), RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial_, 7u);
    // The largest serial (18 digits) and "0", for the two other channels.
    ASSERT_EQ(Check(Fixture("database-max.sig"), RELEASE_CHANNEL_DATABASE), RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial_, 999999999999999999ull);
    ASSERT_EQ(Check(Fixture("config-0.sig"), RELEASE_CHANNEL_CONFIG), RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial_, 0u);
}

TEST_F(ReleaseSignatureCheck, EachDamagedFormGivesItsResult)
{
    std::string keyLine = Line(good_, "key "), signatureLine = Line(good_, "signature ");
    std::string otherChannel = Replace(good_, "channel program\n", "channel database\n");
    std::string digitChanged = Replace(good_, signatureLine, signatureLine.substr(0, 20) +
                                                                 (signatureLine[20] == '0' ? "1" : "0") +
                                                                 signatureLine.substr(21));
    struct Case {
        const char* what;
        std::string file;
        ReleaseChannel channel;
        ReleaseSignatureResult expected;
    };
    const Case cases[] = {
        {"empty", "", RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MISSING},
        {"a sixth line", good_ + "comment\n", RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"a trailing byte", good_ + " ", RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"a trailing LF", good_ + "\n", RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"CR LF line ends", CrLf(good_), RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"one CR", Replace(good_, "program\n", "program\r\n"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"upper-case key id", Replace(good_, keyLine, Upper(keyLine)), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"upper-case signature", Replace(good_, signatureLine, Upper(signatureLine)), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"key id one digit short", Replace(good_, keyLine, keyLine.substr(0, keyLine.size() - 1)),
         RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"missing channel line", Replace(good_, "channel program\n", ""), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"lines swapped", Replace(Replace(good_, "channel program\n", ""), "serial 7\n", "serial 7\nchannel program\n"),
         RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"leading blank", " " + good_, RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"two blanks after key", Replace(good_, "key ", "key  "), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"blank after the serial", Replace(good_, "serial 7\n", "serial 7 \n"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"another format version", Replace(good_, "QVSIG 1", "QVSIG 2"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"channel in capitals", Replace(good_, "channel program", "channel Program"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"serial with +", Replace(good_, "serial 7", "serial +7"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"serial with -", Replace(good_, "serial 7", "serial -7"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"serial with a leading zero", Replace(good_, "serial 7", "serial 07"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"empty serial", Replace(good_, "serial 7", "serial "), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"serial of 19 digits", Replace(good_, "serial 7", "serial 1000000000000000000"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"serial in hex", Replace(good_, "serial 7", "serial 0x7"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"a zero byte", Replace(good_, "serial 7", std::string("serial 7\0", 9)), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_MALFORMED},
        {"longer than 512 bytes", Replace(good_, "QVSIG 1\n", "QVSIG 1\n" + std::string(400, 'x') + "\n"),
         RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_MALFORMED},
        {"for the database channel", good_, RELEASE_CHANNEL_DATABASE, RELEASE_SIGNATURE_WRONG_CHANNEL},
        {"for the configuration", good_, RELEASE_CHANNEL_CONFIG, RELEASE_SIGNATURE_WRONG_CHANNEL},
        // The four header lines are signed: changing one breaks the signature.
        {"channel changed in the file", otherChannel, RELEASE_CHANNEL_DATABASE, RELEASE_SIGNATURE_BAD},
        {"serial changed in the file", Replace(good_, "serial 7", "serial 8"), RELEASE_CHANNEL_PROGRAM,
         RELEASE_SIGNATURE_BAD},
        {"one signature digit changed", digitChanged, RELEASE_CHANNEL_PROGRAM, RELEASE_SIGNATURE_BAD},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Check(c.file, c.channel), c.expected) << c.what;
        EXPECT_EQ(serial_, 12345u) << c.what << ": a failed check leaves the serial alone";
    }
}

TEST_F(ReleaseSignatureCheck, EveryCutShortFileIsMalformed)
{
    for (size_t length = 1; length < good_.size(); ++length)
        EXPECT_EQ(Check(good_.substr(0, length)), RELEASE_SIGNATURE_MALFORMED) << "first " << length << " bytes";
    EXPECT_EQ(CheckReleaseSignature(nullptr, 0, nullptr, 0, RELEASE_CHANNEL_PROGRAM, nullptr, 0, serial_),
              RELEASE_SIGNATURE_MISSING);
}

TEST_F(ReleaseSignatureCheck, TheManifestMustBeExactlyTheSignedBytes)
{
    std::string changed = manifest_;
    changed[3] ^= 0x20;
    EXPECT_EQ(CheckWith(good_, changed, RELEASE_CHANNEL_PROGRAM, {sample_}), RELEASE_SIGNATURE_BAD);
    EXPECT_EQ(CheckWith(good_, manifest_ + "\n", RELEASE_CHANNEL_PROGRAM, {sample_}), RELEASE_SIGNATURE_BAD);
    EXPECT_EQ(CheckWith(good_, manifest_.substr(1), RELEASE_CHANNEL_PROGRAM, {sample_}), RELEASE_SIGNATURE_BAD);
    EXPECT_EQ(CheckWith(good_, "", RELEASE_CHANNEL_PROGRAM, {sample_}), RELEASE_SIGNATURE_BAD);
}

TEST_F(ReleaseSignatureCheck, TheKeyIdPicksAmongTheTrustedKeys)
{
    Key other = sample_;
    other.bytes[0] ^= 0x01;  // another key id
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {other}), RELEASE_SIGNATURE_UNKNOWN_KEY);
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {}), RELEASE_SIGNATURE_UNKNOWN_KEY);
    // During a key rotation either key may have signed.
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {other, sample_}), RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial_, 7u);
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {sample_, other}), RELEASE_SIGNATURE_OK);
    // A key that shares the id but is another key does not verify it; the
    // real key beside it still does.
    Key twin = sample_;
    twin.bytes[20] ^= 0x01;
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {twin}), RELEASE_SIGNATURE_BAD);
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_PROGRAM, {twin, sample_}), RELEASE_SIGNATURE_OK);
    // An unknown key is named before a wrong channel.
    EXPECT_EQ(CheckWith(good_, manifest_, RELEASE_CHANNEL_DATABASE, {other}), RELEASE_SIGNATURE_UNKNOWN_KEY);
}

TEST(ReleaseSignatureFormat, ReaderTakesWhatTheWriterWrites)
{
    const uint8_t keyId[RELEASE_KEY_ID_BYTES] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    uint8_t signature[ED25519_SIGNATURE_BYTES];
    for (size_t i = 0; i < sizeof(signature); ++i)
        signature[i] = static_cast<uint8_t>(i * 37);
    for (uint64_t serial : {uint64_t(0), uint64_t(1), uint64_t(10), uint64_t(2025061001), RELEASE_SERIAL_MAX}) {
        std::string header = ReleaseSignatureHeader(keyId, RELEASE_CHANNEL_DATABASE, serial);
        std::string file = ReleaseSignatureFileText(header, signature);
        ReleaseSignatureFields fields;
        ASSERT_TRUE(ParseReleaseSignature(reinterpret_cast<const uint8_t*>(file.data()), file.size(), fields))
            << file;
        EXPECT_EQ(fields.serial, serial);
        EXPECT_EQ(fields.channel, RELEASE_CHANNEL_DATABASE);
        EXPECT_EQ(fields.signedHeaderLength, header.size());
        EXPECT_EQ(Bytes(fields.keyId, fields.keyId + 8), Bytes(keyId, keyId + 8));
        EXPECT_EQ(Bytes(fields.signature, fields.signature + 64), Bytes(signature, signature + 64));
        EXPECT_LE(file.size(), RELEASE_SIGNATURE_MAX_BYTES);
    }
    EXPECT_EQ(ReleaseSignatureHeader(keyId, RELEASE_CHANNEL_CONFIG, 42),
              "QVSIG 1\nkey 0123456789abcdef\nchannel config\nserial 42\n");
}

TEST(ReleaseSignatureFormat, SerialAndChannelTexts)
{
    uint64_t serial = 99;
    for (const char* good : {"0", "7", "10", "999999999999999999"})
        EXPECT_TRUE(ParseReleaseSerial(good, strlen(good), serial)) << good;
    EXPECT_EQ(serial, 999999999999999999ull);
    for (const char* bad : {"", "00", "07", "+7", "-7", " 7", "7 ", "1e3", "1000000000000000000"})
        EXPECT_FALSE(ParseReleaseSerial(bad, strlen(bad), serial)) << "\"" << bad << "\"";
    EXPECT_TRUE(ParseReleaseSerial("12", 1, serial));  // only the length given
    EXPECT_EQ(serial, 1u);
    ReleaseChannel channel;
    for (ReleaseChannel c : {RELEASE_CHANNEL_CONFIG, RELEASE_CHANNEL_PROGRAM, RELEASE_CHANNEL_DATABASE}) {
        ASSERT_TRUE(ParseReleaseChannel(ReleaseChannelName(c), strlen(ReleaseChannelName(c)), channel));
        EXPECT_EQ(channel, c);
    }
    EXPECT_FALSE(ParseReleaseChannel("VP", 2, channel));
    EXPECT_FALSE(ParseReleaseChannel("programs", 8, channel));
    EXPECT_FALSE(ParseReleaseChannel("program", 6, channel));
}
