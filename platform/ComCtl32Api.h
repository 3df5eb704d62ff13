// InitCommonControls of comctl32.dll, loaded on first use without taking a
// comctl32.dll from the program's folder (platform/SystemLibrary.h). When the
// DLL or the entry is missing it does nothing: the wizard then shows without
// a progress bar, as it would on a system without common controls.
//
// Which comctl32.dll: the program's manifest asks for common controls 6.
// Where the process's activation context redirects "comctl32.dll" to that
// side-by-side assembly (XP and later), it is loaded by that name: the loader
// takes the redirection before any folder, and a load by full path would
// bypass it and give the classic controls. Where nothing redirects it
// (Windows 95 to 2000 have no side-by-side assemblies, or a program without
// the manifest), a load by name would look in the program's folder first, so
// it is loaded from the system folder by full path.
#pragma once

#include <windows.h>

namespace comctl32 {

void InitCommonControls();

// The rule above: the loaded library, or null.
HMODULE LoadCommonControls(const char* library);

} // namespace comctl32
