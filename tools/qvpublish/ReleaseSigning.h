// Signing a release's manifests (core/ReleaseSignature.h gives the
// signature file's format) with OpenSSL's libcrypto: Ed25519 private keys
// in PKCS#8 PEM files, as "openssl genpkey -algorithm ed25519" writes them.
// Ed25519 is deterministic, so a signature made here is byte for byte the
// one "openssl pkeyutl -sign -rawin" makes of the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ReleaseSignature.h"

typedef struct evp_pkey_st EVP_PKEY;

class CReleaseKey {
public:
    CReleaseKey() = default;
    ~CReleaseKey();
    CReleaseKey(const CReleaseKey&) = delete;
    CReleaseKey& operator=(const CReleaseKey&) = delete;

    // Makes a new random key. False (error set) when libcrypto fails.
    bool Generate(std::string& error);
    // Reads a PEM private key. False when the file cannot be read or holds
    // no Ed25519 private key.
    bool Load(const std::string& path, std::string& error);
    // Writes the key as PKCS#8 PEM to a new file of mode 0600, complete or
    // not at all. False when path exists (a key is never replaced) or a
    // step fails.
    bool SaveNew(const std::string& path, std::string& error) const;

    // The raw 32-byte public key; false when no key is held.
    bool PublicKey(uint8_t key[ED25519_PUBLIC_KEY_BYTES]) const;
    // Signs message (pure Ed25519). False when no key is held or libcrypto fails.
    bool Sign(const std::string& message, uint8_t signature[ED25519_SIGNATURE_BYTES], std::string& error) const;

private:
    EVP_PKEY* key_ = nullptr;
};

// What to sign a manifest with: the key, the channel named in the file and
// the release's serial.
struct SigningRequest {
    const CReleaseKey* key = nullptr;
    ReleaseChannel channel = RELEASE_CHANNEL_CONFIG;
    uint64_t serial = 0;
};

// The whole signature file for the manifest bytes. False (error set) when
// signing fails.
bool MakeSignatureFile(const SigningRequest& request, const std::string& manifest, std::string& file,
                       std::string& error);

// Signs the file at manifestPath and writes the signature file to
// signaturePath through a temporary sibling (an existing file is replaced
// only by a complete one). False (error set) when the manifest cannot be
// read or a step fails.
bool WriteSignatureFor(const SigningRequest& request, const std::string& manifestPath,
                       const std::string& signaturePath, std::string& error);

// The whole file at path; false (error set) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// "--serial N" and "--channel C" as the signature file writes them.
bool ParseSerialOption(const std::string& text, uint64_t& serial, std::string& error);
bool ParseChannelOption(const std::string& text, ReleaseChannel& channel, std::string& error);

// Lower-case hex of bytes.
std::string ToLowerHex(const uint8_t* bytes, size_t size);

class CToolOptions;

// The signing options of config and channel: --sign KEYFILE --serial N and,
// for a channel (forChannel), --channel program|database; config signs for
// the channel "config". Returns kExitOk with signing true (key loaded,
// request filled) when --sign is given, kExitOk with signing false when
// none of them is, or the exit code of a wrong command line or an
// unreadable key after printing why.
int ReadSigningOptions(const CToolOptions& options, bool forChannel, CReleaseKey& key, SigningRequest& request,
                       bool& signing);

// Warns on stderr when an unsigned manifest is published at manifestPath
// while a signature file of an earlier one stands beside it.
void WarnOfStaleSignature(const std::string& manifestPath);
