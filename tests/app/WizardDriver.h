// Drives a running QVSetup.exe from another process the way a person would:
// finds the wizard by its caption, reads each control by id (visible,
// enabled, text, check state), presses buttons, and sends real key strokes and
// clicks through xinput.sh (xdotool on the test display).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace wizardtest {

// "Korvane Free 설치"
extern const wchar_t kCaption[];

// Linux and Windows paths of the test's files.
std::string SourceFile(const std::string& relative);   // Windows path
std::string BinaryFile(const std::string& relative);   // Windows path
std::string BinaryLinuxPath(const std::string& relative);

// The install folder the wizard starts the product from, found here on our
// own: special folder PROGRAM_FILES + "\Dravik\KorvaneV5\KorvaneFree".
std::string InstallFolder();

// Runs xinput.sh with the given arguments and waits for it.
void XInput(const std::string& arguments);
// Saves a screenshot as tests/app/screens/NAME.png in the build tree and
// returns its Linux path.
std::string Screenshot(const std::string& name);

// A key press and release through the system's input queue (SendInput), to
// the window that has the keyboard focus. Used for Escape and Enter: under
// Wine, xdotool's Escape did not reach a wizard started by this driver
// (while Space, letters and Ctrl+End did).
void SendKey(WORD virtualKey);

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

class CWizardRun {
public:
    CWizardRun() = default;
    ~CWizardRun();
    CWizardRun(const CWizardRun&) = delete;
    CWizardRun& operator=(const CWizardRun&) = delete;

    // Starts `commandLine` (in `currentFolder`, or this process's current
    // folder when null) and waits for a visible wizard frame of that
    // process. False when the frame does not appear within the time.
    bool Start(const std::string& commandLine, DWORD timeoutMs = 20000, const char* currentFolder = nullptr);
    // Adopts a process started elsewhere (by its id) and its frame.
    bool Adopt(DWORD processId, HWND frame);

    HWND Frame() const { return m_frame; }
    DWORD ProcessId() const { return m_processId; }
    HWND Control(int id) const;
    bool Visible(int id) const;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    std::wstring Text(int id) const;
    RECT ScreenRect(int id) const;
    // Sends a message to a control, giving up after 5 s should the wizard hang.
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Presses a button (BM_CLICK) and returns at once.
    void Press(int id) const;
    // Left-clicks the middle of a control on the display.
    void ClickOn(int id) const;
    // Clicks a control until it has the keyboard focus (at most three
    // clicks); false when it never gets it.
    bool FocusByClick(int id) const;
    // Clicks a control until `effect` holds (at most three clicks, as a
    // person would click again when nothing happened).
    bool ClickUntil(int id, const std::function<bool()>& effect) const;
    // The window holding the wizard's keyboard focus.
    HWND FocusedWindow() const;

    bool Running() const;
    // Waits for the process to end; `elapsedMs` is measured from the call.
    bool WaitExit(DWORD timeoutMs, DWORD* elapsedMs = nullptr);

private:
    HANDLE m_process = nullptr;
    DWORD m_processId = 0;
    HWND m_frame = nullptr;
};

// Top-level wizard frames (visible, with the wizard's caption) of any process.
int CountFrames();
HWND FindFrameOf(DWORD processId);

} // namespace wizardtest
