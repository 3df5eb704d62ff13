// CStatic: a static control bound by id (DDX_Control); derived controls
// override WindowProc to take over its painting.
#pragma once

#include "framework/Wnd.h"

class CStatic : public CWnd {
    QV_DECLARE_RUNTIME_CLASS(CStatic)
};
