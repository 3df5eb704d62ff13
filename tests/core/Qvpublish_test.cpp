// qvpublish table dump / make, run as a program: outputs, exit codes, and
// that a failed make never touches an existing output file.
//   core_qvpublish_test PATH_TO_QVPUBLISH
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/TableFile.h"
#include "tests/core/TableFixture.h"
#include "tests/core/TableTestUtil.h"
#include "tests/support/TestSupport.h"

using qvtest::Bytes;

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path)
{
    Bytes bytes;
    qvtest::ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

class Qvpublish : public ::testing::Test {
protected:
    // Runs qvpublish with args (already quoted where needed) and input on stdin.
    ToolRun Run(const std::string& args, const std::string& input = std::string())
    {
        std::vector<std::string> argv = ::testing::internal::GetArgvs();
        EXPECT_GE(argv.size(), 2u) << "pass the path of qvpublish";
        std::string tool = argv.size() >= 2 ? argv[1] : "qvpublish";
        std::string in = dir_.File("stdin"), out = dir_.File("stdout"), err = dir_.File("stderr");
        qvtest::WriteText(in, input);
        std::string command = "'" + tool + "' " + args + " <'" + in + "' >'" + out + "' 2>'" + err + "'";
        int status = std::system(command.c_str());
        ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
        return run;
    }
    std::string File(const std::string& name) { return dir_.File(name); }

    qvtest::ScratchDir dir_;
};

const char kRowsIn[] =
    "[{\"kind\":1,\"text\":\"한글 텍스트\"},{\"kind\":4,\"number\":-5},{\"kind\":5,\"number\":2147483647}]\n"
    "\n"
    "[{\"kind\":2,\"text\":\"와이드 문자열\"},{\"kind\":3,\"text\":\"utf8 ✓\"},{\"kind\":6,\"number\":-2147483648}]\n"
    "[{\"kind\":1,\"text\":\"\"}]\n";

// Texts read from a file are kind 3; "✓" is not in code page 949 and comes
// back as GetText delivers it.
const char kRowsOut[] =
    "[{\"kind\":3,\"text\":\"한글 텍스트\"},{\"kind\":4,\"number\":-5},{\"kind\":5,\"number\":2147483647}]\n"
    "[{\"kind\":3,\"text\":\"와이드 문자열\"},{\"kind\":3,\"text\":\"utf8 ?\"},{\"kind\":6,\"number\":-2147483648}]\n"
    "[{\"kind\":3,\"text\":\"\"}]\n";

} // namespace

TEST_F(Qvpublish, MakeThenDumpInEveryMode)
{
    for (const char* mode : {"0", "1", "2"}) {
        std::string table = File(std::string("rows") + mode + ".qvt");
        ToolRun make = Run(std::string("table make --mode ") + mode + " '" + table + "'", kRowsIn);
        ASSERT_EQ(make.exitCode, 0) << make.err;
        EXPECT_EQ(make.err, "");
        ToolRun dump = Run("table dump '" + table + "'");
        ASSERT_EQ(dump.exitCode, 0) << dump.err;
        EXPECT_EQ(dump.out, kRowsOut) << "mode " << mode;

        // The file reads back in the program with the same cells.
        CTableFile loaded;
        ASSERT_TRUE(loaded.Open(table.c_str(), nullptr, 0));
        std::string text;
        EXPECT_TRUE(loaded.GetText(text));
        EXPECT_EQ(text, qvtest::kHangulCp949);
    }
}

TEST_F(Qvpublish, KoreanAnsiCellDumpsAsTheSameUtf8AfterLoadAndSave)
{
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText(qvtest::kHangulCp949, false));
    std::string first = File("first.qvt"), second = File("second.qvt");
    ASSERT_TRUE(table.Save(first.c_str(), nullptr, 0, CODEC_RC4, false));
    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(first.c_str(), nullptr, 0));
    ASSERT_TRUE(loaded.Save(second.c_str(), nullptr, 0, CODEC_RC4, false));
    for (const std::string& path : {first, second}) {
        ToolRun dump = Run("table dump '" + path + "'");
        ASSERT_EQ(dump.exitCode, 0) << dump.err;
        EXPECT_EQ(dump.out, "[{\"kind\":3,\"text\":\"한글 텍스트\"}]\n") << path;
    }
}

TEST_F(Qvpublish, DumpsTheCommittedFixtures)
{
    std::string path = qvtest::SourcePath("tests/fixtures/tables/" + qvtest::FixtureFileName("windows", 2));
    ToolRun dump = Run("table dump '" + path + "'");
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(CountLines(dump.out), static_cast<int>(qvtest::FixtureRowsAfterLoad().size()));
    const std::string firstRow =
        "[{\"kind\":3,\"text\":\"한글 텍스트\"},{\"kind\":3,\"text\":\"plain ASCII\"},"
        "{\"kind\":3,\"text\":\"\"},{\"kind\":3,\"text\":\"설정 파일 QVConfig.dat\"}]\n";
    EXPECT_EQ(dump.out.compare(0, firstRow.size(), firstRow), 0) << dump.out;
}

TEST_F(Qvpublish, KeysMustMatch)
{
    std::string table = File("keyed.qvt");
    ASSERT_EQ(Run("table make --mode 2 --key 00112233445566778899aabbccddeeff '" + table + "'", kRowsIn).exitCode, 0);
    ToolRun withKey = Run("table dump --key 00112233445566778899AABBCCDDEEFF '" + table + "'");
    EXPECT_EQ(withKey.exitCode, 0) << withKey.err;
    EXPECT_EQ(withKey.out, kRowsOut);
    ToolRun without = Run("table dump '" + table + "'");
    EXPECT_EQ(without.exitCode, 1);
    EXPECT_EQ(without.out, "");
    EXPECT_EQ(CountLines(without.err), 1);
    EXPECT_NE(Run("table dump --key 0g '" + table + "'").exitCode, 0);
    EXPECT_NE(Run("table dump --key 123 '" + table + "'").exitCode, 0);
}

TEST_F(Qvpublish, DumpFailsCleanlyOnMissingOrDamagedFiles)
{
    ToolRun missing = Run("table dump '" + File("missing.qvt") + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(CountLines(missing.err), 1);

    std::string table = File("damaged.qvt");
    ASSERT_EQ(Run("table make --mode 0 '" + table + "'", kRowsIn).exitCode, 0);
    Bytes bytes;
    ASSERT_TRUE(qvtest::ReadBytes(table, bytes));
    bytes[20] ^= 0x10;
    ASSERT_TRUE(qvtest::WriteBytes(table, bytes.data(), bytes.size()));
    ToolRun damaged = Run("table dump '" + table + "'");
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(CountLines(damaged.err), 1);
}

TEST_F(Qvpublish, BadInputNeverTouchesAnExistingOutput)
{
    std::string table = File("keep.qvt");
    ASSERT_EQ(Run("table make --mode 1 '" + table + "'", kRowsIn).exitCode, 0);
    Bytes before;
    ASSERT_TRUE(qvtest::ReadBytes(table, before));
    const char* badInputs[] = {
        "[{\"kind\":1,\"text\":\"ok\"}]\n[{\"kind\":1,\"text\":\"unterminated}]\n",  // malformed JSON
        "[{\"kind\":9,\"text\":\"x\"}]\n",                                          // unknown kind
        "[{\"kind\":0,\"number\":1}]\n",                                            // unknown kind
        "[{\"kind\":4,\"number\":2147483648}]\n",                                   // out of range
        "[{\"kind\":4,\"number\":1.5}]\n",                                          // not an integer
        "[{\"kind\":4,\"text\":\"7\"}]\n",                                          // text for a number
        "[{\"kind\":1,\"number\":7}]\n",                                            // number for a text
        "[{\"kind\":1,\"text\":\"✓ not in code page 949\"}]\n",
        "{\"kind\":1,\"text\":\"not an array\"}\n",
        "[]\n",                                                                     // no cell at all
        "",
    };
    for (const char* input : badInputs) {
        ToolRun make = Run("table make --mode 1 '" + table + "'", input);
        EXPECT_NE(make.exitCode, 0) << input;
        EXPECT_EQ(CountLines(make.err), 1) << input << make.err;
        Bytes after;
        ASSERT_TRUE(qvtest::ReadBytes(table, after));
        EXPECT_TRUE(after == before) << input;
    }
    // No temporary file is left behind.
    std::string ls = "ls '" + File("") + "' | grep -c tmp > '" + File("count") + "'";
    ASSERT_GE(std::system(ls.c_str()), 0);
    EXPECT_EQ(ReadText(File("count")), "0\n");
}

TEST_F(Qvpublish, CommandLineMistakes)
{
    EXPECT_EQ(Run("").exitCode, 2);
    EXPECT_EQ(Run("nosuchfamily").exitCode, 2);
    EXPECT_EQ(Run("table").exitCode, 2);
    EXPECT_EQ(Run("table frobnicate").exitCode, 2);
    EXPECT_EQ(Run("table dump").exitCode, 2);
    EXPECT_EQ(Run("table make '" + File("x.qvt") + "'", kRowsIn).exitCode, 2);  // no --mode
    EXPECT_EQ(Run("table make --mode 3 '" + File("x.qvt") + "'", kRowsIn).exitCode, 2);
    EXPECT_EQ(Run("table make --mode 0 --bogus 1 '" + File("x.qvt") + "'", kRowsIn).exitCode, 2);
    EXPECT_FALSE(qvtest::FileExists(File("x.qvt")));
    EXPECT_EQ(Run("--help").exitCode, 0);
}
