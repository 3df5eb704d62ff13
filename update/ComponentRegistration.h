// Registration of COM in-process servers placed by the update engine: the
// library's own "DllRegisterServer" called inside this process, and the
// system's "regsvr32.exe" started silently as the last resort.
// CUpdateEngine::CallRegistrationEntry and CUpdateEngine::RegisterComponent
// hand their work to these functions.
#pragma once

// Calls the "DllRegisterServer" entry of the library at path inside this
// process, with OLE initialised around the call; the library's own folder is
// searched for its dependencies. True when the entry returned a non-negative
// HRESULT. False for a null, missing or folder path, a failed OleInitialize,
// a library that does not load, or one without the entry.
bool CallRegistrationEntry(const char* path);

// Starts the external registration program: receives the whole command line.
typedef void (*RegistrationLauncher)(const char* commandLine);

// Registers the library at path: in process; failing that, in process again
// with the system folder as the current folder (the current folder is
// restored afterwards); failing that, by starting
//   <system folder>\regsvr32.exe /s "<path>"
// hidden, through WinExec, or through launcher when one is given (tests).
// The external program is not waited for. Returns 1 (registered or handed
// over); 0 only for a null path, when nothing is started.
int RegisterComponent(const char* path, RegistrationLauncher launcher = nullptr);
