// The formatted text of the information panel (CCustomInfoControl) and the
// balloons: its escape commands, and the layout of its lines against a
// drawing surface, written as free functions so that they run without a
// window or a real device context.
//
// Text format: ordinary characters, '\n' (10) ends a line, and the escape
// character (27) followed by one command:
//   +b +i +u   bold, italic, underline on        -b -i -u   off
//   n          all three off
//   l c r      this and the following lines left-aligned, centred, right-aligned
//   t R,G,B    text colour           b R,G,B    opaque background colour
//   gt N       text colour = GetSysColor(N)     gb N   opaque background = GetSysColor(N)
//   s          transparent background
// Each number takes up to three decimal digits (none reads as 0) and is cut
// to 8 bits; any one character separates the numbers. A command cut short
// by the end of the text is ignored. An unknown command character is
// skipped with the escape; "+", "-" or "g" before an unknown letter skips
// both characters.
#ifndef BRINDLEWOX_SKIN_INFOTEXT_H
#define BRINDLEWOX_SKIN_INFOTEXT_H

#include "foundation/Base.h"

namespace infotext
{
constexpr char Escape = 27;

// The drawing state: one 32-bit value while a text is drawn or measured.
constexpr DWORD StateCentre = 1;
constexpr DWORD StateRight = 2;
constexpr DWORD StateBold = 4;
constexpr DWORD StateItalic = 8;
constexpr DWORD StateUnderline = 16;
// Measuring: colour commands are ignored.
constexpr DWORD StateMeasuring = 32;
constexpr DWORD StyleBits = StateBold | StateItalic | StateUnderline;
constexpr DWORD AlignBits = StateCentre | StateRight;

// One piece of a text, as the parser hands it out.
struct Token
{
    enum Kind
    {
        Run,          // ordinary characters: text[start, start + length)
        LineBreak,    // '\n'
        StyleOn,      // value: the style bit switched on
        StyleOff,     // value: the style bits switched off (n: all three)
        Align,        // value: 0 left, StateCentre or StateRight
        TextColour,   // value: a COLORREF
        BackColour,   // value: a COLORREF, opaque background
        Transparent,  // transparent background
    };
    Kind kind = Run;
    int start = 0;
    int length = 0;
    DWORD value = 0;
};

// Hands out the tokens of a text one by one; skipped and cut-short commands
// produce none.
class CParser
{
public:
    CParser(const char* text, int length);
    // The next token; false at the end of the text.
    bool Next(Token& token);
    int GetPosition() const { return m_pos; }

private:
    // Up to three digits at the position (none: 0), cut to 8 bits; false
    // when the text ends where the number should start.
    bool ReadNumber(DWORD& value);
    // "R sep G sep B" as a COLORREF; false when the text ends inside it.
    bool ReadColour(DWORD& colour);

    const char* m_text;
    int m_length;
    int m_pos = 0;
};

// The state after a token (the alignment and style bits; measuring kept).
DWORD ApplyToken(DWORD state, const Token& token);

// What the layout draws on and measures with: a device context in the
// control, a recorder in the tests.
class CSurface
{
public:
    virtual ~CSurface() = default;
    // The font of these style bits (bold | italic | underline; 0 is the
    // base font) becomes current for the runs that follow.
    virtual void SelectStyle(DWORD style) = 0;
    // The height of one line: the height of " " in the base font.
    virtual int GetLineHeight() = 0;
    // The width of the whole run in the current font; `fit` gets the count
    // of its characters that fit within maxWidth.
    virtual int MeasureRun(const char* run, int length, int maxWidth, int& fit) = 0;
    virtual void DrawRun(int x, int y, const char* run, int count) {}
    virtual void SetTextColour(COLORREF colour) {}
    // An opaque background of the colour behind the runs that follow.
    virtual void SetOpaqueBackground(COLORREF colour) {}
    virtual void SetTransparentBackground() {}
};

// The number of lines: count of '\n' + 1.
int CountLines(const char* text);
// (lines × line height) + 4.
int MeasureHeight(const char* text, int lineHeight);
// The widest line + 4, each line the sum of the widths of its runs in the
// fonts its commands select (the state starts plain at the first line and
// runs on across lines). The surface's base font is current afterwards.
int MeasureWidth(const char* text, CSurface& surface);

// Draws the text into the rectangle: vertically centred when asked and the
// text is lower than the rectangle (y = (height - text height) / 2 +
// 2 × edgeHeight, never above the top); lines that would not fit whole
// (y + line height > bottom) are left out; each line starts at its
// alignment's x (measured first with the line's own commands); a run draws
// the characters that fit in max(right - x, 0) and x then advances by the
// whole run. Text colour starts black on a transparent background. The base
// font is current afterwards.
void Draw(const char* text, const RECT& rect, bool verticalCentre, int edgeHeight,
          CSurface& surface);

} // namespace infotext

#endif
