#include "tests/app/WizardDriver.h"

#include <shlobj.h>

#include <cstdlib>
#include <vector>

#include "tests/support/TestSupport.h"

namespace wizardtest {

const wchar_t kCaption[] = L"Korvane Free 설치";

std::string SourceFile(const std::string& relative) { return qvtest::SourcePath(relative); }
std::string BinaryFile(const std::string& relative) { return qvtest::BinaryPath(relative); }

std::string BinaryLinuxPath(const std::string& relative)
{
    const char* base = getenv("QV_BINARY_DIR");
    return std::string(base ? base : ".") + "/" + relative;
}

std::string InstallFolder()
{
    char folder[MAX_PATH] = {0};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::string(folder) + "\\Dravik\\KorvaneV5\\KorvaneFree";
}

void XInput(const std::string& arguments)
{
    std::string commandLine = "\"" + SourceFile("tests/app/xinput.sh") + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

std::string Screenshot(const std::string& name)
{
    const std::string path = BinaryLinuxPath("tests/app/screens/" + name + ".png");
    XInput("shot \"" + path + "\"");
    return path;
}

void SendKey(WORD virtualKey)
{
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
    Sleep(100);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

namespace {

struct FrameSearch {
    DWORD processId;  // 0: any process
    std::vector<HWND> found;
};

BOOL CALLBACK CollectFrames(HWND window, LPARAM parameter)
{
    FrameSearch* search = reinterpret_cast<FrameSearch*>(parameter);
    wchar_t caption[128] = {0};
    GetWindowTextW(window, caption, 128);
    if (wcscmp(caption, kCaption) != 0 || !IsWindowVisible(window))
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId == 0 || owner == search->processId)
        search->found.push_back(window);
    return TRUE;
}

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindControl(HWND window, LPARAM parameter)
{
    ControlSearch* search = reinterpret_cast<ControlSearch*>(parameter);
    if (GetDlgCtrlID(window) == search->id) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int CountFrames()
{
    FrameSearch search = {0, {}};
    EnumWindows(&CollectFrames, reinterpret_cast<LPARAM>(&search));
    return static_cast<int>(search.found.size());
}

HWND FindFrameOf(DWORD processId)
{
    FrameSearch search = {processId, {}};
    EnumWindows(&CollectFrames, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

CWizardRun::~CWizardRun()
{
    if (m_process) {
        if (Running())
            TerminateProcess(m_process, 1);  // our own child, left over by a failed test
        CloseHandle(m_process);
    }
}

bool CWizardRun::Start(const std::string& commandLine, DWORD timeoutMs, const char* currentFolder)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, currentFolder, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    m_processId = process.dwProcessId;
    WaitFor([this] { return (m_frame = FindFrameOf(m_processId)) != nullptr || !Running(); }, timeoutMs);
    if (!m_frame)
        return false;
    // Let the frame finish painting before anyone looks at it.
    Sleep(300);
    return true;
}

bool CWizardRun::Adopt(DWORD processId, HWND frame)
{
    m_process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    m_processId = processId;
    m_frame = frame;
    return m_process != nullptr;
}

HWND CWizardRun::Control(int id) const
{
    ControlSearch search = {id, nullptr};
    EnumChildWindows(m_frame, &FindControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool CWizardRun::Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
bool CWizardRun::Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

bool CWizardRun::Checked(int id) const
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(Control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

std::wstring CWizardRun::Text(int id) const
{
    HWND control = Control(id);
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text.resize(copied);
    return text;
}

LRESULT CWizardRun::Send(int id, UINT message, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(Control(id), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

RECT CWizardRun::ScreenRect(int id) const
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(Control(id), &rect);
    return rect;
}

void CWizardRun::Press(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }

void CWizardRun::ClickOn(int id) const
{
    RECT rect = ScreenRect(id);
    XInput("click " + std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
}

HWND CWizardRun::FocusedWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(m_frame, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info))
        return nullptr;
    return info.hwndFocus;
}

bool CWizardRun::ClickUntil(int id, const std::function<bool()>& effect) const
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        ClickOn(id);
        if (WaitFor(effect, 1500))
            return true;
    }
    return false;
}

bool CWizardRun::FocusByClick(int id) const
{
    HWND control = Control(id);
    return ClickUntil(id, [this, control] { return FocusedWindow() == control; });
}

bool CWizardRun::Running() const
{
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

bool CWizardRun::WaitExit(DWORD timeoutMs, DWORD* elapsedMs)
{
    const DWORD start = GetTickCount();
    const bool ended = m_process && WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
    if (elapsedMs)
        *elapsedMs = GetTickCount() - start;
    return ended;
}

} // namespace wizardtest
