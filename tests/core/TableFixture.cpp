#include "tests/core/TableFixture.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/TableFile.h"
#include "core/TextConvert.h"

namespace qvtest {

const char kHangulCp949[] = "\xC7\xD1\xB1\xDB\x20\xC5\xD8\xBD\xBA\xC6\xAE";
const char kWideTextCp949[] = "\xBF\xCD\xC0\xCC\xB5\xE5\x20\xB9\xAE\xC0\xDA\xBF\xAD";
const char kConfigNameCp949[] = "\xBC\xB3\xC1\xA4\x20\xC6\xC4\xC0\xCF\x20QVConfig.dat";
const char kServerCp949[] = "\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE\x20\xBC\xAD\xB9\xF6";

namespace {

// "와이드 문자열" in UTF-16.
const WideChar kWideText[] = {0xC640, 0xC774, 0xB4DC, 0x20, 0xBB38, 0xC790, 0xC5F4, 0};
// "업데이트 서버" in UTF-16.
const WideChar kServerWide[] = {0xC5C5, 0xB370, 0xC774, 0xD2B8, 0x20, 0xC11C, 0xBC84, 0};
const char kRawBytes[] = "raw bytes, no terminator";
const int kLargeRowCells = 60;

std::string LargeCellText(int i)
{
    std::string text = "http://update.example.net/KorvaneFree/files/engine-part-";
    text += std::to_string(i);
    text += ".cab ";
    text += kConfigNameCp949;
    return text;
}

ExpectedCell Text(const std::string& text) { return ExpectedCell{3, text, 0}; }
ExpectedCell Number(int kind, int32_t value) { return ExpectedCell{kind, std::string(), value}; }

} // namespace

bool BuildFixtureTable(CTableFile& table)
{
    bool ok = table.AddRow();
    ok = ok && table.AddText(kHangulCp949, false);
    ok = ok && table.AddText("plain ASCII", false);
    ok = ok && table.AddText(nullptr, false);
    ok = ok && table.AddText(kConfigNameCp949, true);

    ok = ok && table.AddRow();
    ok = ok && table.AddWideText(kWideText, false);
    ok = ok && table.AddWideText(kServerWide, true);
    unsigned char* raw = static_cast<unsigned char*>(malloc(sizeof(kRawBytes) - 1));
    if (raw)
        memcpy(raw, kRawBytes, sizeof(kRawBytes) - 1);
    ok = ok && raw && table.AddBytes(raw, sizeof(kRawBytes) - 1);
    ok = ok && table.AddText("", true);

    ok = ok && table.AddRow();
    ok = ok && table.AddNumber4(0);
    ok = ok && table.AddNumber4(-1);
    ok = ok && table.AddNumber5(INT_MAX);
    ok = ok && table.AddNumber6(INT_MIN);
    ok = ok && table.AddNumber4(123456789);

    ok = ok && table.AddRow();  // stays empty: not written

    ok = ok && table.AddRow();
    for (int i = 0; i < kLargeRowCells && ok; ++i)
        ok = table.AddText(LargeCellText(i).c_str(), i % 2 == 1);

    ok = ok && table.AddRow();
    ok = ok && table.AddNumber6(42);
    return ok;
}

std::vector<ExpectedRow> FixtureRowsAfterLoad()
{
    std::vector<ExpectedRow> rows;
    rows.push_back({Text(kHangulCp949), Text("plain ASCII"), Text(""), Text(kConfigNameCp949)});
    rows.push_back({Text(kWideTextCp949), Text(kServerCp949), Text(kRawBytes), Text("")});
    rows.push_back({Number(4, 0), Number(4, -1), Number(5, INT_MAX), Number(6, INT_MIN), Number(4, 123456789)});
    ExpectedRow large;
    for (int i = 0; i < kLargeRowCells; ++i)
        large.push_back(Text(LargeCellText(i)));
    rows.push_back(large);
    rows.push_back({Number(6, 42)});
    return rows;
}

std::string FixtureFileName(const std::string& build, int mode)
{
    return build + "-mode" + std::to_string(mode) + ".qvt";
}

} // namespace qvtest
