// CFileUtil: deletion now or at the next start of Windows, and the INI
// section helpers the Windows 95/98/Me schedule uses.
#include "platform/FileUtil.h"

#include "core/HandleHolder.h"
#include "core/StringUtil.h"
#include "platform/Kernel32Api.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A section is read into 32,000 bytes first; the buffer doubles while
// GetPrivateProfileSectionA reports it full (size - 2: the section was cut),
// up to 32 times that.
const DWORD kIniFirstBuffer = 32000;
const DWORD kIniLargestBuffer = kIniFirstBuffer * 32; // 1,024,000
// A text of at most this many bytes reads back whole from the largest buffer:
// its entries plus their terminating zeros stay below size - 2.
const size_t kIniWriteLimit = kIniLargestBuffer - 4;
// QVReboot.bat is rebuilt in a 32,000-byte buffer and read in lines of at most 2,048 bytes.
const size_t kBatchTextLimit = 31999;
const int kBatchLineBuffer = 2048;

const char kRebootBatch[] = "QVReboot.bat";
const char kAutoexec[] = "Autoexec.bat";
const char kAutoexecSaved[] = "Autoexec.qv";
const char kAutoexecScratch[] = "Autoexec.bak";
const char kEchoOff[] = "@echo off\n";
const char kCall[] = "call ";
const char kDel[] = "del ";
const char kCopy[] = "copy ";
const char kQuiet[] = " >> NUL";
const char kQuietLine[] = " >> NUL\n";

bool IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}


// Compares ignoring the case of ASCII letters; both bytes of a double-byte
// character must match exactly.
bool EqualsIgnoreCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsDBCSLeadByte(x)) {
            if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

enum class SectionRead {
    kWhole, // the section's entries, one a line
    kEmpty, // no such section, or no entries in it
    kCut,   // larger than the largest buffer: not known whole
};

// Reads the section, growing the buffer until it fits. text is empty unless kWhole.
SectionRead ReadWholeSection(const char* iniPath, const char* section, std::string& text)
{
    text.clear();
    for (DWORD size = kIniFirstBuffer; size <= kIniLargestBuffer; size *= 2) {
        std::vector<char> buffer(size, '\0');
        DWORD count = GetPrivateProfileSectionA(section, buffer.data(), size, iniPath);
        if (count == 0)
            return SectionRead::kEmpty;
        if (count >= size - 2)
            continue; // cut to fit the buffer
        // Entries become lines; the zero after the last entry ends the text.
        ReplaceChar(buffer.data(), '\0', '\n', static_cast<int>(count - 1));
        text = buffer.data();
        return SectionRead::kWhole;
    }
    return SectionRead::kCut;
}

bool IsDriveRoot(const std::string& root)
{
    return root.size() == 3 && root[1] == ':' && root[2] == '\\';
}

// Writes text to a file opened in text mode ("\n" reaches the disk as CR LF).
bool WriteTextFile(const std::string& path, const char* mode, const std::string& text)
{
    CFileStreamHolder file(fopen(path.c_str(), mode));
    if (!file.Get())
        return false;
    bool written = fputs(text.c_str(), file.Get()) >= 0;
    return file.Close() && written;
}

} // namespace

bool CFileUtil::DeleteNowOrOnRestart(const char* path)
{
    if (!path || !IsExistingFile(path))
        return false;
    DeleteFileA(path);
    if (!IsExistingFile(path))
        return true;
    if (!isNT_)
        return ScheduleDeleteWin9x(path);

    // Open the file up so the system can remove it at start, then leave only
    // read, write and delete rights for the four groups.
    SetFileAccess(path, FILE_ALL_ACCESS, false);
    BOOL scheduled = kernel32::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); // no target: delete
    SetFileAccess(path, GENERIC_READ | GENERIC_WRITE | DELETE, true);
    return scheduled != FALSE;
}

bool CFileUtil::ScheduleDeleteWin9x(const char* path)
{
    if (!path || !IsExistingFile(path))
        return false;
    // Batch commands of that family need the 8.3 name.
    std::string name;
    if (!GetShortPath(path, name) || !IsExistingFile(name.c_str()))
        name = path;

    std::string windowsDir;
    if (!GetWindowsDirectoryText(windowsDir))
        return false;

    bool result = false;
    if (IsDirectory(windowsDir.c_str())) {
        // Windows itself deletes the file when it processes [rename] at start.
        // The section is rewritten whole, so it must have been read whole:
        // other programs' pending renames are in it.
        std::string ini = windowsDir + "\\wininit.ini";
        std::string text;
        if (ReadWholeSection(ini.c_str(), "rename", text) != SectionRead::kCut) {
            if (!text.empty())
                text += "\n";
            text += "NUL=" + name + "\n\n";
            result = WriteIniSection(ini.c_str(), "rename", text.c_str());
        }
    }

    std::string root = windowsDir.substr(0, 3);
    if (!IsDriveRoot(root))
        return result; // the batch files belong in a drive root only
    const std::string rebootBatch = root + kRebootBatch;
    const std::string autoexec = root + kAutoexec;
    const std::string autoexecSaved = root + kAutoexecSaved;
    const std::string autoexecScratch = root + kAutoexecScratch;

    // Rebuild QVReboot.bat: keep only the "del" lines of other files, then add this one.
    const std::string ownLine = kDel + name + kQuietLine;
    std::string batch = kEchoOff;
    {
        CFileStreamHolder in(fopen(rebootBatch.c_str(), "rt"));
        char buffer[kBatchLineBuffer];
        while (in.Get() && fgets(buffer, sizeof(buffer), in.Get())) {
            if (strncmp(buffer, "del", 3) != 0)
                continue;
            std::string line = buffer;
            line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }),
                       line.end());
            std::string target = line.size() > 4 ? line.substr(4) : std::string();
            if (EqualsIgnoreCase(target, autoexec + kQuiet) || EqualsIgnoreCase(target, autoexecSaved + kQuiet) ||
                EqualsIgnoreCase(target, rebootBatch + kQuiet) || EqualsIgnoreCase(target, name + kQuiet))
                continue;
            // Whole lines only, keeping room for this file's line: a cut "del"
            // command could name a different file.
            if (batch.size() + line.size() + 1 + ownLine.size() > kBatchTextLimit)
                continue;
            batch += line + "\n";
        }
    }
    if (batch.size() + ownLine.size() <= kBatchTextLimit)
        batch += ownLine;
    if (WriteTextFile(rebootBatch, "w+t", batch))
        result = true;

    // Hook Autoexec.bat once; Autoexec.qv marks a hook already in place.
    if (!IsExistingFile(autoexec.c_str())) {
        WriteTextFile(autoexec, "a+t", kEchoOff);
        CopyFileA(autoexec.c_str(), autoexecSaved.c_str(), FALSE); // overwrite
    } else if (!CopyFileA(autoexec.c_str(), autoexecSaved.c_str(), TRUE)) { // fail if it exists
        return result;
    }

    // At the next start: run and remove QVReboot.bat, then put the saved
    // Autoexec.bat back through Autoexec.bak, which removes this block again.
    std::string block = "@echo off\n";
    block += kCall + rebootBatch + kQuietLine;
    block += kDel + rebootBatch + kQuietLine;
    block += kDel + autoexecScratch + kQuietLine;
    block += kCopy + autoexecSaved + " " + autoexecScratch + kQuietLine;
    block += kDel + autoexecSaved + kQuietLine;
    block += kCopy + autoexecScratch + " " + autoexec + kQuietLine;
    if (!WriteTextFile(autoexec, "a+t", block))
        return result;
    return true;
}

bool CFileUtil::ReadIniSection(const char* iniPath, const char* section, std::string& text)
{
    text.clear();
    if (!iniPath || !section || !IsExistingFile(iniPath))
        return false;
    return ReadWholeSection(iniPath, section, text) == SectionRead::kWhole;
}

bool CFileUtil::WriteIniSection(const char* iniPath, const char* section, const char* text)
{
    if (!iniPath || !section || !text)
        return false;
    size_t length = strlen(text);
    if (length > kIniWriteLimit)
        return false;
    // Two zeros beyond the text, so the list always ends with the double zero Windows expects.
    std::vector<char> buffer(length + 2, '\0');
    memcpy(buffer.data(), text, length);
    ReplaceChar(buffer.data(), '\n', '\0', static_cast<int>(length));
    return WritePrivateProfileSectionA(section, buffer.data(), iniPath) != FALSE;
}
