// One of the two copies the single-instance race test starts. Each round it
// waits with the other copy for a shared start signal, runs the application's
// own single-instance check, records whether it won in memory the test
// shares, and keeps its mutex handle until the test has seen both answers.
//
//   SingleInstanceRacer.exe TAG INDEX ROUNDS
//
// TAG names the test's shared objects (QvRace_TAG_...), INDEX (0 or 1) is this
// copy's slot. Exit code 0 after all rounds, 2 when an argument or a shared
// object is missing, 3 when the test stops answering.
#include "app/SetupApp.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

const DWORD kWaitMs = 30000;

// Closes a kernel handle on every path.
class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle()
    {
        if (handle_)
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string Name(const std::string& tag, const std::string& what) { return "QvRace_" + tag + "_" + what; }

HANDLE RoundEvent(const std::string& tag, const char* what, int round)
{
    return CreateEventA(nullptr, // default security
                        TRUE,    // manual reset: both copies see it
                        FALSE,   // not signalled
                        Name(tag, what + std::to_string(round)).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const std::string tag = argv[1];
    const int index = atoi(argv[2]);
    const int rounds = atoi(argv[3]);
    if ((index != 0 && index != 1) || rounds <= 0)
        return 2;

    const std::string me = std::to_string(index);
    Handle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, Name(tag, "ready" + me).c_str()));
    Handle checked(OpenEventA(EVENT_MODIFY_STATE, FALSE, Name(tag, "checked" + me).c_str()));
    Handle shared(OpenFileMappingA(FILE_MAP_WRITE, FALSE, Name(tag, "results").c_str()));
    if (!ready.get() || !checked.get() || !shared.get())
        return 2;
    char* results = static_cast<char*>(MapViewOfFile(shared.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!results)
        return 2;

    int code = 0;
    for (int round = 0; round < rounds && code == 0; ++round) {
        Handle start(RoundEvent(tag, "start", round));
        Handle release(RoundEvent(tag, "release", round));
        if (!start.get() || !release.get() || !SetEvent(ready.get())) {
            code = 2;
            break;
        }
        if (WaitForSingleObject(start.get(), kWaitMs) != WAIT_OBJECT_0) {
            code = 3;
            break;
        }
        HANDLE mutex = nullptr;
        const bool won = CSetupApp::AcquireSingleInstance(mutex);
        results[index * rounds + round] = won ? 'W' : (mutex ? 'L' : '?');
        SetEvent(checked.get());
        // Hold the mutex until the other copy has answered too.
        if (WaitForSingleObject(release.get(), kWaitMs) != WAIT_OBJECT_0)
            code = 3;
        if (mutex)
            CloseHandle(mutex);
    }
    UnmapViewOfFile(results);
    return code;
}
