/* Sample product: stands in for the background service "QVServiceNt.exe" of
 * the Windows NT family. A real Win32 service of its own process: it reports
 * SERVICE_RUNNING as soon as the Service Control Manager starts it and
 * SERVICE_STOPPED when asked to stop (or at shutdown). Started from a command
 * prompt it says what it is and ends. */
#include <windows.h>

#include <stdio.h>

static SERVICE_STATUS_HANDLE g_statusHandle;
static SERVICE_STATUS g_status;
static HANDLE g_stopEvent;

static void Report(DWORD state)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwCheckPoint = 0;
    g_status.dwWaitHint = 0;
    SetServiceStatus(g_statusHandle, &g_status);
}

static void WINAPI Control(DWORD code)
{
    if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stopEvent);
        return;
    }
    SetServiceStatus(g_statusHandle, &g_status); /* interrogate: the current state */
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv)
{
    (void)argc;
    g_statusHandle = RegisterServiceCtrlHandlerA(argv && argv[0] ? argv[0] : "", Control);
    if (!g_statusHandle)
        return;
    g_stopEvent = CreateEventA(NULL, /* default security */
                               TRUE, /* manual reset */
                               FALSE, /* not signalled */
                               NULL); /* no name */
    if (!g_stopEvent) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    CloseHandle(g_stopEvent);
    Report(SERVICE_STOPPED);
}

int main(void)
{
    /* One service in its own process: the name in the table is not looked at. */
    SERVICE_TABLE_ENTRYA services[] = {{"", ServiceMain}, {NULL, NULL}};
    if (!StartServiceCtrlDispatcherA(services)) {
        printf("QVServiceNt.exe: the Korvane Free sample service; it runs under the Service Control Manager.\n");
        return 1;
    }
    return 0;
}
