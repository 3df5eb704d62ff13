// Component registration with this folder's test libraries (built into
// tests/update/cabinet/dlls/): the in-process call, the second attempt from the
// system folder, and the hand-over to regsvr32.exe, through the launcher seam
// and once for real.
#include "tests/update/cabinet/RegTestNames.h"
#include "tests/support/RegistryReadBack.h"
#include "tests/support/TestSupport.h"
#include "update/ComponentRegistration.h"

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Library(const char* name) { return qvtest::BinaryPath(std::string("tests/update/cabinet/dlls/") + name); }

std::vector<std::string> g_launched;
void RecordLaunch(const char* commandLine) { g_launched.push_back(commandLine); }

std::string CurrentFolder()
{
    char buffer[MAX_PATH] = {0};
    GetCurrentDirectoryA(sizeof(buffer), buffer);
    return buffer;
}

std::string SystemFolder()
{
    char buffer[MAX_PATH] = {0};
    GetSystemDirectoryA(buffer, sizeof(buffer));
    return buffer;
}

std::string ThisProgram()
{
    char buffer[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    return buffer;
}

std::vector<std::string> Regsvr32Line(const std::string& path)
{
    return {SystemFolder() + "\\regsvr32.exe /s \"" + path + "\""};
}

bool EndsWithNoCase(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && lstrcmpiA(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// What QvRegOk.dll wrote; false when it wrote nothing.
bool ReadRegistration(std::string& folder, DWORD& answer)
{
    bool folderRead = qvtest::ReadRegistryString(HKEY_CURRENT_USER, QV_REG_TEST_KEY, QV_REG_TEST_FOLDER_VALUE, folder);
    return qvtest::ReadRegistryDword(HKEY_CURRENT_USER, QV_REG_TEST_KEY, QV_REG_TEST_ANSWER_VALUE, answer) &&
           folderRead;
}

struct Call {
    std::string program;
    std::string folder;
};

// The calls QvRegFail.dll recorded, in order.
std::vector<Call> RecordedCalls()
{
    std::vector<Call> calls;
    std::vector<unsigned char> bytes;
    if (!qvtest::ReadBytes(Library("QvRegFail.dll") + QV_REG_TEST_CALLS_SUFFIX, bytes))
        return calls;
    std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        size_t bar = line.find('|');
        calls.push_back({line.substr(0, bar), bar == std::string::npos ? "" : line.substr(bar + 1)});
    }
    return calls;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override { Forget(); }
    static void Forget()
    {
        g_launched.clear();
        RegDeleteKeyA(HKEY_CURRENT_USER, QV_REG_TEST_KEY);
        DeleteFileA((Library("QvRegFail.dll") + QV_REG_TEST_CALLS_SUFFIX).c_str());
    }
};

TEST_F(Registration, LibraryWithDependencyBesideItRegistersInTheFirstAttempt)
{
    const std::string ok = Library("QvRegOk.dll");
    const std::string before = CurrentFolder();
    // Without the library's own folder on the search path its dependency is not found.
    HMODULE plain = LoadLibraryExA(ok.c_str(), nullptr, 0);
    EXPECT_EQ(nullptr, plain);
    if (plain)
        FreeLibrary(plain);

    ASSERT_TRUE(CallRegistrationEntry(ok.c_str()));
    std::string folder;
    DWORD answer = 0;
    ASSERT_TRUE(ReadRegistration(folder, answer));
    EXPECT_EQ(QV_REG_TEST_ANSWER, answer);
    EXPECT_EQ(before, folder);
    EXPECT_EQ(nullptr, GetModuleHandleA("QvRegOk.dll")) << "the library is freed after the call";

    RegDeleteKeyA(HKEY_CURRENT_USER, QV_REG_TEST_KEY);
    EXPECT_EQ(1, RegisterComponent(ok.c_str(), RecordLaunch));
    ASSERT_TRUE(ReadRegistration(folder, answer));
    EXPECT_EQ(before, folder) << "registered in the first attempt, not from the system folder";
    EXPECT_TRUE(g_launched.empty());
    EXPECT_EQ(before, CurrentFolder());
}

TEST_F(Registration, LibraryWithoutEntryIsHandedToRegsvr32)
{
    const std::string library = Library("QvRegNoEntry.dll");
    const std::string before = CurrentFolder();
    EXPECT_FALSE(CallRegistrationEntry(library.c_str()));
    EXPECT_EQ(1, RegisterComponent(library.c_str(), RecordLaunch));
    EXPECT_EQ(Regsvr32Line(library), g_launched);
    EXPECT_EQ(before, CurrentFolder());
}

TEST_F(Registration, FailingEntryIsTriedHereThenFromSystemFolderThenHandedToRegsvr32)
{
    const std::string library = Library("QvRegFail.dll");
    const std::string before = CurrentFolder();
    ASSERT_NE(before, SystemFolder());

    EXPECT_EQ(1, RegisterComponent(library.c_str(), RecordLaunch));
    EXPECT_EQ(Regsvr32Line(library), g_launched);
    EXPECT_EQ(before, CurrentFolder());

    std::vector<Call> calls = RecordedCalls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(ThisProgram(), calls[0].program);
    EXPECT_EQ(before, calls[0].folder);
    EXPECT_EQ(ThisProgram(), calls[1].program);
    EXPECT_EQ(0, lstrcmpiA(SystemFolder().c_str(), calls[1].folder.c_str())) << calls[1].folder;
    printf("command line: %s\n", g_launched.empty() ? "" : g_launched[0].c_str());
}

TEST_F(Registration, MissingPathStillStartsRegsvr32)
{
    qvtest::ScratchDir scratch;
    const std::string missing = scratch.File("absent.dll");
    const std::string before = CurrentFolder();
    EXPECT_FALSE(CallRegistrationEntry(missing.c_str()));
    EXPECT_EQ(1, RegisterComponent(missing.c_str(), RecordLaunch));
    EXPECT_EQ(Regsvr32Line(missing), g_launched);
    EXPECT_EQ(before, CurrentFolder());
}

TEST_F(Registration, FolderAndNullPathsAreRefused)
{
    qvtest::ScratchDir scratch;
    EXPECT_FALSE(CallRegistrationEntry(scratch.path().c_str()));
    EXPECT_FALSE(CallRegistrationEntry(nullptr));
    EXPECT_EQ(0, RegisterComponent(nullptr, RecordLaunch));
    EXPECT_TRUE(g_launched.empty());
}

TEST_F(Registration, RefusedOleInitialiseFailsTheInProcessCall)
{
    // A thread in the multithreaded apartment cannot enter OLE's single-threaded one.
    bool registered = true;
    HRESULT entered = E_FAIL;
    std::thread worker([&] {
        entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        registered = CallRegistrationEntry(Library("QvRegOk.dll").c_str());
        CoUninitialize();
    });
    worker.join();
    ASSERT_EQ(S_OK, entered);
    EXPECT_FALSE(registered);
    std::string folder;
    DWORD answer = 0;
    EXPECT_FALSE(ReadRegistration(folder, answer)) << "DllRegisterServer was not called";
}

TEST_F(Registration, RealRegsvr32LoadsTheLibraryInItsOwnProcess)
{
    const std::string library = Library("QvRegFail.dll");
    EXPECT_EQ(1, RegisterComponent(library.c_str()));

    // The two in-process attempts are recorded at once; regsvr32.exe runs on
    // its own and is waited for here, at most 60 s.
    std::vector<Call> calls;
    for (int i = 0; i < 600; ++i) {
        calls = RecordedCalls();
        if (calls.size() >= 3)
            break;
        Sleep(100);
    }
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(ThisProgram(), calls[0].program);
    EXPECT_EQ(ThisProgram(), calls[1].program);
    EXPECT_TRUE(EndsWithNoCase(calls[2].program, "\\regsvr32.exe")) << calls[2].program;
    printf("loaded by: %s\n", calls[2].program.c_str());
}

} // namespace
