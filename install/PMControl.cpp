#include "install/PMControl.h"

#include "framework/ScopedLock.h"
#include "framework/WinThread.h"

QV_IMPLEMENT_RUNTIME_CLASS(CPMControl)

namespace {
const DWORD kWakeIntervalMs = 1000;
const DWORD kStopWaitMs = 5000;
const DWORD kTerminatedExitCode = static_cast<DWORD>(-1);
} // namespace

CPMControl::CPMControl()
    : m_wakeEvent(CreateEventA(nullptr,   // default security
                               TRUE,      // manual reset: stays set while commands wait
                               FALSE,     // not signalled
                               nullptr)), // no name
      m_failed(0), m_priority(THREAD_PRIORITY_NORMAL), m_thread(nullptr), m_running(1),
      m_wakeCount(0)
{
}

CPMControl::~CPMControl()
{
    // A thread left running would use this object after it is gone.
    Stop();
}

UINT CPMControl::ThreadEntry(LPVOID self)
{
    try {
        return static_cast<UINT>(static_cast<CPMControl*>(self)->Run());
    } catch (...) {
        return 0;
    }
}

bool CPMControl::IsThreadAlive() const
{
    DWORD code = 0;
    return m_threadHandle && GetExitCodeThread(m_threadHandle.Get(), &code) && code == STILL_ACTIVE;
}

bool CPMControl::Start()
{
    CScopedLock threadLock(m_threadLock);
    // One thread per object: a live one keeps running as it is.
    if (IsThreadAlive())
        return false;
    // The previous thread has ended; its handle is no longer needed.
    m_threadHandle.Close();
    ResetEvent(m_wakeEvent.Get());
    bool started = false;
    m_thread = AfxBeginThread(&CPMControl::ThreadEntry, this, m_priority, 0, CREATE_SUSPENDED, nullptr);
    if (m_thread) {
        m_thread->m_bAutoDelete = TRUE;
        started = DuplicateHandle(GetCurrentProcess(), m_thread->m_hThread, GetCurrentProcess(),
                                  m_threadHandle.Out(), 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
        ResetEvent(m_wakeEvent.Get());
        // Commands queued before the start must not wait for a later Post.
        {
            CScopedLock queueLock(m_queueLock);
            if (!m_commandQueue.empty())
                SetEvent(m_wakeEvent.Get());
        }
        // Set before the thread runs; a thread we cannot track leaves at once.
        InterlockedExchange(&m_running, started ? 1 : 0);
        m_thread->ResumeThread();
    } else {
        InterlockedExchange(&m_running, 0);
    }
    return started;
}

void CPMControl::Post(int command)
{
    try {
        {
            CScopedLock queueLock(m_queueLock);
            m_commandQueue.push_back(command);
        }
        SetEvent(m_wakeEvent.Get());
    } catch (...) {
        // Out of memory: the command is lost.
    }
}

int CPMControl::Run()
{
    try {
        for (;;) {
            DWORD wait = WaitForSingleObject(m_wakeEvent.Get(), kWakeIntervalMs);
            InterlockedIncrement(&m_wakeCount);
            if (!m_running)
                break;
            if (wait == WAIT_OBJECT_0) {
                bool haveCommand = false;
                int command = 0;
                {
                    CScopedLock queueLock(m_queueLock);
                    haveCommand = !m_commandQueue.empty();
                    if (haveCommand) {
                        command = m_commandQueue.front();
                        m_commandQueue.pop_front();
                    }
                }
                if (haveCommand) {
                    Dispatch(command);
                    // Checked and reset under the queue lock, so a command
                    // posted meanwhile always leaves the event set.
                    CScopedLock queueLock(m_queueLock);
                    if (m_commandQueue.empty() && m_running)
                        ResetEvent(m_wakeEvent.Get());
                }
            }
            Sleep(1);
            if (!m_running)
                break;
        }
    } catch (...) {
        // An exception outside a handler ends the loop.
    }
    return 1;
}

void CPMControl::Dispatch(int command)
{
    try {
        switch (command) {
        case CMD_UPDATE:
            RunUpdate();
            break;
        case CMD_POST_INSTALL:
            RunPostInstall();
            break;
        case CMD_FINISH:
            Finish();
            break;
        default:
            break;  // unknown command: dropped
        }
    } catch (...) {
        // The next command still runs.
    }
}

bool CPMControl::Stop()
{
    CScopedLock threadLock(m_threadLock);
    if (!m_threadHandle)
        return false;
    bool stopped = false;
    if (IsThreadAlive()) {
        const HANDLE thread = m_threadHandle.Get();
        InterlockedExchange(&m_running, 0);
        SetEvent(m_wakeEvent.Get());
        ResumeThread(thread);
        SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
        if (WaitForSingleObject(thread, kStopWaitMs) == WAIT_TIMEOUT)
            TerminateThread(thread, kTerminatedExitCode);
        stopped = true;
    }
    m_threadHandle.Close();
    m_thread = nullptr;  // deleted itself when the thread ended
    return stopped;
}
