/* A service that never reaches SERVICE_RUNNING: it stays "start pending"
 * for a minute and then stops. The post-install tests put it where the
 * product's service program belongs to time the installer's wait. */
#include <windows.h>

static SERVICE_STATUS_HANDLE g_statusHandle;

static void Report(DWORD state)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof(status));
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwWaitHint = 60000;
    SetServiceStatus(g_statusHandle, &status);
}

static void WINAPI Control(DWORD code)
{
    (void)code; /* stop requests are not accepted while starting */
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv)
{
    (void)argc;
    g_statusHandle = RegisterServiceCtrlHandlerA(argv && argv[0] ? argv[0] : "", Control);
    if (!g_statusHandle)
        return;
    Report(SERVICE_START_PENDING);
    Sleep(60000);
    Report(SERVICE_STOPPED);
}

int main(void)
{
    SERVICE_TABLE_ENTRYA services[] = {{"", ServiceMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherA(services) ? 0 : 1;
}
