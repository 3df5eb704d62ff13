// qvpublish key new KEYFILE      a new Ed25519 release key
// qvpublish key public KEYFILE   the public key of a release key
//
// "key new" writes the private key as PKCS#8 PEM (what "openssl genpkey
// -algorithm ed25519" writes) to a new file of mode 0600 and never replaces
// an existing file. Both print the public key as 64 lower-case hex digits,
// the form QV_RELEASE_PUBLIC_KEYS and "qvpublish verify --public" take.
#include <cstdio>
#include <string>

#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/ReleaseSigning.h"
#include "tools/qvpublish/ToolSupport.h"

const char kKeyUsage[] =
    "  qvpublish key new KEYFILE                       make a release signing key (prints its public key)\n"
    "  qvpublish key public KEYFILE                    print the public key of a release key\n";

int RunKeyCommand(const ToolArgs& args)
{
    if (args.size() != 2 || (args[0] != "new" && args[0] != "public"))
        return UsageError("key needs new KEYFILE or public KEYFILE");
    const std::string& path = args[1];
    CReleaseKey key;
    std::string error;
    if (args[0] == "new") {
        if (!key.Generate(error) || !key.SaveNew(path, error))
            return Fail(error);
    } else if (!key.Load(path, error)) {
        return Fail(error);
    }
    uint8_t publicKey[ED25519_PUBLIC_KEY_BYTES];
    if (!key.PublicKey(publicKey))
        return Fail("cannot read the public key of " + path);
    printf("%s\n", ToLowerHex(publicKey, sizeof(publicKey)).c_str());
    return kExitOk;
}
