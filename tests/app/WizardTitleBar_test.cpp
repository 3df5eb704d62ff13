// The title-bar close box ends the wizard. Without a window manager Wine draws
// no title bar, so the wizard runs in a Wine virtual desktop, where Wine draws
// the frame itself, and the close box gets a real click.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/app/WizardDriver.h"

using namespace wizardtest;

namespace {

struct DesktopSearch {
    std::vector<HWND> frames;
};

BOOL CALLBACK CollectDesktopFrames(HWND window, LPARAM parameter)
{
    wchar_t caption[128] = {0};
    GetWindowTextW(window, caption, 128);
    // Seen from another desktop Wine reports the window as not visible: the
    // caption alone identifies the frame.
    if (wcscmp(caption, kCaption) == 0)
        reinterpret_cast<DesktopSearch*>(parameter)->frames.push_back(window);
    return TRUE;
}

HWND FindFrameOnDesktop(const std::string& desktopName)
{
    HDESK desktop = OpenDesktopA(desktopName.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
    if (!desktop)
        return nullptr;
    DesktopSearch search;
    EnumDesktopWindows(desktop, &CollectDesktopFrames, reinterpret_cast<LPARAM>(&search));
    CloseDesktop(desktop);
    return search.frames.empty() ? nullptr : search.frames.front();
}

// The middle of the frame's close box, found by asking the frame itself
// which points of its title bar belong to the box.
bool FindCloseBox(HWND frame, POINT& point)
{
    RECT rect;
    GetWindowRect(frame, &rect);
    long sumX = 0, sumY = 0, hits = 0;
    for (int y = rect.top; y < rect.top + 40; ++y)
        for (int x = rect.right - 1; x > rect.right - 80; --x) {
            DWORD_PTR hit = 0;
            SendMessageTimeoutW(frame, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit);
            if (hit == HTCLOSE) {
                sumX += x;
                sumY += y;
                ++hits;
            }
        }
    if (hits == 0)
        return false;
    point.x = sumX / hits;
    point.y = sumY / hits;
    return true;
}

} // namespace

TEST(WizardTitleBar, CloseBoxEndsTheWizard)
{
    const std::string desktop = "qvclose" + std::to_string(GetCurrentProcessId());
    const std::string commandLine =
        "explorer.exe /desktop=" + desktop + ",800x600 \"" + BinaryFile("shipped/app/QVSetup.exe") + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION explorer = {};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    ASSERT_TRUE(CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &explorer));
    HWND frame = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (frame = FindFrameOnDesktop(desktop)) != nullptr; }, 20000));
    if (frame) {
        Sleep(500);
        DWORD processId = 0;
        GetWindowThreadProcessId(frame, &processId);
        CWizardRun run;
        ASSERT_TRUE(run.Adopt(processId, frame));
        POINT box = {0, 0};
        ASSERT_TRUE(FindCloseBox(frame, box));
        printf("close box at (%ld, %ld) of desktop %s; screenshot: %s\n", box.x, box.y, desktop.c_str(),
               Screenshot("6-title-bar").c_str());
        XInput("clickdesk " + desktop + " " + std::to_string(box.x) + " " + std::to_string(box.y));
        DWORD elapsed = 0;
        EXPECT_TRUE(run.WaitExit(5000, &elapsed));
        printf("close box: wizard process ended %lu ms after the click\n", elapsed);
    }
    // The virtual desktop is our own child: end it.
    TerminateProcess(explorer.hProcess, 0);
    CloseHandle(explorer.hThread);
    CloseHandle(explorer.hProcess);
}
