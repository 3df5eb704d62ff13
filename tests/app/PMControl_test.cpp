// The install worker: command order, unknown codes, handler exceptions,
// start and stop rules, and the idle wake-up.
#include "install/PMControl.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/SetupDlg.h"

namespace {

// Records the handlers the loop calls, in order, with the calling thread.
class RecordingControl : public CPMControl {
public:
    struct Call {
        int command;
        DWORD thread;
    };

    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    bool WaitForCalls(size_t count, DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < timeoutMs) {
            if (Calls().size() >= count)
                return true;
            Sleep(5);
        }
        return Calls().size() >= count;
    }

    bool throwInUpdate = false;
    DWORD handlerSleepMs = 0;
    HANDLE blockPostInstall = nullptr;

protected:
    void RunUpdate() override
    {
        Record(CMD_UPDATE);
        if (handlerSleepMs)
            Sleep(handlerSleepMs);
        if (throwInUpdate)
            throw std::runtime_error("update failed");
    }
    void RunPostInstall() override
    {
        Record(CMD_POST_INSTALL);
        if (blockPostInstall)
            WaitForSingleObject(blockPostInstall, INFINITE);
    }
    void Finish() override { Record(CMD_FINISH); }

private:
    void Record(int command)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back({command, GetCurrentThreadId()});
    }
    std::mutex m_mutex;
    std::vector<Call> m_calls;
};

// A worker whose loop ends at once, as after an exception outside a handler.
class EndingControl : public CPMControl {
public:
    int Run() override { return 1; }
};

} // namespace

TEST(PMControl, RunsCommandsOnItsThreadInPostingOrder)
{
    RecordingControl control;
    EXPECT_STREQ("CPMControl", control.GetRuntimeClass()->m_lpszClassName);
    ASSERT_TRUE(control.Start());
    control.Post(CMD_UPDATE);  // posted before the new thread first runs
    control.Post(CMD_POST_INSTALL);
    control.Post(CMD_FINISH);
    ASSERT_TRUE(control.WaitForCalls(3, 5000));
    std::vector<RecordingControl::Call> calls = control.Calls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(CMD_UPDATE, calls[0].command);
    EXPECT_EQ(CMD_POST_INSTALL, calls[1].command);
    EXPECT_EQ(CMD_FINISH, calls[2].command);
    EXPECT_NE(GetCurrentThreadId(), calls[0].thread);
    EXPECT_EQ(calls[0].thread, calls[1].thread);
    EXPECT_EQ(calls[0].thread, calls[2].thread);
    EXPECT_TRUE(control.Stop());
}

TEST(PMControl, OneCommandRunsToItsEndBeforeTheNextStarts)
{
    RecordingControl control;
    control.handlerSleepMs = 300;
    ASSERT_TRUE(control.Start());
    control.Post(CMD_UPDATE);
    Sleep(50);
    control.Post(CMD_FINISH);  // arrives while the update runs
    Sleep(100);
    EXPECT_EQ(1u, control.Calls().size());
    ASSERT_TRUE(control.WaitForCalls(2, 3000));
    EXPECT_EQ(CMD_FINISH, control.Calls()[1].command);
    control.Stop();
}

TEST(PMControl, UnknownCodesAreDroppedAndAThrowingHandlerDoesNotStopTheQueue)
{
    RecordingControl control;
    control.throwInUpdate = true;
    ASSERT_TRUE(control.Start());
    control.Post(0x2002);
    control.Post(0x1234);
    control.Post(CMD_UPDATE);
    control.Post(-1);
    control.Post(CMD_FINISH);
    ASSERT_TRUE(control.WaitForCalls(2, 5000));
    Sleep(100);
    std::vector<RecordingControl::Call> calls = control.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(CMD_UPDATE, calls[0].command);
    EXPECT_EQ(CMD_FINISH, calls[1].command);
    control.Dispatch(0x7777);  // nothing to run
    EXPECT_EQ(2u, control.Calls().size());
    EXPECT_TRUE(control.Stop());
}

TEST(PMControl, StopReturnsTrueOnlyForALiveThread)
{
    RecordingControl control;
    EXPECT_FALSE(control.Stop());  // never started
    ASSERT_TRUE(control.Start());
    EXPECT_TRUE(control.Stop());
    EXPECT_FALSE(control.Stop());  // the second time there is nothing to stop

    // Restartable: a new thread runs new commands.
    ASSERT_TRUE(control.Start());
    control.Post(CMD_FINISH);
    EXPECT_TRUE(control.WaitForCalls(1, 3000));
    EXPECT_TRUE(control.Stop());

    EndingControl ended;
    ASSERT_TRUE(ended.Start());
    Sleep(200);
    EXPECT_FALSE(ended.Stop());  // thread already over: handle closed, false
    EXPECT_FALSE(ended.Stop());
}

TEST(PMControl, ASecondStartLeavesTheLiveThreadRunning)
{
    RecordingControl control;
    ASSERT_TRUE(control.Start());
    EXPECT_FALSE(control.Start());
    Sleep(1500);  // past a one-second wake-up: the thread must still be there
    control.Post(CMD_POST_INSTALL);
    ASSERT_TRUE(control.WaitForCalls(1, 3000));
    EXPECT_TRUE(control.Stop());
}

TEST(PMControl, CommandsQueuedBeforeStartRunOnceItStarts)
{
    RecordingControl control;
    control.Post(CMD_UPDATE);
    control.Post(CMD_FINISH);
    ASSERT_TRUE(control.Start());
    ASSERT_TRUE(control.WaitForCalls(2, 500));  // well within the one-second wake-up
    EXPECT_TRUE(control.Stop());
}

TEST(PMControl, AnIdleThreadWakesOnceASecond)
{
    RecordingControl control;
    ASSERT_TRUE(control.Start());
    const unsigned long before = control.GetWakeCount();
    Sleep(3500);
    const unsigned long wakes = control.GetWakeCount() - before;
    printf("idle worker woke %lu times in 3.5 s\n", wakes);
    EXPECT_GE(wakes, 3u);
    EXPECT_LE(wakes, 4u);
    EXPECT_TRUE(control.Calls().empty());
    EXPECT_TRUE(control.Stop());
}

TEST(PMControl, StopTerminatesAHandlerStuckLongerThanFiveSeconds)
{
    RecordingControl control;
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    control.blockPostInstall = never;
    ASSERT_TRUE(control.Start());
    control.Post(CMD_POST_INSTALL);
    control.Post(CMD_FINISH);
    ASSERT_TRUE(control.WaitForCalls(1, 3000));
    const DWORD start = GetTickCount();
    EXPECT_TRUE(control.Stop());
    const DWORD took = GetTickCount() - start;
    printf("stuck handler: Stop returned after %lu ms\n", took);
    EXPECT_GE(took, 4900u);
    EXPECT_EQ(1u, control.Calls().size());  // the queued finish never ran
    CloseHandle(never);
}

TEST(PMControl, FinishWithoutAFrameDoesNothing)
{
    ASSERT_EQ(nullptr, g_setupFrame);
    CPMControl control;
    control.SetFailed(true);
    control.Dispatch(CMD_FINISH);
    control.SetFailed(false);
    control.Dispatch(CMD_FINISH);
    EXPECT_FALSE(control.IsFailed());
}
