#include "pages/ContractDlg.h"

#include <string>

#include "app/SetupDlg.h"
#include "framework/WinApp.h"
#include "res/resource.h"

namespace {

// String resource `id` in the code page of the thread's locale; empty when missing.
std::string LoadAnsiString(UINT id)
{
    const wchar_t* text = nullptr;
    // With a zero length LoadStringW hands out the resource's own text.
    int length = LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::string();
    int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string converted(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, &converted[0], bytes, nullptr, nullptr);
    return converted;
}

void EnableNext(BOOL enable)
{
    if (!g_setupFrame)
        return;
    if (CWnd* next = g_setupFrame->GetDlgItem(IDC_NEXT))
        next->EnableWindow(enable);
}

} // namespace

CContractDlg::CContractDlg() : CWizardPage(IDD_CONTRACT_PAGE) {}

BOOL CContractDlg::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    SetDlgItemTextA(m_hWnd, IDC_LICENCE_TEXT, LoadAnsiString(IDS_LICENCE_TEXT).c_str());
    SendDlgItemMessageA(m_hWnd, IDC_AGREE, BM_SETCHECK, BST_CHECKED, 0);
    return TRUE;
}

bool CContractDlg::OnCommand(UINT id, UINT code)
{
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_AGREE) {
        EnableNext(TRUE);
        return true;
    }
    if (id == IDC_DISAGREE) {
        EnableNext(FALSE);
        return true;
    }
    return false;
}
