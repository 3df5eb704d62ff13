// Placeholders of a patch record's target folder.
#include "update/UpdateEngine.h"

#include "platform/PathKind.h"

#include <windows.h>

void CUpdateEngine::SetFolderBases(const char* installFolder)
{
    std::string folder = installFolder ? installFolder : "";
    folderVP_ = folder + "\\VP";
    folderVC_ = folder + "\\VC";
    folderKV_ = folder + "\\KV";
    folderPP_ = folder + "\\PP";
}

// An empty folder is the channel's base folder; a text without "%" is used as
// it is. A text with "%" is first looked up whole as a symbolic folder name,
// then searched for "%BASE%", "%VP%", "%VC%", "%KV%", "%PP%" in that order: the
// first token found gives its whole folder and the rest of the text is dropped.
// A resulting folder that does not exist yet is created.
void CUpdateEngine::ExpandTargetFolder(const std::string& folder, std::string& expanded)
{
    if (folder.empty()) {
        expanded = baseFolder_;
        return;
    }
    if (folder.find('%') == std::string::npos) {
        expanded = folder;
        return;
    }

    std::string result;
    if (!folders_.Lookup(folder.c_str(), result)) {
        const struct {
            const char* token;
            const std::string* base;
        } tokens[] = {{"%BASE%", &baseFolder_}, {"%VP%", &folderVP_}, {"%VC%", &folderVC_},
                      {"%KV%", &folderKV_}, {"%PP%", &folderPP_}};
        result = folder;
        for (const auto& token : tokens) {
            if (folder.find(token.token) != std::string::npos) {
                result = *token.base;
                break;
            }
        }
    }
    if (!result.empty() && !IsExistingFolder(result))
        CSpecialFolders::CreateFolderPath(result.c_str());
    expanded = result;
}
