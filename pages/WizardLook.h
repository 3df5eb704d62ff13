// The wizard's look, shared by the frame and its pages: every wizard window
// paints its controls on this colour and ignores the Escape key.
#pragma once

#include <windows.h>

const COLORREF kWizardBackground = RGB(237, 242, 255);

// True for the key press that the wizard's windows swallow.
inline bool IsEscapeKeyDown(const MSG* message)
{
    return message && message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE;
}
