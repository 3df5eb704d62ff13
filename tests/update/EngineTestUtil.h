// Helpers of the update engine tests: patch lists and configuration files
// written with the engine's own table file, served by the loopback server.
#pragma once

#include "core/Md5.h"
#include "core/PatchRecord.h"
#include "core/TableFile.h"
#include "tests/support/TestServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace enginetest {

// One data row of a patch list, every cell given.
struct Row {
    std::string remoteFolder, fileMd5, targetFolder, fileName, restartKind, releaseStamp, packageName,
        packageMd5;
    int32_t size = 0;
    int32_t registerFlag = 0;
    int32_t deleteFlag = 0;
};

inline bool SavePatchList(const std::string& path, const std::vector<Row>& rows,
                          const char* header1 = "KorvaneFree", const char* header2 = "test")
{
    CTableFile table;
    table.AddRow();
    table.AddText(header1, true);
    table.AddText(header2, true);
    for (const Row& row : rows) {
        table.AddRow();
        for (const std::string* text : {&row.remoteFolder, &row.fileMd5, &row.targetFolder, &row.fileName,
                                        &row.restartKind, &row.releaseStamp, &row.packageName, &row.packageMd5})
            table.AddText(text->c_str(), true);
        table.AddNumber4(row.size);
        table.AddNumber6(row.registerFlag);
        table.AddNumber6(row.deleteFlag);
    }
    return table.Save(path.c_str(), nullptr, 0, 2, true);
}

// A fresh folder under the served root; removed with the object.
class ServedFolder {
public:
    ServedFolder(qvtest::CTestServer& server, const std::string& name)
        : server_(server), remotePath_("/" + name), path_(server.RootFile(name))
    {
        qvtest::RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ServedFolder() { qvtest::RemoveTree(path_); }
    const std::string& RemotePath() const { return remotePath_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    qvtest::CTestServer& server_;
    std::string remotePath_;
    std::string path_;
};

inline std::string Digest(const std::string& content)
{
    std::string hex;
    Md5Buffer(content.data(), content.size(), hex);
    return hex;
}

} // namespace enginetest
