// The formatted text of the information panel without a window: the escape
// commands as tokens, and the layout of lines against a recording surface
// whose characters are 6 pixels wide (7 in bold) and whose lines are 10 high.
#include "skin/InfoText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using infotext::Token;

namespace
{
const std::string kEsc(1, infotext::Escape);

struct DrawnRun
{
    int x;
    int y;
    std::string text;
    DWORD style;
    COLORREF colour;
    bool opaque;
};

class RecordingSurface : public infotext::CSurface
{
public:
    void SelectStyle(DWORD style) override
    {
        style_ = style;
        ++selections;
    }
    int GetLineHeight() override { return 10; }
    int MeasureRun(const char* run, int length, int maxWidth, int& fit) override
    {
        int each = CharWidth();
        fit = 0;
        while (fit < length && (fit + 1) * each <= maxWidth)
            ++fit;
        return length * each;
    }
    void DrawRun(int x, int y, const char* run, int count) override
    {
        runs.push_back({x, y, std::string(run, count), style_, colour_, opaque_});
    }
    void SetTextColour(COLORREF colour) override { colour_ = colour; }
    void SetOpaqueBackground(COLORREF) override { opaque_ = true; }
    void SetTransparentBackground() override { opaque_ = false; }

    int CharWidth() const { return (style_ & infotext::StateBold) ? 7 : 6; }
    DWORD CurrentStyle() const { return style_; }

    std::vector<DrawnRun> runs;
    int selections = 0;

private:
    DWORD style_ = 0;
    COLORREF colour_ = RGB(1, 2, 3);
    bool opaque_ = true;
};

std::vector<Token> Tokens(const std::string& text)
{
    std::vector<Token> tokens;
    infotext::CParser parser(text.c_str(), static_cast<int>(text.size()));
    Token token;
    while (parser.Next(token))
        tokens.push_back(token);
    return tokens;
}

std::string RunText(const std::string& text, const Token& token)
{
    return text.substr(token.start, token.length);
}
} // namespace

TEST(InfoTextParser, RunsLineBreaksAndStyles)
{
    std::string text = "one\n" + kEsc + "+btwo";
    std::vector<Token> tokens = Tokens(text);
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].kind, Token::Run);
    EXPECT_EQ(RunText(text, tokens[0]), "one");
    EXPECT_EQ(tokens[1].kind, Token::LineBreak);
    EXPECT_EQ(tokens[2].kind, Token::StyleOn);
    EXPECT_EQ(tokens[2].value, infotext::StateBold);
    EXPECT_EQ(tokens[3].kind, Token::Run);
    EXPECT_EQ(RunText(text, tokens[3]), "two");

    DWORD state = infotext::ApplyToken(0, tokens[2]);
    EXPECT_EQ(state, infotext::StateBold);
    Token off;
    off.kind = Token::StyleOff;
    off.value = infotext::StyleBits;
    EXPECT_EQ(infotext::ApplyToken(state | infotext::StateCentre, off), infotext::StateCentre);
}

TEST(InfoTextParser, ColourCommands)
{
    std::string text = kEsc + "t255,0,0x";
    std::vector<Token> tokens = Tokens(text);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].kind, Token::TextColour);
    EXPECT_EQ(tokens[0].value, 0x0000FFu);
    EXPECT_EQ(RunText(text, tokens[1]), "x");

    // Any one character separates; a background colour; numbers above 255
    // keep their low 8 bits; a fourth digit is text.
    text = kEsc + "b1;2/3" + kEsc + "t256,511,9999";
    tokens = Tokens(text);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].kind, Token::BackColour);
    EXPECT_EQ(tokens[0].value, static_cast<DWORD>(RGB(1, 2, 3)));
    EXPECT_EQ(tokens[1].kind, Token::TextColour);
    EXPECT_EQ(tokens[1].value, static_cast<DWORD>(RGB(0, 255, 231)));
    EXPECT_EQ(RunText(text, tokens[2]), "9");

    // System colours by number, up to three digits.
    text = kEsc + "gt8" + kEsc + "gb0155";
    tokens = Tokens(text);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].kind, Token::TextColour);
    EXPECT_EQ(tokens[0].value, GetSysColor(8));
    EXPECT_EQ(tokens[1].kind, Token::BackColour);
    EXPECT_EQ(tokens[1].value, GetSysColor(15));
    EXPECT_EQ(RunText(text, tokens[2]), "5");

    text = "a" + kEsc + "s";
    tokens = Tokens(text);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1].kind, Token::Transparent);
}

TEST(InfoTextParser, CutShortAndUnknownCommandsAreSkipped)
{
    // Cut short by the end: nothing.
    for (const char* tail : {"t255", "t255,0,", "b1,2", "gt", "g", "+", "", "t"})
    {
        std::string text = "x" + kEsc + tail;
        std::vector<Token> tokens = Tokens(text);
        ASSERT_EQ(tokens.size(), 1u) << tail;
        EXPECT_EQ(RunText(text, tokens[0]), "x") << tail;
    }
    // Complete at the very end: applied.
    std::vector<Token> tokens = Tokens(kEsc + "t1,2,3");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].value, static_cast<DWORD>(RGB(1, 2, 3)));

    // An unknown command goes with its escape; "+", "-" and "g" take an
    // unknown letter with them.
    std::string text = "a" + kEsc + "zb" + kEsc + "+qc" + kEsc + "-xd" + kEsc + "gze";
    tokens = Tokens(text);
    std::string joined;
    for (const Token& token : tokens)
    {
        ASSERT_EQ(token.kind, Token::Run);
        joined += RunText(text, token);
    }
    EXPECT_EQ(joined, "abcde");

    tokens = Tokens(kEsc + "n" + kEsc + "c" + kEsc + "r" + kEsc + "l" + kEsc + "-u");
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[0].value, infotext::StyleBits);
    EXPECT_EQ(tokens[1].value, infotext::StateCentre);
    EXPECT_EQ(tokens[2].value, infotext::StateRight);
    EXPECT_EQ(tokens[3].value, 0u);
    EXPECT_EQ(tokens[4].kind, Token::StyleOff);
    EXPECT_EQ(tokens[4].value, infotext::StateUnderline);
}

TEST(InfoTextLayout, MeasuresLinesInTheirFonts)
{
    RecordingSurface surface;
    std::string text = "one\n" + kEsc + "+btwo";
    EXPECT_EQ(infotext::CountLines(text.c_str()), 2);
    EXPECT_EQ(infotext::MeasureHeight(text.c_str(), 10), 2 * 10 + 4);
    // "two" in bold: 3 × 7 = 21 beats "one" at 18.
    EXPECT_EQ(infotext::MeasureWidth(text.c_str(), surface), 21 + 4);
    EXPECT_EQ(surface.CurrentStyle(), 0u);
    // The state runs on across lines: the third line is still bold.
    text = "ab" + kEsc + "+bcd\nefgh\n" + kEsc + "-bijk";
    EXPECT_EQ(infotext::MeasureWidth(text.c_str(), surface), 4 * 7 + 4);
    EXPECT_EQ(infotext::MeasureHeight("", 10), 14);
}

TEST(InfoTextLayout, DrawsRunsStylesAndColours)
{
    RecordingSurface surface;
    std::string text = "one\n" + kEsc + "+btwo " + kEsc + "t255,0,0red" + kEsc + "t0,0,0 end";
    infotext::Draw(text.c_str(), RECT{0, 0, 200, 100}, false, 2, surface);
    ASSERT_EQ(surface.runs.size(), 4u);
    EXPECT_EQ(surface.runs[0].text, "one");
    EXPECT_EQ(surface.runs[0].x, 0);
    EXPECT_EQ(surface.runs[0].y, 0);
    EXPECT_EQ(surface.runs[0].style, 0u);
    EXPECT_EQ(surface.runs[0].colour, RGB(0, 0, 0));
    EXPECT_FALSE(surface.runs[0].opaque);
    EXPECT_EQ(surface.runs[1].text, "two ");
    EXPECT_EQ(surface.runs[1].y, 10);
    EXPECT_EQ(surface.runs[1].style, infotext::StateBold);
    EXPECT_EQ(surface.runs[2].text, "red");
    EXPECT_EQ(surface.runs[2].x, 4 * 7);
    EXPECT_EQ(surface.runs[2].colour, RGB(255, 0, 0));
    EXPECT_EQ(surface.runs[3].text, " end");
    EXPECT_EQ(surface.runs[3].x, 7 * 7);
    EXPECT_EQ(surface.runs[3].colour, RGB(0, 0, 0));
    EXPECT_EQ(surface.CurrentStyle(), 0u);
}

TEST(InfoTextLayout, AlignmentHoldsUntilChanged)
{
    RecordingSurface surface;
    // Line widths 24, 12, 18, 30 in a rectangle from 10 to 110.
    std::string text = kEsc + "cabcd\nef\n" + kEsc + "rghi\n" + kEsc + "ljklmn";
    infotext::Draw(text.c_str(), RECT{10, 0, 110, 100}, false, 2, surface);
    ASSERT_EQ(surface.runs.size(), 4u);
    EXPECT_EQ(surface.runs[0].x, 10 + (50 - 12));
    EXPECT_EQ(surface.runs[1].x, 10 + (50 - 6));
    EXPECT_EQ(surface.runs[2].x, 110 - 18 - 2);
    EXPECT_EQ(surface.runs[3].x, 10);

    // A line wider than the rectangle is never started left of it; its
    // runs are cut to the width left (none once x passes the right edge).
    surface.runs.clear();
    text = kEsc + "c0123456789" + kEsc + "+bABCDEFGHIJ" + kEsc + "-bxyz";
    infotext::Draw(text.c_str(), RECT{10, 0, 110, 100}, false, 2, surface);
    ASSERT_EQ(surface.runs.size(), 2u);
    EXPECT_EQ(surface.runs[0].x, 10);
    EXPECT_EQ(surface.runs[0].text, "0123456789");
    EXPECT_EQ(surface.runs[1].x, 70);
    EXPECT_EQ(surface.runs[1].text, "ABCDE");
    // The measuring pass for the alignment selected the bold font and then
    // the plain one again: the run drawn first was plain.
    EXPECT_EQ(surface.runs[0].style, 0u);
}

TEST(InfoTextLayout, OnlyWholeLinesAreDrawn)
{
    RecordingSurface surface;
    // Five lines in two and a half lines' height: two.
    infotext::Draw("1\n2\n3\n4\n5", RECT{0, 0, 100, 25}, true, 2, surface);
    ASSERT_EQ(surface.runs.size(), 2u);
    EXPECT_EQ(surface.runs[0].y, 0);
    EXPECT_EQ(surface.runs[1].y, 10);

    // One line exactly as tall as the rectangle is drawn.
    surface.runs.clear();
    infotext::Draw("only", RECT{0, 5, 100, 15}, true, 2, surface);
    ASSERT_EQ(surface.runs.size(), 1u);
    EXPECT_EQ(surface.runs[0].y, 5);

    // One pixel less: nothing.
    surface.runs.clear();
    infotext::Draw("only", RECT{0, 5, 100, 14}, true, 2, surface);
    EXPECT_TRUE(surface.runs.empty());

    // A short text is centred vertically: (60 - 24) / 2 + 2 × 2.
    surface.runs.clear();
    infotext::Draw("a\nb", RECT{0, 0, 100, 60}, true, 2, surface);
    ASSERT_EQ(surface.runs.size(), 2u);
    EXPECT_EQ(surface.runs[0].y, 18 + 4);
    surface.runs.clear();
    infotext::Draw("a\nb", RECT{0, 0, 100, 60}, false, 2, surface);
    EXPECT_EQ(surface.runs[0].y, 0);
}
