// Product settings: the key location split, product values in the registry,
// the install folder and the choice of language file.
#include "integration/ProductSettings.h"

#include "platform/SpecialFolders.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

namespace {

const char kTestKey[] = "HCU\\Software\\QVSetupTests\\ProductSettings";

TEST(ProductSettings, KeyLocationSplitsAtTheFirstBackslash)
{
    CProductSettings settings;
    settings.SetProductKeyLocation("HLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree");
    EXPECT_EQ(settings.ProductKeyRoot(), "HLM");
    EXPECT_EQ(settings.ProductKeyPath(), "SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree");

    // Without a backslash, or starting with one: the previous location stays.
    settings.SetProductKeyLocation("HLM");
    settings.SetProductKeyLocation("\\SOFTWARE\\Other");
    settings.SetProductKeyLocation(nullptr);
    EXPECT_EQ(settings.ProductKeyRoot(), "HLM");
    EXPECT_EQ(settings.ProductKeyPath(), "SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree");
}

TEST(ProductSettings, ProductValuesRoundTripUnderTheProductKey)
{
    CProductSettings settings;
    settings.SetProductKeyLocation(kTestKey);
    settings.WriteProductDword("SuccessUpdate", 1);
    settings.WriteProductString("LastUpdateDate", "20070315093005");

    uint32_t number = 7;
    EXPECT_TRUE(settings.ReadProductDword("SuccessUpdate", number));
    EXPECT_EQ(number, 1u);
    std::string text;
    EXPECT_TRUE(settings.ReadProductString("LastUpdateDate", text));
    EXPECT_EQ(text, "20070315093005");

    // Missing values and wrong types leave the outputs alone.
    number = 7;
    EXPECT_FALSE(settings.ReadProductDword("LastUpdateDate", number));
    EXPECT_EQ(number, 7u);
    text = "kept";
    EXPECT_FALSE(settings.ReadProductString("Absent", text));
    EXPECT_EQ(text, "kept");

    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\QVSetupTests\\ProductSettings");
}

// Another program may guard the product key: the update values still reach
// it, after a repair that lets the administrators in and nobody else.
TEST(ProductSettings, AGuardedProductKeyIsOpenedToTheAdministratorsOnly)
{
    const char sub[] = "Software\\QVSetupTests\\GuardedProduct";
    qvtest::ForceDeleteTree(HKEY_CURRENT_USER, sub);
    CProductSettings settings;
    settings.SetProductKeyLocation((std::string("HCU\\") + sub).c_str());
    settings.WriteProductString("ProductPath", "C:\\Old");
    ASSERT_TRUE(qvtest::SetKeySddl(HKEY_CURRENT_USER, sub, "D:P(A;;RCWD;;;BA)"));

    settings.WriteProductDword("SuccessUpdate", 1);
    uint32_t number = 0;
    EXPECT_TRUE(settings.ReadProductDword("SuccessUpdate", number));
    EXPECT_EQ(number, 1u);
    const std::string sddl = qvtest::KeySddl(HKEY_CURRENT_USER, sub);
    const std::vector<qvtest::AceInfo> aces = qvtest::KeyAces(HKEY_CURRENT_USER, sub);
    EXPECT_EQ(sddl.compare(0, 3, "D:P"), 0) << sddl;
    EXPECT_NE(qvtest::FindAce(aces, "S-1-5-18"), nullptr) << sddl;
    for (const qvtest::AceInfo& ace : aces)
        EXPECT_TRUE(ace.sid == "S-1-5-32-544" || ace.sid == "S-1-5-18") << sddl;
    qvtest::ForceDeleteTree(HKEY_CURRENT_USER, sub);
}

TEST(ProductSettings, UnknownRootMakesProductValuesNoOps)
{
    CProductSettings settings;
    settings.SetProductKeyLocation("HKLM\\Software\\QVSetupTests\\Nowhere");
    settings.WriteProductDword("PCode", 11);
    uint32_t number = 5;
    EXPECT_FALSE(settings.ReadProductDword("PCode", number));
    EXPECT_EQ(number, 5u);
}

TEST(ProductSettings, RecordStatusAndProgressAreCopiedInAndOut)
{
    CProductSettings settings;
    ConfigRecord record;
    EXPECT_EQ(record.ProgramVersion(), "v5.0.0.1");
    EXPECT_EQ(record.Server(SERVER_CONFIG).port, 80);
    EXPECT_EQ(record.Server(9).port, 80);
    EXPECT_EQ(record.Server(SERVER_NEWS).port, 0);
    EXPECT_EQ(record.Server(11).port, 0);
    record.SetProductCode("KorvaneFree");
    record.SetServiceName("QVSvc");
    settings.SetConfig(record);

    std::string text;
    settings.GetProductCode(text);
    EXPECT_EQ(text, "KorvaneFree");
    settings.GetServiceName(text);
    EXPECT_EQ(text, "QVSvc");

    settings.SetStatusText("status");
    settings.GetStatusText(text);
    EXPECT_EQ(text, "status");
    settings.SetInstallProgress(42);
    EXPECT_EQ(settings.GetInstallProgress(), 42);
}

// The language file tests work in the prefix's real install folder.
class LanguageFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.GetInstallFolder(folder));
        CSpecialFolders::CreateFolderPath(folder.c_str());
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean()
    {
        for (const char* name : {"QVSkinKor.dat", "QVSkinEng.dat", "QVSkinJpn.dat"}) {
            std::string path = folder + "\\" + name;
            DeleteFileA(path.c_str());
            RemoveDirectoryA(path.c_str());
        }
    }
    void Touch(const char* name) { ASSERT_TRUE(qvtest::WriteText(folder + "\\" + name, "x")); }

    CProductSettings settings;
    std::string folder;
};

TEST_F(LanguageFileTest, InstallFolderIsProgramFilesAndTheProductPath)
{
    std::string programFiles;
    ASSERT_TRUE(g_specialFolders.Lookup("PROGRAM_FILES", programFiles));
    EXPECT_EQ(folder, programFiles + "\\Dravik\\KorvaneV5\\KorvaneFree");
}

TEST_F(LanguageFileTest, ChoosesByDefaultLanguageWithKoreanFallback)
{
    std::string path;
    Touch("QVSkinKor.dat");
    settings.GetLanguageFilePath(1042, path);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");

    // English system without QVSkinEng.dat, German system likewise.
    settings.GetLanguageFilePath(1033, path);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");
    settings.GetLanguageFilePath(1031, path);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");

    Touch("QVSkinEng.dat");
    settings.GetLanguageFilePath(1033, path);
    EXPECT_EQ(path, folder + "\\QVSkinEng.dat");
    settings.GetLanguageFilePath(1031, path); // any other language takes "Eng"
    EXPECT_EQ(path, folder + "\\QVSkinEng.dat");

    // A missing Japanese file falls back to Korean, not to English.
    settings.GetLanguageFilePath(1041, path);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");
}

TEST_F(LanguageFileTest, FolderNamedLikeTheFileCountsAsAbsent)
{
    ASSERT_TRUE(CreateDirectoryA((folder + "\\QVSkinEng.dat").c_str(), nullptr));
    std::string path;
    settings.GetLanguageFilePath(1033, path);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");
}

TEST_F(LanguageFileTest, SystemDefaultLanguageOfTheKoreanPrefix)
{
    // The test prefix runs with LANG=ko_KR: identifier 1042.
    Touch("QVSkinKor.dat");
    Touch("QVSkinEng.dat");
    std::string path;
    settings.GetLanguageFilePath(path);
    EXPECT_EQ(GetSystemDefaultLangID(), 1042);
    EXPECT_EQ(path, folder + "\\QVSkinKor.dat");
}

} // namespace
