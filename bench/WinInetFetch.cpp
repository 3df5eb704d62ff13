// The floor of an install: a minimal WinINet program that fetches the same
// files the engine would, one request at a time with 4,096-byte reads, and
// writes each to disk. No checks, no digests, no placement: what any
// downloader must spend on the wire and the disk.
//
//   wininet_fetch HOST PORT LISTFILE OUTFOLDER
// LISTFILE holds one URL path per line ("/bench/QVPatch.dat").
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: wininet_fetch HOST PORT LISTFILE OUTFOLDER\n");
        return 2;
    }
    FILE* list = fopen(argv[3], "r");
    if (!list)
        return 2;
    HINTERNET internet = InternetOpenA("floor", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!internet)
        return 1;
    char line[1024];
    int fetched = 0;
    long long bytes = 0;
    while (fgets(line, sizeof(line), list)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (!*line)
            continue;
        HINTERNET connection = InternetConnectA(internet, argv[1], static_cast<INTERNET_PORT>(atoi(argv[2])),
                                                nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        HINTERNET request = connection ? HttpOpenRequestA(connection, "GET", line, nullptr, nullptr, nullptr,
                                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                       : nullptr;
        if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
            const char* name = strrchr(line, '/');
            std::string path = std::string(argv[4]) + "\\" + (name ? name + 1 : line);
            FILE* out = fopen(path.c_str(), "wb");
            char buffer[4096];
            DWORD got = 0;
            while (out && InternetReadFile(request, buffer, sizeof(buffer), &got) && got > 0) {
                fwrite(buffer, 1, got, out);
                bytes += got;
            }
            if (out) {
                fclose(out);
                ++fetched;
            }
        }
        if (request)
            InternetCloseHandle(request);
        if (connection)
            InternetCloseHandle(connection);
    }
    InternetCloseHandle(internet);
    fclose(list);
    printf("fetched %d files, %lld bytes\n", fetched, bytes);
    return 0;
}
