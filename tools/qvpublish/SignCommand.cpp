// qvpublish sign --key KEYFILE --channel C --serial N FILE
//   writes FILE.sig, the detached signature of FILE (format in
//   core/ReleaseSignature.h), through a temporary file.
// qvpublish verify --public HEX[;HEX] [--channel C] FILE
//   checks FILE.sig against FILE with the installer's own check and prints
//   the key id, channel and serial; or names the check that failed (exit 1).
//   Without --channel the channel the file names is taken.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/ReleaseSigning.h"
#include "tools/qvpublish/ToolSupport.h"

const char kSignUsage[] =
    "  qvpublish sign --key KEYFILE --channel config|program|database --serial N FILE\n"
    "                                                  write FILE.sig, the release signature of FILE\n";
const char kVerifyUsage[] =
    "  qvpublish verify --public HEX [--channel C] FILE  check FILE.sig against FILE\n";

namespace {

const char kSignatureSuffix[] = ".sig";

// One or two public keys of 64 hex digits, separated by ";".
bool ParsePublicKeys(const std::string& text, std::vector<std::vector<unsigned char>>& keys)
{
    keys.clear();
    size_t start = 0;
    for (;;) {
        size_t end = text.find(';', start);
        std::vector<unsigned char> key;
        if (!ParseHexKey(text.substr(start, end == std::string::npos ? std::string::npos : end - start), key) ||
            key.size() != ED25519_PUBLIC_KEY_BYTES)
            return false;
        keys.push_back(key);
        if (end == std::string::npos)
            return keys.size() <= 2;
        start = end + 1;
    }
}

} // namespace

int RunSignCommand(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"key", "channel", "serial"}, error))
        return UsageError(error);
    if (options.Positional().size() != 1 || !options.Has("key") || !options.Has("channel") ||
        !options.Has("serial"))
        return UsageError("sign needs --key KEYFILE, --channel C, --serial N and FILE");
    SigningRequest request;
    if (!ParseChannelOption(options.Value("channel"), request.channel, error) ||
        !ParseSerialOption(options.Value("serial"), request.serial, error))
        return UsageError(error);
    CReleaseKey key;
    if (!key.Load(options.Value("key"), error))
        return Fail(error);
    request.key = &key;
    const std::string& file = options.Positional()[0];
    if (!WriteSignatureFor(request, file, file + kSignatureSuffix, error))
        return Fail(error);
    return kExitOk;
}

int RunVerifyCommand(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"public", "channel"}, error))
        return UsageError(error);
    if (options.Positional().size() != 1 || !options.Has("public"))
        return UsageError("verify needs --public HEX and FILE");
    std::vector<std::vector<unsigned char>> keys;
    if (!ParsePublicKeys(options.Value("public"), keys))
        return UsageError("--public must be one or two public keys of 64 hex digits separated by \";\"");
    uint8_t trusted[2][ED25519_PUBLIC_KEY_BYTES];
    for (size_t k = 0; k < keys.size(); ++k)
        std::copy(keys[k].begin(), keys[k].end(), trusted[k]);

    const std::string& file = options.Positional()[0];
    std::string manifest, signature;
    if (!ReadWholeFile(file, manifest, error))
        return Fail(error);
    // A missing signature file is one of the results, not an error of its own.
    std::string signaturePath = file + kSignatureSuffix;
    if (!ReadWholeFile(signaturePath, signature, error))
        signature.clear();
    const uint8_t* signatureBytes = reinterpret_cast<const uint8_t*>(signature.data());
    ReleaseSignatureFields fields;
    bool parsed = ParseReleaseSignature(signatureBytes, signature.size(), fields);
    ReleaseChannel expected = parsed ? fields.channel : RELEASE_CHANNEL_CONFIG;
    if (options.Has("channel") && !ParseChannelOption(options.Value("channel"), expected, error))
        return UsageError(error);

    uint64_t serial = 0;
    ReleaseSignatureResult result =
        CheckReleaseSignature(signatureBytes, signature.size(), reinterpret_cast<const uint8_t*>(manifest.data()),
                              manifest.size(), expected, trusted, keys.size(), serial);
    if (result != RELEASE_SIGNATURE_OK) {
        std::string detail;
        if (parsed)
            detail = " (key " + ToLowerHex(fields.keyId, RELEASE_KEY_ID_BYTES) + ", channel " +
                     ReleaseChannelName(fields.channel) + ", serial " + std::to_string(fields.serial) + ")";
        return Fail(signaturePath + ": " + ReleaseSignatureResultText(result) + detail);
    }
    printf("%s: good signature: key %s, channel %s, serial %llu\n", signaturePath.c_str(),
           ToLowerHex(fields.keyId, RELEASE_KEY_ID_BYTES).c_str(), ReleaseChannelName(fields.channel),
           static_cast<unsigned long long>(serial));
    return kExitOk;
}
