#include "framework/WinThread.h"

#include <process.h>

#include <new>

QV_IMPLEMENT_RUNTIME_CLASS(CWinThread)

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID parameter)
    : m_hThread(nullptr), m_nThreadID(0), m_bAutoDelete(TRUE), m_proc(proc), m_parameter(parameter)
{
}

CWinThread::~CWinThread()
{
    if (m_hThread)
        CloseHandle(m_hThread);
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

DWORD CWinThread::SuspendThread() { return ::SuspendThread(m_hThread); }

bool CWinThread::SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority) != FALSE; }

unsigned __stdcall CWinThread::Entry(void* self)
{
    CWinThread* thread = static_cast<CWinThread*>(self);
    UINT code = thread->m_proc(thread->m_parameter);
    // The flag is read after the function returns: the owner may set it while
    // the thread is still suspended.
    if (thread->m_bAutoDelete)
        delete thread;
    return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID parameter, int priority, UINT stackSize, DWORD flags,
                           LPSECURITY_ATTRIBUTES security)
{
    if (!proc)
        return nullptr;
    CWinThread* thread = new (std::nothrow) CWinThread(proc, parameter);
    if (!thread)
        return nullptr;
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(security, stackSize, &CWinThread::Entry, thread,
                                      CREATE_SUSPENDED,  // priority is set before it runs
                                      &id);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    thread->m_nThreadID = id;
    thread->SetThreadPriority(priority);
    if (!(flags & CREATE_SUSPENDED))
        thread->ResumeThread();
    return thread;
}
