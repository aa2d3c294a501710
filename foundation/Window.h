// CWindow: the framework object bound to one window handle, and the one
// window procedure through which every framework window and dialog runs.
//
// There is no message map: CWindow::WindowProcedure turns messages into calls
// of the virtual handlers below, in a fixed switch. Application classes
// derive from CWindow (directly, through CDialog or through a control) and
// override the handlers they need.
//
// Handler results: CWindow::NotHandled (-1) means "not handled" and sends the
// message on to WindowProc, the fallback (the procedure the window had before
// it was subclassed, else the system default); any other value is the
// message's result. OnCreate is the exception: -2 is "not handled" and -1
// makes the creation fail.
//
// Reflection: WM_COMMAND, WM_NOTIFY, WM_DRAWITEM and WM_MEASUREITEM from a
// control are offered first to the control's own object (the OnReflected*
// and OnChildNotify handlers) with a pass-on flag set to 1. A result other
// than -1 becomes the message result; in a dialog it is stored as
// DWLP_MSGRESULT and the dialog procedure returns 1. A handler that clears
// the pass-on flag keeps the parent's own handler from running. In a dialog,
// a value other than -1 and 0 from the dialog's own OnNotify is its answer
// to the notification (stored as DWLP_MSGRESULT unless the handler stored a
// non-zero answer there itself).
//
// Objects and handles: every CWindow links itself into the window list when
// constructed. A window is bound to its object by CreateEx, by Attach, or by
// the procedure itself at WM_NCCREATE / WM_INITDIALOG (only for an object
// found in the window list: a create parameter that is not a live object is
// never followed). Foreign windows get temporary wrappers (FromHandle) that
// subclass them until the modal loop deletes the wrappers after the current
// message.
//
// Destruction: deleting an object that owns a live window destroys the
// window; deleting one that only subclassed a window puts the window's own
// procedure back. When the window is destroyed by ~CWindow, its WM_DESTROY
// and WM_NCDESTROY reach only CWindow's handlers (the derived parts are gone
// by then): a class that needs its own OnDestroy must destroy its window in
// its own destructor.
//
// Everything here runs on the thread that owns the windows; there are no
// locks. Worker threads never touch window objects: they post messages.
#ifndef BRINDLEWOX_FOUNDATION_WINDOW_H
#define BRINDLEWOX_FOUNDATION_WINDOW_H

#include "foundation/Base.h"
#include "foundation/Geometry.h"
#include "foundation/Node.h"

class CDC;

class CWindow : public CNode
{
public:
    static constexpr LRESULT NotHandled = -1;
    // OnCreate's "not handled".
    static constexpr LRESULT CreateNotHandled = -2;

    // Owns the window it will get; every other field 0. Also clears the
    // current menu (see GetCurrentMenu).
    CWindow();
    ~CWindow() override;

    // Runs just before the framework procedure replaces another procedure.
    virtual void PreSubclassWindow();
    // Sets the class name to "CWindowClass" when none is given; false stops
    // the creation.
    virtual bool PreCreateWindow(CREATESTRUCTA& create);
    // A live window: destroyed when owned, else its own procedure is put
    // back and the object lets go of it. False when there is no live window.
    virtual bool Destroy();
    // After WM_NCDESTROY, for objects of the window list: clears the dialog
    // flag, the handle and the previous procedure. A class may delete its
    // object here; the framework does not touch it afterwards.
    virtual LRESULT OnNcDestroy();
    // A dialog: IsDialogMessageA on its own window; any other window:
    // IsDialogMessageA on its parent (false when it has none). True when
    // the message was consumed.
    virtual bool PreTranslateMessage(MSG* message);
    virtual LRESULT OnCommand(UINT code, UINT id, HWND control);
    virtual LRESULT OnReflectedCommand(UINT code, int& passOn);
    virtual LRESULT OnNotify(NMHDR* header);
    virtual LRESULT OnChildNotify(NMHDR* header, int& passOn);
    // The device context of WM_PAINT's wParam, or null.
    virtual LRESULT OnPaint(CDC* dc);
    virtual LRESULT OnEraseBkgnd(CDC* dc);
    // The words of lParam, unsigned: a negative position arrives wrapped.
    virtual LRESULT OnSize(UINT type, WORD width, WORD height);
    virtual LRESULT OnMove(WORD x, WORD y);
    virtual LRESULT OnDestroy();
    virtual LRESULT OnClose();
    virtual LRESULT OnMeasureItem(UINT id, MEASUREITEMSTRUCT* item);
    virtual LRESULT OnDrawItem(UINT id, DRAWITEMSTRUCT* item);
    virtual LRESULT OnReflectedMeasureItem(UINT id, MEASUREITEMSTRUCT* item, int& passOn);
    virtual LRESULT OnReflectedDrawItem(UINT id, DRAWITEMSTRUCT* item, int& passOn);
    // CreateNotHandled (-2) by default; -1 makes the creation fail.
    virtual LRESULT OnCreate(CREATESTRUCTA* create);
    // The fallback: the saved previous procedure (CallWindowProcA), else 0
    // for a dialog, DefFrameProcA for an MDI frame, DefWindowProcA for any
    // other window.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The outer size of the window; false (size untouched) without one.
    virtual bool GetWindowSize(CSize& size);

    // Binds the object to a window. With owns set it fails when an object of
    // either window list already holds the handle. It also fails, changing
    // nothing, when this object already has a live window. A handle whose
    // class name cannot be read leaves the object without a window (false).
    // The framework procedure is put into the window's procedure slot (the
    // dialog-procedure slot for class "#32770") unless it is already there;
    // PreSubclassWindow runs first.
    bool Attach(HWND window, bool owns);
    // Lets go of the window without destroying it (its own procedure is put
    // back); returns the handle.
    HWND Detach();
    // Creates the window with this object as its create parameter; false
    // when the object already has a live window, PreCreateWindow refuses or
    // the system fails. A window of a foreign class is subclassed.
    bool CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x,
                  int y, int width, int height, HWND parent, HMENU menuOrId);
    bool Create(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                const RECT& rect, HWND parent, HMENU menuOrId);

    // The object of a live window: from the window list, else the temporary
    // list, else a new temporary wrapper that subclasses the window until
    // the modal loop deletes it. Null for null or a handle that is not a
    // window.
    static CWindow* FromHandle(HWND window);
    // Deletes every temporary wrapper; each gives its window its procedure
    // back.
    static void DestroyTemporaryWindows();
    // Sends WM_CLOSE to every window whose object asked for it
    // (SetCloseOnRequest). The handles are collected first and each is
    // checked to be alive before its message, so a receiver may delete any
    // objects, itself included.
    static void CloseMarkedWindows();

    // The handle when it is a live window, else null.
    HWND GetSafeHwnd() const;
    // The handle as stored.
    HWND GetHwnd() const { return m_hWnd; }
    bool IsDialog() const { return m_isDialog != 0; }
    bool OwnsWindow() const { return m_ownsWindow != 0; }
    void SetCloseOnRequest(bool close) { m_closeOnRequest = close ? 1 : 0; }

    // GWL_STYLE becomes (style without remove) | add | add2.
    void ModifyStyle(DWORD remove, DWORD add, DWORD add2 = 0);
    // The text, or the string resource when the argument is an id below
    // 65,536.
    BOOL SetWindowText(const char* textOrId);
    // Attach without owning, then SetWindowPos with SWP_FRAMECHANGED so that
    // the non-client area is computed again.
    bool SubclassAndUpdateFrame(HWND window);
    // The client area; all zero for a handle the system rejects.
    CRect GetClientRect() const;
    // The window rectangle in screen coordinates; all zero without a window.
    CRect GetWindowBounds() const;
    // Moves a top-level window (size and Z order kept, not activated) to the
    // centre of the other window, or of the work area of the monitor nearest
    // to it when none is given, then keeps it inside that work area.
    BOOL CenterWindow(HWND other = nullptr);
    // AnimateWindow of user32, bound by name once; 0 when it does not exist.
    BOOL AnimateWindow(DWORD time, DWORD flags);
    // WM_QUERYUISTATE on NT 5 and later, else 0.
    LRESULT QueryUIState();
    BOOL MoveWindow(const RECT& rect, BOOL repaint);

    // The procedure registered with every framework class and used as the
    // dialog procedure of every framework dialog.
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    // The menu whose loop is running: set by WM_INITMENU, cleared by
    // WM_EXITMENULOOP and by every CWindow constructor (so a window made
    // while a menu is open loses the owner-drawn routing of that menu).
    static HMENU GetCurrentMenu();
    static void SetCurrentMenu(HMENU menu);

protected:
    // Puts the saved procedure back into the window, when there is one.
    void RestoreProcedure();

    int m_isMdiFrame = 0;
    int m_isDialog = 0;
    int m_ownsWindow = 1;
    int m_closeOnRequest = 0;
    HWND m_hWnd = nullptr;
    WNDPROC m_prevProc = nullptr;
    // Set by MDI frame classes: the MDI client window of DefFrameProcA.
    HWND m_hMdiClient = nullptr;

private:
    // Where a message goes after its handlers (Dispatch's steps).
    enum class Then
    {
        // The fallback when the result is NotHandled, then the clean-up
        // after WM_NCDESTROY.
        Fallback,
        // The result is the message's as it stands.
        Return,
        // A handler deleted the object: the default without one answers.
        ObjectGone,
    };
    struct Outcome
    {
        Then then;
        LRESULT result;
    };

    // WindowProcedure's work: finds the object (ObjectOfMessage), hands the
    // message to its handlers (HandleMessage), falls back to WindowProc when
    // they leave it unhandled, and lets go of the window after WM_NCDESTROY.
    static LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The object of the window, bound at WM_NCCREATE or WM_INITDIALOG; null
    // when it has none.
    static CWindow* ObjectOfMessage(HWND window, UINT message, LPARAM lParam);
    // The message's handlers; the three below offer WM_COMMAND, WM_NOTIFY
    // and WM_DRAWITEM / WM_MEASUREITEM to the control (or the menu object)
    // first, then to this window's own handler.
    Outcome HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    Outcome HandleCommand(WPARAM wParam, LPARAM lParam);
    Outcome HandleNotify(HWND window, LPARAM lParam);
    Outcome HandleItem(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // WM_INITMENU to WM_EXITMENULOOP, to the current menu's object: the
    // first sets the current menu, the last clears it.
    void RouteMenuLoop(UINT message, WPARAM wParam, LPARAM lParam);
    // After WM_NCDESTROY: the window's own procedure back, the handle and
    // the procedure forgotten, and OnNcDestroy for an object of the window
    // list.
    void LetGoAfterNcDestroy(HWND window);
    // A handled result of a control's reflected handler as the message
    // result of this window (DWLP_MSGRESULT and 1 for a dialog).
    LRESULT ReflectedResult(LRESULT result);
};

// The child-window enumeration callback that sends the message given as its
// parameter (wParam and lParam 0) to each child.
BOOL CALLBACK SendMessageToChildProc(HWND child, LPARAM message);

// CWindow::CenterWindow for any window handle, also one without an object
// (the common dialogs' own windows, which the framework does not subclass).
BOOL CenterWindowOver(HWND window, HWND other);

// Where a window of the given size lands when it is centred on `centreOn`
// and then kept inside the work area: x is lowered so that the right edge
// does not pass the work area's right edge, then raised to at least its left
// edge; y the same with bottom and top.
CPoint CenteredWindowPosition(const RECT& window, const RECT& centreOn, const RECT& workArea);

#endif
