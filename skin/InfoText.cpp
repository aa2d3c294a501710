#include "skin/InfoText.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace infotext
{
CParser::CParser(const char* text, int length)
    : m_text(text != nullptr ? text : ""),
      m_length(text == nullptr ? 0 : length < 0 ? static_cast<int>(std::strlen(text)) : length)
{
}

bool CParser::ReadNumber(DWORD& value)
{
    if (m_pos >= m_length)
        return false;
    value = 0;
    for (int digits = 0; digits < 3 && m_pos < m_length; ++digits)
    {
        char c = m_text[m_pos];
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<DWORD>(c - '0');
        ++m_pos;
    }
    return true;
}

bool CParser::ReadColour(DWORD& colour)
{
    DWORD parts[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        // The separator before the green and the blue number.
        if (i > 0)
        {
            if (m_pos >= m_length)
                return false;
            ++m_pos;
        }
        if (!ReadNumber(parts[i]))
            return false;
    }
    colour = RGB(parts[0] & 0xFF, parts[1] & 0xFF, parts[2] & 0xFF);
    return true;
}

bool CParser::Next(Token& token)
{
    while (m_pos < m_length)
    {
        char c = m_text[m_pos];
        if (c == '\n')
        {
            ++m_pos;
            token = Token();
            token.kind = Token::LineBreak;
            return true;
        }
        if (c != Escape)
        {
            token = Token();
            token.kind = Token::Run;
            token.start = m_pos;
            while (m_pos < m_length && m_text[m_pos] != '\n' && m_text[m_pos] != Escape)
                ++m_pos;
            token.length = m_pos - token.start;
            return true;
        }

        // An escape: every command cut short by the end of the text ends
        // the walk without a token.
        if (++m_pos >= m_length)
            break;
        char command = m_text[m_pos++];
        token = Token();
        switch (command)
        {
        case '+':
        case '-':
        {
            if (m_pos >= m_length)
                return false;
            char which = m_text[m_pos++];
            DWORD bit = which == 'b'   ? StateBold
                        : which == 'i' ? StateItalic
                        : which == 'u' ? StateUnderline
                                       : 0;
            if (bit == 0)
                continue;
            token.kind = command == '+' ? Token::StyleOn : Token::StyleOff;
            token.value = bit;
            return true;
        }
        case 'n':
            token.kind = Token::StyleOff;
            token.value = StyleBits;
            return true;
        case 'l':
        case 'c':
        case 'r':
            token.kind = Token::Align;
            token.value = command == 'c' ? StateCentre : command == 'r' ? StateRight : 0;
            return true;
        case 't':
        case 'b':
            if (!ReadColour(token.value))
            {
                m_pos = m_length;
                return false;
            }
            token.kind = command == 't' ? Token::TextColour : Token::BackColour;
            return true;
        case 'g':
        {
            if (m_pos >= m_length)
                return false;
            char which = m_text[m_pos++];
            if (which != 't' && which != 'b')
                continue;
            DWORD index = 0;
            if (!ReadNumber(index))
                return false;
            token.kind = which == 't' ? Token::TextColour : Token::BackColour;
            token.value = GetSysColor(static_cast<int>(index));
            return true;
        }
        case 's':
            token.kind = Token::Transparent;
            return true;
        default:
            // Unknown: skipped with its escape.
            continue;
        }
    }
    m_pos = m_length;
    return false;
}

DWORD ApplyToken(DWORD state, const Token& token)
{
    switch (token.kind)
    {
    case Token::StyleOn:
        return state | token.value;
    case Token::StyleOff:
        return state & ~token.value;
    case Token::Align:
        return (state & ~AlignBits) | token.value;
    default:
        return state;
    }
}

namespace
{
// A style command: the state changes, and the surface gets the new font
// when the style bits changed.
void ApplyStyle(DWORD& state, const Token& token, CSurface& surface)
{
    DWORD next = ApplyToken(state, token);
    if ((next ^ state) & StyleBits)
        surface.SelectStyle(next & StyleBits);
    state = next;
}

// The commands both passes apply: a style (the font follows) or an
// alignment. False for any other token.
bool ApplyStateCommand(DWORD& state, const Token& token, CSurface& surface)
{
    switch (token.kind)
    {
    case Token::StyleOn:
    case Token::StyleOff:
        ApplyStyle(state, token, surface);
        return true;
    case Token::Align:
        state = ApplyToken(state, token);
        return true;
    default:
        return false;
    }
}

// Measures the rest of the line (up to '\n', which is consumed, or the
// end): the sum of its run widths in the fonts its commands select. The
// state takes the line's commands. False when the text ended.
bool MeasureLine(const char* text, CParser& parser, DWORD& state, CSurface& surface, int& width)
{
    width = 0;
    Token token;
    while (parser.Next(token))
    {
        if (token.kind == Token::LineBreak)
            return true;
        if (token.kind == Token::Run)
        {
            int fit = 0;
            width += surface.MeasureRun(text + token.start, token.length, INT_MAX, fit);
        }
        else
        {
            // Measuring: colours are left out.
            ApplyStateCommand(state, token, surface);
        }
    }
    return false;
}

// The x where the line ahead of the parser starts: the line is measured in
// measuring mode (its alignment commands count for the line itself), and
// the font of the state before is selected again.
int LineStart(const char* text, const CParser& parser, DWORD state, const RECT& rect,
              CSurface& surface)
{
    CParser ahead = parser;
    DWORD measuring = state | StateMeasuring;
    int width = 0;
    MeasureLine(text, ahead, measuring, surface, width);
    if ((measuring ^ state) & StyleBits)
        surface.SelectStyle(state & StyleBits);

    int x = rect.left;
    if (measuring & StateCentre)
        x = rect.left + ((rect.right - rect.left) / 2 - width / 2);
    else if (measuring & StateRight)
        x = rect.right - width - 2;
    return std::max(x, static_cast<int>(rect.left));
}
} // namespace

int CountLines(const char* text)
{
    int lines = 1;
    for (const char* p = text; p != nullptr && *p != 0; ++p)
    {
        if (*p == '\n')
            ++lines;
    }
    return lines;
}

int MeasureHeight(const char* text, int lineHeight)
{
    return CountLines(text) * lineHeight + 4;
}

int MeasureWidth(const char* text, CSurface& surface)
{
    surface.SelectStyle(0);
    CParser parser(text, -1);
    DWORD state = StateMeasuring;
    int widest = 0;
    bool more = true;
    while (more)
    {
        int width = 0;
        more = MeasureLine(text, parser, state, surface, width);
        widest = std::max(widest, width);
    }
    if (state & StyleBits)
        surface.SelectStyle(0);
    return widest + 4;
}

void Draw(const char* text, const RECT& rect, bool verticalCentre, int edgeHeight,
          CSurface& surface)
{
    if (text == nullptr)
        text = "";
    surface.SelectStyle(0);
    int lineHeight = surface.GetLineHeight();
    int height = rect.bottom - rect.top;
    int textHeight = MeasureHeight(text, lineHeight);

    int y = rect.top;
    if (verticalCentre && textHeight < height)
        y = std::max((height - textHeight) / 2 + 2 * edgeHeight, static_cast<int>(rect.top));
    // Only whole lines are drawn; a line exactly as tall as the space left
    // still fits.
    if (y + lineHeight > rect.bottom)
        return;

    surface.SetTransparentBackground();
    surface.SetTextColour(RGB(0, 0, 0));
    CParser parser(text, -1);
    DWORD state = 0;
    int x = LineStart(text, parser, state, rect, surface);
    Token token;
    bool full = false;
    while (!full && parser.Next(token))
    {
        switch (token.kind)
        {
        case Token::Run:
        {
            int available = std::max(static_cast<int>(rect.right) - x, 0);
            int fit = 0;
            int width = surface.MeasureRun(text + token.start, token.length, available, fit);
            if (fit > 0)
                surface.DrawRun(x, y, text + token.start, std::min(fit, token.length));
            x += width;
            break;
        }
        case Token::LineBreak:
            y += lineHeight;
            full = y + lineHeight > rect.bottom;
            if (!full)
                x = LineStart(text, parser, state, rect, surface);
            break;
        case Token::TextColour:
            surface.SetTextColour(token.value);
            break;
        case Token::BackColour:
            surface.SetOpaqueBackground(token.value);
            break;
        case Token::Transparent:
            surface.SetTransparentBackground();
            break;
        default:
            ApplyStateCommand(state, token, surface);
            break;
        }
    }
    if (state & StyleBits)
        surface.SelectStyle(0);
}

} // namespace infotext
