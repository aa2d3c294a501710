#include "app/DialogSkin.h"

#include "foundation/Dc.h"
#include "skin/SkinButton.h"

CSkinnedDialog::CSkinnedDialog()
    : m_files(CSkinFiles::FirstRunDefaults | CSkinFiles::WithLanguage)
{
    m_background.Load(m_files.GetImagePath("DIALOG", "dialog.png"), PICTURE_DETECT);
}

CSkinnedDialog::~CSkinnedDialog() = default;

CString CSkinnedDialog::Text(const char* key, const char* english)
{
    return m_files.GetText(key, english);
}

void CSkinnedDialog::InitSkin()
{
    SetWindowText(kProgramTitle);
    CRect client = GetClientRect();
    if (m_background.IsValid() && client.Width() > 0 && client.Height() > 0 &&
        m_background.Resample(client.Width(), client.Height(), INTERPOLATE_BICUBIC,
                              OVERFLOW_REPEAT))
        m_backgroundBitmap.Attach(m_background.MakeBitmap(), true);
}

bool CSkinnedDialog::BindSkinButton(CSkinButton& button, int id, const CString& text)
{
    HWND item = GetDlgItem(m_hWnd, id);
    if (item == nullptr || !button.Attach(item, false))
        return false;
    button.LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
    button.SetWindowText(text);
    return true;
}

void CSkinnedDialog::PaintBackground(CDC& dc, const CRect& client)
{
    HBITMAP bitmap = m_backgroundBitmap.GetSafeHandle();
    if (bitmap != nullptr &&
        dc.DrawState(CPoint(0, 0), CSize(client.Width(), client.Height()), bitmap, DSS_NORMAL))
        return;
    FillRect(dc.GetSafeHdc(), client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

LRESULT CSkinnedDialog::OnEraseBkgnd(CDC* dc)
{
    if (dc == nullptr)
        return 1;
    PaintBackground(*dc, GetClientRect());
    return 1;
}

LRESULT CSkinnedDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A press anywhere moves the window: the templates have no caption.
    if (message == WM_LBUTTONDOWN)
        SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    return CDialog::WindowProc(message, wParam, lParam);
}
