// The configuration step of an install run: fetch, validate, copy, store, and
// the product value "PCode".
#include "install/UpdateSession.h"

#include "core/ConfigRecord.h"
#include "integration/ProductSettings.h"
#include "tests/update/EngineTestUtil.h"
#include "tests/support/RegistryReadBack.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

namespace {

const char kProductKey[] = "HLM\\SOFTWARE\\Dravik\\QVSetupTests\\FetchConfiguration";
const char kProductSubKey[] = "SOFTWARE\\Dravik\\QVSetupTests\\FetchConfiguration";

// A complete configuration row, or one cell short.
bool SaveConfig(const std::string& path, bool complete)
{
    ConfigRecord record;
    record.SetProductCode("KorvaneFree");
    record.SetServiceName("QVService");
    record.SetProductKeyLocation(kProductKey);
    record.SetServer(SERVER_PROGRAM, {"127.0.0.1", "/program", 8080});
    CTableFile table;
    table.AddRow();
    int cells = complete ? CONFIG_CELL_COUNT : CONFIG_CELL_COUNT - 1;
    for (int i = 0; i < cells; ++i) {
        switch (ConfigLayout(i).kind) {
        case CONFIG_TEXT: table.AddText(record.Text(i).c_str(), true); break;
        case CONFIG_NUMBER4: table.AddNumber4(record.Number(i)); break;
        case CONFIG_NUMBER5: table.AddNumber5(record.Number(i)); break;
        case CONFIG_NUMBER6: table.AddNumber6(record.Number(i)); break;
        }
    }
    return table.Save(path.c_str(), nullptr, 0, 2, true);
}

class FetchConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ready());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProductSubKey);
        ConfigRecord record;
        record.SetServer(SERVER_CONFIG, {"127.0.0.1", remote.RemotePath(), server.Port()});
        g_productSettings.SetConfig(record);
        session.installFolder = base.File("Dravik\\KorvaneFree"); // created by the step
    }
    void TearDown() override
    {
        g_productSettings.SetConfig(ConfigRecord());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProductSubKey);
    }
    bool PCodeWritten()
    {
        DWORD value = 0;
        return qvtest::ReadRegistryDword(HKEY_LOCAL_MACHINE, kProductSubKey, "PCode", value) && value == 11;
    }

    qvtest::CTestServer server{"engine_server"};
    enginetest::ServedFolder remote{server, "configuration-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())};
    qvtest::ScratchDir base;
    CUpdateSession session;
};

TEST_F(FetchConfigurationTest, GoodFileIsCopiedIntoTheInstallFolderAndStored)
{
    ASSERT_TRUE(SaveConfig(remote.File("QVConfig.dat"), true));
    EXPECT_TRUE(session.FetchConfiguration());
    EXPECT_TRUE(qvtest::FileExists(session.installFolder + "\\QVConfig.dat"));
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    EXPECT_EQ(record.ProductCode(), "KorvaneFree");
    EXPECT_EQ(record.ServiceName(), "QVService");
    EXPECT_EQ(record.Server(SERVER_PROGRAM).path, "/program");
    EXPECT_EQ(record.Server(SERVER_PROGRAM).port, 8080);
    EXPECT_EQ(g_productSettings.ProductKeyRoot(), "HLM");
    EXPECT_TRUE(PCodeWritten());
}

TEST_F(FetchConfigurationTest, InvalidFileIsNeitherCopiedNorStoredButPCodeIsWritten)
{
    ASSERT_TRUE(SaveConfig(remote.File("QVConfig.dat"), false));
    EXPECT_FALSE(session.FetchConfiguration());
    EXPECT_FALSE(qvtest::FileExists(session.installFolder + "\\QVConfig.dat"));
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    EXPECT_EQ(record.ProductCode(), "");
    // The key location came from the file's fourth cell, read while validating.
    EXPECT_TRUE(PCodeWritten());
}

TEST_F(FetchConfigurationTest, UnreachableFileFailsWithoutPCode)
{
    EXPECT_FALSE(session.FetchConfiguration());
    EXPECT_FALSE(PCodeWritten());
}

} // namespace
