#include "tools/qvpublish/ReleaseSigning.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "tools/qvpublish/ToolSupport.h"

namespace {

const mode_t kPrivateKeyMode = 0600;

// The first libcrypto error, for messages.
std::string CryptoError()
{
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "libcrypto failed";
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return text;
}

// Frees a signing context on every way out.
struct SignContext {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~SignContext() { EVP_MD_CTX_free(ctx); }
};

} // namespace

CReleaseKey::~CReleaseKey() { EVP_PKEY_free(key_); }

bool CReleaseKey::Generate(std::string& error)
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!key) {
        error = "cannot make a key: " + CryptoError();
        return false;
    }
    EVP_PKEY_free(key_);
    key_ = key;
    return true;
}

bool CReleaseKey::Load(const std::string& path, std::string& error)
{
    FILE* file = fopen(path.c_str(), "r");
    if (!file) {
        error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    fclose(file);
    if (!key) {
        error = path + " holds no PEM private key (" + CryptoError() + ")";
        return false;
    }
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        error = path + " holds a private key of another kind than Ed25519";
        return false;
    }
    EVP_PKEY_free(key_);
    key_ = key;
    return true;
}

bool CReleaseKey::SaveNew(const std::string& path, std::string& error) const
{
    if (!key_) {
        error = "no key to save";
        return false;
    }
    // Written in full beside the target, then linked to its name: link()
    // never replaces a file, and no one sees half a key.
    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot create a file next to " + path + ": " + strerror(errno);
        return false;
    }
    std::string temporary(name.data());
    FILE* file = fchmod(fd, kPrivateKeyMode) == 0 ? fdopen(fd, "w") : nullptr;
    bool ok = file && PEM_write_PrivateKey(file, key_, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
              fflush(file) == 0 && fsync(fd) == 0;
    if (file ? fclose(file) != 0 : close(fd) != 0)
        ok = false;
    if (!ok) {
        error = "cannot write " + temporary;
    } else if (link(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno == EEXIST ? path + " exists: a key is never overwritten"
                                : "cannot create " + path + ": " + strerror(errno);
    }
    unlink(temporary.c_str());
    return ok;
}

bool CReleaseKey::PublicKey(uint8_t key[ED25519_PUBLIC_KEY_BYTES]) const
{
    size_t length = ED25519_PUBLIC_KEY_BYTES;
    return key_ && EVP_PKEY_get_raw_public_key(key_, key, &length) == 1 && length == ED25519_PUBLIC_KEY_BYTES;
}

bool CReleaseKey::Sign(const std::string& message, uint8_t signature[ED25519_SIGNATURE_BYTES],
                       std::string& error) const
{
    SignContext context;
    size_t length = ED25519_SIGNATURE_BYTES;
    // Pure Ed25519 takes no digest: the whole message goes in one call.
    bool ok = key_ && context.ctx && EVP_DigestSignInit(context.ctx, nullptr, nullptr, nullptr, key_) == 1 &&
              EVP_DigestSign(context.ctx, signature, &length, reinterpret_cast<const unsigned char*>(message.data()),
                             message.size()) == 1 &&
              length == ED25519_SIGNATURE_BYTES;
    if (!ok)
        error = "cannot sign: " + CryptoError();
    return ok;
}

bool MakeSignatureFile(const SigningRequest& request, const std::string& manifest, std::string& file,
                       std::string& error)
{
    uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES];
    if (!request.key || !request.key->PublicKey(publicKey)) {
        error = "no signing key";
        return false;
    }
    // The key id is the public key's first bytes.
    std::string header = ReleaseSignatureHeader(publicKey, request.channel, request.serial);
    uint8_t signature[ED25519_SIGNATURE_BYTES];
    if (!request.key->Sign(header + manifest, signature, error))
        return false;
    file = ReleaseSignatureFileText(header, signature);
    return true;
}

bool WriteSignatureFor(const SigningRequest& request, const std::string& manifestPath,
                       const std::string& signaturePath, std::string& error)
{
    std::string manifest, file;
    if (!ReadWholeFile(manifestPath, manifest, error) || !MakeSignatureFile(request, manifest, file, error))
        return false;
    return ReplaceFile(
        signaturePath,
        [&](const std::string& temporary) {
            FILE* out = fopen(temporary.c_str(), "wb");
            if (!out)
                return false;
            bool written = fwrite(file.data(), 1, file.size(), out) == file.size();
            return fclose(out) == 0 && written;
        },
        error);
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    bytes.clear();
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    bool ok = !ferror(file);
    fclose(file);
    if (!ok)
        error = "cannot read " + path;
    return ok;
}

bool ParseSerialOption(const std::string& text, uint64_t& serial, std::string& error)
{
    if (ParseReleaseSerial(text.data(), text.size(), serial))
        return true;
    error = "--serial must be a release serial number: 1 to 18 decimal digits, no leading zero (\"" + text + "\")";
    return false;
}

bool ParseChannelOption(const std::string& text, ReleaseChannel& channel, std::string& error)
{
    if (ParseReleaseChannel(text.data(), text.size(), channel))
        return true;
    error = "--channel must be config, program or database (\"" + text + "\")";
    return false;
}

std::string ToLowerHex(const uint8_t* bytes, size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

int ReadSigningOptions(const CToolOptions& options, bool forChannel, CReleaseKey& key, SigningRequest& request,
                       bool& signing)
{
    signing = options.Has("sign");
    std::string error;
    if (!signing) {
        if (options.Has("serial") || options.Has("channel"))
            return UsageError(std::string(options.Has("serial") ? "--serial" : "--channel") + " needs --sign KEYFILE");
        return kExitOk;
    }
    if (!options.Has("serial"))
        return UsageError("--sign needs --serial N");
    if (!ParseSerialOption(options.Value("serial"), request.serial, error))
        return UsageError(error);
    request.channel = RELEASE_CHANNEL_CONFIG;
    if (forChannel) {
        if (!options.Has("channel"))
            return UsageError("--sign needs --channel program or --channel database");
        std::string channel = options.Value("channel");
        if (!ParseReleaseChannel(channel.data(), channel.size(), request.channel) ||
            request.channel == RELEASE_CHANNEL_CONFIG)
            return UsageError("--channel must be program or database (\"" + options.Value("channel") + "\")");
    }
    if (!key.Load(options.Value("sign"), error))
        return Fail(error);
    request.key = &key;
    return kExitOk;
}

void WarnOfStaleSignature(const std::string& manifestPath)
{
    std::string signaturePath = manifestPath + ".sig";
    if (access(signaturePath.c_str(), F_OK) == 0)
        fprintf(stderr, "qvpublish: warning: %s belongs to an earlier file: remove it, or publish with --sign\n",
                signaturePath.c_str());
}
