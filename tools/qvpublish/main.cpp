// qvpublish: prepares the files the update servers hand to QVSetup.
//   qvpublish FAMILY COMMAND [ARGS...]
#include <cstdio>
#include <cstring>

#include "tools/qvpublish/Commands.h"

namespace {

struct Family {
    const char* name;
    int (*run)(const ToolArgs& args);
    const char* usage;
};

const Family kFamilies[] = {
    {"table", RunTableCommand, kTableUsage},
    {"config", RunConfigCommand, kConfigUsage},
    {"skin", RunSkinCommand, kSkinUsage},
    {"channel", RunChannelCommand, kChannelUsage},
    {"key", RunKeyCommand, kKeyUsage},
    {"sign", RunSignCommand, kSignUsage},
    {"verify", RunVerifyCommand, kVerifyUsage},
};

void PrintUsage(FILE* out)
{
    fprintf(out, "usage:\n");
    for (const Family& family : kFamilies)
        fprintf(out, "%s", family.usage);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    for (const Family& family : kFamilies) {
        if (strcmp(argv[1], family.name) == 0)
            return family.run(ToolArgs(argv + 2, argv + argc));
    }
    fprintf(stderr, "qvpublish: unknown command family \"%s\"\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
