// One record of a patch list "QVPatch.dat": a file of an update channel.
#pragma once

#include <cstdint>
#include <string>

struct PatchRecord {
    std::string remoteFolder;  // server folder of the package; empty rows take the server's base path
    std::string fileMd5;       // digest of the installed file (hex, any case)
    std::string targetFolder;  // already expanded (placeholders resolved) while the list is read
    std::string fileName;      // installed name; also its name in the work folder
    std::string restartKind;   // "SERVICE_RESTART", "ENGINE_RESTART" or anything else
    std::string releaseStamp;
    std::string packageName;   // downloaded name; a cabinet when it contains ".cab"
    std::string packageMd5;    // digest of the package as the server stores it
    int32_t size = 0;          // bytes counted for the overall progress
    int32_t registerFlag = 0;  // non-zero: register as a COM in-process server after placement
    int32_t deleteFlag = 0;    // non-zero: remove targetFolder\fileName, download nothing
};

// Selection flags of a check.
const int32_t UPD_STAGED = 0x01;          // a staged ".new" copy already holds the new file
const int32_t UPD_AVAILABLE = 0x10;       // the to-do list is not empty
const int32_t UPD_SERVICE_RESTART = 0x20;
const int32_t UPD_ENGINE_RESTART = 0x40;

// Results of the engine's entry points.
const int32_t UPD_RESULT_FAIL = static_cast<int32_t>(0x80004005); // E_FAIL
const int32_t UPD_RESULT_DONE = 0;
const int32_t UPD_RESULT_STAGED = 1;
const int32_t UPD_RESULT_NO_LIST = 2;
const int32_t UPD_RESULT_BAD_FILE = 4;
const int32_t UPD_RESULT_NOTHING = 8;

// (file name, files done, files total, overall percent, file percent), called on
// the worker thread.
typedef void (*UpdateProgressCallback)(const char* fileName, int fileIndex, int fileCount,
                                       int overallPercent, int filePercent);
