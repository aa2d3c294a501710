// CSkinBalloonHelp: a speech-balloon popup beside a point of the screen. A
// rounded body with a tail pointing at the anchor (BalloonGeometry.h), an
// optional icon, a bold title, an optional close button, the content drawn
// by a CCustomInfoControl, an optional link opened on a click, and a
// time-out. Its background is the skin colour COLOR_BALLOON.
//
// Life: created → shown (the time-out running unless OptionDelayClose) →
// hidden by the time-out, WM_CLOSE, the close button, a link click or an
// activation (OptionHideOnActivate) → window destroyed → with
// OptionDeleteSelf (always for LaunchBalloon) the object deletes itself
// after WM_NCDESTROY. So nothing may touch a balloon after a call that can
// hide it, and a launched balloon is never held by its launcher.
//
// Fades: AnimateWindow is called from Show and Hide, never from inside
// WM_SHOWWINDOW, and under a guard: Wine 8's AnimateWindow is a stub that
// calls ShowWindow, whose WM_SHOWWINDOW would call it again without end.
// When it fails the window is shown or hidden plainly.
#ifndef BRINDLEWOX_SKIN_SKINBALLOONHELP_H
#define BRINDLEWOX_SKIN_SKINBALLOONHELP_H

#include "foundation/Controls.h"
#include "foundation/Gdi.h"
#include "skin/CustomInfoControl.h"

class CSkinBalloonHelp : public CWindow
{
public:
    // Close on left, middle, right button up: the balloon takes the mouse
    // capture when shown (if no window has it) and closes nothing.
    static constexpr DWORD OptionCloseOnLButtonUp = 0x0001;
    static constexpr DWORD OptionCloseOnMButtonUp = 0x0002;
    static constexpr DWORD OptionCloseOnRButtonUp = 0x0004;
    // 0x0008 to 0x0080 (close on button down, mouse move, key press) are
    // accepted without effect.
    // The first hide request restarts the time-out instead, and clears the
    // bits 0x0001 to 0x0100.
    static constexpr DWORD OptionDelayClose = 0x0100;
    static constexpr DWORD OptionDeleteSelf = 0x0200;
    static constexpr DWORD OptionShowCloseButton = 0x0400;
    static constexpr DWORD OptionInnerShadow = 0x0800;
    static constexpr DWORD OptionTopmost = 0x1000;
    // The plain window class, without the drop shadow.
    static constexpr DWORD OptionNoShadowClass = 0x2000;
    static constexpr DWORD OptionNoFadeIn = 0x4000;
    static constexpr DWORD OptionNoFadeOut = 0x8000;
    static constexpr DWORD OptionHideOnActivate = 0x10000;

    static constexpr UINT_PTR TimeoutTimer = 1;

    // Background COLOR_BALLOON of the skin file (255,255,255 when missing).
    CSkinBalloonHelp();
    // Destroys a window that is still there (without deleting the object a
    // second time).
    ~CSkinBalloonHelp() override;

    // Makes a balloon that deletes itself: with a non-zero icon id the icon
    // resource of that id (shared), scaled to the larger of the small-icon
    // size and the close button's; then Create with options | 0x200. A
    // balloon that cannot be created is deleted at once. True when it was
    // shown. The balloon is not returned: it may be gone at any message.
    static bool LaunchBalloon(const char* title, const char* content, POINT anchorPoint,
                              UINT iconResourceId, DWORD options, HWND anchorWindow,
                              const char* link, UINT timeoutMs);

    // Stores the content, anchor, options, link, time-out and icon; makes
    // the fonts when missing; adds 0x4000 | 0x8000 when the system's
    // tooltip animation or fade is off; creates the popup (title as its
    // text, the anchor window as its owner) and the content control,
    // places it, takes the capture per the options and shows it. False,
    // with no window left, when anything fails.
    bool Create(const char* title, const char* content, POINT anchorPoint, DWORD options,
                HWND anchorWindow, const char* link, UINT timeoutMs, HICON icon);

    // Stores the time-out; with a window, timer 1 of that period, or none
    // for 0.
    void SetTimeout(UINT timeoutMs);
    // Shown without activation (faded in unless 0x4000); the time-out
    // starts unless 0x100.
    void Show();
    // With 0x100: clears 0x0001-0x0100 and restarts the time-out. Otherwise
    // hidden (faded out unless 0x8000), the capture given back, the window
    // destroyed: with 0x200 the object is gone when this returns.
    void Hide();

    // Client coordinates of the anchor window, or screen coordinates when
    // there is none; a null window keeps the one stored. Places the window
    // again when there is one.
    void SetAnchorPoint(POINT point, HWND anchorWindow = nullptr);

    // The icon's colour and mask bitmaps.
    bool SetIcon(HICON icon);
    // A bitmap with a mask colour.
    bool SetIconMasked(HBITMAP bitmap, COLORREF mask);
    // The icon drawn at its own size on the background colour, stretched to
    // width × height (HALFTONE) and masked with the background colour.
    bool SetIconScaled(HICON icon, int width, int height);

    // SM_CXSMSIZE × SM_CYSMSIZE with visual styles, else SM_CXSIZE ×
    // SM_CYSIZE.
    static CSize GetCloseButtonSize();

    DWORD GetOptions() const { return m_options; }
    COLORREF GetBackgroundColor() const { return m_background; }
    int GetQuadrant() const { return m_quadrant; }
    // The close button in client coordinates (empty without one).
    CRect GetCloseButtonRect() const;
    CCustomInfoControl& GetContent() { return m_content; }

    // Balloon objects alive in the process.
    static int GetLiveCount();

    // Deletes the object after its window is gone when 0x200 is set.
    LRESULT OnNcDestroy() override;
    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // The whole window on its window DC: background, the optional inner
    // shadow and the one-pixel outline of the region.
    virtual void DrawNonClient(HDC dc);
    virtual void DrawClient(HDC dc);
    // Measures the header (icon, close button, title) and draws it when
    // asked, in client coordinates.
    virtual void DrawHeader(CSize& size, HDC dc, bool draw);

private:
    bool CreateFonts();
    bool ReplaceIcons(HIMAGELIST images);
    // Sizes the content and the window, places it by the anchor, sets the
    // region.
    void Reposition();
    RECT GetScreenRect(POINT anchor);
    void DrawCloseButton(HDC dc);
    // Repaints the close button when its state (0 normal, 1 hot, 2
    // pressed) changes.
    void TrackCloseButton(POINT client);
    // Fade under the guard; false when no animation ran.
    bool Animate(DWORD flags);
    void ReleaseOwnCapture();

    CCustomInfoControl m_content;
    HTHEME m_hTheme = nullptr;
    DWORD m_options = 0;
    UINT m_timeout = 0;
    CString m_link;
    POINT m_anchor = {};
    CString m_contentText;
    HWND m_hAnchorWindow = nullptr;
    CImageList m_icons;
    CSize m_iconSize;
    CFont m_titleFont;
    CFont m_contentFont;
    CRect m_screenRect;
    CRgn m_region;
    // The inner shadow's shades (option 0x800), made with the window.
    CBrush m_lightBrush;
    CBrush m_darkBrush;
    // The close button's cross where the system cannot draw it.
    CPen m_crossPen;
    int m_quadrant = 0;
    // 0 normal, 1 hot, 2 pressed; and whether a press began on it.
    int m_closeState = 0;
    bool m_closePressed = false;
    bool m_animating = false;
    COLORREF m_background;
};

#endif
