// Helpers of the release-tool tests: running qvpublish (its path is the test
// program's first argument), reading table files back, snapshots of trees.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <dirent.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/Md5.h"
#include "core/ReleaseSignature.h"
#include "core/TableFile.h"
#include "tests/support/TestSupport.h"

namespace qvtest {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path)
{
    std::vector<unsigned char> bytes;
    ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Path of qvpublish, given to the test program as its first argument.
inline std::string ToolPath()
{
    std::vector<std::string> argv = ::testing::internal::GetArgvs();
    EXPECT_GE(argv.size(), 2u) << "pass the path of qvpublish";
    return argv.size() >= 2 ? argv[1] : "qvpublish";
}

// Runs a shell command line; stdout and stderr are collected in scratch.
inline ToolRun RunCommand(const ScratchDir& scratch, const std::string& commandLine)
{
    std::string out = scratch.File("run.out"), err = scratch.File("run.err");
    std::string command = commandLine + " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    int status = std::system(command.c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
}

// Runs qvpublish with the given arguments (each quoted here).
inline ToolRun RunTool(const ScratchDir& scratch, const std::vector<std::string>& args)
{
    std::string line = Quote(ToolPath());
    for (const std::string& arg : args)
        line += " " + Quote(arg);
    return RunCommand(scratch, line);
}

inline int CountLines(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

// "qvpublish table dump FILE", one parsed JSON array per row.
inline std::vector<nlohmann::json> DumpRows(const ScratchDir& scratch, const std::string& table)
{
    std::vector<nlohmann::json> rows;
    ToolRun dump = RunTool(scratch, {"table", "dump", table});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    size_t start = 0;
    while (start < dump.out.size()) {
        size_t end = dump.out.find('\n', start);
        rows.push_back(nlohmann::json::parse(dump.out.substr(start, end - start)));
        start = end == std::string::npos ? dump.out.size() : end + 1;
    }
    return rows;
}

// One cell as the installer's table reader delivers it.
struct ReadCell {
    int kind;
    std::string text;  // system code page (949)
    int32_t number;
};
typedef std::vector<ReadCell> ReadRow;

inline std::vector<ReadRow> ReadTable(const std::string& path)
{
    std::vector<ReadRow> rows;
    CTableFile table;
    if (!table.Open(path.c_str(), nullptr, 0))
        return rows;
    do {
        ReadRow row;
        for (bool more = table.HasCell(); more; more = table.NextCell()) {
            ReadCell cell{table.CellKind(), std::string(), 0};
            switch (cell.kind) {
            case CELL_NUMBER4: table.GetNumber4(cell.number); break;
            case CELL_NUMBER5: table.GetNumber5(cell.number); break;
            case CELL_NUMBER6: table.GetNumber6(cell.number); break;
            default: table.GetText(cell.text); break;
            }
            row.push_back(cell);
        }
        rows.push_back(row);
    } while (table.NextRow());
    return rows;
}

inline std::string DigestOf(const std::string& path)
{
    std::string digest;
    Md5File(path.c_str(), digest);
    return digest;
}

// Every file and folder under root (relative path -> content; folders "/").
inline std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& relative = "")
{
    std::map<std::string, std::string> tree;
    std::string path = relative.empty() ? root : root + "/" + relative;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return tree;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        std::string child = relative.empty() ? name : relative + "/" + name;
        if (DirExists(root + "/" + child)) {
            tree[child] = "/";
            std::map<std::string, std::string> below = Snapshot(root, child);
            tree.insert(below.begin(), below.end());
        } else {
            tree[child] = ReadText(root + "/" + child);
        }
    }
    return tree;
}

inline bool WriteFileWithTime(const std::string& path, const std::string& text, time_t modified)
{
    if (!WriteText(path, text))
        return false;
    std::string command = "touch -d @" + std::to_string(modified) + " " + Quote(path);
    return std::system(command.c_str()) == 0;
}

inline time_t ModifiedTime(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// The sample release key (private PEM) and its public key as 64 hex digits.
inline std::string SampleKeyPath() { return SourcePath("server/sample-release-key.SAMPLE-ONLY.pem"); }
inline std::string SamplePublicHex()
{
    std::string text = ReadText(SourcePath("server/sample-release-key.SAMPLE-ONLY.pub"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// Checks manifestPath + ".sig" against manifestPath with the installer's
// reader and the one trusted key publicHex; serial is set on success.
inline ReleaseSignatureResult CheckSignature(const std::string& manifestPath, ReleaseChannel channel,
                                             const std::string& publicHex, uint64_t& serial)
{
    std::vector<unsigned char> manifest, signature, key;
    ReadBytes(manifestPath, manifest);
    ReadBytes(manifestPath + ".sig", signature);
    for (size_t i = 0; i + 1 < publicHex.size(); i += 2)
        key.push_back(static_cast<unsigned char>(std::stoi(publicHex.substr(i, 2), nullptr, 16)));
    EXPECT_EQ(key.size(), ED25519_PUBLIC_KEY_BYTES) << publicHex;
    key.resize(ED25519_PUBLIC_KEY_BYTES);
    return CheckReleaseSignature(signature.data(), signature.size(), manifest.data(), manifest.size(), channel,
                                 reinterpret_cast<const uint8_t(*)[ED25519_PUBLIC_KEY_BYTES]>(key.data()), 1,
                                 serial);
}

} // namespace qvtest
