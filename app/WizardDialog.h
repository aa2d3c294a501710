// The pages of the main window: WizardDialog, a modeless child dialog on a
// white ground that owns no logic and hands every command and notification
// of its controls to the main window; the table of pages (number, template,
// left-bar button); and the rule that shows one page and hides the rest.
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

// The pages by number. 5 and 8 are never made.
constexpr int kPageNumberCount = 11;
constexpr int kPageCount = 9;

struct PageInfo
{
    int number;
    UINT templateId;
    // The left-bar button that stands for the page.
    UINT menuButton;
};
// The nine pages in the order they are made: 0, 1, 2, 3, 4, 6, 7, 9, 10.
extern const PageInfo kPages[kPageCount];
// The entry of a page number; null for 5, 8 and numbers out of range.
const PageInfo* FindPage(int number);

// Shows the page of number `shown` and hides every other of the array
// (indexed by page number; null entries are skipped, as a show function of
// a page without a window does nothing). When the focus was inside a page
// that is now hidden, it moves to the first tab stop of the shown page, or
// to `fallbackFocus` when the shown page has none (Wine's IsDialogMessage
// can loop for ever over a focus left in a hidden window). Nothing at all
// when `busy`: while a run lasts the page it started on stays. True when the
// pages were switched.
bool ShowOnlyPage(HWND const (&pages)[kPageNumberCount], int shown, bool busy, HWND fallbackFocus);

// Registers the window class of the pages' lists and progress bar
// (BRINDLEWOX_PANEL_CLASS, resources/MainPages.h) with the module: a plain
// window of DefWindowProcA that gets double clicks, for the self-drawn
// controls to subclass. Call before any page is made; true when the class
// exists afterwards (registered now or before).
bool RegisterPanelClass(HINSTANCE instance);

#endif
