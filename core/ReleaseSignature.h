// Detached signatures of a release's manifests: the configuration file
// "QVConfig.dat" and the two patch lists "QVPatch.dat". Beside each manifest
// the server holds a signature file, the manifest's path plus ".sig":
//
//   QVSIG 1
//   key <16 lower-case hex digits: the first 8 bytes of the signing public key>
//   channel <config | program | database>
//   serial <decimal, 1 to 18 digits>
//   signature <128 lower-case hex digits>
//
// ASCII, exactly these five lines, each ending in LF, nothing after the
// fifth LF. The serial is written without leading zeros ("0" itself is
// allowed): one number has one form, so the signed bytes name it exactly.
// The signature is pure Ed25519 (RFC 8032) by the release key over the
// bytes of the first four lines, LFs included, followed by the manifest's
// bytes exactly as served. Anything else (CR, upper-case hex, a blank, a
// "+", a missing or sixth line, more than 512 bytes) is malformed.
//
// Inputs are memory buffers the caller has read; nothing here touches
// files. Portable code (no Windows calls): the host build fuzzes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Ed25519Verify.h"

// Longest signature file accepted; a real one is at most 211 bytes.
const size_t RELEASE_SIGNATURE_MAX_BYTES = 512;
const size_t RELEASE_KEY_ID_BYTES = 8;
const int RELEASE_SERIAL_MAX_DIGITS = 18;
const uint64_t RELEASE_SERIAL_MAX = 999999999999999999ull;

enum ReleaseChannel {
    RELEASE_CHANNEL_CONFIG,    // "QVConfig.dat"
    RELEASE_CHANNEL_PROGRAM,   // the program channel's "QVPatch.dat"
    RELEASE_CHANNEL_DATABASE,  // the engine-database channel's "QVPatch.dat"
};

// Result of CheckReleaseSignature: success, or the first check that failed.
enum ReleaseSignatureResult {
    RELEASE_SIGNATURE_OK = 0,
    RELEASE_SIGNATURE_MISSING,        // no signature file, or an empty one
    RELEASE_SIGNATURE_MALFORMED,      // not the five lines above
    RELEASE_SIGNATURE_UNKNOWN_KEY,    // made with none of the trusted keys
    RELEASE_SIGNATURE_WRONG_CHANNEL,  // made for another manifest
    RELEASE_SIGNATURE_BAD,            // does not match the manifest's bytes
    RELEASE_SIGNATURE_NO_MEMORY,      // could not be checked: out of memory
    RELEASE_SIGNATURE_OLDER,          // good, but of a lower serial than accepted before (the caller's check)
};

// The fields of a well-formed signature file.
struct ReleaseSignatureFields {
    uint8_t keyId[RELEASE_KEY_ID_BYTES];
    ReleaseChannel channel;
    uint64_t serial;
    uint8_t signature[ED25519_SIGNATURE_BYTES];
    size_t signedHeaderLength;  // bytes of the first four lines, the signed prefix
};

// Reads a signature file strictly. False when it is empty, longer than
// RELEASE_SIGNATURE_MAX_BYTES or not exactly the five lines above; fields
// is then unspecified.
bool ParseReleaseSignature(const uint8_t* data, size_t length, ReleaseSignatureFields& fields);

// Checks signature file against the manifest's bytes: well formed, made by
// one of the keyCount trusted keys (32 bytes each; the key id picks it), for
// the expected channel, and a valid signature of the first four lines plus
// the manifest. Returns RELEASE_SIGNATURE_OK and sets serial, or the first
// check that failed (serial then untouched). A null file or length 0 is
// MISSING; no trusted key makes every file UNKNOWN_KEY. manifest may be
// null when manifestLength is 0. Comparing the serial with the highest one
// accepted before is the caller's.
ReleaseSignatureResult CheckReleaseSignature(const uint8_t* signatureFile, size_t signatureLength,
                                             const uint8_t* manifest, size_t manifestLength,
                                             ReleaseChannel expected,
                                             const uint8_t (*trustedKeys)[ED25519_PUBLIC_KEY_BYTES],
                                             size_t keyCount, uint64_t& serial);

// "config", "program" or "database".
const char* ReleaseChannelName(ReleaseChannel channel);
// True when the length bytes at text are exactly one of the three channel names.
bool ParseReleaseChannel(const char* text, size_t length, ReleaseChannel& channel);
// True when the length bytes at text are a serial as the file writes it: 1
// to 18 decimal digits, no sign, no blank, no leading zero unless the serial
// is "0" (say, a highest accepted serial kept as text).
bool ParseReleaseSerial(const char* text, size_t length, uint64_t& serial);
// A short English description of result, for diagnostics.
const char* ReleaseSignatureResultText(ReleaseSignatureResult result);

// For a signer (ReleaseSignatureWriter.cpp): the first four lines (the signed prefix) for a key of the
// given id and a serial of at most RELEASE_SERIAL_MAX (a larger one gives a
// header the reader refuses), and the whole file from that prefix and the
// signature.
std::string ReleaseSignatureHeader(const uint8_t keyId[RELEASE_KEY_ID_BYTES], ReleaseChannel channel,
                                   uint64_t serial);
std::string ReleaseSignatureFileText(const std::string& header,
                                     const uint8_t signature[ED25519_SIGNATURE_BYTES]);
