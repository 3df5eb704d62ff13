// The progress arithmetic reported to the install page.
#include "update/DownloadProgress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Report {
    std::string name;
    int index, count, overall, file;
};
std::vector<Report> g_reports;

void Record(const char* name, int index, int count, int overall, int file)
{
    g_reports.push_back({name, index, count, overall, file});
}

class DownloadProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reports.clear();
        progress.SetCallback(Record);
    }
    CDownloadProgress progress;
};

TEST_F(DownloadProgressTest, ThousandBytesInThreeChunks)
{
    progress.AddExpected(1000);
    progress.BeginFiles(1);
    progress.BeginFile("engine.dat");
    progress.OnBytes(1000, 400);
    progress.OnBytes(1000, 800);
    progress.OnBytes(1000, 1000);
    progress.ReportFileDone();
    progress.Report(100, 100);
    ASSERT_EQ(g_reports.size(), 5u);
    EXPECT_EQ(g_reports[0].file, 40);
    EXPECT_EQ(g_reports[0].overall, 40);
    EXPECT_EQ(g_reports[1].file, 80);
    EXPECT_EQ(g_reports[1].overall, 80);
    EXPECT_EQ(g_reports[2].file, 100);
    EXPECT_EQ(g_reports[2].overall, 80); // not recomputed for the file's last bytes
    EXPECT_EQ(g_reports[3].overall, 80);
    EXPECT_EQ(g_reports[4].overall, 100);
    for (const Report& r : g_reports) {
        EXPECT_EQ(r.name, "engine.dat");
        EXPECT_EQ(r.index, 1);
        EXPECT_EQ(r.count, 1);
    }
}

TEST_F(DownloadProgressTest, AllSizesZeroKeepOverallAtZero)
{
    progress.BeginFiles(2);
    for (const char* name : {"a", "b"}) {
        progress.BeginFile(name);
        progress.OnBytes(500, 250);
        progress.OnBytes(500, 500);
    }
    for (const Report& r : g_reports)
        EXPECT_EQ(r.overall, 0);
    EXPECT_EQ(g_reports[0].file, 50);
    EXPECT_EQ(g_reports.back().index, 2);
}

TEST_F(DownloadProgressTest, OverallStaysAtNinetyFiveOrBelowUntilTheEnd)
{
    // Sizes announced smaller than the bytes that really come.
    progress.AddExpected(100);
    progress.BeginFiles(1);
    progress.BeginFile("big");
    for (uint32_t got = 50; got < 1000; got += 50)
        progress.OnBytes(1000, got);
    for (const Report& r : g_reports)
        EXPECT_LE(r.overall, 95);
    EXPECT_EQ(g_reports.back().overall, 95);
}

TEST_F(DownloadProgressTest, LargeFilesDoNotOverflow)
{
    const uint32_t size = 3000000000u; // 3 GB: bytes times 100 needs more than 32 bits
    progress.AddExpected(2000000000);
    progress.AddExpected(1000000000);
    progress.BeginFiles(1);
    progress.BeginFile("huge");
    progress.OnBytes(size, size / 2);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].file, 50);
    EXPECT_EQ(g_reports[0].overall, 50);
}

TEST_F(DownloadProgressTest, NothingHappensWithoutACallback)
{
    progress.SetCallback(nullptr);
    progress.AddExpected(10);
    progress.OnBytes(10, 5);
    progress.Report(1, 1);
    EXPECT_TRUE(g_reports.empty());
}

} // namespace
