// The table behind the committed cross-build fixtures
// (tests/fixtures/tables/): built the same way by the fixture generator of
// each build, and checked cell by cell after loading in either build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CTableFile;

namespace qvtest {

// One cell as it reads back after a save and load: text cells are kind 3 and
// GetText delivers the system-code-page (949) text.
struct ExpectedCell {
    int kind;
    std::string text;  // text cells
    int32_t number;    // number cells (kinds 4 to 6)
};
typedef std::vector<ExpectedCell> ExpectedRow;

// Code page 949 and UTF-16 forms of the Korean texts used in the fixture.
extern const char kHangulCp949[];        // "한글 텍스트"
extern const char kWideTextCp949[];      // "와이드 문자열"
extern const char kConfigNameCp949[];    // "설정 파일 QVConfig.dat"
extern const char kServerCp949[];        // "업데이트 서버"

// Builds the fixture table: every append operation, Korean texts in all
// three text kinds, every number kind with extreme values, an empty row
// (which does not survive a save), and one large compressible row.
bool BuildFixtureTable(CTableFile& table);

// The rows the fixture table reads back as.
std::vector<ExpectedRow> FixtureRowsAfterLoad();

// File name of the fixture written by build ("host" or "windows") in mode.
std::string FixtureFileName(const std::string& build, int mode);

} // namespace qvtest
