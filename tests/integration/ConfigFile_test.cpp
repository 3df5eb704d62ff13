// Loading the configuration file into the configuration record.
#include "integration/ConfigFile.h"

#include "core/ConfigRecord.h"
#include "core/TableFile.h"
#include "integration/ProductSettings.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// A configuration row following the layout; `cells` limits its length,
// `override` replaces one cell by a kind-4 number and `texts` replaces text
// cells by index.
bool SaveConfig(const std::string& path, int cells = CONFIG_CELL_COUNT, int overrideIndex = -1,
                const std::map<int, std::string>& texts = {})
{
    CTableFile table;
    table.AddRow();
    for (int i = 0; i < cells; ++i) {
        if (i == overrideIndex) {
            table.AddNumber4(1);
            continue;
        }
        switch (ConfigLayout(i).kind) {
        case CONFIG_TEXT: {
            std::string text = "text" + std::to_string(i + 1);
            if (i == 0) text = "KorvaneFree";
            if (i == 3) text = "HLM\\SOFTWARE\\Dravik\\QVSetupTests\\Config";
            if (texts.count(i)) text = texts.at(i);
            if (i == CONFIG_FIRST_SERVER_CELL + 3) text = "update1.test;update2.test";
            table.AddText(text.c_str(), i % 2 == 0); // text kinds 1 and 3 both accepted
            break;
        }
        case CONFIG_NUMBER4: table.AddNumber4(i + 1); break;
        case CONFIG_NUMBER5: table.AddNumber5(8000 + i); break;
        case CONFIG_NUMBER6: table.AddNumber6(i + 1); break;
        }
    }
    return table.Save(path.c_str(), nullptr, 0, 2, true);
}

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_productSettings.SetConfig(ConfigRecord());
        g_productSettings.SetProductKeyLocation("HLM\\SOFTWARE\\Before");
    }
    void TearDown() override { g_productSettings.SetConfig(ConfigRecord()); }
    qvtest::ScratchDir dir;
};

TEST_F(ConfigFileTest, CompleteRowIsStoredCellByCell)
{
    std::string path = dir.File("QVConfig.dat");
    ASSERT_TRUE(SaveConfig(path));
    ASSERT_TRUE(LoadConfigFile(path.c_str(), false));
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    EXPECT_EQ(record.ProductCode(), "KorvaneFree");
    EXPECT_EQ(record.Text(1), "text2");
    EXPECT_EQ(record.Number(4), 5);      // kind 6
    EXPECT_EQ(record.PostInstallFlags(), 31);
    EXPECT_EQ(record.Server(SERVER_PROGRAM).hostList, "update1.test;update2.test");
    EXPECT_EQ(record.Server(SERVER_PROGRAM).path, "text" + std::to_string(CONFIG_FIRST_SERVER_CELL + 5));
    EXPECT_EQ(record.Server(SERVER_PROGRAM).port, 8000 + CONFIG_FIRST_SERVER_CELL + 5);
    EXPECT_EQ(record.ProgramVersion(), "text80");
    EXPECT_EQ(record.Text(80), "text81");
    EXPECT_EQ(g_productSettings.ProductKeyRoot(), "HLM");
    EXPECT_EQ(g_productSettings.ProductKeyPath(), "SOFTWARE\\Dravik\\QVSetupTests\\Config");
}

TEST_F(ConfigFileTest, ValidationLeavesTheRecordButTakesTheKeyLocation)
{
    std::string path = dir.File("QVConfig.dat");
    ASSERT_TRUE(SaveConfig(path));
    ASSERT_TRUE(LoadConfigFile(path.c_str(), true));
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    EXPECT_EQ(record.ProductCode(), "");
    EXPECT_EQ(g_productSettings.ProductKeyPath(), "SOFTWARE\\Dravik\\QVSetupTests\\Config");
}

// The product code and the service name become file, key, value and service
// names, the key location the key whose rights the installer opens: a file
// naming anything but the product's own fails like a damaged one, and moves
// nothing.
TEST_F(ConfigFileTest, NamesThatAreNotTheProductsFail)
{
    const std::map<int, std::string> refused[] = {
        {{0, "\\..\\ab"}},                                  // a path for a product code
        {{0, std::string(65, 'a')}},                         // too long
        {{0, ""}},
        {{1, "Qv Service"}},                                 // a blank in the service name
        {{1, "RpcSs"}},                                      // a service of the system
        {{3, "HLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"}},
        {{3, "HCU\\Software\\Dravik\\KorvaneV5"}},            // not the machine's key
        {{3, "HLM\\SOFTWARE\\Dravik\\"}},                     // the vendor key itself
        {{3, "HLM\\SOFTWARE\\DravikOther\\KorvaneFree"}},
        {{3, "HLM\\SOFTWARE\\Dravik\\\\KorvaneFree"}},        // an empty key name
    };
    for (const auto& cells : refused) {
        std::string path = dir.File("refused.dat");
        ASSERT_TRUE(SaveConfig(path, CONFIG_CELL_COUNT, -1, cells));
        EXPECT_FALSE(LoadConfigFile(path.c_str(), false)) << cells.begin()->second;
        EXPECT_EQ(g_productSettings.ProductKeyPath(), "SOFTWARE\\Before");
    }
    // Letters, digits, "_" and "-" up to 64 characters, any case of the vendor key.
    std::string path = dir.File("accepted.dat");
    ASSERT_TRUE(SaveConfig(path, CONFIG_CELL_COUNT, -1,
                           {{0, std::string(64, 'K')}, {1, "QV_Service-2"},
                            {3, "hkey_local_machine\\software\\dravik\\KorvaneV5\\KorvaneFree"}}));
    EXPECT_TRUE(LoadConfigFile(path.c_str(), false));
}

TEST_F(ConfigFileTest, ShortRowAndWrongKindsFail)
{
    std::string shortRow = dir.File("short.dat");
    ASSERT_TRUE(SaveConfig(shortRow, 80));
    EXPECT_FALSE(LoadConfigFile(shortRow.c_str(), false));

    std::string numberForHost = dir.File("cell39.dat");
    ASSERT_TRUE(SaveConfig(numberForHost, CONFIG_CELL_COUNT, CONFIG_FIRST_SERVER_CELL));
    EXPECT_FALSE(LoadConfigFile(numberForHost.c_str(), false));

    std::string kind4ForPort = dir.File("port.dat");
    ASSERT_TRUE(SaveConfig(kind4ForPort, CONFIG_CELL_COUNT, CONFIG_FIRST_SERVER_CELL + 2));
    EXPECT_FALSE(LoadConfigFile(kind4ForPort.c_str(), false));

    ConfigRecord record;
    g_productSettings.GetConfig(record);
    EXPECT_EQ(record.ProductCode(), ""); // nothing stored by the failed loads
    // Nor does a file that fails validation move the product key (its cell 4
    // was read before the bad cell).
    EXPECT_EQ(g_productSettings.ProductKeyRoot(), "HLM");
    EXPECT_EQ(g_productSettings.ProductKeyPath(), "SOFTWARE\\Before");
}

TEST_F(ConfigFileTest, MissingFolderOrDamagedFileFails)
{
    EXPECT_FALSE(LoadConfigFile(dir.File("absent.dat").c_str(), false));
    EXPECT_FALSE(LoadConfigFile(dir.path().c_str(), false));
    EXPECT_FALSE(LoadConfigFile(nullptr, false));
    ASSERT_TRUE(qvtest::WriteText(dir.File("bad.dat"), "not a table"));
    EXPECT_FALSE(LoadConfigFile(dir.File("bad.dat").c_str(), false));
}

} // namespace
