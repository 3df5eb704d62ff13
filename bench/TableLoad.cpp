// Load time of one large table file, the same program on the host and under
// Wine, so that the two can be compared on the same file:
//   table_load make FILE MEGABYTES [MODE]
//                                    writes a patch-list-like table of about
//                                    that size (codec MODE, default 2 as the
//                                    servers use)
//   table_load load FILE [TIMES]     loads it TIMES times (default 3) and
//                                    prints the best time in milliseconds
//   table_load raw FILE [TIMES]      the floor for a mode-0 file: reads the
//                                    file, checks each block's CRC-32 and
//                                    inflates it with one reused zlib stream
// bench/table_load.sh runs both builds on one file and prints the ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vector>

#include <zlib.h>

#include "core/Coding.h"
#include "core/TableFile.h"

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

int Make(const char* path, long megabytes, int mode)
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
            if (!table.Save(path, nullptr, 0, mode, true))
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

// What any reader of the file must do at the least: read it, check every
// block's CRC and inflate it (one stream and one output buffer for all).
int Raw(const char* path, int times)
{
    double best = 1e12;
    size_t blocks = 0, inflated = 0;
    for (int t = 0; t < times; ++t) {
        auto start = std::chrono::steady_clock::now();
        FILE* file = fopen(path, "rb");
        if (!file)
            return 1;
        std::vector<unsigned char> image;
        unsigned char piece[65536];
        size_t got;
        while ((got = fread(piece, 1, sizeof(piece), file)) > 0)
            image.insert(image.end(), piece, piece + got);
        fclose(file);
        z_stream stream;
        memset(&stream, 0, sizeof(stream));
        if (inflateInit(&stream) != Z_OK)
            return 1;
        std::vector<unsigned char> out(1 << 16);
        blocks = inflated = 0;
        for (size_t offset = 7; offset + 8 <= image.size();) {
            uint32_t length = ReadLe32(&image[offset]);
            uint32_t crc = ReadLe32(&image[offset + 4]);
            offset += 8;
            if (length > image.size() - offset ||
                crc32(0, &image[offset], length) != crc)
                return 1;
            inflateReset(&stream);
            stream.next_in = &image[offset];
            stream.avail_in = length;
            int status;
            do {
                stream.next_out = out.data();
                stream.avail_out = static_cast<uInt>(out.size());
                status = inflate(&stream, Z_NO_FLUSH);
                inflated += out.size() - stream.avail_out;
            } while (status == Z_OK);
            if (status != Z_STREAM_END)
                return 1;
            offset += length;
            ++blocks;
        }
        inflateEnd(&stream);
        auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
        best = elapsed.count() < best ? elapsed.count() : best;
    }
    printf("raw %zu blocks, %zu bytes: best of %d %.1f ms\n", blocks, inflated, times, best);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "make") == 0)
        return Make(argv[2], atol(argv[3]), argc >= 5 ? atoi(argv[4]) : 2);
    if (argc >= 3 && strcmp(argv[1], "raw") == 0)
        return Raw(argv[2], argc >= 4 ? atoi(argv[3]) : 3);
    if (argc >= 3 && strcmp(argv[1], "load") == 0)
        return Load(argv[2], argc >= 4 ? atoi(argv[3]) : 3);
    fprintf(stderr, "usage: table_load make FILE MEGABYTES [MODE] | load FILE [TIMES] | raw FILE [TIMES]\n");
    return 2;
}
