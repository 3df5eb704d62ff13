// One update run of the installer, on the worker thread: the steps that bring
// the configuration, the program files and the engine database up to date.
// Lives on the worker's stack for one run.
#pragma once

#include "core/PatchRecord.h"
#include "update/UpdateEngine.h"

#include <cstdint>
#include <string>

// Result of a channel that installed everything it found (the engine's 0).
const int32_t UPDATE_SESSION_UPDATED = 128;

class CUpdateSession {
public:
    CUpdateSession() {}
    virtual ~CUpdateSession() {}

    // Sets installFolder and hands the record's product code to the engine as
    // its product identity. False when the install folder cannot be formed
    // (the program-files folder is not known).
    bool PrepareFolders();

    // The configuration step: fetches "QVConfig.dat" from server entry 0 of
    // the configuration record into installFolder's work folder, validates it,
    // copies it into installFolder and loads it into the record. True when the
    // copy succeeded. Whenever the file arrived, the product value "PCode" = 11
    // is written, also when it then fails validation.
    bool FetchConfiguration();

    // The program channel (server entry 1) into the install folder: the check,
    // then the install when the check found updates. UPDATE_SESSION_UPDATED
    // when the install returned 0; otherwise the engine's result.
    int32_t UpdateProgram(UpdateProgressCallback progress);
    int32_t CheckProgram();

    // The engine database (server entry 2) into the install folder's "VP"
    // folder, announced on the status line (text 10208) with the progress
    // back at 0; after a complete install "DBUpdateDate" records the list's
    // latest release stamp. Same results as UpdateProgram.
    int32_t UpdateDatabase(UpdateProgressCallback progress);
    int32_t CheckDatabase();
    int32_t InstallDatabase(UpdateProgressCallback progress);

    // True when the product's updater "QVUpdate.exe" stands in installFolder:
    // the product was installed before. Asked before the configuration step.
    bool ProductInPlace() const;
    // True for a channel result that leaves the channel complete: updated
    // (UPDATE_SESSION_UPDATED), staged for a restart (1) or nothing to do (8).
    static bool ChannelCompleted(int32_t result);

    // The file the engine last failed to download or verify.
    void GetFailedFileName(std::string& name) const;
    // Why the last manifest did not arrive: the engine's reason, or not a
    // release for a configuration file that arrived but does not load.
    UpdateFailure FailureReason() const;

    std::string installFolder;

private:
    std::string DatabaseFolder() const { return installFolder + "\\VP"; }
    UpdateFailure configFailure_ = UPD_FAILURE_NONE;
};
