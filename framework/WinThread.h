// CWinThread and AfxBeginThread: a worker thread running a plain function.
//
// AfxBeginThread creates the thread (through the C run-time, so the function
// may use it freely) with the given priority and flags and returns its thread
// object, or null when the thread cannot be made. When m_bAutoDelete is true
// (the default) the object deletes itself, closing m_hThread, as soon as the
// function returns; a caller that needs the handle afterwards must start the
// thread with CREATE_SUSPENDED and duplicate m_hThread before resuming it.
#pragma once

#include <windows.h>

#include "framework/Object.h"

typedef UINT (*AFX_THREADPROC)(LPVOID parameter);

class CWinThread : public CObject {
    QV_DECLARE_RUNTIME_CLASS(CWinThread)
public:
    CWinThread(AFX_THREADPROC proc, LPVOID parameter);
    ~CWinThread() override;

    DWORD ResumeThread();
    DWORD SuspendThread();
    bool SetThreadPriority(int priority);

    HANDLE m_hThread;
    DWORD m_nThreadID;
    BOOL m_bAutoDelete;

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
    static unsigned __stdcall Entry(void* self);

    AFX_THREADPROC m_proc;
    LPVOID m_parameter;
};

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID parameter, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
