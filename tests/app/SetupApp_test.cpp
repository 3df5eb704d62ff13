// The single-instance check: the mutex name follows the Windows version Wine
// reports (QV_WINVER), and a name already held makes the check refuse.
#include "app/SetupApp.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/SpecialFolders.h"

TEST(SetupApp, MutexNameFollowsTheReportedWindowsVersion)
{
    EXPECT_EQ("Local\\KorvaneFree_Setup", CSetupApp::SingleInstanceMutexName(true));
    EXPECT_EQ("KorvaneFree_Setup", CSetupApp::SingleInstanceMutexName(false));
    EXPECT_EQ(17u, std::string("KorvaneFree_Setup").size());

    const char* winver = getenv("QV_WINVER");
    const std::string version = winver ? winver : "win7";
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    printf("Wine reports %lu.%lu (%s)\n", info.dwMajorVersion, info.dwMinorVersion, version.c_str());
    const bool win2000Family = version == "win2k" || version == "winxp";
    EXPECT_EQ(win2000Family, g_specialFolders.IsWin2000Family());
    EXPECT_EQ(win2000Family, info.dwMajorVersion == 5);
}

TEST(SetupApp, SecondCheckWhileTheFirstHoldsTheNameRefuses)
{
    HANDLE first = nullptr;
    ASSERT_TRUE(CSetupApp::AcquireSingleInstance(first));
    ASSERT_NE(nullptr, first);
    HANDLE second = nullptr;
    EXPECT_FALSE(CSetupApp::AcquireSingleInstance(second));
    EXPECT_NE(nullptr, second);  // the other copy's handle is kept
    CloseHandle(second);
    CloseHandle(first);

    // Once the name is free again the check lets the wizard run.
    HANDLE again = nullptr;
    EXPECT_TRUE(CSetupApp::AcquireSingleInstance(again));
    CloseHandle(again);
}
