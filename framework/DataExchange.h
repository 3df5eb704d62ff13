// Dialog data exchange: DoDataExchange binds the dialog's controls to control
// objects through DDX_Control.
#pragma once

#include <windows.h>

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

// Attaches `control` to the dialog's control `id` the first time; later calls
// leave it bound. Returns false when the dialog has no such control.
bool DDX_Control(CDataExchange* dx, int id, CWnd& control);
