// qvpublish skin: language files from a translator's text source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/TableFile.h"
#include "tests/tools/PublishTestUtil.h"

using nlohmann::json;
using qvtest::RunTool;
using qvtest::ToolRun;

namespace {

// Every identifier the setup program asks for.
const char kAllProgramTexts[] =
    "10206\t엔진 준비 중\n10208\t업데이트 중\n10210\tKorvane Free\n10211\tKorvane Free\n"
    "10212\tKorvane Free\n10213\tKorvane Free\n10214\tKorvane Free 제거\n10215\t설명\n10220\t설정 중\n";

class SkinCommand : public ::testing::Test {
protected:
    std::string Source(const std::string& text)
    {
        std::string path = dir_.File("texts.txt");
        qvtest::WriteText(path, text);
        return path;
    }
    std::string Out() const { return dir_.File("QVSkinKor.dat"); }

    qvtest::ScratchDir dir_;
};

json TextRow(int id, const std::string& a, const std::string& b)
{
    return json::array({{{"kind", 4}, {"number", 1000}},
                        {{"kind", 4}, {"number", id}},
                        {{"kind", 3}, {"text", a}},
                        {{"kind", 3}, {"text", b}}});
}

} // namespace

TEST_F(SkinCommand, EachTextBecomesOneRowInSourceOrder)
{
    // Byte-order mark, CRLF line ends, comments, blank lines, both line forms.
    std::string source = std::string("\xEF\xBB\xBF") +
                         "# 한국어 문자열\r\n"
                         "\r\n"
                         "10214\tKorvane Free 제거\r\n"
                         "   # indented comment\n"
                         " 10212 \tuninstall entry\tKorvane Free\n"
                         "10215\t\t무료 PC 보안 프로그램\n"  // empty text A
                         "10206\t  leading and trailing blanks stay  \n";
    ToolRun run = RunTool(dir_, {"skin", Source(source), Out()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<json> rows = qvtest::DumpRows(dir_, Out());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], TextRow(10214, "Korvane Free 제거", "Korvane Free 제거"));
    EXPECT_EQ(rows[1], TextRow(10212, "uninstall entry", "Korvane Free"));
    EXPECT_EQ(rows[2], TextRow(10215, "", "무료 PC 보안 프로그램"));
    EXPECT_EQ(rows[3], TextRow(10206, "  leading and trailing blanks stay  ", "  leading and trailing blanks stay  "));

    // The setup program reads text B in code page 949.
    CTableFile table;
    ASSERT_TRUE(table.Open(Out().c_str(), nullptr, 0));
    for (int step = 0; step < 3; ++step)
        table.NextCell();
    std::string text;
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, "Korvane Free \xC1\xA6\xB0\xC5");  // "제거" in code page 949

    // Not every program text was given: written, with a warning naming them.
    EXPECT_EQ(qvtest::CountLines(run.err), 1);
    EXPECT_NE(run.err.find("10208"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("10214"), std::string::npos) << run.err;
}

TEST_F(SkinCommand, CompleteSourceWritesQuietlyInTheChosenMode)
{
    for (const char* mode : {"0", "1", "2"}) {
        ToolRun run = RunTool(dir_, {"skin", "--mode", mode, Source(kAllProgramTexts), Out()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(qvtest::ReadBytes(Out(), bytes));
        EXPECT_EQ(bytes.at(6), mode[0] - '0');
        EXPECT_EQ(qvtest::DumpRows(dir_, Out()).size(), 9u);
    }
}

TEST_F(SkinCommand, BadLinesAreNamedAndNothingIsWritten)
{
    struct Mistake {
        const char* source;
        const char* expected;  // part of the message
    };
    const Mistake mistakes[] = {
        {"10210\tA\n# note\n10210\tB\n", "line 3: identifier 10210 already given on line 1"},
        {"10210\tA\nx10211\tB\n", "line 2: identifier"},
        {"10210\tA\n-5\tB\n", "line 2: identifier"},
        {"10210\tA\n2147483648\tB\n", "line 2: identifier"},
        {"\t텍스트\n", "line 1: identifier"},
        {"10210 Korvane Free\n", "line 1: expected IDENTIFIER<TAB>TEXT"},
        {"10210\ta\tb\tc\n", "line 1: expected IDENTIFIER<TAB>TEXT"},
        {"\n\n10210\t\n", "line 3: text of identifier 10210 is empty"},
        {"10210\tA\t\n", "line 1: text of identifier 10210 is empty"},
        {"10210\t\xB1\xB9\xBE\xEE\n", "line 1: not valid UTF-8"},  // code page 949 bytes
        {"10210\tline\x01text\n", "line 1: a text holds a control character"},
        {"# only comments\n\n", "no texts"},
        {"", "no texts"},
    };
    for (bool existing : {false, true}) {
        std::vector<unsigned char> before;
        if (existing) {
            ASSERT_EQ(RunTool(dir_, {"skin", Source(kAllProgramTexts), Out()}).exitCode, 0);
            ASSERT_TRUE(qvtest::ReadBytes(Out(), before));
        }
        for (const Mistake& mistake : mistakes) {
            ToolRun run = RunTool(dir_, {"skin", Source(mistake.source), Out()});
            EXPECT_EQ(run.exitCode, 1) << mistake.source;
            EXPECT_EQ(qvtest::CountLines(run.err), 1) << run.err;
            EXPECT_NE(run.err.find(mistake.expected), std::string::npos) << run.err;
            std::vector<unsigned char> after;
            EXPECT_EQ(qvtest::ReadBytes(Out(), after), existing) << mistake.source;
            EXPECT_TRUE(after == before) << mistake.source;
        }
    }
    EXPECT_EQ(RunTool(dir_, {"skin", dir_.File("absent.txt"), Out()}).exitCode, 1);
    EXPECT_EQ(RunTool(dir_, {"skin", Source(kAllProgramTexts)}).exitCode, 2);
}
