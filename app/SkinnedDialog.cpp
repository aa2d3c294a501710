#include "app/SkinnedDialog.h"

#include "app/ProgramTexts.h"
#include "foundation/Dc.h"
#include "skin/SkinButton.h"
#include "skin/SkinPaint.h"

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
    SetWindowText(kMainWindowTitle);
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
    if (bitmap != nullptr && dc.DrawState(CPoint(client.left, client.top),
                                          CSize(client.Width(), client.Height()), bitmap,
                                          DSS_NORMAL))
        return;
    FillRect(dc.GetSafeHdc(), client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void CSkinnedDialog::PaintBackgroundUnder(CDC& dc, HWND child)
{
    // The child's origin in the dialog's client area: the dialog's client
    // area starts that far up and left in the child's context.
    POINT origin = {0, 0};
    MapWindowPoints(child, m_hWnd, &origin, 1);
    CRect client = GetClientRect();
    PaintBackground(dc, CRect(client.left - origin.x, client.top - origin.y,
                              client.right - origin.x, client.bottom - origin.y));
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

CDialogText::CDialogText(CSkinnedDialog& dialog) : m_dialog(dialog)
{
    SetBackgroundColor(CLR_NONE);
}

LRESULT CDialogText::OnPaint(CDC* dc)
{
    return PaintIntoOrOwnCycle(m_hWnd, dc,
                               [this](CDC& target)
                               {
                                   m_dialog.PaintBackgroundUnder(target, m_hWnd);
                                   DrawStaticText(target);
                               });
}
