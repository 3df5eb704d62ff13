#include "update/DownloadProgress.h"

namespace {
const size_t kMaxNameLength = 259; // the name travels in a 260-byte buffer
const int kOverallCap = 95;
} // namespace

void CDownloadProgress::Reset()
{
    *this = CDownloadProgress();
}

void CDownloadProgress::BeginFile(const std::string& name)
{
    currentName_ = name.substr(0, kMaxNameLength);
    ++filesDone_;
    currentReceived_ = 0;
}

void CDownloadProgress::Report(int overallPercent, int filePercent) const
{
    if (callback_)
        callback_(currentName_.c_str(), filesDone_, filesTotal_, overallPercent, filePercent);
}

// Arithmetic in 64 bits: files and channels of many megabytes would overflow
// 32-bit products of bytes and 100.
void CDownloadProgress::OnBytes(uint32_t expected, uint32_t received)
{
    if (!callback_)
        return;
    if (expected > 0 && received > 0)
        filePercent_ = static_cast<int>(static_cast<uint64_t>(received) * 100 / expected);
    if (received == expected) {
        // The overall figure is not recomputed for the file's last bytes.
        Report(overallPercent_, 100);
        currentReceived_ = 0;
        return;
    }
    receivedTotal_ += static_cast<int64_t>(received) - currentReceived_;
    currentReceived_ = received;
    if (expectedTotal_ > 0 && receivedTotal_ > 0) {
        int64_t overall = receivedTotal_ * 100 / expectedTotal_;
        overallPercent_ = static_cast<int>(overall > kOverallCap ? kOverallCap : overall);
    }
    Report(overallPercent_, filePercent_);
}
