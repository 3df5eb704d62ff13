// The dialog framework's own promises: worker threads (suspended start,
// exit code, auto-delete), run-time class names, controls bound by id and
// the PreTranslateMessage walk from a control up to its dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/CriticalSection.h"
#include "framework/Dialog.h"
#include "framework/Static.h"
#include "framework/WinThread.h"
#include "install/PMControl.h"
#include "pages/SetupFailDlg.h"
#include "pages/SetupSuccessDlg.h"

namespace {

volatile LONG g_ran = 0;

UINT CountAndReturn(LPVOID parameter)
{
    InterlockedIncrement(&g_ran);
    return static_cast<UINT>(reinterpret_cast<UINT_PTR>(parameter));
}

// A window of the framework that records the messages offered to it.
class RecordingWnd : public CStatic {
public:
    BOOL PreTranslateMessage(MSG* message) override
    {
        ++seen;
        return message->message == WM_CHAR ? TRUE : FALSE;  // swallows characters
    }
    int seen = 0;
};

} // namespace

TEST(Framework, SuspendedThreadRunsOnlyAfterResumeAndKeepsItsExitCode)
{
    g_ran = 0;
    CWinThread* thread = AfxBeginThread(&CountAndReturn, reinterpret_cast<LPVOID>(42), THREAD_PRIORITY_BELOW_NORMAL, 0,
                                        CREATE_SUSPENDED);
    ASSERT_NE(nullptr, thread);
    thread->m_bAutoDelete = FALSE;  // keep the object to read the result
    Sleep(100);
    EXPECT_EQ(0, g_ran);
    EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, GetThreadPriority(thread->m_hThread));
    thread->ResumeThread();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread->m_hThread, 5000));
    DWORD code = 0;
    GetExitCodeThread(thread->m_hThread, &code);
    EXPECT_EQ(42u, code);
    EXPECT_EQ(1, g_ran);
    delete thread;

    EXPECT_EQ(nullptr, AfxBeginThread(nullptr, nullptr));
}

TEST(Framework, AutoDeletingThreadsRunToTheirEnd)
{
    g_ran = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_NE(nullptr, AfxBeginThread(&CountAndReturn, nullptr));  // deletes itself
    for (int i = 0; i < 200 && g_ran < 20; ++i)
        Sleep(10);
    EXPECT_EQ(20, g_ran);
}

TEST(Framework, CriticalSectionMayBeEnteredAgainByItsHolder)
{
    CCriticalSection lock;
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.Unlock());
}

TEST(Framework, ClassesCarryTheirRunTimeClassNames)
{
    CPMControl worker;
    CSetupSuccessDlg success;
    CSetupFailDlg failure;
    EXPECT_STREQ("CPMControl", worker.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CSetupSuccessDlg", success.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CSetupFailDlg", failure.GetRuntimeClass()->m_lpszClassName);
    EXPECT_TRUE(success.IsKindOfName("CSetupSuccessDlg"));
    EXPECT_FALSE(success.IsKindOfName("CDialog"));
    EXPECT_FALSE(success.IsKindOfName(nullptr));
}

TEST(Framework, BoundControlsAreFoundByWindowAndOfferedMessagesUpTheTree)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent, reinterpret_cast<HMENU>(77),
                                 nullptr, nullptr);
    HWND grandChild = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, child, reinterpret_cast<HMENU>(78),
                                      nullptr, nullptr);
    RecordingWnd top, middle;
    ASSERT_TRUE(top.SubclassWindow(parent));
    ASSERT_TRUE(middle.SubclassDlgItem(77, &top));
    EXPECT_FALSE(middle.SubclassWindow(child));  // already bound
    EXPECT_EQ(&middle, CWnd::FromHandlePermanent(child));
    EXPECT_EQ(&middle, top.GetDlgItem(77));
    // A child without an object is handed out as a wrapper kept by its parent.
    CWnd* wrapper = middle.GetDlgItem(78);
    ASSERT_NE(nullptr, wrapper);
    EXPECT_EQ(grandChild, wrapper->m_hWnd);
    EXPECT_EQ(wrapper, middle.GetDlgItem(78));
    EXPECT_EQ(nullptr, middle.GetDlgItem(79));

    MSG key = {grandChild, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_FALSE(CWnd::WalkPreTranslateTree(parent, &key));
    EXPECT_EQ(1, middle.seen);
    EXPECT_EQ(1, top.seen);
    MSG character = {grandChild, WM_CHAR, 'a', 0, 0, {0, 0}};
    EXPECT_TRUE(CWnd::WalkPreTranslateTree(parent, &character));
    EXPECT_EQ(2, middle.seen);
    EXPECT_EQ(1, top.seen);  // swallowed below it

    DestroyWindow(parent);
    EXPECT_EQ(nullptr, top.m_hWnd);  // untied when its window went
    EXPECT_EQ(nullptr, middle.m_hWnd);
}
