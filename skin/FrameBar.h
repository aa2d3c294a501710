// Two small self-drawn controls of the main window, bound to existing dialog
// items (Attach(item, false)) and painted double-buffered:
//
// CFrameBar, a one-line value field: an optional 16 × 16 icon, a solid or
// gradient background and a two-pixel frame in the skin's frame colours; a
// text that does not fit is shortened as a path (PathCompactPathA) or with a
// trailing "...", and then a tooltip shows it whole. It can be laid out
// vertically with text turned by 90 degrees.
//
// CProgressBar, the backup run's bar: a double one-pixel frame filled in
// COLOR_FRAME_3 in proportion to the position.
//
// Threads: the backup worker updates these controls while the
// user-interface thread may be waiting for it. SetPos and SetWindowText
// called off the window's thread therefore never wait for that thread: the
// bar is only invalidated, and the text is handed over by a posted message.
#ifndef BRINDLEWOX_SKIN_FRAMEBAR_H
#define BRINDLEWOX_SKIN_FRAMEBAR_H

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/String.h"
#include "foundation/Sync.h"
#include "foundation/Window.h"

#include <atomic>

class CFrameBar : public CWindow
{
public:
    // Fonts from the system caption font (empty when it cannot be read),
    // the caption colours, and COLOR_FRAME_1 / COLOR_FRAME_2 of the skin
    // file.
    CFrameBar();
    // Destroys the icon and the tooltip.
    ~CFrameBar() override;

    // Binding to a dialog item, or creating the window, makes the tooltip.
    void PreSubclassWindow() override;
    LRESULT OnCreate(CREATESTRUCTA* create) override;
    // TTN_NEEDTEXTA of the tooltip: the whole text while the shown one is
    // cut, else nothing (no tip).
    LRESULT OnNotify(NMHDR* header) override;
    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    // WM_SETTEXT repaints; WM_SETFONT takes a copy of the font (also turned
    // for the vertical layout; a null font keeps the fonts); WM_GETFONT
    // answers the font of the layout; WM_PRINTCLIENT paints into its DC.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The preferred size: 18 × 18 with an icon, else the caption height
    // across; then the text's extent along the layout plus 4.
    bool GetWindowSize(CSize& size) override;

    // On the window's thread: CWindow::SetWindowText. Off it: the text is
    // kept and the window's thread sets it when it next reads its messages.
    BOOL SetWindowText(const char* text);

    // Owned from now on (the one before is destroyed).
    void SetIcon(HICON icon);
    void SetTextColor(COLORREF color) { m_textColor = color; }
    void SetBackgroundColor(COLORREF color) { m_backgroundColor = color; }
    void SetGradientEndColor(COLORREF color) { m_gradientEndColor = color; }
    void SetGradient(bool gradient) { m_gradient = gradient ? 1 : 0; }
    void SetVertical(bool vertical) { m_vertical = vertical ? 1 : 0; }
    void SetPathCompaction(bool path) { m_pathCompaction = path ? 1 : 0; }
    void SetIconAtEnd(bool atEnd) { m_iconAtEnd = atEnd ? 1 : 0; }
    void SetFrame(bool frame) { m_frame = frame ? 1 : 0; }

    // Set by painting when the text had to be shortened (or had no room).
    bool IsTextCut() const { return m_textCut != 0; }
    // The text of the last painting, shortened as it was drawn.
    const CString& GetShownText() const { return m_shownText; }
    HWND GetToolTip() const { return m_hToolTip; }
    HFONT GetTextFont() const { return m_textFont.GetSafeHandle(); }
    HFONT GetVerticalFont() const { return m_verticalFont.GetSafeHandle(); }
    COLORREF GetFrameColor(int index) const { return m_frameColors[index]; }

protected:
    void Draw(CDC& dc);

private:
    // The horizontal and turned fonts from a LOGFONT.
    void MakeFonts(const LOGFONTA& logFont);
    void MakeToolTip();
    // The text of the last call off the window's thread, set now.
    void ApplyPendingText();

    HICON m_hIcon = nullptr;
    HWND m_hToolTip = nullptr;
    CFont m_textFont;
    CFont m_verticalFont;
    // The whole text handed to the tooltip.
    CString m_toolTipText;
    CString m_shownText;
    COLORREF m_textColor;
    COLORREF m_backgroundColor;
    COLORREF m_gradientEndColor;
    int m_gradient = 0;
    int m_vertical = 0;
    int m_textCut = 0;
    int m_pathCompaction = 0;
    int m_iconAtEnd = 1;
    int m_frame = 1;
    // Outer and inner frame.
    COLORREF m_frameColors[2];

    CCriticalSection m_pendingLock;
    CString m_pendingText;
    bool m_hasPendingText = false;
};

class CProgressBar : public CWindow
{
public:
    // The frame and fill colours of the skin file; the first reader of a
    // fresh profile, so it writes the first-run defaults.
    CProgressBar();

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    // WM_PRINTCLIENT paints into its DC.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Only the upper bound takes part in the arithmetic; one of 0 or less
    // counts as 1.
    void SetRange(int lower, int upper);
    // Keeps the position, clamped to 0 … upper, and repaints: at once on
    // the window's thread, by invalidating only from any other.
    void SetPos(int position);
    int GetPos() const { return m_position; }
    int GetUpper() const { return m_upper; }

    // The bar's right edge for a bar from `left` over `width` pixels:
    // left + width × position / upper, in 64 bits.
    static int BarRight(int left, int width, int position, int upper);

protected:
    virtual void Draw(CDC& dc);

private:
    void Redraw();

    std::atomic<int> m_position{0};
    std::atomic<int> m_lower{0};
    std::atomic<int> m_upper{0};
    COLORREF m_frame1;
    COLORREF m_frame2;
    COLORREF m_frame3;
};

#endif
