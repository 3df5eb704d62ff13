// CRegistryAccess on Windows 95/98/Me (Wine reporting win98): the rights
// operations do nothing and a refused open stays refused.
#include "platform/GroupAccess.h"
#include "platform/RegistryAccess.h"
#include "tests/support/PlatformTestUtil.h"

#include <gtest/gtest.h>

namespace {

const char kBase[] = "Software\\QVSetupTests\\Registry9x";

class Registry9xTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qvtest::ForceDeleteTree(HKEY_CURRENT_USER, kBase);
        ASSERT_TRUE(reg_.SetRootByName("hcu"));
    }
    void TearDown() override { qvtest::ForceDeleteTree(HKEY_CURRENT_USER, kBase); }
    CRegistryAccess reg_;
};

TEST_F(Registry9xTest, RightsOperationsAnswerTrueWithoutActing)
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    ASSERT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS)) << "run with WINVER win98";
    EXPECT_FALSE(reg_.AdjustsRights());

    const std::string key = std::string(kBase) + "\\open";
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "v", "x"));
    const size_t before = qvtest::KeyAces(HKEY_CURRENT_USER, key).size();
    EXPECT_TRUE(reg_.GrantKeyAccessByPath(key.c_str(), KEY_ALL_ACCESS, true, TRUSTEE_MASK_ALL));
    EXPECT_TRUE(reg_.GrantKeyTreeAccess(key.c_str(), TRUSTEE_MASK_ALL));
    EXPECT_TRUE(reg_.GrantKeyAccessByPath((key + "\\missing").c_str(), KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL));
    EXPECT_EQ(qvtest::KeyAces(HKEY_CURRENT_USER, key).size(), before); // a replace would have left 4

    HKEY handle;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &handle), ERROR_SUCCESS);
    EXPECT_FALSE(reg_.GrantKeyAccess(handle, KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL));
    RegCloseKey(handle);
}

// Wine, like Windows 95, opens keys with MAXIMUM_ALLOWED whatever mask is
// asked for, so a closed-off key still opens (with the owner's READ_CONTROL |
// WRITE_DAC only); the value query is then refused. Nothing may repair it.
TEST_F(Registry9xTest, ARefusedReadIsFinal)
{
    const std::string key = std::string(kBase) + "\\closed";
    ASSERT_TRUE(reg_.WriteString(key.c_str(), "v", "x"));
    ASSERT_TRUE(qvtest::CloseKeyOff(HKEY_CURRENT_USER, key));

    std::string text;
    DWORD value = 5;
    EXPECT_FALSE(reg_.ReadString(key.c_str(), "v", text));
    EXPECT_FALSE(reg_.ReadDword(key.c_str(), "v", value));
    EXPECT_FALSE(reg_.DeleteKey(key.c_str(), true));
    bool present = false;
    EXPECT_TRUE(qvtest::KeyAces(HKEY_CURRENT_USER, key, &present).empty());
    EXPECT_TRUE(present); // still the empty list: nothing was opened up
}

} // namespace
