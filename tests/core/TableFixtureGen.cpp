// Writes the cross-build table fixtures of this build:
//   table_fixture_gen OUTPUT_FOLDER BUILD_NAME
// makes OUTPUT_FOLDER/BUILD_NAME-mode{0,1,2}.qvt from the fixture table.
// See tests/fixtures/tables/README.md for when and how to run it.
#include <cstdio>
#include <string>

#include "core/TableFile.h"
#include "tests/core/TableFixture.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: table_fixture_gen OUTPUT_FOLDER BUILD_NAME\n");
        return 2;
    }
#ifdef _WIN32
    const std::string separator = "\\";
#else
    const std::string separator = "/";
#endif
    CTableFile table;
    if (!qvtest::BuildFixtureTable(table)) {
        fprintf(stderr, "table_fixture_gen: cannot build the fixture table\n");
        return 1;
    }
    for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
        std::string path = std::string(argv[1]) + separator + qvtest::FixtureFileName(argv[2], mode);
        if (!table.Save(path.c_str(), nullptr, 0, mode, true)) {
            fprintf(stderr, "table_fixture_gen: cannot write %s\n", path.c_str());
            return 1;
        }
        printf("%s\n", path.c_str());
    }
    return 0;
}
