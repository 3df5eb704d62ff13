// Ed25519 verification from libsodium: the published vectors of RFC 8032
// (section 7.1, tests 1 to 3) are accepted, and one changed byte of the key,
// the message or the signature makes each of them fail. Runs on the host and
// under Wine.
#include "core/Ed25519Verify.h"

#include <gtest/gtest.h>

#include "tests/core/CodecTestUtil.h"

using qvtest::Bytes;
using qvtest::FromHex;

namespace {

struct Rfc8032Vector {
    const char* name;
    const char* publicKey;
    const char* message;
    const char* signature;
};

const Rfc8032Vector kVectors[] = {
    {"TEST 1", "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"TEST 2", "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"TEST 3", "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
};

bool Verify(const Bytes& key, const Bytes& signature, const Bytes& message)
{
    return VerifyEd25519(key.data(), signature.data(), message.empty() ? nullptr : message.data(), message.size());
}

} // namespace

TEST(Ed25519Verify, AcceptsTheRfc8032Vectors)
{
    for (const Rfc8032Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        EXPECT_TRUE(Verify(FromHex(v.publicKey), FromHex(v.signature), FromHex(v.message)));
    }
}

TEST(Ed25519Verify, OneChangedByteOfKeyMessageOrSignatureFails)
{
    for (const Rfc8032Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        Bytes key = FromHex(v.publicKey), message = FromHex(v.message), signature = FromHex(v.signature);
        Bytes otherKey = key;
        otherKey[5] ^= 0x01;
        EXPECT_FALSE(Verify(otherKey, signature, message));
        // Test 1 signs the empty message: one byte more is the change there.
        Bytes otherMessage = message;
        if (otherMessage.empty())
            otherMessage.push_back(0x00);
        else
            otherMessage.back() ^= 0x80;
        EXPECT_FALSE(Verify(key, signature, otherMessage));
        for (size_t at : {0u, 31u, 32u, 63u}) {  // R and S, both ends
            Bytes otherSignature = signature;
            otherSignature[at] ^= 0x40;
            EXPECT_FALSE(Verify(key, otherSignature, message)) << "signature byte " << at;
        }
    }
}

TEST(Ed25519Verify, NullInputsAreRefused)
{
    const Rfc8032Vector& v = kVectors[1];
    Bytes key = FromHex(v.publicKey), message = FromHex(v.message), signature = FromHex(v.signature);
    EXPECT_FALSE(VerifyEd25519(nullptr, signature.data(), message.data(), message.size()));
    EXPECT_FALSE(VerifyEd25519(key.data(), nullptr, message.data(), message.size()));
    EXPECT_FALSE(VerifyEd25519(key.data(), signature.data(), nullptr, message.size()));
}

TEST(Ed25519Verify, RefusesASignatureWhoseScalarIsNotReduced)
{
    // S + L (the group order) verifies the same equation; RFC 8032 requires
    // S < L, and a verifier that took S + L would accept a second form of
    // every signature.
    const Rfc8032Vector& v = kVectors[2];
    Bytes key = FromHex(v.publicKey), message = FromHex(v.message), signature = FromHex(v.signature);
    const Bytes order = FromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    unsigned carry = 0;
    for (size_t i = 0; i < 32; ++i) {
        unsigned sum = signature[32 + i] + order[i] + carry;
        signature[32 + i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
    ASSERT_EQ(carry, 0u);
    EXPECT_FALSE(Verify(key, signature, message));
}
