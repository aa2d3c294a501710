#include "app/AboutDialog.h"

#include "app/ProgramInfo.h"

namespace
{

constexpr char kBuildPlaceholder[] = "{BUILD}";

CString RunningProgramPath()
{
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return CString("");
    return CString(path);
}

// Binds the object to the dialog's item; false without the item.
bool BindItem(CWindow& object, HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr && object.Attach(item, false);
}

} // namespace

CString ReplaceBuildPlaceholder(const CString& text, const CString& version)
{
    int at = text.Find(kBuildPlaceholder);
    if (at < 0)
        return text;
    CString result = text.Left(at);
    result += version;
    result += static_cast<const char*>(text) + at + (sizeof(kBuildPlaceholder) - 1);
    return result;
}

AboutDialog::AboutDialog(const char* programPath)
    : m_programPath(programPath != nullptr ? CString(programPath) : RunningProgramPath())
{
}

AboutDialog::~AboutDialog() = default;

LRESULT AboutDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    InitSkin();
    BindSkinButton(m_ok, IDOK, Text("DL_N_101_95", "OK"));
    BindItem(m_group, m_hWnd, IDC_ABOUT_GROUP);
    if (BindItem(m_aboutText, m_hWnd, IDC_ABOUT_TEXT))
    {
        char text[1024] = "";
        GetWindowTextA(m_aboutText.GetHwnd(), text, sizeof(text));
        m_aboutText.SetWindowText(
            ReplaceBuildPlaceholder(CString(text), GetFileVersionString(m_programPath)));
    }
    if (BindItem(m_label, m_hWnd, IDC_ABOUT_LABEL))
        m_label.SetWindowText("");
    if (BindItem(m_warning, m_hWnd, IDC_ABOUT_WARNING))
        // One literal: the shipped-data check reads key and text as a pair.
        m_warning.SetWindowText(Text("DL_N_101_331", "This program is protected by copyright law and international treaties. Unauthorised copying or distribution of this program, or of any part of it, is prohibited."));
    return CDialog::OnInitDialog(initParam, focus);
}
