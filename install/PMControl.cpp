#include "install/PMControl.h"

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
      m_failed(0), m_priority(THREAD_PRIORITY_NORMAL), m_threadHandle(nullptr), m_thread(nullptr), m_running(1),
      m_wakeCount(0)
{
}

CPMControl::~CPMControl()
{
    // A thread left running would use this object after it is gone.
    Stop();
    if (m_wakeEvent)
        CloseHandle(m_wakeEvent);
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
    return m_threadHandle && GetExitCodeThread(m_threadHandle, &code) && code == STILL_ACTIVE;
}

bool CPMControl::Start()
{
    m_threadLock.Lock();
    if (IsThreadAlive()) {
        // One thread per object: the live one keeps running as it is.
        m_threadLock.Unlock();
        return false;
    }
    if (m_threadHandle) {
        // The previous thread has ended; its handle is no longer needed.
        CloseHandle(m_threadHandle);
        m_threadHandle = nullptr;
    }
    ResetEvent(m_wakeEvent);
    bool started = false;
    m_thread = AfxBeginThread(&CPMControl::ThreadEntry, this, m_priority, 0, CREATE_SUSPENDED, nullptr);
    if (m_thread) {
        m_thread->m_bAutoDelete = TRUE;
        HANDLE duplicate = nullptr;
        started = DuplicateHandle(GetCurrentProcess(), m_thread->m_hThread, GetCurrentProcess(), &duplicate,
                                  0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
        m_threadHandle = duplicate;
        ResetEvent(m_wakeEvent);
        // Commands queued before the start must not wait for a later Post.
        m_queueLock.Lock();
        if (!m_commandQueue.empty())
            SetEvent(m_wakeEvent);
        m_queueLock.Unlock();
        // Set before the thread runs; a thread we cannot track leaves at once.
        InterlockedExchange(&m_running, started ? 1 : 0);
        m_thread->ResumeThread();
    } else {
        InterlockedExchange(&m_running, 0);
    }
    m_threadLock.Unlock();
    return started;
}

void CPMControl::Post(int command)
{
    try {
        m_queueLock.Lock();
        m_commandQueue.push_back(command);
        m_queueLock.Unlock();
        SetEvent(m_wakeEvent);
    } catch (...) {
        // Out of memory: the command is lost.
        m_queueLock.Unlock();
    }
}

int CPMControl::Run()
{
    try {
        for (;;) {
            DWORD wait = WaitForSingleObject(m_wakeEvent, kWakeIntervalMs);
            InterlockedIncrement(&m_wakeCount);
            if (!m_running)
                break;
            if (wait == WAIT_OBJECT_0) {
                m_queueLock.Lock();
                bool haveCommand = !m_commandQueue.empty();
                int command = 0;
                if (haveCommand) {
                    command = m_commandQueue.front();
                    m_commandQueue.pop_front();
                }
                m_queueLock.Unlock();
                if (haveCommand) {
                    Dispatch(command);
                    // Checked and reset under the queue lock, so a command
                    // posted meanwhile always leaves the event set.
                    m_queueLock.Lock();
                    if (m_commandQueue.empty() && m_running)
                        ResetEvent(m_wakeEvent);
                    m_queueLock.Unlock();
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
    m_threadLock.Lock();
    if (!m_threadHandle) {
        m_threadLock.Unlock();
        return false;
    }
    bool stopped = false;
    if (IsThreadAlive()) {
        InterlockedExchange(&m_running, 0);
        SetEvent(m_wakeEvent);
        ResumeThread(m_threadHandle);
        SetThreadPriority(m_threadHandle, THREAD_PRIORITY_HIGHEST);
        if (WaitForSingleObject(m_threadHandle, kStopWaitMs) == WAIT_TIMEOUT)
            TerminateThread(m_threadHandle, kTerminatedExitCode);
        stopped = true;
    }
    CloseHandle(m_threadHandle);
    m_threadHandle = nullptr;
    m_thread = nullptr;  // deleted itself when the thread ended
    m_threadLock.Unlock();
    return stopped;
}
