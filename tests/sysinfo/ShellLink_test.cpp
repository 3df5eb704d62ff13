// Shortcuts made by CreateShortcut, read back through the shell's own link object.
#include "sysinfo/ShellLink.h"

#include "tests/support/TestSupport.h"
#include "tests/support/LinkReader.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <process.h>

#include <iostream>
#include <vector>

namespace {

using qvtest::LinkFields;
using qvtest::ReadLinkStrings;
using qvtest::ReadLinkTarget;

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        target = dir.File("QVMain.exe");
        ASSERT_TRUE(qvtest::WriteText(target, "MZ"));
        icon = dir.File("QVIcon.ico");
        ASSERT_TRUE(qvtest::WriteText(icon, "icon"));
    }
    qvtest::ScratchDir dir;
    std::string target, icon;
};

TEST_F(ShellLinkTest, ShortcutCarriesTargetFolderDescriptionIconAndArguments)
{
    std::string lnk = dir.File("Korvane.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "Korvane Free", icon.c_str(), "/tray"));
    ASSERT_TRUE(qvtest::FileExists(lnk));

    EXPECT_STRCASEEQ(ReadLinkTarget(lnk).c_str(), target.c_str());
    LinkFields fields;
    ASSERT_TRUE(ReadLinkStrings(lnk, fields));
    EXPECT_EQ(fields.name, "Korvane Free");
    EXPECT_STRCASEEQ(fields.folder.c_str(), dir.path().c_str());
    EXPECT_TRUE(fields.hasArguments);
    EXPECT_EQ(fields.arguments, "/tray");
    EXPECT_STRCASEEQ(fields.icon.c_str(), icon.c_str());
}

TEST_F(ShellLinkTest, ShortcutWithoutArgumentsHasNone)
{
    std::string lnk = dir.File("NoArgs.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "d", icon.c_str(), nullptr));
    LinkFields fields;
    ASSERT_TRUE(ReadLinkStrings(lnk, fields));
    EXPECT_FALSE(fields.hasArguments);
    EXPECT_STRCASEEQ(fields.folder.c_str(), dir.path().c_str());
}

TEST_F(ShellLinkTest, KoreanShortcutNameInTheSystemCodePage)
{
    // "바로가기.lnk" in code page 949: the file name goes through the ANSI-to-UTF-16 path.
    std::string lnk = dir.File("\xB9\xD9\xB7\xCE\xB0\xA1\xB1\xE2.lnk");
    ASSERT_TRUE(CreateShortcut(target.c_str(), lnk.c_str(), "d", icon.c_str(), nullptr));
    EXPECT_TRUE(qvtest::FileExists(lnk));
}

TEST_F(ShellLinkTest, MissingPathsAndUnwritableFolderFail)
{
    EXPECT_FALSE(CreateShortcut(nullptr, dir.File("a.lnk").c_str(), "d", icon.c_str(), nullptr));
    EXPECT_FALSE(CreateShortcut(target.c_str(), nullptr, "d", icon.c_str(), nullptr));
    EXPECT_FALSE(CreateShortcut(target.c_str(), dir.File("no\\such\\folder\\a.lnk").c_str(), "d",
                                icon.c_str(), nullptr));
}

// What a thread saw after one CreateShortcut call made inside the COM
// apartment it had entered (model), or in none (model kNoApartment).
const DWORD kNoApartment = ~0u;
struct ApartmentRun {
    DWORD model;
    std::string target, lnk;
    bool saved = false;
    HRESULT createdAfter = E_FAIL; // CoCreateInstance of a shell link
    HRESULT againAfter = E_FAIL;   // CoInitializeEx of the same model
};

unsigned __stdcall RunInApartment(void* context)
{
    ApartmentRun& run = *static_cast<ApartmentRun*>(context);
    bool joined = run.model != kNoApartment && SUCCEEDED(CoInitializeEx(nullptr, run.model));
    run.saved = CreateShortcut(run.target.c_str(), run.lnk.c_str(), "d", nullptr, nullptr);
    IUnknown* object = nullptr;
    run.createdAfter = CoCreateInstance(CLSID_ShellLink, nullptr, // no outer object
                                        CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (object)
        object->Release();
    run.againAfter = CoInitializeEx(nullptr, joined ? run.model : static_cast<DWORD>(COINIT_APARTMENTTHREADED));
    if (SUCCEEDED(run.againAfter))
        CoUninitialize();
    if (joined)
        CoUninitialize();
    return 0;
}

TEST_F(ShellLinkTest, CallerApartmentOutlivesTheCallAndAThreadWithoutOneIsLeftWithout)
{
    const DWORD models[] = {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED, kNoApartment};
    for (DWORD model : models) {
        ApartmentRun run{model, target, dir.File("Link" + std::to_string(model) + ".lnk")};
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, // default security and stack
                                                                RunInApartment, &run, 0, nullptr));
        ASSERT_NE(thread, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        EXPECT_TRUE(run.saved) << model;
        if (model == kNoApartment) {
            // Nothing of the call's own initialisation is left behind.
            EXPECT_EQ(run.createdAfter, CO_E_NOTINITIALIZED);
            EXPECT_EQ(run.againAfter, S_OK);
        } else {
            // Still in the caller's apartment: objects can be made, and
            // entering it once more only counts up (S_FALSE).
            EXPECT_EQ(run.createdAfter, S_OK) << model;
            EXPECT_EQ(run.againAfter, S_FALSE) << model;
        }
        std::cout << "[ apartment] model " << static_cast<long>(model) << ": shortcut saved " << run.saved
                  << ", then CoCreateInstance 0x" << std::hex << run.createdAfter << ", CoInitializeEx 0x"
                  << run.againAfter << std::dec << "\n";
    }
}

} // namespace
