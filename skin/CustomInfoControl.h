// CCustomInfoControl: a static control that draws its window text as
// several lines with inline formatting (bold, italic and underline runs,
// text and background colours, per-line alignment; the format is in
// InfoText.h) and measures the space such a text needs, so that its owner
// can size a window to fit. The body of every balloon (CSkinBalloonHelp).
//
// Each style combination gets its own font, made from the control's font
// the first time it is drawn and kept until the control goes.
#ifndef BRINDLEWOX_SKIN_CUSTOMINFOCONTROL_H
#define BRINDLEWOX_SKIN_CUSTOMINFOCONTROL_H

#include "foundation/Array.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"

class CCustomInfoControl : public CStatic
{
public:
    CCustomInfoControl();
    // Deletes every style font.
    ~CCustomInfoControl() override;

    // With no DC: BeginPaint and EndPaint around the painting; with one:
    // painting into it. Double-buffered: the background colour, then the
    // window text (inset by 2 with SS_SUNKEN).
    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    // WM_PRINTCLIENT: WM_ERASEBKGND and WM_PAINT with its DC, by its flags.
    // WM_SETTEXT: the text, then a repaint.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Adds to the size: 4 × SM_CXEDGE and 4 × SM_CYEDGE with SS_SUNKEN,
    // then the window text's width and height (nothing for an empty text),
    // measured on a window DC. True.
    bool GetWindowSize(CSize& size) override;

    // (lines × height of " " in the control's font) + 4; null means the
    // window text.
    int GetTextHeight(CDC& dc, const char* text);
    // The widest line in the fonts its commands select, + 4; null means the
    // window text. The DC's state is kept.
    int GetTextWidth(CDC& dc, const char* text);
    // Draws the text into the rectangle of the DC (InfoText.h's layout);
    // the DC's state is kept.
    void DrawInfoText(CDC& dc, const char* text, const RECT& rect);

    COLORREF GetBackgroundColor() const { return m_background; }
    void SetBackgroundColor(COLORREF color);
    void SetVerticalCentre(bool centre) { m_verticalCentre = centre ? 1 : 0; }

    // The style fonts made so far.
    int GetStyleFontCount() const { return m_styleFonts.GetSize(); }

private:
    friend class CInfoControlSurface;

    struct FontData
    {
        HFONT font;
        DWORD style;
    };

    // Double-buffered: the background, then the text.
    void Paint(CDC& target);
    // The control's own font (WM_GETFONT), else DEFAULT_GUI_FONT.
    HFONT QueryBaseFont() const;
    // Makes the font of the style bits current and selects it: the base
    // font for none, else the kept font of that style, made when missing
    // from the LOGFONT of the font in the DC. False (nothing changed) when
    // it cannot be made.
    bool SelectStyleFont(HDC dc, DWORD style);
    CString GetText() const;
    // The text, or for null the window text (kept in the holder).
    const char* TextOrWindowText(const char* text, CString& holder) const;

    CArray<FontData> m_styleFonts;
    // Not owned: the base font or one of the style fonts.
    HFONT m_currentFont = nullptr;
    // Not owned: the control's font, refreshed at every drawing.
    HFONT m_baseFont = nullptr;
    COLORREF m_background;
    int m_verticalCentre = 1;
};

#endif
