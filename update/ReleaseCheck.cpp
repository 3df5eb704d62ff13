// The signature check of a release's manifests, as the engine fetches them.
#include "update/UpdateEngine.h"

#include "platform/PathKind.h"
#include "platform/SystemHandles.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

const char kSignatureSuffix[] = ".sig";
// The largest manifest checked: far above any patch list, well below what a
// 32-bit process can hold.
const DWORD kMaxManifestBytes = 256u * 1024 * 1024;

// Reads the whole file at path, at most limit bytes; false when it cannot be
// opened or read, or is longer than limit (bytes then hold what was read).
bool ReadWholeFile(const std::string& path, DWORD limit, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)); // no security, no template
    if (!file)
        return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file.Get(), &high);
    bool read = size != INVALID_FILE_SIZE && high == 0 && size <= limit;
    if (read) {
        try {
            bytes.resize(size);
        } catch (...) {
            read = false;
        }
    }
    DWORD got = 0;
    if (read && size > 0)
        read = ReadFile(file.Get(), bytes.data(), size, &got, nullptr) && got == size;
    return read;
}

} // namespace

void CUpdateEngine::SetReleaseKeys(const uint8_t (*keys)[ED25519_PUBLIC_KEY_BYTES], size_t count)
{
    releaseKeys_ = keys;
    releaseKeyCount_ = keys ? count : 0;
}

void CUpdateEngine::SetMinimumSerial(ReleaseChannel channel, uint64_t serial)
{
    if (channel >= RELEASE_CHANNEL_CONFIG && channel <= RELEASE_CHANNEL_DATABASE)
        minimumSerial_[channel] = serial;
}

bool CUpdateEngine::ManifestTrusted(const char* name, ReleaseChannel channel, bool fetch)
{
    acceptedSerial_ = 0;
    acceptedSerialText_.clear();
    if (releaseKeyCount_ == 0)
        return true;
    const std::string signatureName = std::string(name) + kSignatureSuffix;
    const std::string signaturePath = workFolder_ + "\\" + signatureName;
    std::vector<uint8_t> signature, manifest;
    ReleaseSignatureResult result = RELEASE_SIGNATURE_MISSING;
    if (fetch)
        DeleteFileA(signaturePath.c_str()); // never an older one
    const bool arrived = !fetch || FetchFile(remoteBasePath_.c_str(), signatureName.c_str());
    if (arrived && !ReadWholeFile(signaturePath, RELEASE_SIGNATURE_MAX_BYTES, signature))
        result = IsExistingFile(signaturePath) ? RELEASE_SIGNATURE_MALFORMED : RELEASE_SIGNATURE_MISSING;
    else if (arrived) {
        uint64_t serial = 0;
        result = ReadWholeFile(workFolder_ + "\\" + name, kMaxManifestBytes, manifest)
                     ? CheckReleaseSignature(signature.data(), signature.size(), manifest.data(), manifest.size(),
                                             channel, releaseKeys_, releaseKeyCount_, serial)
                     : RELEASE_SIGNATURE_BAD;
        if (result == RELEASE_SIGNATURE_OK && serial < minimumSerial_[channel])
            result = RELEASE_SIGNATURE_OLDER;
        ReleaseSignatureFields fields;
        if (result == RELEASE_SIGNATURE_OK && ParseReleaseSignature(signature.data(), signature.size(), fields)) {
            acceptedSerial_ = serial;
            memcpy(acceptedKeyId_, fields.keyId, sizeof(acceptedKeyId_));
            // The digits of the well-formed "serial " line, as they were signed.
            const std::string text(signature.begin(), signature.end());
            const size_t start = text.find("\nserial ") + sizeof("\nserial ") - 1;
            acceptedSerialText_ = text.substr(start, text.find('\n', start) - start);
        }
    }
    lastSignatureResult_ = result;
    if (result == RELEASE_SIGNATURE_OK)
        return true;
    // A signature file the server does not have counts as a failed
    // signature; one that could not be fetched at all, as its transport.
    if (arrived || lastFailure_ == UPD_FAILURE_NOT_RELEASE)
        lastFailure_ = UPD_FAILURE_SIGNATURE;
    OutputDebugStringA("Failed Signature : ");
    OutputDebugStringA(name);
    OutputDebugStringA("\n");
    return false;
}
