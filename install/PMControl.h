// CPMControl: the worker that runs the installation off the user-interface
// thread. It owns one worker thread and a first-in, first-out queue of
// command codes; the thread sleeps on an event (waking at least once a
// second), takes one command at a time and runs its handler to the end
// before it looks at the next.
//
// Calling order: Start, Post (CMD_UPDATE, CMD_POST_INSTALL, CMD_FINISH), ...,
// Stop (when the install page is destroyed). Start, Post and Stop may be
// called from any thread; the handlers run on the worker thread.
#pragma once

#include <windows.h>

#include <deque>

#include "framework/CriticalSection.h"
#include "framework/Object.h"
#include "platform/SystemHandles.h"

class CWinThread;

const int CMD_UPDATE = 0x2000;
const int CMD_POST_INSTALL = 0x2001;
const int CMD_FINISH = 0x2003;

// The progress function of the install run's downloads (UpdateProgressCallback):
// puts the download text with the file's name on the status line and the current
// file's percentage on the bar. Called on the worker thread.
void OnInstallProgress(const char* fileName, int fileIndex, int fileCount, int overallPercent, int filePercent);

class CPMControl : public CObject {
    QV_DECLARE_RUNTIME_CLASS(CPMControl)
public:
    CPMControl();
    // Stops a thread still alive (the owner normally has done so already).
    ~CPMControl() override;

    // The thread's loop: runs queued commands until Stop; returns 1.
    virtual int Run();

    // Starts the worker thread. False when a thread is already alive (that
    // thread is left running untouched) or the thread cannot be made.
    bool Start();
    // Queues a command and wakes the thread. Commands queued before Start run
    // once the thread starts.
    void Post(int command);
    // Stops a live thread: it ends after its current command, or is
    // terminated after 5,000 ms. False when there was no live thread.
    bool Stop();
    // Runs the handler of one command; unknown codes are dropped. A handler's
    // exception is caught here.
    void Dispatch(int command);

    // The run's one outcome: the installation could not proceed.
    bool IsFailed() const { return m_failed != 0; }
    void SetFailed(bool failed) { m_failed = failed ? 1 : 0; }
    // How many times the loop has woken (by a command or by the one-second
    // time-out) since construction.
    unsigned long GetWakeCount() const { return static_cast<unsigned long>(m_wakeCount); }

protected:
    // Command handlers, run on the worker thread (virtual so that a test can
    // record the order in which the loop calls them).
    virtual void RunUpdate();
    virtual void RunPostInstall();
    virtual void Finish();

private:
    static UINT ThreadEntry(LPVOID self);
    bool IsThreadAlive() const;

    CKernelHandle m_wakeEvent;
    volatile LONG m_failed;
    CCriticalSection m_threadLock;
    CCriticalSection m_queueLock;
    int m_priority;
    CKernelHandle m_threadHandle;
    CWinThread* m_thread;
    volatile LONG m_running;
    std::deque<int> m_commandQueue;
    volatile LONG m_wakeCount;
};
