// CFileUtil on the NT family: access rights, deletion now or at the next start
// (read back from what MoveFileEx recorded), short paths and INI sections.
#include "platform/FileUtil.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";

// The pending operations as (source, target) pairs.
std::vector<std::pair<std::wstring, std::wstring>> PendingOperations()
{
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return pairs;
    std::vector<wchar_t> data(65536, 0);
    DWORD size = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
    if (RegQueryValueExW(key, kPending, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
        const wchar_t* p = data.data();
        const wchar_t* end = p + size / sizeof(wchar_t);
        while (p < end && *p) {
            std::wstring source = p;
            p += source.size() + 1;
            std::wstring target = p < end ? p : L"";
            p += target.size() + 1;
            pairs.emplace_back(source, target);
        }
    }
    RegCloseKey(key);
    return pairs;
}

// Removes the operations naming source, so the prefix deletes nothing at its next boot.
void ForgetPending(const std::wstring& source)
{
    std::wstring rebuilt;
    for (const auto& pair : PendingOperations())
        if (_wcsicmp(pair.first.c_str(), source.c_str()) != 0)
            rebuilt += pair.first + L'\0' + pair.second + L'\0';
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (rebuilt.empty())
        RegDeleteValueW(key, kPending);
    else
        RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(rebuilt.c_str()),
                       static_cast<DWORD>((rebuilt.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring NtName(const std::string& path)
{
    return L"\\??\\" + std::wstring(path.begin(), path.end());
}

size_t CountPending(const std::string& path)
{
    size_t count = 0;
    for (const auto& pair : PendingOperations())
        count += _wcsicmp(pair.first.c_str(), NtName(path).c_str()) == 0;
    return count;
}

std::vector<qvtest::AceInfo> FileAces(const std::string& path)
{
    std::vector<BYTE> buffer(65536);
    DWORD needed = 0;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), 65536, &needed))
        return {};
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted);
    return qvtest::ListAces(acl);
}

void PrintAces(const char* title, const std::vector<qvtest::AceInfo>& aces)
{
    printf("%s:", title);
    for (const qvtest::AceInfo& ace : aces)
        printf(" %s=0x%lX", ace.sid.c_str(), ace.mask);
    printf("\n");
}

TEST(FileUtilNt, DeletesAtOnceOrRecordsTheDeleteForTheNextStart)
{
    CFileUtil util;
    ASSERT_TRUE(util.IsNT());
    EXPECT_TRUE(util.IsNT5OrLater());
    qvtest::ScratchDir scratch;

    const std::string loose = scratch.File("loose.dll");
    ASSERT_TRUE(qvtest::WriteText(loose, "x"));
    const size_t pendingBefore = PendingOperations().size();
    EXPECT_TRUE(util.DeleteNowOrOnRestart(loose.c_str()));
    EXPECT_FALSE(qvtest::FileExists(loose));
    EXPECT_EQ(PendingOperations().size(), pendingBefore);

    EXPECT_FALSE(util.DeleteNowOrOnRestart(scratch.path().c_str()));
    EXPECT_TRUE(qvtest::DirExists(scratch.path()));
    EXPECT_FALSE(util.DeleteNowOrOnRestart(scratch.File("missing.dll").c_str()));
    EXPECT_FALSE(util.DeleteNowOrOnRestart(nullptr));
    EXPECT_EQ(PendingOperations().size(), pendingBefore);

    const std::string locked = scratch.File("locked engine.dll");
    ASSERT_TRUE(qvtest::WriteText(locked, "x"));
    qvtest::InUse hold(locked);
    ASSERT_TRUE(hold.ok());
    ASSERT_FALSE(DeleteFileA(locked.c_str()));
    EXPECT_TRUE(util.DeleteNowOrOnRestart(locked.c_str()));
    EXPECT_TRUE(qvtest::FileExists(locked));
    EXPECT_EQ(CountPending(locked), 1u);
    for (const auto& pair : PendingOperations()) {
        if (pair.first == NtName(locked)) {
            EXPECT_EQ(pair.second, L""); // no target: delete
        }
    }
    PrintAces("list after the scheduled delete", FileAces(locked));

    ForgetPending(NtName(locked));
    EXPECT_EQ(CountPending(locked), 0u);
    hold.Release();
}

TEST(FileUtilNt, SetFileAccessNeedsAnExistingPath)
{
    CFileUtil util;
    qvtest::ScratchDir scratch;
    const std::string file = scratch.File("log.txt");
    ASSERT_TRUE(qvtest::WriteText(file, "x"));
    PrintAces("list before", FileAces(file));
    EXPECT_TRUE(util.SetFileAccess(file.c_str(), FILE_ALL_ACCESS, false));
    PrintAces("list after merge", FileAces(file));
    EXPECT_TRUE(util.SetFileAccess(file.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, true));
    PrintAces("list after replace", FileAces(file));
    EXPECT_TRUE(util.SetFileAccess(scratch.path().c_str(), FILE_ALL_ACCESS, false)); // a folder
    EXPECT_FALSE(util.SetFileAccess(scratch.File("missing").c_str(), FILE_ALL_ACCESS, false));
    EXPECT_FALSE(util.SetFileAccess(nullptr, FILE_ALL_ACCESS, false));
    std::string text;
    EXPECT_TRUE(qvtest::WriteText(file, "still writable"));
}

TEST(FileUtil, ShortPathsAndSplitting)
{
    CFileUtil util;
    qvtest::ScratchDir scratch;
    const std::string longName = scratch.File("a long file name.txt");
    ASSERT_TRUE(qvtest::WriteText(longName, "x"));
    std::string shortPath;
    ASSERT_TRUE(util.GetShortPath(longName.c_str(), shortPath));
    EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
    EXPECT_TRUE(qvtest::FileExists(shortPath));
    EXPECT_FALSE(util.GetShortPath(scratch.File("missing file.txt").c_str(), shortPath));
    EXPECT_EQ(shortPath, "");

    std::string directory = "kept", name = "kept";
    ASSERT_TRUE(CFileUtil::SplitPath("C:\\dir\\sub\\file.txt", directory, name));
    EXPECT_EQ(directory, "C:\\dir\\sub");
    EXPECT_EQ(name, "file.txt");
    ASSERT_TRUE(CFileUtil::SplitPath(("C:\\" + std::string(300, 'd') + "\\f").c_str(), directory, name));
    EXPECT_EQ(directory.size(), 259u);
    EXPECT_EQ(name, "f");
    directory = name = "kept";
    EXPECT_FALSE(CFileUtil::SplitPath("file.txt", directory, name));
    EXPECT_FALSE(CFileUtil::SplitPath(nullptr, directory, name));
    EXPECT_EQ(directory + name, "keptkept");
}

TEST(FileUtil, IniSectionsRoundTripAsLines)
{
    CFileUtil util;
    qvtest::ScratchDir scratch;
    const std::string ini = scratch.File("test.ini");
    ASSERT_TRUE(qvtest::WriteText(ini, "[other]\r\nk=v\r\n"));
    ASSERT_TRUE(util.WriteIniSection(ini.c_str(), "rename", "NUL=C:\\A.DLL\nNUL=C:\\A.DLL\nNUL=C:\\B.DLL\n\n"));
    std::string text;
    ASSERT_TRUE(util.ReadIniSection(ini.c_str(), "rename", text));
    EXPECT_EQ(text, "NUL=C:\\A.DLL\nNUL=C:\\A.DLL\nNUL=C:\\B.DLL"); // duplicates kept, no final line end
    ASSERT_TRUE(util.ReadIniSection(ini.c_str(), "other", text));
    EXPECT_EQ(text, "k=v");

    text = "stale";
    EXPECT_FALSE(util.ReadIniSection(ini.c_str(), "absent", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(util.ReadIniSection(scratch.File("missing.ini").c_str(), "rename", text));
    EXPECT_FALSE(util.ReadIniSection(scratch.path().c_str(), "rename", text));
    EXPECT_FALSE(util.ReadIniSection(ini.c_str(), nullptr, text));
    EXPECT_FALSE(util.WriteIniSection(ini.c_str(), nullptr, "a=b"));
    EXPECT_FALSE(util.WriteIniSection(nullptr, "s", "a=b"));
    EXPECT_FALSE(util.WriteIniSection(ini.c_str(), "s", nullptr));

    // A section larger than the first 32,000-byte read is written and read back whole.
    std::string big;
    for (int i = 0; big.size() < 31998 - 40; ++i)
        big += "k" + std::to_string(i) + "=" + std::string(30, 'v') + "\n";
    big += "last=" + std::string(31998 - big.size() - 5, 'z');
    ASSERT_EQ(big.size(), 31998u);
    EXPECT_TRUE(util.WriteIniSection(ini.c_str(), "big", big.c_str()));
    EXPECT_TRUE(util.ReadIniSection(ini.c_str(), "big", text));
    EXPECT_TRUE(text == big) << text.size() << " bytes read back";
    EXPECT_TRUE(util.WriteIniSection(ini.c_str(), "big", (big + "z").c_str()));
    EXPECT_TRUE(util.ReadIniSection(ini.c_str(), "big", text));
    EXPECT_TRUE(text == big + "z") << text.size() << " bytes read back";
    ASSERT_TRUE(util.ReadIniSection(ini.c_str(), "rename", text));
    EXPECT_EQ(text, "NUL=C:\\A.DLL\nNUL=C:\\A.DLL\nNUL=C:\\B.DLL"); // the other sections are kept
}

// The largest section: 1,023,996 bytes are written and read back whole, one
// more is refused, and a larger section written by someone else is not read.
TEST(FileUtil, TheLargestIniSectionRoundTripsAndALargerOneIsRefused)
{
    CFileUtil util;
    qvtest::ScratchDir scratch;
    const std::string ini = scratch.File("large.ini");
    const size_t largest = 1023996;
    std::string section;
    for (int i = 0; section.size() < largest - 2000; ++i)
        section += "k" + std::to_string(i) + "=" + std::string(1000, 'v') + "\n";
    section += "last=" + std::string(largest - section.size() - 5, 'z');
    ASSERT_EQ(section.size(), largest);

    EXPECT_TRUE(util.WriteIniSection(ini.c_str(), "rename", section.c_str()));
    std::string text;
    EXPECT_TRUE(util.ReadIniSection(ini.c_str(), "rename", text));
    EXPECT_TRUE(text == section) << text.size() << " bytes read back";
    EXPECT_FALSE(util.WriteIniSection(ini.c_str(), "rename", (section + "z").c_str()));
    EXPECT_TRUE(util.ReadIniSection(ini.c_str(), "rename", text));
    EXPECT_TRUE(text == section) << "the refused write changed the section";

    // 1,030,000 bytes of entries: more than the largest read holds.
    std::string huge = "[rename]\r\n";
    for (int i = 0; huge.size() < 1030000; ++i)
        huge += "k" + std::to_string(i) + "=" + std::string(1000, 'v') + "\r\n";
    const std::string other = scratch.File("huge.ini");
    ASSERT_TRUE(qvtest::WriteText(other, huge));
    text = "stale";
    EXPECT_FALSE(util.ReadIniSection(other.c_str(), "rename", text));
    EXPECT_EQ(text, "");
}

} // namespace
