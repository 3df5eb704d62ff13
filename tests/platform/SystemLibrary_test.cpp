// System DLLs come from the system folder only, their entry-point tables
// resolve once for every thread, and a missing DLL or entry is a clean
// failure with the documented last error.
#include "platform/ComCtl32Api.h"
#include "platform/SystemLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/PlantedDll.h"
#include "tests/support/TestSupport.h"

namespace {

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(module, path, sizeof(path));
    return path;
}

std::string SystemFile(const char* name)
{
    char folder[MAX_PATH] = {0};
    GetSystemDirectoryA(folder, sizeof(folder));
    return std::string(folder) + "\\" + name;
}

// The planted DLL under `name` in a scratch folder made the current folder
// for the object's life.
class PlantedCurrentFolder {
public:
    explicit PlantedCurrentFolder(const char* name) : name_(name)
    {
        GetCurrentDirectoryA(sizeof(remembered_), remembered_);
        CopyFileA(qvtest::NativePath(qvtest::BinaryPath("tests/platform/planted/QvPlanted.dll")).c_str(),
                  scratch_.File(name).c_str(), FALSE);
        SetCurrentDirectoryA(scratch_.path().c_str());
    }
    ~PlantedCurrentFolder() { SetCurrentDirectoryA(remembered_); }
    bool Planted() const { return qvtest::FileExists(scratch_.File(name_)); }
    bool Loaded() const { return qvtest::FileExists(scratch_.File(name_ + QV_PLANTED_MARKER_SUFFIX)); }

private:
    qvtest::ScratchDir scratch_;
    std::string name_;
    char remembered_[MAX_PATH] = {0};
};

std::atomic<int> g_loads{0};

HMODULE CountedKernelLoad(const char* library)
{
    ++g_loads;
    Sleep(50); // long enough for the other threads to arrive meanwhile
    return LoadSystemLibrary(library);
}

} // namespace

// First in this file: nothing else may have used a table before. Windows'
// own DLLs load some of the table DLLs by name later on, looking in
// the program's folder first; what is loaded already is used instead.
TEST(SystemImportTable, FirstUseLoadsEveryTableLibraryFromTheSystemFolder)
{
    const char* const libraries[] = {"ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "wininet.dll",
                                     "comctl32.dll"};
    for (const char* library : libraries)
        ASSERT_EQ(GetModuleHandleA(library), nullptr) << library << " is loaded before the first use";
    FARPROC entries[1] = {};
    SystemImportTable kernel = {"kernel32.dll", "GetTickCount\0", entries, nullptr, 0, nullptr};
    ASSERT_NE(SystemImport(kernel, 0), nullptr);
    for (const char* library : libraries) {
        HMODULE module = GetModuleHandleA(library);
        ASSERT_NE(module, nullptr) << library;
        EXPECT_STRCASEEQ(ModulePath(module).c_str(), SystemFile(library).c_str());
    }
}

TEST(SystemLibrary, LoadsTheSystemFolderCopyAndNothingElse)
{
    for (const char* name : {"cabinet.dll", "iphlpapi.dll", "wininet.dll", "shlwapi.dll"}) {
        HMODULE module = LoadSystemLibrary(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_STRCASEEQ(ModulePath(module).c_str(), SystemFile(name).c_str());
        FreeLibrary(module);
    }

    // A DLL the system folder lacks is not taken from the current folder,
    // where a load by name finds it.
    PlantedCurrentFolder planted("QvOnlyHere.dll");
    ASSERT_TRUE(planted.Planted());
    SetLastError(0);
    EXPECT_EQ(LoadSystemLibrary("QvOnlyHere.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(planted.Loaded());
    HMODULE byName = LoadLibraryA("QvOnlyHere.dll");
    EXPECT_NE(byName, nullptr);
    EXPECT_TRUE(planted.Loaded()) << "the planted DLL would have shown if it had been loaded";
    if (byName)
        FreeLibrary(byName);

    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        SetLastError(0);
        EXPECT_EQ(LoadSystemLibrary(bad), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    const std::string tooLong(MAX_PATH, 'a');
    EXPECT_EQ(LoadSystemLibrary(tooLong.c_str()), nullptr);
}

TEST(SystemImportTable, MissingLibraryOrEntryIsANullEntryWithItsError)
{
    FARPROC noEntries[2] = {};
    SystemImportTable missing = {"QvNoSuchLibrary.dll", "GetTickCount\0Sleep\0", noEntries, nullptr, 0, nullptr};
    for (unsigned index : {0u, 1u, 0u}) {
        SetLastError(0);
        EXPECT_EQ(SystemImport(missing, index), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }

    FARPROC entries[2] = {};
    SystemImportTable kernel = {"kernel32.dll", "GetTickCount\0QvNoSuchEntry\0", entries, nullptr, 0, nullptr};
    auto tick = SystemEntry<decltype(&::GetTickCount)>(kernel, 0);
    ASSERT_NE(tick, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(tick),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
    EXPECT_NE(tick(), 0u);
    SetLastError(0);
    EXPECT_EQ(SystemImport(kernel, 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(CountImportNames("GetTickCount\0QvNoSuchEntry\0"), 2u);
}

TEST(SystemImportTable, ThreadsArrivingTogetherShareOneResolution)
{
    FARPROC entries[1] = {};
    SystemImportTable table = {"kernel32.dll", "GetTickCount\0", entries, CountedKernelLoad, 0, nullptr};
    const FARPROC expected = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount");
    std::atomic<bool> go{false};
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            while (!go)
                Sleep(0);
            if (SystemImport(table, 0) == expected)
                ++right;
        });
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(g_loads, 1);
    EXPECT_EQ(right, 8);
}

// Common controls 6 where the program's manifest redirects comctl32.dll to
// the side-by-side assembly; otherwise the system folder's copy. Under Wine a
// process gets one comctl32.dll whichever way it asks again (a DLL already
// loaded under that name is handed out first), and the first use of a table
// loads one, so each case runs in a process of its own
// (tests/platform/CMakeLists.txt).
TEST(CommonControls, SideBySideUnderTheProgramManifest)
{
    const std::string manifest = qvtest::NativePath(qvtest::SourcePath("res/QVSetup.exe.manifest"));
    ACTCTXA context = {};
    context.cbSize = sizeof(context);
    context.lpSource = manifest.c_str();
    HANDLE activation = CreateActCtxA(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE);
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(activation, &cookie));
    HMODULE module = comctl32::LoadCommonControls("comctl32.dll");
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(activation);
    ASSERT_NE(module, nullptr);
    const std::string path = ModulePath(module);
    printf("comctl32.dll under the program's manifest: %s\n", path.c_str());
    EXPECT_STRCASENE(path.c_str(), SystemFile("comctl32.dll").c_str());
    EXPECT_NE(path.find("common-controls"), std::string::npos) << path;
    FreeLibrary(module);
}

TEST(CommonControls, SystemFolderWithoutRedirection)
{
    HMODULE module = comctl32::LoadCommonControls("comctl32.dll");
    ASSERT_NE(module, nullptr);
    printf("comctl32.dll without a manifest: %s\n", ModulePath(module).c_str());
    EXPECT_STRCASEEQ(ModulePath(module).c_str(), SystemFile("comctl32.dll").c_str());
    FreeLibrary(module);
}
