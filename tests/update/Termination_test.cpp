// An install stopped at any moment, as when the user closes the wizard and
// its worker is terminated: "qvcheck install" runs in a process of its own
// and is terminated at a growing delay after its downloads are done, while it
// places files. After every stop each installed file is the old version or
// the new one, whole; the run that is let finish leaves every file new and
// nothing else beside them.
#include "core/PatchRecord.h"

#include "tests/update/EngineTestUtil.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using enginetest::Digest;
using enginetest::Row;
using enginetest::ServedFolder;

const int kFiles = 5;
const size_t kFileSize = 3 * 1024 * 1024;
const DWORD kDelayStepMs = 5;

std::string FileName(int file) { return "file" + std::to_string(file) + ".bin"; }

// Bytes that do not repeat, different for every file and version.
std::string Content(int file, bool newer)
{
    std::string text(kFileSize, '\0');
    unsigned seed = static_cast<unsigned>(file * 2 + (newer ? 1 : 0));
    for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return text;
}

std::string ReadAll(const std::string& path)
{
    std::vector<unsigned char> bytes;
    qvtest::ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// qvcheck in a process of its own, its output read through a pipe.
class Install {
public:
    Install(const std::string& commandLine)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&read_, &write, &inherit, 0))
            return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        PROCESS_INFORMATION info;
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            process_ = info.hProcess;
            CloseHandle(info.hThread);
        }
        CloseHandle(write);
    }
    ~Install()
    {
        if (process_) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 30000);
            CloseHandle(process_);
        }
        CloseHandle(read_);
    }
    bool Started() const { return process_ != nullptr; }
    // Reads the output until it holds text; false at its end.
    bool WaitFor(const std::string& text)
    {
        char buffer[4096];
        DWORD got = 0;
        while (output_.find(text) == std::string::npos) {
            if (!ReadFile(read_, buffer, sizeof(buffer), &got, nullptr) || got == 0)
                return false;
            output_.append(buffer, got);
        }
        return true;
    }
    // Terminates the process unless it has ended; true when it had ended.
    bool Stop()
    {
        bool ended = WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 30000);
        return ended;
    }
    const std::string& Output() const { return output_; }

private:
    HANDLE read_ = nullptr;
    HANDLE process_ = nullptr;
    std::string output_;
};

TEST(Termination, InstallStoppedAtAnyMomentLeavesEveryFileWhole)
{
    qvtest::CTestServer server("engine_server");
    ASSERT_TRUE(server.Ready());
    ServedFolder remote(server, "termination");
    qvtest::ScratchDir base;
    std::vector<Row> rows;
    for (int i = 0; i < kFiles; ++i) {
        const std::string content = Content(i, true);
        ASSERT_TRUE(qvtest::WriteText(remote.File(FileName(i)), content));
        Row row;
        row.fileMd5 = row.packageMd5 = Digest(content);
        row.fileName = row.packageName = FileName(i);
        row.size = static_cast<int32_t>(content.size());
        rows.push_back(row);
    }
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), rows));
    const std::string command = "\"" + qvtest::BinaryPath("tools/qvcheck/qvcheck.exe") + "\" install 127.0.0.1 " +
                                remote.RemotePath() + " " + std::to_string(server.Port()) + " \"" + base.path() + "\"";

    const std::string lastReport = " " + std::to_string(kFiles) + " " + std::to_string(kFiles) + " 100 100";
    int stoppedHalfWay = 0; // stops that left some files new and some old
    bool finished = false;
    for (DWORD delay = 0; !finished; delay += kDelayStepMs) {
        ASSERT_LT(delay, 20000u) << "the install never finished";
        for (int i = 0; i < kFiles; ++i)
            ASSERT_TRUE(qvtest::WriteText(base.File(FileName(i)), Content(i, false)));
        Install install(command);
        ASSERT_TRUE(install.Started()) << command;
        // The last progress report (all files, overall 100) ends the downloads.
        ASSERT_TRUE(install.WaitFor(lastReport)) << install.Output();
        Sleep(delay);
        finished = install.Stop();

        int newer = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string now = ReadAll(base.File(FileName(i)));
            bool isNew = now == Content(i, true);
            EXPECT_TRUE(isNew || now == Content(i, false))
                << FileName(i) << " is " << now.size() << " bytes of neither version after a stop at " << delay << " ms";
            newer += isNew ? 1 : 0;
        }
        if (newer > 0 && newer < kFiles)
            ++stoppedHalfWay;
        if (finished) {
            EXPECT_EQ(newer, kFiles);
            EXPECT_TRUE(install.WaitFor("result 0x0")) << install.Output();
        }
    }
    printf("stops between files: %d\n", stoppedHalfWay);
    EXPECT_GT(stoppedHalfWay, 0) << "no stop landed in the placement";

    std::set<std::string> expected = {"QVPatch.dat"};
    for (int i = 0; i < kFiles; ++i)
        expected.insert(FileName(i));
    std::set<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(base.File("*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (data.cFileName[0] != '.')
            found.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(found, expected);
}

} // namespace
