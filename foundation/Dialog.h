// CDialog: a dialog template turned into a framework window object, run
// modeless (CDialog::Create, for pages inside another dialog) or modally
// (CDialog::DoModal) in the framework's own message loop.
//
// The modal loop is the only message loop of the main program and of the
// chooser. It offers each message to the target's PreTranslateMessage (so
// that IsDialogMessageA does keyboard navigation), dispatches the rest, and
// after every message deletes the temporary wrappers made for foreign
// handles (GDI objects and device contexts, menus, windows, in this order).
// A quit message posted with PostQuitMessage while the loop runs is dropped;
// a WM_QUIT posted to a window ends the run and is posted again for the
// thread.
//
// A modal run goes: created (WM_INITDIALOG ran), looping, ended (EndDialog,
// or OK / Cancel accepted), destroyed. A run ended during WM_INITDIALOG
// returns without showing the dialog; the window is destroyed in every case
// before DoModal returns, so the same object can run again.
#ifndef BRINDLEWOX_FOUNDATION_DIALOG_H
#define BRINDLEWOX_FOUNDATION_DIALOG_H

#include "foundation/Base.h"
#include "foundation/Window.h"

// The font of an in-memory dialog template.
struct DialogFontDescription
{
    WORD pointSize;
    WORD weight;
    BYTE italic;
    BYTE charSet;
    const char* faceName;
};

// An in-memory dialog without items, for CDialog::RunModal. Position and
// size are in dialog units; the title and font are optional.
struct DialogTemplateDescription
{
    const char* title;
    DWORD style;
    DWORD exStyle;
    short x;
    short y;
    short width;
    short height;
    const DialogFontDescription* font;
};

class CDialog : public CWindow
{
public:
    CDialog();
    ~CDialog() override;

    // IDOK runs OnOK and IDCANCEL OnCancel; when that accepts and the dialog
    // runs modally, the run ends with result 1 or 2. Returns 0 for these
    // two ids, NotHandled for every other.
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;
    // WM_INITDIALOG: OnInitDialog, then the dialog's font for every child
    // that has none, then OnAfterInitDialog; returns OnInitDialog's value.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Whether OK / Cancel may end the dialog: 1 accepts.
    virtual BOOL OnOK();
    virtual BOOL OnCancel();
    // The dialog procedure's answer to WM_INITDIALOG: by default the modal
    // flag, so that the system sets the focus of a modal dialog only.
    virtual LRESULT OnInitDialog(LPARAM initParam, HWND focus);
    virtual void OnAfterInitDialog();

    // A modeless dialog from a template of the module (the parent's live
    // window is its parent); false when it could not be made or the object
    // already has a window.
    bool Create(CWindow* parent, const char* templateName);
    bool Create(CWindow* parent, UINT templateId);
    // Runs the template modally without a parent and gives the focus back
    // to the window that had it. The run's result: 1 OK, 2 Cancel, the
    // value given to EndDialog, or -1 when the dialog could not be made.
    int DoModal(UINT templateId);
    // The modal run (see Dialog.cpp); with a description the template is
    // built in memory and templateName is not used. While it runs, a parent
    // that was enabled is disabled. -1 at once for an object that still has
    // a window.
    int RunModal(CWindow* parent, const char* templateName,
                 const DialogTemplateDescription* description);
    // Ends the modal run with the result; false, and nothing changed,
    // without a live window. The window goes when the loop has ended.
    bool EndDialog(int result);

    bool IsModal() const { return m_modal != 0; }
    bool IsInModalRun() const { return m_inModalRun != 0; }
    int GetResult() const { return m_result; }

protected:
    int m_modal = 0;
    int m_inModalRun = 0;
    int m_loop = 0;
    int m_result = -1;

private:
    // Offers the message to the object of its window (or of the window's
    // parent, for a child of this dialog) and dispatches it unless that
    // consumed it.
    void RouteMessage(MSG& message);
};

#endif
