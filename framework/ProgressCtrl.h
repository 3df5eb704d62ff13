// CProgressCtrl: a progress bar bound by id (DDX_Control).
#pragma once

#include "framework/Wnd.h"

class CProgressCtrl : public CWnd {
    QV_DECLARE_RUNTIME_CLASS(CProgressCtrl)
public:
    void SetRange(short lower, short upper);
    // Returns the previous position.
    int SetPos(int position);
    int GetPos();
};
