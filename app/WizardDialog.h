// WizardDialog, the main window's page: a modeless child dialog on a white
// ground that owns no logic and hands every command and notification of its
// controls to the main window (the pages themselves: app/Page.h); and the
// window class of the pages' self-drawn controls.
#ifndef BRINDLEWOX_APP_WIZARDDIALOG_H
#define BRINDLEWOX_APP_WIZARDDIALOG_H

#include "foundation/Base.h"
#include "foundation/Dialog.h"
#include "foundation/Gdi.h"

class WizardDialog : public CDialog
{
public:
    // The white brush of the page's ground.
    WizardDialog();
    ~WizardDialog() override;

    // Passed on to the parent window's object (its OnCommand / OnNotify),
    // whose result is returned; NotHandled without a parent object.
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;
    LRESULT OnNotify(NMHDR* header) override;
    // Fills the client area with the page's brush; 1.
    LRESULT OnEraseBkgnd(CDC* dc) override;
    // A page never ends: 1 as CDialog's, but a modeless page has no run to
    // end (and its IDOK goes to the main window anyway).
    BOOL OnOK() override;

    HBRUSH GetBrush() const { return m_brush.GetSafeHandle(); }

private:
    CBrush m_brush;
};

// Registers the window class of the pages' lists and progress bar
// (BRINDLEWOX_PANEL_CLASS, resources/MainPages.h) with the module: a plain
// window of DefWindowProcA that gets double clicks, for the self-drawn
// controls to subclass. Call before any page is made; true when the class
// exists afterwards (registered now or before).
bool RegisterPanelClass(HINSTANCE instance);

#endif
