/* Sample product: stands in for the updater "QVUpdate.exe", which the
 * installer points its shortcuts, uninstall entry and Run value at and starts
 * at the end of the wizard. It records each start, with its working folder and
 * its arguments, as one line "started|<folder>|<arguments>" in
 * "QVUpdate.record.txt" beside itself, and ends. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char self[MAX_PATH] = {0};
    char record[MAX_PATH + 32];
    char folder[MAX_PATH] = {0};
    char* slash;
    FILE* out;

    (void)instance;
    (void)previous;
    (void)show;
    GetModuleFileNameA(NULL, self, MAX_PATH);
    slash = strrchr(self, '\\');
    if (slash)
        *slash = '\0';
    snprintf(record, sizeof(record), "%s\\QVUpdate.record.txt", self);
    GetCurrentDirectoryA(MAX_PATH, folder);
    out = fopen(record, "ab");
    if (!out)
        return 1;
    fprintf(out, "started|%s|%s\n", folder, commandLine ? commandLine : "");
    fclose(out);
    return 0;
}
