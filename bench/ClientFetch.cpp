// The project's HTTP client alone, fetching what wininet_fetch fetches: the
// same files, one request at a time, through the client's own request steps
// (fresh handles, cache entry removal, option refreshes per request, 4,096-
// byte reads) and nothing of the engine. Set beside the floor and the
// install, it shows how much of an install's time is the client's and how
// much the engine's.
//
//   client_fetch HOST PORT LISTFILE OUTFOLDER
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/HttpClient.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: client_fetch HOST PORT LISTFILE OUTFOLDER\n");
        return 2;
    }
    FILE* list = fopen(argv[3], "r");
    if (!list)
        return 2;
    CHttpClient client;
    const uint16_t port = static_cast<uint16_t>(atoi(argv[2]));
    char line[1024];
    int fetched = 0;
    while (fgets(line, sizeof(line), list)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (!*line)
            continue;
        const char* name = strrchr(line, '/');
        std::string path = std::string(argv[4]) + "\\" + (name ? name + 1 : line);
        uint32_t resultCode = 0;
        if (client.DownloadToFile(argv[1], line, port, path.c_str(), resultCode, true))
            ++fetched;
    }
    fclose(list);
    printf("fetched %d files\n", fetched);
    return 0;
}
