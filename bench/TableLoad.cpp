// Load time of one large table file, the same program on the host and under
// Wine, so that the two can be compared on the same file:
//   table_load make FILE MEGABYTES   writes a patch-list-like table of about
//                                    that size (mode 2, as the servers do)
//   table_load load FILE [TIMES]     loads it TIMES times (default 3) and
//                                    prints the best time in milliseconds
// bench/table_load.sh runs both builds on one file and prints the ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "update/TableFile.h"

namespace {

// Digests that change from row to row, so the rows do not compress away.
std::string Digest(unsigned seed)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text(32, '0');
    for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = kHex[(seed >> 16) & 15];
    }
    return text;
}

int Make(const char* path, long megabytes)
{
    const long target = megabytes << 20;
    CTableFile table;
    table.AddRow();
    table.AddText("KorvaneFree", true);
    table.AddText("2025061001", true);
    for (unsigned i = 0;; ++i) {
        table.AddRow();
        std::string name = "engine\\part" + std::to_string(i) + ".dat";
        table.AddText("", true);
        table.AddText(Digest(i).c_str(), true);
        table.AddText("%VP%", true);
        table.AddText(name.c_str(), true);
        table.AddText("ENGINE_RESTART", true);
        table.AddText("2025061001", true);
        table.AddText((name + ".cab").c_str(), true);
        table.AddText(Digest(~i).c_str(), true);
        table.AddNumber4(static_cast<int32_t>(i * 1024));
        table.AddNumber4(0);
        table.AddNumber4(0);
        // Check the size now and then: a save per row would take too long.
        if (i % 20000 == 19999) {
            if (!table.Save(path, nullptr, 0, 2, true))
                return 1;
            FILE* file = fopen(path, "rb");
            if (!file)
                return 1;
            fseek(file, 0, SEEK_END);
            long size = ftell(file);
            fclose(file);
            if (size >= target) {
                printf("%s: %ld bytes, %u rows\n", path, size, i + 2);
                return 0;
            }
        }
    }
}

int Load(const char* path, int times)
{
    double best = 1e12;
    size_t rows = 0;
    for (int i = 0; i < times; ++i) {
        auto start = std::chrono::steady_clock::now();
        CTableFile table;
        if (!table.Open(path, nullptr, 0))
            return 1;
        auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
        best = elapsed.count() < best ? elapsed.count() : best;
        rows = 1;
        while (table.NextRow())
            ++rows;
    }
    printf("load %zu rows: best of %d %.1f ms\n", rows, times, best);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "make") == 0)
        return Make(argv[2], atol(argv[3]));
    if (argc >= 3 && strcmp(argv[1], "load") == 0)
        return Load(argv[2], argc >= 4 ? atoi(argv[3]) : 3);
    fprintf(stderr, "usage: table_load make FILE MEGABYTES | load FILE [TIMES]\n");
    return 2;
}
