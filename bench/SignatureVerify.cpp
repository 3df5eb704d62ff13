// Time to check the release signature of one manifest, the same program on
// the host and under Wine:
//   signature_verify MANIFEST PUBLICHEX [TIMES]
// reads MANIFEST and MANIFEST.sig (made with qvpublish sign), runs the
// programs' check (CheckReleaseSignature with PUBLICHEX as the trusted key)
// TIMES times (default 20) and prints the best time in milliseconds, beside
// the best time of an MD5 digest of the same bytes (what the engine already
// computes of every file it installs), for scale.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Md5.h"
#include "core/ReleaseSignature.h"

namespace {

bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    uint8_t piece[65536];
    size_t got;
    while ((got = fread(piece, 1, sizeof(piece), file)) > 0)
        bytes.insert(bytes.end(), piece, piece + got);
    fclose(file);
    return true;
}

bool ParseKey(const char* hex, uint8_t key[ED25519_PUBLIC_KEY_BYTES])
{
    std::string text = hex;
    if (text.size() != 2 * ED25519_PUBLIC_KEY_BYTES)
        return false;
    for (size_t i = 0; i < ED25519_PUBLIC_KEY_BYTES; ++i)
        key[i] = static_cast<uint8_t>(strtoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
    return true;
}

template <typename Work>
double BestMilliseconds(int times, Work work)
{
    double best = 1e12;
    for (int i = 0; i < times; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = ms < best ? ms : best;
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s MANIFEST PUBLICHEX [TIMES]\n", argv[0]);
        return 2;
    }
    int times = argc > 3 ? atoi(argv[3]) : 20;
    std::vector<uint8_t> manifest, signature;
    uint8_t key[1][ED25519_PUBLIC_KEY_BYTES];
    if (!ReadAll(argv[1], manifest) || !ReadAll(std::string(argv[1]) + ".sig", signature) || !ParseKey(argv[2], key[0]))
        return 1;
    ReleaseSignatureResult result = RELEASE_SIGNATURE_OK;
    uint64_t serial = 0;
    double check = BestMilliseconds(times, [&] {
        result = CheckReleaseSignature(signature.data(), signature.size(), manifest.data(), manifest.size(),
                                       RELEASE_CHANNEL_PROGRAM, key, 1, serial);
    });
    if (result != RELEASE_SIGNATURE_OK) {
        fprintf(stderr, "%s\n", ReleaseSignatureResultText(result));
        return 1;
    }
    std::string digest;
    double md5 = BestMilliseconds(times, [&] { Md5Buffer(manifest.data(), manifest.size(), digest); });
    printf("check of %zu bytes: best of %d %.3f ms; md5 %.3f ms\n", manifest.size(), times, check, md5);
    return 0;
}
