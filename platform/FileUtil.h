// File utilities of the platform library: access rights for the standard
// groups, deletion now or at the next start of Windows, short paths and INI
// sections.
//
// On the NT family a file in use is scheduled with MoveFileEx
// (MOVEFILE_DELAY_UNTIL_REBOOT). On Windows 95/98/Me it gets a "NUL=" line in
// the [rename] section of wininit.ini and a "del" line in QVReboot.bat in the
// root of the Windows drive, which a block appended once to Autoexec.bat runs
// at the next start before putting the old Autoexec.bat (saved as
// Autoexec.qv) back. The reboot-time members live in RebootDelete.cpp.
#pragma once

#include <windows.h>

#include <string>

class CFileUtil {
public:
    // Records the NT-family and NT-5-or-later flags from GetVersionExA.
    CFileUtil();
    virtual ~CFileUtil();

    bool IsNT() const { return isNT_; }
    bool IsNT5OrLater() const { return isNT5OrLater_; }

    // Gives `rights` to Administrators, LocalSystem, Interactive and Users on
    // path, inherited by a folder's files and sub-folders. replace false merges
    // into the existing list; replace true leaves only these four entries.
    // False for a null or missing path, on Windows 95/98/Me, and when the
    // file's list cannot be read or written.
    bool SetFileAccess(const char* path, DWORD rights, bool replace);

    // True when the file is gone now or its removal at the next start of
    // Windows has been recorded. False for a null path, a missing file or a
    // directory (nothing is touched then).
    bool DeleteNowOrOnRestart(const char* path);
    // The Windows 95/98/Me schedule on its own (wininit.ini, QVReboot.bat and
    // the Autoexec.bat hook). True when any of them recorded the file; false
    // for a null, missing or directory path or when the Windows directory is unknown.
    // The [rename] section is rewritten with its earlier entries only when it
    // was read whole; one too large to read (see ReadIniSection) is left as it was.
    bool ScheduleDeleteWin9x(const char* path);

    // GetShortPathNameA, with a second try through the shortened folder.
    // False (shortPath empty) when neither gives a short path.
    bool GetShortPath(const char* path, std::string& shortPath);
    // Splits at the last "\" (directory cut to 259 characters). False, outputs
    // untouched, for null or a path without "\".
    static bool SplitPath(const char* path, std::string& directory, std::string& fileName);

    // The whole section's entries, one a line, the last without a line end;
    // the read buffer grows from 32,000 bytes until the section fits. False
    // with an empty text for a missing INI file, a directory, a null section,
    // an empty or missing section, or one that does not fit 1,024,000 bytes
    // (entries and their terminating zeros of 1,023,998 bytes or more).
    bool ReadIniSection(const char* iniPath, const char* section, std::string& text);
    // Replaces the section by the text's lines (each "key=value"). False for a
    // null argument or a text over 1,023,996 bytes (what ReadIniSection reads
    // back whole); otherwise the result of WritePrivateProfileSectionA.
    bool WriteIniSection(const char* iniPath, const char* section, const char* text);

    // Makes the Windows 95/98/Me schedule use dir as the Windows directory
    // instead of GetWindowsDirectoryA (its first three characters are the
    // drive root for the batch files); null goes back to GetWindowsDirectoryA.
    void UseWindowsDirectory(const char* dir);

private:
    bool GetWindowsDirectoryText(std::string& dir) const;

    bool isNT_;
    bool isNT5OrLater_;
    bool windowsDirSet_;
    std::string windowsDir_;
};
