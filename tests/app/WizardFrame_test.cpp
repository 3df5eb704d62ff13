// QVSetup.exe under Wine, driven from outside as a person would: pages and
// their controls, the licence box, Cancel and Escape, the second copy, the
// result pages reached from a worker thread, and starting the product.
//
// QVSetupHooks.exe is the same program built with one test-only message that
// makes a worker thread run the install run's finish step.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "res/resource.h"
#include "tests/support/TestSupport.h"
#include "tests/app/WizardDriver.h"

using namespace wizardtest;

namespace {

std::string ProgramPath() { return BinaryFile("shipped/app/QVSetup.exe"); }
std::string HooksPath() { return BinaryFile("tests/app/QVSetupHooks.exe"); }
std::string RecordPath() { return InstallFolder() + "\\QVUpdate.record.txt"; }

std::string ReadRecord()
{
    std::ifstream in(RecordPath().c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

std::wstring LicenceResource()
{
    std::string path = ProgramPath();
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const wchar_t* text = nullptr;
    int length = module ? LoadStringW(module, IDS_LICENCE_TEXT, reinterpret_cast<LPWSTR>(&text), 0) : 0;
    std::wstring licence = length > 0 ? std::wstring(text, length) : std::wstring();
    if (module)
        FreeLibrary(module);
    return licence;
}

bool SetClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool set = false;
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        set = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    CloseClipboard();
    return set;
}

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Sends the test build's request: a worker runs the finish step.
void FinishFromWorker(const CWizardRun& run, bool failed)
{
    static const UINT message = RegisterWindowMessageA("QVSetupTest.FinishFromWorker");
    PostMessageW(run.Frame(), message, failed ? 1 : 0, 0);
}

// Presses Cancel/Done and measures when the frame disappears and when the
// process ends, from the press. Without a window manager Wine waits up to 2 s
// for the unmapped frame's withdrawal before the window goes, so the end of
// the process comes about 2 s after the frame has been hidden.
bool PressAndTimeClose(CWizardRun& run, DWORD* hiddenMs, DWORD* endedMs)
{
    HWND frame = run.Frame();
    const DWORD start = GetTickCount();
    run.Press(IDC_CANCEL_DONE);
    WaitFor([frame] { return !IsWindowVisible(frame); }, 5000);
    *hiddenMs = GetTickCount() - start;
    const bool ended = run.WaitExit(8000);
    *endedMs = GetTickCount() - start;
    return ended;
}

// Escape with the keyboard focus on `id` (given by a real click) changes nothing.
void ExpectEscapeIgnored(CWizardRun& run, int focusId, int pageControl)
{
    // Controls that take the focus get it; a click on a picture or the
    // progress bar only brings the keyboard to the wizard.
    wchar_t kind[32] = {0};
    GetClassNameW(run.Control(focusId), kind, 32);
    if (_wcsicmp(kind, L"Static") == 0 || _wcsicmp(kind, PROGRESS_CLASSW) == 0)
        run.ClickOn(focusId);
    else
        ASSERT_TRUE(run.FocusByClick(focusId));
    SendKey(VK_ESCAPE);
    Sleep(400);
    EXPECT_TRUE(run.Running()) << "Escape with focus on " << focusId;
    EXPECT_TRUE(run.Visible(pageControl)) << "Escape with focus on " << focusId;
}

class WizardFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No wizard of an earlier test may still be around.
        ASSERT_TRUE(WaitFor([] { return CountFrames() == 0; }, 10000));
        SHCreateDirectoryExA(nullptr, InstallFolder().c_str(), nullptr);
        const std::string standIn = InstallFolder() + "\\QVUpdate.exe";
        ASSERT_TRUE(CopyFileA(BinaryFile("shipped/server/product/bin/QVUpdate.exe").c_str(), standIn.c_str(), FALSE));
        DeleteFileA(RecordPath().c_str());
    }
    void TearDown() override
    {
        DeleteFileA(RecordPath().c_str());
        DeleteFileA((InstallFolder() + "\\QVUpdate.exe").c_str());
    }

    // Starts the test build and brings it to the install page.
    void ToInstallPage(CWizardRun& run)
    {
        ASSERT_TRUE(run.Start("\"" + HooksPath() + "\""));
        run.Press(IDC_NEXT);
        ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_LICENCE_TEXT); }, 5000));
        run.Press(IDC_NEXT);
        ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_INSTALL_PROGRESS); }, 5000));
    }
};

} // namespace

TEST_F(WizardFrame, StartsOnTheWelcomePictureWithOnlyNextAndCancel)
{
    CWizardRun run;
    ASSERT_TRUE(run.Start("\"" + ProgramPath() + "\""));
    EXPECT_TRUE(run.Visible(IDC_WELCOME_PICTURE));
    EXPECT_TRUE(run.Visible(IDC_NEXT));
    EXPECT_TRUE(run.Visible(IDC_CANCEL_DONE));
    EXPECT_FALSE(run.Visible(IDC_RUN_PRODUCT));
    EXPECT_TRUE(run.Checked(IDC_RUN_PRODUCT));  // hidden but already ticked
    EXPECT_FALSE(run.Visible(IDC_PAGE_AREA));
    for (int pageControl : {IDC_LICENCE_TEXT, IDC_INSTALL_PROGRESS, IDC_SUCCESS_PICTURE, IDC_FAIL_PICTURE})
        EXPECT_FALSE(run.Visible(pageControl)) << pageControl;
    EXPECT_EQ(L"다음(&N)", run.Text(IDC_NEXT));
    EXPECT_EQ(L"취소(&C)", run.Text(IDC_CANCEL_DONE));
    RECT picture = run.ScreenRect(IDC_WELCOME_PICTURE);
    EXPECT_EQ(476, picture.right - picture.left);
    EXPECT_EQ(332, picture.bottom - picture.top);
    printf("screenshot: %s\n", Screenshot("1-welcome").c_str());

    DWORD hidden = 0, ended = 0;
    ASSERT_TRUE(PressAndTimeClose(run, &hidden, &ended));
    printf("Cancel on the welcome picture: frame gone %lu ms, process ended %lu ms after the press\n", hidden, ended);
    EXPECT_GE(hidden, 90u);  // timer 20001: 100 ms
    EXPECT_LT(hidden, 1000u);
    EXPECT_TRUE(ReadRecord().empty());
}

TEST_F(WizardFrame, LicencePageAgreeDisagreeAndATextNothingCanBeTypedInto)
{
    CWizardRun run;
    ASSERT_TRUE(run.Start("\"" + ProgramPath() + "\""));
    run.Press(IDC_NEXT);
    ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_LICENCE_TEXT); }, 5000));
    EXPECT_FALSE(run.Visible(IDC_WELCOME_PICTURE));
    EXPECT_TRUE(run.Checked(IDC_AGREE));
    EXPECT_FALSE(run.Checked(IDC_DISAGREE));
    EXPECT_TRUE(run.Enabled(IDC_NEXT));
    EXPECT_TRUE(run.Visible(IDC_LICENCE_NOTICE));

    const std::wstring licence = LicenceResource();
    EXPECT_EQ(1792u, licence.size());
    int lines = 1, bareBreaks = 0;
    for (size_t i = 0; i < licence.size(); ++i) {
        if (licence[i] == L'\n' && (i == 0 || licence[i - 1] != L'\r'))
            ++bareBreaks;
        if (licence[i] == L'\n')
            ++lines;
    }
    EXPECT_EQ(26, lines);
    EXPECT_EQ(0, bareBreaks);
    EXPECT_EQ(licence, run.Text(IDC_LICENCE_TEXT));  // string 129, unchanged
    printf("licence: %zu characters in %d lines; screenshot: %s\n", licence.size(), lines,
           Screenshot("2-licence").c_str());

    // Real clicks on the radio buttons switch Next off and on again.
    EXPECT_TRUE(run.ClickUntil(IDC_DISAGREE, [&] { return !run.Enabled(IDC_NEXT); }));
    EXPECT_TRUE(run.Checked(IDC_DISAGREE));
    EXPECT_FALSE(run.Checked(IDC_AGREE));
    run.Press(IDC_NEXT);  // a disabled Next moves nothing
    Sleep(300);
    EXPECT_TRUE(run.Visible(IDC_LICENCE_TEXT));
    EXPECT_TRUE(run.ClickUntil(IDC_AGREE, [&] { return run.Enabled(IDC_NEXT); }));
    EXPECT_TRUE(run.Checked(IDC_AGREE));

    // Letters, Backspace and Enter typed into the box change nothing; the
    // keys still move the caret: Ctrl+End goes to the end of the text.
    ASSERT_TRUE(run.FocusByClick(IDC_LICENCE_TEXT));
    XInput("type abc");
    XInput("key BackSpace Return BackSpace");
    for (WORD key : {WORD('X'), WORD(VK_BACK), WORD(VK_RETURN)})
        SendKey(key);
    Sleep(300);
    EXPECT_EQ(licence, run.Text(IDC_LICENCE_TEXT));
    // Delete, Shift+Insert and Ctrl+V (with text on the clipboard) do not
    // edit it either; Ctrl+C copies the selection.
    ASSERT_TRUE(SetClipboardText(L"pasted"));
    run.Send(IDC_LICENCE_TEXT, EM_SETSEL, 0, 0);
    XInput("key Delete shift+Insert ctrl+v");
    Sleep(300);
    EXPECT_TRUE(licence == run.Text(IDC_LICENCE_TEXT)) << "Delete or a paste edited the licence";
    run.Send(IDC_LICENCE_TEXT, EM_SETSEL, 0, 13);
    XInput("key ctrl+c");
    EXPECT_TRUE(WaitFor([&] { return ClipboardText() == licence.substr(0, 13); }, 3000)) << "clipboard holds "
                                                                                          << ClipboardText().size();
    EXPECT_TRUE(licence == run.Text(IDC_LICENCE_TEXT)) << "Ctrl+C edited the licence";
    XInput("key ctrl+End");
    EXPECT_TRUE(WaitFor([&] { return run.Send(IDC_LICENCE_TEXT, EM_GETFIRSTVISIBLELINE) > 0; }, 3000));
    const LRESULT selection = run.Send(IDC_LICENCE_TEXT, EM_GETSEL);
    EXPECT_EQ(licence.size(), LOWORD(selection));
    const LRESULT lastChar = run.Send(IDC_LICENCE_TEXT, EM_POSFROMCHAR, licence.size() - 1);
    RECT client = {0, 0, 0, 0};
    GetClientRect(run.Control(IDC_LICENCE_TEXT), &client);
    const int lastY = static_cast<short>(HIWORD(lastChar));
    EXPECT_GE(lastY, 0);
    EXPECT_LT(lastY, client.bottom);  // the last line is in view
    EXPECT_EQ(licence, run.Text(IDC_LICENCE_TEXT));
    printf("licence scrolled: first visible line %ld of %ld; screenshot: %s\n",
           static_cast<long>(run.Send(IDC_LICENCE_TEXT, EM_GETFIRSTVISIBLELINE)),
           static_cast<long>(run.Send(IDC_LICENCE_TEXT, EM_GETLINECOUNT)), Screenshot("2-licence-end").c_str());

    ExpectEscapeIgnored(run, IDC_LICENCE_TEXT, IDC_LICENCE_TEXT);
    ExpectEscapeIgnored(run, IDC_AGREE, IDC_LICENCE_TEXT);

    DWORD hidden = 0, ended = 0;
    ASSERT_TRUE(PressAndTimeClose(run, &hidden, &ended));
    printf("Cancel on the licence page: frame gone %lu ms, process ended %lu ms after the press\n", hidden, ended);
    EXPECT_GE(hidden, 90u);  // timer 20001: 100 ms
    EXPECT_LT(hidden, 1000u);
    EXPECT_TRUE(ReadRecord().empty());
}

TEST_F(WizardFrame, EscapeAndEnterChangeNothingOnTheWelcomeAndInstallPages)
{
    CWizardRun run;
    ASSERT_TRUE(run.Start("\"" + HooksPath() + "\""));
    ExpectEscapeIgnored(run, IDC_WELCOME_PICTURE, IDC_WELCOME_PICTURE);
    // The keys do reach the wizard: Space presses Next, which has the focus.
    ASSERT_EQ(run.Control(IDC_NEXT), run.FocusedWindow());
    XInput("key space");
    ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_LICENCE_TEXT); }, 3000));
    ASSERT_TRUE(run.ClickUntil(IDC_NEXT, [&] { return run.Visible(IDC_INSTALL_PROGRESS); }));

    EXPECT_FALSE(run.Visible(IDC_NEXT));
    EXPECT_FALSE(run.Visible(IDC_CANCEL_DONE));
    EXPECT_FALSE(run.Visible(IDC_LICENCE_TEXT));
    EXPECT_TRUE(run.Visible(IDC_INSTALL_ANIMATION));
    EXPECT_EQ(L"다운로드 준비 중입니다.", run.Text(IDC_STATUS_TEXT));
    EXPECT_EQ(L"Korvane Free를 설치합니다.", run.Text(IDC_INSTALL_TITLE));
    RECT animation = run.ScreenRect(IDC_INSTALL_ANIMATION);
    EXPECT_EQ(486, animation.right - animation.left);
    EXPECT_EQ(150, animation.bottom - animation.top);
    printf("screenshot: %s\n", Screenshot("3-install").c_str());

    // Enter and a click sent to the hidden Next (the default button) must
    // not turn the page.
    SendKey(VK_RETURN);
    run.Press(IDC_NEXT);
    Sleep(400);
    EXPECT_TRUE(run.Visible(IDC_INSTALL_PROGRESS));
    EXPECT_FALSE(run.Visible(IDC_SUCCESS_PICTURE));
    ExpectEscapeIgnored(run, IDC_INSTALL_PROGRESS, IDC_INSTALL_PROGRESS);
    SendKey(VK_RETURN);
    Sleep(400);
    EXPECT_TRUE(run.Visible(IDC_INSTALL_PROGRESS));
    EXPECT_FALSE(run.Visible(IDC_SUCCESS_PICTURE));
    EXPECT_TRUE(run.Running());
}

TEST_F(WizardFrame, SuccessPageFromAWorkerThenDoneStartsTheProductOnce)
{
    CWizardRun run;
    ToInstallPage(run);
    FinishFromWorker(run, false);
    ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_SUCCESS_PICTURE); }, 5000));
    EXPECT_FALSE(run.Visible(IDC_INSTALL_PROGRESS));
    EXPECT_FALSE(run.Visible(IDC_NEXT));
    EXPECT_TRUE(run.Visible(IDC_CANCEL_DONE));
    EXPECT_EQ(L"완료", run.Text(IDC_CANCEL_DONE));
    EXPECT_TRUE(run.Visible(IDC_RUN_PRODUCT));
    EXPECT_TRUE(run.Checked(IDC_RUN_PRODUCT));
    EXPECT_EQ(L"Korvane Free를 실행합니다.", run.Text(IDC_RUN_PRODUCT));
    RECT picture = run.ScreenRect(IDC_SUCCESS_PICTURE);
    EXPECT_EQ(476, picture.right - picture.left);
    EXPECT_EQ(332, picture.bottom - picture.top);
    printf("screenshot: %s\n", Screenshot("4-success").c_str());
    ExpectEscapeIgnored(run, IDC_SUCCESS_PICTURE, IDC_SUCCESS_PICTURE);

    // Done twice before the wizard closes: the product starts once.
    run.Press(IDC_CANCEL_DONE);
    run.Press(IDC_CANCEL_DONE);
    ASSERT_TRUE(run.WaitExit(8000));
    ASSERT_TRUE(WaitFor([] { return !ReadRecord().empty(); }, 5000));
    Sleep(500);
    const std::string record = ReadRecord();
    printf("QVUpdate.exe stand-in recorded: %s", record.c_str());
    EXPECT_EQ(1, CountLines(record));
    const std::string expected = "started|" + InstallFolder() + "|";
    EXPECT_EQ(0, _strnicmp(expected.c_str(), record.c_str(), expected.size())) << record;
    EXPECT_EQ(expected.size() + 1, record.size()) << "no arguments: " << record;
}

TEST_F(WizardFrame, SuccessPageWithTheBoxClearedStartsNothing)
{
    CWizardRun run;
    ToInstallPage(run);
    FinishFromWorker(run, false);
    ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_RUN_PRODUCT); }, 5000));
    ASSERT_TRUE(run.ClickUntil(IDC_RUN_PRODUCT, [&] { return !run.Checked(IDC_RUN_PRODUCT); }));
    run.Press(IDC_CANCEL_DONE);
    ASSERT_TRUE(run.WaitExit(8000));
    Sleep(1000);
    EXPECT_TRUE(ReadRecord().empty());
}

TEST_F(WizardFrame, FailurePageFromAWorkerHasDoneWithoutTheBoxAndStartsNothing)
{
    CWizardRun run;
    ToInstallPage(run);
    FinishFromWorker(run, true);
    ASSERT_TRUE(WaitFor([&] { return run.Visible(IDC_FAIL_PICTURE); }, 5000));
    EXPECT_FALSE(run.Visible(IDC_INSTALL_PROGRESS));
    EXPECT_FALSE(run.Visible(IDC_SUCCESS_PICTURE));
    EXPECT_TRUE(run.Visible(IDC_CANCEL_DONE));
    EXPECT_EQ(L"완료", run.Text(IDC_CANCEL_DONE));
    EXPECT_FALSE(run.Visible(IDC_RUN_PRODUCT));
    RECT picture = run.ScreenRect(IDC_FAIL_PICTURE);
    EXPECT_EQ(476, picture.right - picture.left);
    EXPECT_EQ(332, picture.bottom - picture.top);
    printf("screenshot: %s\n", Screenshot("5-failure").c_str());
    ExpectEscapeIgnored(run, IDC_FAIL_PICTURE, IDC_FAIL_PICTURE);

    DWORD hidden = 0, ended = 0;
    ASSERT_TRUE(PressAndTimeClose(run, &hidden, &ended));
    printf("Done on the failure page: frame gone %lu ms, process ended %lu ms after the press\n", hidden, ended);
    EXPECT_GE(hidden, 90u);
    EXPECT_LT(hidden, 1000u);
    Sleep(1000);
    EXPECT_TRUE(ReadRecord().empty());  // the box is ticked but was never offered
}

TEST_F(WizardFrame, ASecondCopyShowsNothingAndEndsAtOnce)
{
    CWizardRun first;
    ASSERT_TRUE(first.Start("\"" + ProgramPath() + "\""));
    CWizardRun second;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(second.Start("\"" + ProgramPath() + "\"", 5000));
    DWORD elapsed = 0;
    ASSERT_TRUE(second.WaitExit(5000, &elapsed));
    printf("second copy ended %lu ms after it was started\n", GetTickCount() - start);
    EXPECT_EQ(1, CountFrames());
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(first.Visible(IDC_WELCOME_PICTURE));
    first.Press(IDC_CANCEL_DONE);
    EXPECT_TRUE(first.WaitExit(5000));
}



TEST(QVSetupProgram, CarriesItsManifestAndVersionResource)
{
    const std::string path = ProgramPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(std::wstring(path.begin(), path.end()).c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(std::wstring(path.begin(), path.end()).c_str(), 0, size, info.data()));
    auto value = [&info](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\041203b5\\") + name;
        if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
            return std::wstring();
        return std::wstring(text);
    };
    EXPECT_EQ(L"Korvane Free 설치", value(L"FileDescription"));
    EXPECT_EQ(L"QVSetup.exe", value(L"InternalName"));
    EXPECT_EQ(L"QVSetup.exe", value(L"OriginalFilename"));
    EXPECT_EQ(L"5, 0, 0, 5", value(L"FileVersion"));
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    EXPECT_EQ(0x0412, translation[0]);
    EXPECT_EQ(949, translation[1]);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 5), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(5, 0), fixed->dwFileVersionLS);

    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(nullptr, found);
    const char* manifest = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string text(manifest, SizeofResource(module, found));
    EXPECT_NE(std::string::npos, text.find("level=\"requireAdministrator\" uiAccess=\"false\""));
    EXPECT_NE(std::string::npos, text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, text.find("version=\"1.0.0.0\" processorArchitecture=\"X86\" name=\"Microsoft.Windows.QVSetup\""));
    FreeLibrary(module);
}
