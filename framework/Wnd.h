// CWnd: a window handle with the framework's behaviour around it.
//
// A CWnd is "permanent" while it is attached to its window (a dialog the
// framework created, or a control bound by DDX_Control/SubclassDlgItem): the
// window then finds its object again through a window property, which is how
// the modal loop gives every window between the message's target and the
// dialog a PreTranslateMessage call. GetDlgItem returns the permanent object
// of a child when there is one, otherwise a wrapper kept by the parent for as
// long as the parent lives. Use a CWnd from the user-interface thread only.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "framework/Object.h"

class CWnd : public CObject {
    QV_DECLARE_RUNTIME_CLASS(CWnd)
public:
    CWnd();
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window, or null.
    static CWnd* FromHandlePermanent(HWND window);

    // Attaches this object to an existing window and routes its messages
    // through WindowProc. False when this object already has a window or the
    // window already has an object.
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(UINT id, CWnd* parent);

    // The child with the given id, or null when there is none.
    CWnd* GetDlgItem(int id);

    BOOL ShowWindow(int command);
    BOOL EnableWindow(BOOL enable);
    BOOL IsWindowVisible() const;
    BOOL IsWindowEnabled() const;
    void SetWindowText(const char* text);
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void GetClientRect(RECT* rect) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    BOOL KillTimer(UINT_PTR id);
    void Invalidate(BOOL erase = TRUE);
    BOOL DestroyWindow();

    // Called by the modal loop for every window from the message's target up
    // to the dialog; true means the message was handled and goes no further.
    virtual BOOL PreTranslateMessage(MSG* message);

    // Calls PreTranslateMessage of each framework window from the message's
    // target up to (and including) `top`.
    static BOOL WalkPreTranslateTree(HWND top, MSG* message);

    HWND m_hWnd;

protected:
    // Messages of a subclassed window; the default passes them to the
    // window's own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own handling of the message being processed.
    LRESULT Default();

    // Ties this object to a window (window property) or unties it.
    void AttachPermanent(HWND window);
    void DetachPermanent();

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_superProc;
    MSG m_current;
    std::map<HWND, std::unique_ptr<CWnd>> m_wrappers;
};
