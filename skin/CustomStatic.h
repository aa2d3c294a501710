// The owner-painted statics of the dialogs and the main window:
// CCustomStatic, a label in its own font and colours; CCustomGradientStatic,
// a bold heading over a band of the skin's gradient; CCustomGroup, a flat
// two-colour frame in place of a group box. Each is attached to an existing
// static item (CWindow::Attach) and paints everything itself.
//
// All three repaint at once when their text is set (WM_SETTEXT is followed by
// an immediate UpdateWindow) and answer WM_PRINTCLIENT by painting into the
// given context.
#ifndef BRINDLEWOX_SKIN_CUSTOMSTATIC_H
#define BRINDLEWOX_SKIN_CUSTOMSTATIC_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/Gdi.h"

// The DrawText format of a static's alignment style:
//   SS_CENTERIMAGE with SS_CENTER         DT_SINGLELINE | DT_VCENTER | DT_CENTER (37)
//   SS_CENTERIMAGE with SS_RIGHT          DT_SINGLELINE | DT_VCENTER | DT_RIGHT  (38)
//   SS_CENTERIMAGE alone                  DT_SINGLELINE | DT_VCENTER             (36)
//   SS_CENTER                             DT_WORDBREAK | DT_CENTER               (17)
//   SS_RIGHT                              DT_WORDBREAK | DT_RIGHT                (18)
//   neither                               DT_WORDBREAK                           (16)
// SS_CENTER wins over SS_RIGHT. Both together are the value of SS_ICON, a
// static of another type, so no template carries them; the rule only says
// what the table gives.
UINT StaticTextFormat(DWORD style);

// A label: the window text in Arial 15 (normal weight) in the text colour on
// the background colour, aligned by the static's style. Reads no skin file.
class CCustomStatic : public CStatic
{
public:
    CCustomStatic();
    ~CCustomStatic() override;

    // Paints into the given context, or in a paint cycle of its own for null.
    LRESULT OnPaint(CDC* dc) override;
    // 1: the painting covers everything.
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The owners change colours before the next paint (no repaint here).
    // CLR_NONE as the background fills nothing: the text goes onto whatever
    // the context holds (an owner paints its own background first).
    void SetTextColor(COLORREF color) { m_textColor = color; }
    void SetBackgroundColor(COLORREF color) { m_backgroundColor = color; }
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF GetBackgroundColor() const { return m_backgroundColor; }
    // The font the text is drawn in (not owned by the caller).
    HFONT GetFont() const { return m_font.GetSafeHandle(); }

    void DrawStaticText(CDC& dc);

protected:
    COLORREF m_textColor = 0;
    COLORREF m_backgroundColor = 0xFFFFFF;
    CFont m_font;
};

// A heading: the window text in bold Arial 15 in the client rectangle less 5
// pixels at the bottom, then, with the gradient flag, a band over the bottom
// 3 pixels from GRADIENT_LEFT (default 232,237,242) at the left edge to
// GRADIENT_RIGHT (default 255,255,255) at the right edge of the skin.
class CCustomGradientStatic : public CStatic
{
public:
    // Reads the two gradient colours from the chosen skin.
    CCustomGradientStatic();
    ~CCustomGradientStatic() override;

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void SetTextColor(COLORREF color) { m_textColor = color; }
    void SetBackgroundColor(COLORREF color) { m_backgroundColor = color; }
    void SetGradient(bool draw) { m_drawGradient = draw ? 1 : 0; }
    COLORREF GetLeftColor() const { return m_leftColor; }
    COLORREF GetRightColor() const { return m_rightColor; }
    // The font the text is drawn in (not owned by the caller); the text
    // stands in the client rectangle less its bottom kTextBottomInset pixels.
    HFONT GetFont() const { return m_font.GetSafeHandle(); }
    static constexpr int kTextBottomInset = 5;

    void DrawGradientText(CDC& dc);

protected:
    COLORREF m_textColor = 0;
    COLORREF m_backgroundColor = 0xFFFFFF;
    COLORREF m_leftColor = RGB(232, 237, 242);
    COLORREF m_rightColor = RGB(255, 255, 255);
    CFont m_font;
    int m_drawGradient = 1;
};

// A group frame: COLOR_FRAME_2 (default 223,223,223) on the client rectangle
// and COLOR_FRAME_1 (default 168,168,168) one pixel inside it, light outside
// and dark inside. No text and no background: what lies under the group shows
// through.
class CCustomGroup : public CStatic
{
public:
    // Reads the two frame colours from the chosen skin.
    CCustomGroup();
    ~CCustomGroup() override;

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    COLORREF GetInnerColor() const { return m_frame1; }
    COLORREF GetOuterColor() const { return m_frame2; }

    void DrawFrame(CDC& dc);

protected:
    COLORREF m_frame1 = RGB(168, 168, 168);
    COLORREF m_frame2 = RGB(223, 223, 223);
    // Made like the label's; the frame draws no text.
    CFont m_font;
};

#endif
