// Creates a shell shortcut (.lnk file) through the shell's IShellLinkA object.
#pragma once

// True when the shortcut file was saved. The working folder is the target's
// folder; arguments are set only when not null. COM is initialised and
// uninitialised around the call, so any thread may use it.
bool CreateShortcut(const char* target, const char* shortcutPath, const char* description,
                    const char* iconPath, const char* arguments);
