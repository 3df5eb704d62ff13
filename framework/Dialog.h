// CDialog: a dialog made from a dialog template of the program's resources,
// run modally (DoModal) or created as a modeless child (Create).
//
// The modal loop is the framework's own: every queued message first goes
// through PreTranslateMessage of the windows between its target and the
// dialog (WalkPreTranslateTree), then through the top-level dialog's
// keyboard handling (IsDialogMessage), and only then is dispatched. Derived
// dialogs override the virtual handlers below; each is called on the
// user-interface thread with the dialog's window set.
#pragma once

#include <windows.h>

#include "framework/DataExchange.h"
#include "framework/Wnd.h"

class CDialog : public CWnd {
    QV_DECLARE_RUNTIME_CLASS(CDialog)
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the dialog, runs it until EndDialog and destroys it. Returns the
    // value given to EndDialog, or -1 when the dialog cannot be created.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (a child when its template says
    // so). False when the window cannot be made.
    bool Create(UINT templateId, CWnd* parent);
    // Ends the modal loop with `result`; a modeless dialog is hidden.
    void EndDialog(int result);
    // Runs DoDataExchange: saving (true) or filling controls (false).
    bool UpdateData(bool saveAndValidate = true);

    UINT GetTemplateId() const { return m_templateId; }

protected:
    virtual void DoDataExchange(CDataExchange* dx);
    // A top-level dialog gives keyboard input to IsDialogMessage; a child
    // dialog leaves it to the dialog it lives in.
    BOOL PreTranslateMessage(MSG* message) override;
    // Binds the controls (UpdateData(false)); true lets the system set focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Command notifications (BN_CLICKED and others); true when handled.
    // Unhandled IDOK and IDCANCEL go to OnOK and OnCancel.
    virtual bool OnCommand(UINT id, UINT code);
    virtual void OnTimer(UINT_PTR id);
    // True when the handler painted; false leaves the paint to the system.
    virtual bool OnPaint();
    // Brush for a control (or the dialog itself); null leaves the default.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnDestroy();
    // Any other message; true with `result` set when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    CWnd* m_parent;
    bool m_inModalLoop;
    bool m_endModal;
    INT_PTR m_modalResult;
};
