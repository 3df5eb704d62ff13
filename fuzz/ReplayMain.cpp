// Plain replay driver for the fuzz targets: runs LLVMFuzzerTestOneInput on
// every file named on the command line (folders are walked one level deep).
// Used by the host tests to keep the committed corpus passing; the real
// fuzzing build (scripts/fuzz.sh) links libFuzzer's driver instead.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!IsFolder(arg)) {
            files.push_back(arg);
            continue;
        }
        if (DIR* dir = opendir(arg.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != ".." && !IsFolder(arg + "/" + name))
                    files.push_back(arg + "/" + name);
            }
            closedir(dir);
        }
    }
    if (files.empty()) {
        fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> bytes;
    for (const std::string& file : files) {
        if (!ReadFile(file, bytes)) {
            fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    printf("replayed %zu inputs\n", files.size());
    return 0;
}
