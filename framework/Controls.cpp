#include <windows.h>

#include <commctrl.h>

#include "framework/ProgressCtrl.h"
#include "framework/Static.h"

QV_IMPLEMENT_RUNTIME_CLASS(CStatic)
QV_IMPLEMENT_RUNTIME_CLASS(CProgressCtrl)

void CProgressCtrl::SetRange(short lower, short upper)
{
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

int CProgressCtrl::SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, position, 0)); }

int CProgressCtrl::GetPos() { return static_cast<int>(SendMessage(PBM_GETPOS, 0, 0)); }
