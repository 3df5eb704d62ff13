// Names that arrive from an update server (patch-list file and package
// names, cabinet entries) and become files below a folder of ours. They must
// stay names: never a path that leaves the folder, never a device.
//
// Portable code (no Windows calls): the host build fuzzes it. Names are
// bytes of the system code page, compared byte by byte.
#pragma once

#include <string>

// True when name is one plain file name: not empty; no "\", "/" or ":"; no
// control character (1-31) nor any of < > " | ? *; not "." or ".." (nor any
// name that is empty once Windows drops its trailing dots and spaces); and
// not a device: CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$ or CONOUT$
// in any letter case, alone or before an extension ("nul.txt") or trailing
// spaces. COM or LPT followed by one non-ASCII character (Windows 10 and
// later treat the superscript digits as devices, and their bytes depend on
// the code page) is refused as well.
bool IsPlainFileName(const std::string& name);

// True when path is one or more plain file names joined by "\" or "/": a
// relative path that stays below the folder it is taken against. An empty
// path, a leading, trailing or doubled separator and any component that
// IsPlainFileName refuses make it false.
bool IsPlainRelativePath(const std::string& path);
