#include "app/WizardDialog.h"

#include "foundation/Dc.h"
#include "resources/MainPages.h"

WizardDialog::WizardDialog() : m_brush(RGB(255, 255, 255)) {}

WizardDialog::~WizardDialog()
{
    // The window goes before the brush that paints it.
    Destroy();
}

LRESULT WizardDialog::OnCommand(UINT code, UINT id, HWND control)
{
    CWindow* parent = CWindow::FromHandle(GetParent(m_hWnd));
    if (parent == nullptr)
        return NotHandled;
    return parent->OnCommand(code, id, control);
}

LRESULT WizardDialog::OnNotify(NMHDR* header)
{
    CWindow* parent = CWindow::FromHandle(GetParent(m_hWnd));
    if (parent == nullptr)
        return NotHandled;
    return parent->OnNotify(header);
}

LRESULT WizardDialog::OnEraseBkgnd(CDC* dc)
{
    if (dc != nullptr && dc->GetSafeHdc() != nullptr)
    {
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        FillRect(dc->GetSafeHdc(), &client, m_brush.GetSafeHandle());
    }
    return 1;
}

BOOL WizardDialog::OnOK()
{
    return TRUE;
}

// The left-bar buttons are items of template 101: Backup 248, the blank
// page's 250, Restore 251, Options 252, Startup 253, Uninstall 254, Support
// 256, Optimize 258.
const PageInfo kPages[kPageCount] = {
    {0, IDD_PAGE_BACKUP, 248},    {1, IDD_PAGE_BLANK, 250},     {2, IDD_PAGE_RESTORE, 251},
    {3, IDD_PAGE_OPTIONS, 252},   {4, IDD_PAGE_PROXY, 252},     {6, IDD_PAGE_STARTUP, 253},
    {7, IDD_PAGE_UNINSTALL, 254}, {9, IDD_PAGE_SUPPORT, 256},   {10, IDD_PAGE_OPTIMIZE, 258},
};

const PageInfo* FindPage(int number)
{
    for (const PageInfo& page : kPages)
    {
        if (page.number == number)
            return &page;
    }
    return nullptr;
}

bool ShowOnlyPage(HWND const (&pages)[kPageNumberCount], int shown, bool busy, HWND fallbackFocus)
{
    if (busy)
        return false;
    HWND focus = GetFocus();
    HWND focusPage = nullptr;
    for (int number = 0; number < kPageNumberCount; ++number)
    {
        HWND page = pages[number];
        if (page == nullptr || !IsWindow(page))
            continue;
        if (focus != nullptr && (focus == page || IsChild(page, focus)))
            focusPage = page;
        ShowWindow(page, number == shown ? SW_SHOW : SW_HIDE);
    }
    if (focusPage != nullptr && !IsWindowVisible(focusPage))
    {
        HWND target = nullptr;
        if (shown >= 0 && shown < kPageNumberCount && pages[shown] != nullptr)
            target = GetNextDlgTabItem(pages[shown], nullptr, FALSE);
        if (target == nullptr || !IsWindowVisible(target))
            target = fallbackFocus;
        SetFocus(target);
    }
    return true;
}

bool RegisterPanelClass(HINSTANCE instance)
{
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExA(instance, BRINDLEWOX_PANEL_CLASS, &existing))
        return true;
    WNDCLASSEXA panel = {};
    panel.cbSize = sizeof(panel);
    panel.style = CS_DBLCLKS;
    panel.lpfnWndProc = DefWindowProcA;
    panel.hInstance = instance;
    panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
    panel.lpszClassName = BRINDLEWOX_PANEL_CLASS;
    return RegisterClassExA(&panel) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
