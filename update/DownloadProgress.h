// Progress of a channel's downloads, reported to the install page: the
// current file's percentage from its own bytes, and an overall percentage
// from the bytes of every selected record (their `size` cells), held at 95 or
// below until the final report.
#pragma once

#include "core/PatchRecord.h"

#include <cstdint>
#include <string>

class CDownloadProgress {
public:
    // Forgets everything, the callback included.
    void Reset();
    void SetCallback(UpdateProgressCallback callback) { callback_ = callback; }
    bool HasCallback() const { return callback_ != nullptr; }

    // Byte totals: expected is the sum of the selected records' sizes.
    void ResetTotals() { expectedTotal_ = 0; receivedTotal_ = 0; }
    void AddExpected(int32_t size) { expectedTotal_ += size; }

    void BeginFiles(int count) { filesDone_ = 0; filesTotal_ = count; }
    // The next file starts: its name is what the reports carry.
    void BeginFile(const std::string& name);

    // The HTTP client's report for the current file: expected bytes and bytes
    // received so far.
    void OnBytes(uint32_t expected, uint32_t received);
    // A report with the current counters and the given percentages.
    void Report(int overallPercent, int filePercent) const;
    void ReportFileDone() const { Report(overallPercent_, 100); }

    int OverallPercent() const { return overallPercent_; }
    int FilesDone() const { return filesDone_; }

private:
    UpdateProgressCallback callback_ = nullptr;
    std::string currentName_;
    int filesDone_ = 0;
    int filesTotal_ = 0;
    int overallPercent_ = 0;
    int filePercent_ = 0;
    int64_t receivedTotal_ = 0;
    int64_t expectedTotal_ = 0;
    uint32_t currentReceived_ = 0;
};
