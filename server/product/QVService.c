/* Sample product: stands in for "QVService.exe", the background program of
 * Windows 95/98/Me, started at logon through the machine's Run key. It keeps
 * one hidden window and publishes its handle as "HwndSrv" (REG_DWORD) under
 * the product key, where the installer looks to see whether it runs. A second
 * copy ends at once. Closing the window ends the program and withdraws the
 * value when it still names this window. */
#include <windows.h>

static const char kWindowClass[] = "KorvaneFreeSampleService";
static const char kProductKey[] = "SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";
static const char kWindowValue[] = "HwndSrv";

static void PublishWindow(HWND window)
{
    HKEY key;
    DWORD handle = (DWORD)(UINT_PTR)window;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, kWindowValue, 0, REG_DWORD, (const BYTE*)&handle, sizeof(handle));
    RegCloseKey(key);
}

static void WithdrawWindow(HWND window)
{
    HKEY key;
    DWORD handle = 0, size = sizeof(handle), type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (RegQueryValueExA(key, kWindowValue, NULL, &type, (BYTE*)&handle, &size) == ERROR_SUCCESS &&
        type == REG_DWORD && handle == (DWORD)(UINT_PTR)window)
        RegDeleteValueA(key, kWindowValue);
    RegCloseKey(key);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        WithdrawWindow(window);
        PostQuitMessage(0);
        return 0;
    case WM_ENDSESSION:
        if (wParam)
            WithdrawWindow(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    WNDCLASSA windowClass;
    HWND window;
    MSG message;

    (void)previous;
    (void)commandLine;
    (void)show;
    if (FindWindowA(kWindowClass, NULL))
        return 0; /* already running */
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowA(kWindowClass, "Korvane Free", 0, 0, 0, 0, 0, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    PublishWindow(window);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
