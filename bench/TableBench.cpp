// Save and load of a large table file (20,000 rows of six cells, like a big
// patch list), per codec mode. Not part of the tests:
//   build-*/host/bench/table_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "core/TableFile.h"

namespace {

const int kRows = 20000;

void BuildPatchList(CTableFile& table)
{
    for (int i = 0; i < kRows; ++i) {
        table.AddRow();
        std::string name = "engine\\part" + std::to_string(i) + ".dat";
        table.AddText(name.c_str(), false);
        table.AddText("%PROGRAM_FILES%\\Dravik\\KorvaneV5\\KorvaneFree\\Engine", true);
        table.AddText("0123456789ABCDEF0123456789ABCDEF", false);
        table.AddNumber4(i * 1024);
        table.AddNumber5(i % 3);
        table.AddNumber6(1);
    }
}

std::string BenchPath(int mode)
{
    return "/tmp/qv_table_bench_" + std::to_string(getpid()) + "_" + std::to_string(mode) + ".qvt";
}

void BM_TableSave(benchmark::State& state)
{
    int mode = static_cast<int>(state.range(0));
    CTableFile table;
    BuildPatchList(table);
    std::string path = BenchPath(mode);
    for (auto _ : state) {
        if (!table.Save(path.c_str(), nullptr, 0, mode, true))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    remove(path.c_str());
}

void BM_TableLoad(benchmark::State& state)
{
    int mode = static_cast<int>(state.range(0));
    std::string path = BenchPath(mode);
    {
        CTableFile table;
        BuildPatchList(table);
        table.Save(path.c_str(), nullptr, 0, mode, true);
    }
    for (auto _ : state) {
        CTableFile table;
        if (!table.Open(path.c_str(), nullptr, 0))
            state.SkipWithError("open failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    remove(path.c_str());
}

} // namespace

BENCHMARK(BM_TableSave)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableLoad)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
