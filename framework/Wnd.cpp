#include "framework/Wnd.h"

QV_IMPLEMENT_RUNTIME_CLASS(CWnd)

namespace {
// Window property naming the CWnd attached to a window.
const char kObjectProperty[] = "QvFrameworkObject";
}

CWnd::CWnd() : m_hWnd(nullptr), m_superProc(nullptr), m_current() {}

CWnd::~CWnd()
{
    // A subclassed control outliving its object must not call back into it.
    if (m_hWnd && m_superProc && IsWindow(m_hWnd))
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    DetachPermanent();
}

CWnd* CWnd::FromHandlePermanent(HWND window)
{
    if (!window)
        return nullptr;
    return static_cast<CWnd*>(GetPropA(window, kObjectProperty));
}

void CWnd::AttachPermanent(HWND window)
{
    m_hWnd = window;
    SetPropA(window, kObjectProperty, this);
}

void CWnd::DetachPermanent()
{
    if (m_hWnd && IsWindow(m_hWnd) && FromHandlePermanent(m_hWnd) == this)
        RemovePropA(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
    m_superProc = nullptr;
    m_wrappers.clear();
}

bool CWnd::SubclassWindow(HWND window)
{
    if (m_hWnd || !window || FromHandlePermanent(window))
        return false;
    AttachPermanent(window);
    m_superProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    if (!m_superProc) {
        DetachPermanent();
        return false;
    }
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd)
        return false;
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* self = FromHandlePermanent(window);
    if (!self || !self->m_superProc)
        return DefWindowProcA(window, message, wParam, lParam);
    MSG saved = self->m_current;
    self->m_current.hwnd = window;
    self->m_current.message = message;
    self->m_current.wParam = wParam;
    self->m_current.lParam = lParam;
    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        // Last message: hand the window back to its own procedure and forget it.
        WNDPROC super = self->m_superProc;
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        self->DetachPermanent();
        return CallWindowProcA(super, window, message, wParam, lParam);
    }
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Never let an exception cross the window system.
        result = 0;
    }
    self->m_current = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(); }

LRESULT CWnd::Default()
{
    if (!m_superProc)
        return 0;
    return CallWindowProcA(m_superProc, m_current.hwnd, m_current.message, m_current.wParam, m_current.lParam);
}

CWnd* CWnd::GetDlgItem(int id)
{
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return nullptr;
    if (CWnd* permanent = FromHandlePermanent(child))
        return permanent;
    std::unique_ptr<CWnd>& wrapper = m_wrappers[child];
    if (!wrapper) {
        wrapper.reset(new CWnd);
        wrapper->m_hWnd = child;
    }
    return wrapper.get();
}

BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
void CWnd::SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}
void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

BOOL CWnd::PreTranslateMessage(MSG* message) { return FALSE; }

BOOL CWnd::WalkPreTranslateTree(HWND top, MSG* message)
{
    for (HWND window = message->hwnd; window; window = ::GetParent(window)) {
        CWnd* object = FromHandlePermanent(window);
        if (object && object->PreTranslateMessage(message))
            return TRUE;
        if (window == top)
            break;
    }
    return FALSE;
}
