// qvpublish config: QVConfig.dat from a JSON description, checked through
// "qvpublish table dump" and through the installer's own table reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ConfigRecord.h"
#include "tests/tools/PublishTestUtil.h"

using nlohmann::json;
using qvtest::RunTool;
using qvtest::ToolRun;

namespace {

// Cell kinds of the configuration file by cell number (from 1): 3 for the
// texts the tool writes, 4 to 6 for numbers. This is the file's contract,
// written out here independently of ConfigLayout.
int ExpectedKind(int cell)
{
    if ((cell >= 5 && cell <= 9) || cell == 14 || cell == 77 || cell == 79)
        return 6;
    if (cell >= 39 && cell <= 74)
        return (cell - 39) % 3 == 2 ? 5 : 3;
    bool number4 = cell == 10 || cell == 13 || (cell >= 16 && cell <= 21) || (cell >= 23 && cell <= 26) ||
                   (cell >= 31 && cell <= 38) || cell == 75 || cell == 76;
    return number4 ? 4 : 3;
}

// A description naming every field with a value of its own.
json FullDescription()
{
    json d = json::object();
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i) {
        const ConfigCellLayout& layout = ConfigLayout(i);
        if (i >= CONFIG_FIRST_SERVER_CELL && i < CONFIG_FIRST_SERVER_CELL + 3 * CONFIG_SERVER_COUNT)
            continue;
        if (layout.kind == CONFIG_TEXT)
            d[layout.name] = std::string("텍스트 ") + layout.name;
        else
            d[layout.name] = (i % 2 ? -1 : 1) * (i + 1) * 100003;
    }
    d["productCode"] = "KorvaneFree";
    d["serviceName"] = "QVService";
    d["productKeyLocation"] = "HLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";
    d["postInstallFlags"] = 31;
    d["programVersion"] = "v5.0.0.9";
    d["servers"] = json::array();
    for (int k = 0; k < CONFIG_SERVER_COUNT; ++k)
        d["servers"].push_back({{"host", "h" + std::to_string(k) + ".example;b.example"},
                                {"path", "/path/" + std::to_string(k)},
                                {"port", 8000 + k}});
    return d;
}

class ConfigCommand : public ::testing::Test {
protected:
    std::string Describe(const std::string& text)
    {
        std::string path = dir_.File("config.json");
        qvtest::WriteText(path, text);
        return path;
    }
    std::string Out() const { return dir_.File("QVConfig.dat"); }

    qvtest::ScratchDir dir_;
};

} // namespace

TEST_F(ConfigCommand, EveryNamedFieldLandsInItsCellInItsKind)
{
    json d = FullDescription();
    ToolRun run = RunTool(dir_, {"config", Describe(d.dump()), Out()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    std::vector<json> rows = qvtest::DumpRows(dir_, Out());
    ASSERT_EQ(rows.size(), 1u);
    const json& row = rows[0];
    ASSERT_EQ(row.size(), 81u);
    for (int cell = 1; cell <= 81; ++cell) {
        const json& c = row[cell - 1];
        ASSERT_EQ(c["kind"], ExpectedKind(cell)) << "cell " << cell;
        const ConfigCellLayout& layout = ConfigLayout(cell - 1);
        if (cell >= 39 && cell <= 74)
            continue;  // checked by entry below
        if (layout.kind == CONFIG_TEXT)
            EXPECT_EQ(c["text"], d[layout.name]) << "cell " << cell;
        else
            EXPECT_EQ(c["number"], d[layout.name]) << "cell " << cell;
    }
    // The cells the installer interprets, by their numbers in the file.
    EXPECT_EQ(row[0]["text"], "KorvaneFree");
    EXPECT_EQ(row[1]["text"], "QVService");
    EXPECT_EQ(row[3]["text"], "HLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree");
    EXPECT_EQ(row[30]["number"], 31);
    EXPECT_EQ(row[79]["text"], "v5.0.0.9");
    for (int k = 0; k < 12; ++k) {
        int first = 39 + 3 * k - 1;
        EXPECT_EQ(row[first]["text"], "h" + std::to_string(k) + ".example;b.example");
        EXPECT_EQ(row[first + 1]["text"], "/path/" + std::to_string(k));
        EXPECT_EQ(row[first + 2]["number"], 8000 + k);
    }

    // The installer's loader reads every cell with the reader of its kind.
    CTableFile table;
    ASSERT_TRUE(table.Open(Out().c_str(), nullptr, 0));
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i) {
        ASSERT_TRUE(table.HasCell()) << "cell " << i + 1;
        std::string text;
        int32_t number = 0;
        switch (ConfigLayout(i).kind) {
        case CONFIG_TEXT: EXPECT_TRUE(table.GetText(text)) << i + 1; break;
        case CONFIG_NUMBER4: EXPECT_TRUE(table.GetNumber4(number)) << i + 1; break;
        case CONFIG_NUMBER5: EXPECT_TRUE(table.GetNumber5(number)) << i + 1; break;
        case CONFIG_NUMBER6: EXPECT_TRUE(table.GetNumber6(number)) << i + 1; break;
        }
        table.NextCell();
    }
    EXPECT_FALSE(table.HasCell());
    EXPECT_FALSE(table.NextRow());
}

TEST_F(ConfigCommand, WhatIsNotNamedKeepsTheRecordDefaults)
{
    ToolRun run = RunTool(dir_, {"config", Describe("{\"servers\": [null, {\"host\": \"p.example\"}, {\"port\": 8080}]}"), Out()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<json> rows = qvtest::DumpRows(dir_, Out());
    ASSERT_EQ(rows.size(), 1u);
    const json& row = rows[0];
    ASSERT_EQ(row.size(), 81u);
    for (int cell = 1; cell <= 81; ++cell) {
        const json& c = row[cell - 1];
        EXPECT_EQ(c["kind"], ExpectedKind(cell)) << "cell " << cell;
        bool isPort = cell >= 39 && cell <= 74 && (cell - 39) % 3 == 2;
        int entry = (cell - 39) / 3;
        if (cell == 80)
            EXPECT_EQ(c["text"], "v5.0.0.1");
        else if (cell == 39 + 3)
            EXPECT_EQ(c["text"], "p.example");
        else if (isPort)
            EXPECT_EQ(c["number"], entry == 2 ? 8080 : entry < 10 ? 80 : 0) << "entry " << entry;
        else if (ExpectedKind(cell) == 3)
            EXPECT_EQ(c["text"], "") << "cell " << cell;
        else
            EXPECT_EQ(c["number"], 0) << "cell " << cell;
    }
}

TEST_F(ConfigCommand, CodecModeDefaultsToSeedAndCanBeChosen)
{
    std::string description = Describe("{\"productCode\": \"KorvaneFree\"}");
    for (const char* mode : {"", "0", "1", "2"}) {
        std::vector<std::string> args = {"config", description, Out()};
        if (*mode)
            args.insert(args.begin() + 1, {"--mode", mode});
        ToolRun run = RunTool(dir_, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(qvtest::ReadBytes(Out(), bytes));
        ASSERT_GT(bytes.size(), 7u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "QVCSF");
        EXPECT_EQ(bytes[6], *mode ? *mode - '0' : 2) << "mode " << mode;
        std::vector<json> rows = qvtest::DumpRows(dir_, Out());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0]["text"], "KorvaneFree");
    }
    std::remove(Out().c_str());
    EXPECT_EQ(RunTool(dir_, {"config", "--mode", "3", description, Out()}).exitCode, 2);
    EXPECT_EQ(RunTool(dir_, {"config", description}).exitCode, 2);
    EXPECT_FALSE(qvtest::FileExists(Out()));
}

TEST_F(ConfigCommand, MistakesAreErrorsAndLeaveTheOutputAlone)
{
    const char* mistakes[] = {
        "{\"productcode\": \"KorvaneFree\"}",              // typo of a field name
        "{\"host\": \"a.example\"}",                       // server cells only inside servers
        "{\"servers\": [{\"hots\": \"a.example\"}]}",      // typo inside an entry
        "{\"postInstallFlags\": \"31\"}",                  // text for a number
        "{\"productCode\": 5}",                            // number for a text
        "{\"programVersion\": null}",
        "{\"option5\": 2147483648}",                       // beyond 32 bits
        "{\"option5\": 1.5}",
        "{\"servers\": [{\"port\": 65536}]}",
        "{\"servers\": [{\"port\": -1}]}",
        "{\"servers\": {\"0\": {}}}",
        "{\"servers\": [1]}",
        "{\"servers\": [{},{},{},{},{},{},{},{},{},{},{},{},{}]}",  // 13 entries
        "{\"text3\": \"a\\u0000b\"}",
        "{\"productCode\": \"A\", \"productCode\": \"B\"}",
        "{\"productCode\": \"KorvaneFree\",}",
        "[]",
        "",
    };
    // First without an output file, then over an existing one.
    for (bool existing : {false, true}) {
        std::vector<unsigned char> before;
        if (existing) {
            ASSERT_EQ(RunTool(dir_, {"config", Describe("{\"productCode\": \"Old\"}"), Out()}).exitCode, 0);
            ASSERT_TRUE(qvtest::ReadBytes(Out(), before));
        }
        for (const char* mistake : mistakes) {
            ToolRun run = RunTool(dir_, {"config", Describe(mistake), Out()});
            EXPECT_EQ(run.exitCode, 1) << mistake;
            EXPECT_EQ(qvtest::CountLines(run.err), 1) << mistake << "\n" << run.err;
            std::vector<unsigned char> after;
            EXPECT_EQ(qvtest::ReadBytes(Out(), after), existing) << mistake;
            EXPECT_TRUE(after == before) << mistake;
        }
    }
    ToolRun missing = RunTool(dir_, {"config", dir_.File("absent.json"), Out()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("absent.json"), std::string::npos) << missing.err;
    // The message names the offending field.
    ToolRun typo = RunTool(dir_, {"config", Describe("{\"serviceNmae\": \"x\"}"), Out()});
    EXPECT_NE(typo.err.find("serviceNmae"), std::string::npos) << typo.err;
}

TEST_F(ConfigCommand, SignedConfigurationCarriesItsSignature)
{
    std::string source = Describe("{\"productCode\": \"KorvaneFree\"}");
    ToolRun run = RunTool(dir_, {"config", "--sign", qvtest::SampleKeyPath(), "--serial", "12", source, Out()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    uint64_t serial = 0;
    EXPECT_EQ(qvtest::CheckSignature(Out(), RELEASE_CHANNEL_CONFIG, qvtest::SamplePublicHex(), serial),
              RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial, 12u);
    // Not good for a patch list.
    EXPECT_EQ(qvtest::CheckSignature(Out(), RELEASE_CHANNEL_PROGRAM, qvtest::SamplePublicHex(), serial),
              RELEASE_SIGNATURE_WRONG_CHANNEL);

    // Signing mistakes and a failed build leave both files as they were.
    std::string config = qvtest::ReadText(Out()), signature = qvtest::ReadText(Out() + ".sig");
    struct Mistake {
        std::vector<std::string> args;
        int exitCode;
    };
    const Mistake mistakes[] = {
        {{"--sign", qvtest::SampleKeyPath()}, 2},                      // no serial
        {{"--serial", "13"}, 2},                                       // no key
        {{"--sign", qvtest::SampleKeyPath(), "--serial", "013"}, 2},
        {{"--sign", qvtest::SampleKeyPath(), "--serial", "13", "--channel", "config"}, 2},
        {{"--sign", dir_.File("absent.pem"), "--serial", "13"}, 1},
    };
    for (const Mistake& m : mistakes) {
        std::vector<std::string> args = {"config"};
        args.insert(args.end(), m.args.begin(), m.args.end());
        args.push_back(Describe("{\"productCode\": \"Other\"}"));
        args.push_back(Out());
        EXPECT_EQ(RunTool(dir_, args).exitCode, m.exitCode) << m.args[0] << " " << m.args.back();
        EXPECT_EQ(qvtest::ReadText(Out()), config);
        EXPECT_EQ(qvtest::ReadText(Out() + ".sig"), signature);
    }
    EXPECT_EQ(RunTool(dir_, {"config", "--sign", qvtest::SampleKeyPath(), "--serial", "13",
                             Describe("{\"productcode\": \"typo\"}"), Out()})
                  .exitCode,
              1);
    EXPECT_EQ(qvtest::ReadText(Out()), config);
    EXPECT_EQ(qvtest::ReadText(Out() + ".sig"), signature);

    // Publishing unsigned over it says that the old signature no longer fits.
    ToolRun unsigned_ = RunTool(dir_, {"config", Describe("{\"productCode\": \"Other\"}"), Out()});
    EXPECT_EQ(unsigned_.exitCode, 0);
    EXPECT_NE(unsigned_.err.find("warning"), std::string::npos) << unsigned_.err;
    EXPECT_EQ(qvtest::CheckSignature(Out(), RELEASE_CHANNEL_CONFIG, qvtest::SamplePublicHex(), serial),
              RELEASE_SIGNATURE_BAD);
}
