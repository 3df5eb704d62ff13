#include "framework/Dialog.h"

#include "framework/WinApp.h"

QV_IMPLEMENT_RUNTIME_CLASS(CDialog)

bool DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!dx || !dx->m_pDlgWnd)
        return false;
    if (control.m_hWnd)
        return true;
    return control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_parent(parent), m_inModalLoop(false), m_endModal(false), m_modalResult(-1)
{
}

CDialog::~CDialog()
{
    // The derived part is gone: untie the window before destroying it so no
    // message reaches a half-destroyed object.
    HWND window = m_hWnd;
    DetachPermanent();
    if (window && IsWindow(window))
        ::DestroyWindow(window);
}

bool CDialog::Create(UINT templateId, CWnd* parent)
{
    if (m_hWnd)
        return false;
    m_templateId = templateId;
    m_parent = parent;
    HWND window = CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId),
                                     parent ? parent->m_hWnd : nullptr, &CDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR CDialog::DoModal()
{
    m_endModal = false;
    m_modalResult = -1;
    if (!Create(m_templateId, m_parent))
        return -1;
    HWND window = m_hWnd;
    HWND owner = m_parent ? m_parent->m_hWnd : nullptr;
    if (owner)
        ::EnableWindow(owner, FALSE);

    m_inModalLoop = true;
    MSG message;
    while (!m_endModal) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // Keep the quit request for the outer loop.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!WalkPreTranslateTree(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    m_inModalLoop = false;

    if (owner)
        ::EnableWindow(owner, TRUE);
    if (IsWindow(window)) {
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        ::DestroyWindow(window);
    }
    return m_modalResult;
}

void CDialog::EndDialog(int result)
{
    m_modalResult = result;
    if (m_inModalLoop) {
        m_endModal = true;
        // Wake the loop should the request come from outside a dispatched message.
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, result);
    }
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG* message)
{
    if (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD)
        return FALSE;
    if (message->message < WM_KEYFIRST || message->message > WM_KEYLAST)
        return FALSE;
    return IsDialogMessageA(m_hWnd, message);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(UINT, UINT) { return false; }
void CDialog::OnTimer(UINT_PTR) {}
bool CDialog::OnPaint() { return false; }
HBRUSH CDialog::OnCtlColor(HDC, HWND, UINT) { return nullptr; }
void CDialog::OnShowWindow(BOOL, UINT) {}
void CDialog::OnDestroy() {}
bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->AttachPermanent(window);
    } else {
        self = static_cast<CDialog*>(FromHandlePermanent(window));
    }
    if (!self)
        return FALSE;
    if (message == WM_NCDESTROY) {
        self->DetachPermanent();
        return FALSE;
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // A handler's exception ends that handler only; it never crosses
        // the window system.
        return FALSE;
    }
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        UINT code = HIWORD(wParam);
        if (OnCommand(id, code))
            return TRUE;
        if (code == BN_CLICKED && id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (code == BN_CLICKED && id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        HBRUSH brush = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                  message - WM_CTLCOLORMSGBOX);
        return reinterpret_cast<INT_PTR>(brush);
    }
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));
        return FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default: {
        LRESULT result = 0;
        if (!OnMessage(message, wParam, lParam, result))
            return FALSE;
        // These few messages return their value directly from a dialog procedure.
        if (message == WM_QUERYDRAGICON || message == WM_CHARTOITEM || message == WM_COMPAREITEM ||
            message == WM_VKEYTOITEM)
            return static_cast<INT_PTR>(result);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}
