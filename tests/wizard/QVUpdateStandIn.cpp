// Stand-in for the product's updater "QVUpdate.exe" in window tests: records
// that it was started, with its working folder and arguments, in
// "QVUpdate.record.txt" beside itself, one line per start, and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    char* slash = strrchr(self, '\\');
    if (slash)
        *slash = '\0';
    char record[MAX_PATH + 32];
    snprintf(record, sizeof(record), "%s\\QVUpdate.record.txt", self);
    char folder[MAX_PATH] = {0};
    GetCurrentDirectoryA(MAX_PATH, folder);
    FILE* out = fopen(record, "ab");
    if (!out)
        return 1;
    fprintf(out, "started|%s|%s\n", folder, commandLine ? commandLine : "");
    fclose(out);
    return 0;
}
