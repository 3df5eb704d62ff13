// qvcheck config|check|install HOSTS PATH PORT BASEFOLDER: the update engine's
// steps against a vendor's server, as the setup program runs them. HOSTS is a
// host list as the engine takes it ("a;b": one host chosen at random).
//
//   config   the configuration step: fetch "QVConfig.dat", validate it, copy it
//            into BASEFOLDER and load it; prints every field as name=value
//   check    Reset + CheckForUpdates; prints "result 0x.." and one "todo" line
//            per record to fetch
//   install  Reset + InstallUpdates; prints "progress" lines (when a file
//            starts or ends, and at most once a second in between) and
//            "result 0x.."
//
// check and install serve the program channel, or the engine database with
// "--channel database" before HOSTS. With release keys built in, every
// command also prints "signature: key <id> serial <n>" for the manifest it
// accepted, or "signature: <which check failed>" and fails. check and install
// first print the proxy the requests go through, and a "warning:" line for
// each release file answered in a way a proxy or cache would mishandle
// (tools/qvcheck/AnswerWarnings.h); warnings do not change the exit status.
#include "tools/qvcheck/AnswerWarnings.h"
#include "tools/qvcheck/Commands.h"

#include "core/ConfigRecord.h"
#include "install/UpdateSession.h"
#include "integration/EngineProduct.h"
#include "integration/ProductSettings.h"
#include "update/UpdateEngine.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct EngineArgs {
    const char* hosts;
    const char* path;
    unsigned short port;
    const char* baseFolder;
};

bool ParseEngineArgs(const char* command, int argc, char** argv, EngineArgs& args)
{
    // check and install: "--channel program|database" may come first.
    if (strcmp(command, "config") != 0 && argc >= 2 && strcmp(argv[0], "--channel") == 0) {
        ReleaseChannel channel = RELEASE_CHANNEL_PROGRAM;
        if (!ParseReleaseChannel(argv[1], strlen(argv[1]), channel) || channel == RELEASE_CHANNEL_CONFIG) {
            fprintf(stderr, "qvcheck %s: --channel takes program or database\n", command);
            return false;
        }
        g_updateEngine.SetReleaseChannel(channel);
        argc -= 2;
        argv += 2;
    }
    if (argc != 4 || !ParsePort(argv[2], args.port)) {
        fprintf(stderr, "usage: qvcheck %s HOSTS PATH PORT BASEFOLDER\n", command);
        return false;
    }
    args.hosts = argv[0];
    args.path = argv[1];
    args.baseFolder = argv[3];
    return true;
}

// check and install: the proxy first, then a look at every answer.
void WatchAnswers()
{
    PrintProxy();
    g_updateEngine.Http().SetAnswerObserver(WarnAboutAnswer);
}

// Field names for printing: the layout's names, server cells numbered.
std::string FieldName(int index)
{
    std::string name = ConfigLayout(index).name;
    int serverCell = index - CONFIG_FIRST_SERVER_CELL;
    if (serverCell >= 0 && serverCell < 3 * CONFIG_SERVER_COUNT)
        name = "server" + std::to_string(serverCell / 3) + "." + name;
    return name;
}

void PrintRecord(const ConfigRecord& record)
{
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i) {
        if (ConfigLayout(i).kind == CONFIG_TEXT)
            printf("%s=%s\n", FieldName(i).c_str(), record.Text(i).c_str());
        else
            printf("%s=%ld\n", FieldName(i).c_str(), static_cast<long>(record.Number(i)));
    }
}

// Prints a progress report when a file starts or ends, and in between at most
// once a second: a line per 4 KB read would cost the install more than the
// report is worth.
void PrintProgress(const char* fileName, int fileIndex, int fileCount, int overallPercent, int filePercent)
{
    static int lastIndex = -1;
    static DWORD lastPrinted = 0;
    const DWORD now = GetTickCount();
    const bool boundary = fileIndex != lastIndex || filePercent == 0 || filePercent == 100;
    if (!boundary && now - lastPrinted < 1000)
        return;
    lastIndex = fileIndex;
    lastPrinted = now;
    printf("progress %s %d %d %d %d\n", fileName ? fileName : "", fileIndex, fileCount, overallPercent,
           filePercent);
    fflush(stdout);
}

// What the signature check of the manifest said, when signatures are checked.
void PrintSignature()
{
    if (!g_updateEngine.SignaturesRequired())
        return;
    if (g_updateEngine.LastSignatureResult() != RELEASE_SIGNATURE_OK) {
        printf("signature: %s\n", ReleaseSignatureResultText(g_updateEngine.LastSignatureResult()));
        return;
    }
    printf("signature: key ");
    for (size_t i = 0; i < RELEASE_KEY_ID_BYTES; ++i)
        printf("%02x", g_updateEngine.AcceptedKeyId()[i]);
    printf(" serial %s\n", g_updateEngine.AcceptedSerialText().c_str());
}

} // namespace

int RunConfigCommand(int argc, char** argv)
{
    EngineArgs args;
    if (!ParseEngineArgs("config", argc, argv, args))
        return QVCHECK_USAGE;
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    record.SetServer(SERVER_CONFIG, {args.hosts, args.path, args.port});
    g_productSettings.SetConfig(record);

    CUpdateSession session;
    session.installFolder = args.baseFolder;
    const bool fetched = session.FetchConfiguration();
    PrintSignature();
    if (!fetched) {
        printf("fail\n");
        return QVCHECK_FAILED;
    }
    g_productSettings.GetConfig(record);
    PrintRecord(record);
    return QVCHECK_OK;
}

int RunCheckCommand(int argc, char** argv)
{
    EngineArgs args;
    if (!ParseEngineArgs("check", argc, argv, args))
        return QVCHECK_USAGE;
    WatchAnswers();
    ResetEngineForProduct(g_updateEngine);
    int32_t result = g_updateEngine.CheckForUpdates(args.hosts, args.path, args.port, args.baseFolder);
    PrintSignature();
    printf("result 0x%X\n", static_cast<unsigned>(result));
    if (result >= 0 && (result & UPD_AVAILABLE)) {
        std::deque<PatchRecord> todo;
        int32_t flags = 0;
        g_updateEngine.SelectUpdates(todo, flags);
        for (const PatchRecord& record : todo)
            printf("todo %s %s %s %ld %s\n", record.fileName.c_str(), record.targetFolder.c_str(),
                   record.packageName.c_str(), static_cast<long>(record.size), record.restartKind.c_str());
        g_updateEngine.RemoveWorkFolder();
    }
    return result < 0 ? QVCHECK_FAILED : QVCHECK_OK;
}

int RunInstallCommand(int argc, char** argv)
{
    EngineArgs args;
    if (!ParseEngineArgs("install", argc, argv, args))
        return QVCHECK_USAGE;
    WatchAnswers();
    ResetEngineForProduct(g_updateEngine);
    int32_t result =
        g_updateEngine.InstallUpdates(args.hosts, args.path, args.port, args.baseFolder, PrintProgress);
    PrintSignature();
    printf("result 0x%X\n", static_cast<unsigned>(result));
    if (result == UPD_RESULT_BAD_FILE)
        printf("failed %s\n", g_updateEngine.LastFailedFile().c_str());
    return (result == UPD_RESULT_DONE || result == UPD_RESULT_STAGED || result == UPD_RESULT_NOTHING)
               ? QVCHECK_OK
               : QVCHECK_FAILED;
}
