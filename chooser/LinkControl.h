// CLinkControl: a button drawn as a hyperlink. Clicking it hands its target
// (a file, folder or address) to the shell; the text is underlined, blue,
// red while the pointer is over it and purple once visited, and the pointer
// becomes the framework's pointing hand over it.
#ifndef BRINDLEWOX_CHOOSER_LINKCONTROL_H
#define BRINDLEWOX_CHOOSER_LINKCONTROL_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Gdi.h"
#include "foundation/Geometry.h"
#include "foundation/String.h"

#include <shellapi.h>

class CLinkControl : public CHotButton
{
public:
    // COLORREFs (0x00BBGGRR): blue, purple and red.
    static constexpr COLORREF NormalColor = 0xFF0000;
    static constexpr COLORREF VisitedColor = 0x800080;
    static constexpr COLORREF HoverColor = 0x0000FF;

    // The shell call a click makes; ShellExecuteA unless a test puts its own.
    using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

    CLinkControl();

    // WM_SETCURSOR over the client area sets the hand and answers 0;
    // WM_SETFONT makes the link font an underlined copy of the new font
    // (the button then keeps its own copy); WM_PRINTCLIENT paints into the
    // given context (PRF_ERASEBKGND, PRF_CLIENT) and answers 0.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnPaint(CDC* dc) override;
    // With a target: the shell opens it (no verb, no parameters, the current
    // folder as working folder, SW_SHOWNORMAL), and the link is visited from
    // now on. Without one nothing happens.
    void OnClicked() override;
    using CHotButton::OnClicked;
    // The target as the tooltip's text (1); 0 and nothing set without one.
    int GetToolTipText(NMTTDISPINFOA* info) override;

    // Sets the target, with a tooltip showing it when it is not empty and
    // none when it is.
    void SetTarget(const char* target);
    const CString& GetTarget() const { return m_target; }
    // The colour the text is drawn in now: hover while hot, else visited
    // once visited, else normal.
    COLORREF GetLinkColor() const;
    bool IsVisited() const { return m_visited != 0; }
    HFONT GetLinkFont() const { return m_linkFont.GetSafeHandle(); }
    // An image list whose first icon is drawn before the text; owned.
    CImageList& GetImageList() { return m_imageList; }
    // Adds the size of the text in the link font (and of the icon, when
    // there is an image list) to `size`.
    void GetPreferredSize(CSize& size);

    void SetShellExecute(ShellExecuteFunction function) { m_shellExecute = function; }

private:
    // The text drawn: the window's text, or the target when it has none.
    CString GetLinkText() const;
    void Draw(HDC dc);

    CFont m_linkFont;
    CString m_target;
    COLORREF m_normalColor = NormalColor;
    COLORREF m_visitedColor = VisitedColor;
    COLORREF m_hoverColor = HoverColor;
    // Not owned: the module state's pointing hand.
    HCURSOR m_hCursor = nullptr;
    int m_visited = 0;
    CImageList m_imageList;
    ShellExecuteFunction m_shellExecute = ::ShellExecuteA;
};

#endif
