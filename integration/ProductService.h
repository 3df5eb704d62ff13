// The product's background program: on the NT family the Win32 service
// "QVServiceNt.exe", on Windows 95/98/Me the plain program "QVService.exe"
// started at logon through the machine's Run key. Used by the post-install
// sequence to remove the filter driver of older versions, register the
// background program when it is missing and, on the NT family, start it.
//
// The service name (also its display name and, on 95/98/Me, the Run value's
// name) is the configuration record's service name, read afresh at the start
// of SetupService, RegisterService and StartBackground.
#pragma once

#include <windows.h>

#include <string>

class CProductService {
public:
    // Fixes servicePath from the install folder and the platform family.
    CProductService();

    // The post-install entry point: RemoveLegacyDriver; then on the NT family
    // EnsureRunning; on 95/98/Me RegisterService unless the background
    // program's window ("HwndSrv") is alive. Failures are ignored.
    void SetupService();
    // Deletes the old driver service "QVPFMDriver" (NT family) and the files
    // "QVPFM.sys" and "QVPFM.vxd" of the install folder; a folder of either
    // name is left alone. Failures are ignored.
    void RemoveLegacyDriver();
    // NT family: creates the auto-start service; true when the Service Control
    // Manager made it (false when it exists already or the manager refuses).
    // 95/98/Me: writes the Run value; true whatever the write returned. False
    // when the program file is missing or is a folder. Never starts anything.
    bool RegisterService();
    // Starts the background program: NT family, true when StartServiceA
    // succeeded; 95/98/Me, launched hidden through the shell, always true.
    // False without doing anything when the record suppresses service starts.
    bool StartBackground();
    // NT family: registers the service when it is missing; otherwise starts a
    // service that is not running and waits up to five seconds for it,
    // dispatching this thread's messages meanwhile.
    void EnsureRunning();
    // Reads "HwndSrv" of the product key into serviceWindow; false when absent.
    bool ReadServiceWindow();
    // NT family: true when a service named serviceName exists and its program
    // is not a file directly in installFolder, or its configuration cannot be
    // read: such a name belongs to someone else, and the post-install
    // sequence would start it with full access. False when no such service
    // exists, and always on 95/98/Me (no Service Control Manager).
    static bool IsForeignService(const std::string& serviceName, const std::string& installFolder);

    const std::string& ServiceName() const { return serviceName_; }
    const std::string& ServicePath() const { return servicePath_; }
    HWND ServiceWindow() const { return serviceWindow_; }

private:
    void RefreshServiceName();
    // Registration on the NT family.
    bool CreateNtService();

    std::string serviceName_;
    std::string servicePath_;
    HWND serviceWindow_;
    bool isNT_;
};
