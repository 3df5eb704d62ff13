// qvcheck: lets a vendor check an update server with the setup program's own
// HTTP client.
//
//   qvcheck get HOST PATH PORT OUTFILE
//   qvcheck config|check|install HOSTS PATH PORT BASEFOLDER
//   (check and install take --channel program|database first)
//
// A new subcommand is a source of its own plus one line in kCommands.
#include "tools/qvcheck/Commands.h"

#include "platform/SystemLibrary.h"
#include "update/ReleaseKeys.h"
#include "update/UpdateEngine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const QvCheckCommand kCommands[] = {
    {"get", "HOST PATH PORT OUTFILE", RunGetCommand},
    {"config", "HOSTS PATH PORT BASEFOLDER", RunConfigCommand},
    {"check", "[--channel program|database] HOSTS PATH PORT BASEFOLDER", RunCheckCommand},
    {"install", "[--channel program|database] HOSTS PATH PORT BASEFOLDER", RunInstallCommand},
};

int Usage()
{
    fprintf(stderr, "usage:\n");
    for (const QvCheckCommand& command : kCommands)
        fprintf(stderr, "  qvcheck %s %s\n", command.name, command.usage);
    return QVCHECK_USAGE;
}

} // namespace

bool ParsePort(const char* text, unsigned short& port)
{
    if (!text || !*text || strspn(text, "0123456789") != strlen(text) || strlen(text) > 5)
        return false;
    unsigned long value = strtoul(text, nullptr, 10);
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

int main(int argc, char** argv)
{
    // Before anything loads a DLL by name: none from the current folder.
    ExcludeCurrentFolderFromDllSearch();
    if (argc < 2)
        return Usage();
    // With release keys built in, qvcheck checks signatures as the setup program does.
    g_updateEngine.SetReleaseKeys(ReleaseKeys(), ReleaseKeyCount());
    for (const QvCheckCommand& command : kCommands)
        if (strcmp(argv[1], command.name) == 0)
            return command.run(argc - 2, argv + 2);
    fprintf(stderr, "qvcheck: unknown command \"%s\"\n", argv[1]);
    return Usage();
}
