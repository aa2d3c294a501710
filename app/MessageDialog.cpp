#include "app/MessageDialog.h"

MessageDialog::MessageDialog(const char* text) : m_message(text != nullptr ? text : "") {}

MessageDialog::~MessageDialog() = default;

LRESULT MessageDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    InitSkin();
    BindButtons();
    HWND text = GetDlgItem(m_hWnd, IDC_MESSAGE_TEXT);
    if (text != nullptr && m_text.Attach(text, false))
        m_text.SetWindowText(m_message);
    return CDialog::OnInitDialog(initParam, focus);
}

void MessageDialog::BindButtons()
{
    BindSkinButton(m_ok, IDOK, Text("DL_N_101_126", "OK"));
}

MessageDialogOkCancel::MessageDialogOkCancel(const char* text) : MessageDialog(text) {}

MessageDialogOkCancel::~MessageDialogOkCancel() = default;

void MessageDialogOkCancel::BindButtons()
{
    MessageDialog::BindButtons();
    BindSkinButton(m_close, IDCANCEL, Text("DL_N_101_122", "Close"));
}

int ShowMessage(const char* text, UINT templateId)
{
    MessageDialog dialog(text);
    return dialog.DoModal(templateId);
}

bool AskOkCancel(const char* text)
{
    MessageDialogOkCancel dialog(text);
    return dialog.DoModal(IDD_MESSAGE_OKCANCEL) == IDOK;
}
