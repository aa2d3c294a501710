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
