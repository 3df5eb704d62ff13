// qvcheck get HOST PATH PORT OUTFILE: one DownloadToFile with the length
// required, as the install engine downloads. Prints "ok <resultCode>" or
// "fail <resultCode>" (the Content-Length on success, else the HTTP status or
// the system error code).
#include "tools/qvcheck/Commands.h"

#include "net/HttpClient.h"

#include <cstdio>

int RunGetCommand(int argc, char** argv)
{
    unsigned short port = 0;
    if (argc != 4 || !ParsePort(argv[2], port)) {
        fprintf(stderr, "usage: qvcheck get HOST PATH PORT OUTFILE\n");
        return QVCHECK_USAGE;
    }
    CHttpClient client;
    uint32_t resultCode = 0;
    bool ok = client.DownloadToFile(argv[0], argv[1], port, argv[3], resultCode, true);
    printf("%s %lu\n", ok ? "ok" : "fail", static_cast<unsigned long>(resultCode));
    fflush(stdout);
    return ok ? QVCHECK_OK : QVCHECK_FAILED;
}
