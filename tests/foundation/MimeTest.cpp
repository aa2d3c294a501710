#include "foundation/Mime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace
{
const char kGuard = '\x5A';

// Runs one coding into a buffer of exactly GetOutputLength() bytes with guard
// bytes behind it, and checks what every coder promises: nothing is written
// past the size, and that buffer is large enough (a far larger one gives the
// same result, so nothing was cut).
std::string Run(CMimeCodeBase& coder, const std::string& input, bool encode)
{
    coder.SetInput(input.data(), static_cast<int>(input.size()), encode);
    int size = coder.GetOutputLength();
    EXPECT_GE(size, 0);
    std::vector<char> buffer(static_cast<size_t>(size) + 16, kGuard);
    int written = encode ? coder.Encode(buffer.data(), size) : coder.Decode(buffer.data(), size);
    EXPECT_GE(written, 0);
    EXPECT_LE(written, size);
    for (size_t i = static_cast<size_t>(size); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], kGuard) << "written past the size at " << i;

    std::vector<char> roomy(static_cast<size_t>(size) * 2 + 256);
    int whole = encode ? coder.Encode(roomy.data(), static_cast<int>(roomy.size()))
                       : coder.Decode(roomy.data(), static_cast<int>(roomy.size()));
    EXPECT_EQ(whole, written) << "a buffer of GetOutputLength() bytes cut the result";
    return std::string(buffer.data(), static_cast<size_t>(written));
}

std::string Encode(CMimeCodeBase& coder, const std::string& input)
{
    return Run(coder, input, true);
}

std::string Decode(CMimeCodeBase& coder, const std::string& input)
{
    return Run(coder, input, false);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;)
    {
        size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

std::string AllBytes()
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    return all;
}

// Text built of the pieces that make quoted-printable hard: words, blanks and
// tabs, "=", dots, CR LF pairs, 8-bit bytes.
std::string RandomMailText(std::mt19937& random, size_t length)
{
    static const char* pieces[] = {"word",      "a",    " ",        "  ",
                                   "\t",        "=",    ".",        "\r\n",
                                   "\r\n.\r\n", "\xE9", "\xFF\x80", "xxxxxxxxxxxxxxx",
                                   "?",         "_"};
    std::string text;
    std::uniform_int_distribution<size_t> pick(0, sizeof(pieces) / sizeof(pieces[0]) - 1);
    while (text.size() < length)
        text += pieces[pick(random)];
    return text;
}

std::string RandomBytes(std::mt19937& random, size_t length)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes;
    for (size_t i = 0; i < length; ++i)
        bytes += static_cast<char>(byte(random));
    return bytes;
}

// The encoded words of a text, split at the blanks between them.
std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find(' ', start);
        words.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return words;
}
} // namespace

// --- the base coder ------------------------------------------------------------------

TEST(MimeCodeBaseTest, CopiesAtMostTheGivenSize)
{
    CMimeCodeBase coder;
    EXPECT_EQ(coder.GetInput(), nullptr);
    EXPECT_EQ(coder.GetInputLength(), 0);
    EXPECT_FALSE(coder.GetOption());

    coder.SetInput("abcdef", 6, true);
    EXPECT_EQ(coder.GetOutputLength(), 6);
    EXPECT_EQ(coder.GetMaxDecodedLength(), 6);
    char buffer[8] = "-------";
    EXPECT_EQ(coder.Encode(buffer, 4), 4);
    EXPECT_STREQ(buffer, "abcd---");
    EXPECT_EQ(coder.Decode(buffer, 100), 6);
    EXPECT_EQ(std::string(buffer, 7), "abcdef-");
    EXPECT_EQ(coder.Encode(buffer, -5), 0);
    EXPECT_EQ(coder.Encode(nullptr, 10), 0);

    coder.SetInput("abc", -1, true);
    EXPECT_EQ(coder.GetInputLength(), 0);
    coder.SetInput(nullptr, 10, true);
    EXPECT_EQ(coder.GetInputLength(), 0);
    EXPECT_EQ(coder.Encode(buffer, 8), 0);
}

// --- quoted-printable ------------------------------------------------------------------

TEST(MimeQpTest, LongLinesBreakSoftlyAtSeventySixCharacters)
{
    CMimeCodeQP coder;
    std::string hundred(100, 'a');
    std::string encoded = Encode(coder, hundred);
    EXPECT_EQ(encoded, std::string(75, 'a') + "=\r\n" + std::string(25, 'a'));
    EXPECT_EQ(Decode(coder, encoded), hundred);

    EXPECT_EQ(Encode(coder, std::string(75, 'a')), std::string(75, 'a'));
    EXPECT_EQ(Encode(coder, std::string(76, 'a')), std::string(75, 'a') + "=\r\na");

    // "=XX" is never split: it moves to the next line whole.
    EXPECT_EQ(Encode(coder, std::string(74, 'a') + "\xFF"), std::string(74, 'a') + "=\r\n=FF");
    EXPECT_EQ(Encode(coder, std::string(72, 'a') + "\xFF"), std::string(72, 'a') + "=FF");

    // A hard line break starts the count again.
    std::string twoLines = std::string(70, 'a') + "\r\n" + std::string(70, 'b');
    EXPECT_EQ(Encode(coder, twoLines), twoLines);
}

TEST(MimeQpTest, SoftBreakGoesAfterTheLastBlank)
{
    CMimeCodeQP coder;
    std::string text = std::string(70, 'a') + " " + std::string(10, 'b');
    std::string encoded = Encode(coder, text);
    EXPECT_EQ(encoded, std::string(70, 'a') + " =\r\n" + std::string(10, 'b'));
    EXPECT_EQ(Decode(coder, encoded), text);

    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word" + std::to_string(i) + " ";
    words += "end";
    encoded = Encode(coder, words);
    std::vector<std::string> lines = SplitLines(encoded);
    ASSERT_GT(lines.size(), 2u);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
    {
        EXPECT_LE(lines[i].size(), 76u) << lines[i];
        ASSERT_GE(lines[i].size(), 2u);
        EXPECT_EQ(lines[i].substr(lines[i].size() - 2), " =") << "break not after a blank";
    }
    EXPECT_EQ(Decode(coder, encoded), words);
}

TEST(MimeQpTest, EncodesEqualsControlAndEightBitBytes)
{
    CMimeCodeQP coder;
    EXPECT_EQ(Encode(coder, "a=b"), "a=3Db");
    EXPECT_EQ(Encode(coder, std::string("\x00\x7F\x80\xE9\xFF", 5)), "=00=7F=80=E9=FF");
    EXPECT_EQ(Encode(coder, "!\"#$%&'()*+,-./09:;<>?@AZ[\\]^_`az{|}~"),
              "!\"#$%&'()*+,-./09:;<>?@AZ[\\]^_`az{|}~");
}

TEST(MimeQpTest, TrailingBlanksAndLoneDots)
{
    CMimeCodeQP coder;
    EXPECT_EQ(Encode(coder, "x "), "x=20");
    EXPECT_EQ(Encode(coder, "x\t"), "x=09");
    EXPECT_EQ(Encode(coder, "x \r\ny\t\r\n"), "x=20\r\ny=09\r\n");
    EXPECT_EQ(Encode(coder, "a b\tc"), "a b\tc");
    EXPECT_EQ(Decode(coder, "x=20\r\ny=09\r\n"), "x \r\ny\t\r\n");

    EXPECT_EQ(Encode(coder, "a\r\n.\r\nb"), "a\r\n=2E\r\nb");
    EXPECT_EQ(Encode(coder, "\r\n..\r\n"), "\r\n..\r\n");
    // The input's start and end are line ends as well.
    EXPECT_EQ(Encode(coder, ".\r\n"), "=2E\r\n");
    EXPECT_EQ(Encode(coder, "\r\n."), "\r\n=2E");
    EXPECT_EQ(Encode(coder, "."), "=2E");
    EXPECT_EQ(Encode(coder, "a.\r\n.b"), "a.\r\n.b");

    // With line breaks as data, CR and LF are bytes like any other, so the
    // blank before them and the dot between them stay.
    coder.SetOption(true);
    EXPECT_EQ(Encode(coder, "x \r\n.\r\n"), "x =0D=0A.=0D=0A");
}

TEST(MimeQpTest, DecodesEscapesSoftBreaksAndStrayEquals)
{
    CMimeCodeQP coder;
    EXPECT_EQ(Decode(coder, "=3D=3d=e9=C3=A9"), "==\xE9\xC3\xA9");
    EXPECT_EQ(Decode(coder, "ab=\r\ncd"), "abcd");
    EXPECT_EQ(Decode(coder, "abc="), "abc");
    EXPECT_EQ(Decode(coder, "=G1x"), "G1x");
    EXPECT_EQ(Decode(coder, "a=4"), "a4");
    EXPECT_EQ(Decode(coder, "line\r\nnext"), "line\r\nnext");
}

TEST(MimeQpTest, RoundTripsKeepLinesShortAndBlanksInside)
{
    CMimeCodeQP coder;
    std::mt19937 random(1137);
    for (int trial = 0; trial < 200; ++trial)
    {
        std::string text = RandomMailText(random, static_cast<size_t>(trial * 7));
        std::string encoded = Encode(coder, text);
        EXPECT_EQ(Decode(coder, encoded), text);
        for (const std::string& line : SplitLines(encoded))
        {
            EXPECT_LE(line.size(), 76u) << line;
            if (!line.empty())
            {
                EXPECT_NE(line.back(), ' ') << line;
                EXPECT_NE(line.back(), '\t') << line;
            }
            EXPECT_NE(line, ".");
        }
        for (unsigned char ch : encoded)
        {
            EXPECT_TRUE(ch == '\r' || ch == '\n' || ch == '\t' || (ch >= ' ' && ch <= '~'))
                << "unsafe byte " << static_cast<int>(ch);
        }
    }

    coder.SetOption(true);
    std::string all = AllBytes() + AllBytes();
    std::string encoded = Encode(coder, all);
    EXPECT_EQ(Decode(coder, encoded), all);
    for (const std::string& line : SplitLines(encoded))
        EXPECT_LE(line.size(), 76u);
}

// The length reserved for the output counts every byte that becomes "=XX":
// "=", blanks at line ends and lone dots as well as the bytes outside the
// printable range. Run() checks that such a buffer never cuts the output.
TEST(MimeQpTest, OutputLengthIsNeverTooShort)
{
    CMimeCodeQP coder;
    std::string equals(100, '=');
    coder.SetInput(equals.data(), 100, true);
    EXPECT_GE(coder.GetOutputLength(), 300 + 4 * 3);
    EXPECT_EQ(Decode(coder, Encode(coder, equals)), equals);

    std::string blankLines;
    for (int i = 0; i < 50; ++i)
        blankLines += " \r\n.\r\n";
    EXPECT_EQ(Decode(coder, Encode(coder, blankLines)), blankLines);

    // Lines that break right after a leading blank carry almost all of their
    // text down to the next line: the most soft breaks per input byte.
    std::string dense;
    for (int i = 0; i < 40; ++i)
        dense += " " + std::string(72, 'x') + "=";
    EXPECT_EQ(Decode(coder, Encode(coder, dense)), dense);

    std::mt19937 random(4242);
    for (int trial = 0; trial < 100; ++trial)
    {
        std::string text = RandomMailText(random, 500);
        coder.SetOption(trial % 2 == 1);
        EXPECT_EQ(Decode(coder, Encode(coder, text)), text);
    }
}

TEST(MimeQpTest, ShortBufferGetsOnlyWhatFits)
{
    CMimeCodeQP coder;
    coder.SetInput("a=b", 3, true);
    char buffer[8];
    memset(buffer, kGuard, sizeof(buffer));
    EXPECT_EQ(coder.Encode(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 4), std::string("a=3") + kGuard);

    coder.SetInput("=41=42", 6, false);
    EXPECT_EQ(coder.GetOutputLength(), 6) << "decoding needs at most the input length";
    EXPECT_EQ(coder.Decode(buffer, 1), 1);
    EXPECT_EQ(buffer[0], 'A');
    EXPECT_EQ(buffer[1], '=') << "the rest of the buffer is untouched";
}

// --- Base64 -----------------------------------------------------------------------------

TEST(MimeBase64Test, MatchesTheStandardVectors)
{
    CMimeCodeBase64 coder;
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (const auto& vector : vectors)
    {
        EXPECT_EQ(Encode(coder, vector[0]), vector[1]);
        EXPECT_EQ(Decode(coder, vector[1]), vector[0]);
    }
    EXPECT_EQ(Encode(coder, "\xFB\xFF"), "+/8=");
}

TEST(MimeBase64Test, LineBreaksAfterSeventySixCharacters)
{
    CMimeCodeBase64 coder;
    coder.SetOption(true);
    std::string encoded = Encode(coder, std::string(57, 'x'));
    ASSERT_EQ(encoded.size(), 78u);
    EXPECT_EQ(encoded.substr(76), "\r\n");
    EXPECT_EQ(encoded.find('\r'), 76u);

    encoded = Encode(coder, std::string(58, 'x'));
    EXPECT_EQ(encoded.size(), 76u + 2 + 4 + 2);
    EXPECT_EQ(encoded.substr(76, 2), "\r\n");
    EXPECT_EQ(encoded.substr(82), "\r\n");

    EXPECT_EQ(Encode(coder, "f"), "Zg==\r\n");
    EXPECT_EQ(Encode(coder, ""), "");
}

TEST(MimeBase64Test, LengthsFollowTheFormulas)
{
    CMimeCodeBase64 coder;
    std::string input(100, 'q');
    coder.SetInput(input.data(), 100, true);
    EXPECT_EQ(coder.GetOutputLength(), 136);
    EXPECT_EQ(coder.GetMaxDecodedLength(), 77);
    coder.SetOption(true);
    EXPECT_EQ(coder.GetOutputLength(), 136 + 2 + 2);
    coder.SetInput(input.data(), 100, false);
    EXPECT_EQ(coder.GetOutputLength(), 77);

    std::mt19937 random(64);
    for (int length = 0; length < 400; length += 7)
    {
        std::string bytes = RandomBytes(random, static_cast<size_t>(length));
        coder.SetOption(length % 2 == 0);
        std::string encoded = Encode(coder, bytes);
        EXPECT_EQ(Decode(coder, encoded), bytes) << "length " << length;
    }
}

TEST(MimeBase64Test, DecodingSkipsLineBreaksAndStopsOutsideTheAlphabet)
{
    CMimeCodeBase64 coder;
    EXPECT_EQ(Decode(coder, "Zm9v\r\nYm\nFy\r\n"), "foobar");
    EXPECT_EQ(Decode(coder, "Zm8=Zm9v"), "fo");
    EXPECT_EQ(Decode(coder, "Zm 9v"), "f");
    EXPECT_EQ(Decode(coder, "Zm9v*Zm9v"), "foo");
    EXPECT_EQ(Decode(coder, "Z"), "");
}

// --- encoded words -------------------------------------------------------------------------

TEST(MimeEncodedWordTest, BWordsCarryPiecesSizedByTheCharset)
{
    CMimeEncodedWord coder;
    ASSERT_TRUE(coder.SetEncoding('b', "utf-8"));
    EXPECT_EQ(coder.GetEncoding(), 'B');
    EXPECT_STREQ(coder.GetCharset(), "utf-8");

    std::mt19937 random(5);
    std::string bytes = RandomBytes(random, 100);
    std::string encoded = Encode(coder, bytes);
    std::vector<std::string> words = Words(encoded);
    ASSERT_EQ(words.size(), 3u); // 45 + 45 + 10 bytes
    CMimeCodeBase64 base64;
    size_t offset = 0;
    for (const std::string& word : words)
    {
        EXPECT_LE(word.size(), 75u);
        ASSERT_EQ(word.substr(0, 10), "=?utf-8?B?");
        ASSERT_EQ(word.substr(word.size() - 2), "?=");
        std::string piece = Decode(base64, word.substr(10, word.size() - 12));
        EXPECT_EQ(piece, bytes.substr(offset, 45));
        offset += piece.size();
    }
    EXPECT_EQ(offset, 100u);
    EXPECT_EQ(Decode(coder, encoded), bytes);

    EXPECT_EQ(Encode(coder, "Hi"), "=?utf-8?B?SGk=?=");
    EXPECT_EQ(Encode(coder, ""), "");
}

TEST(MimeEncodedWordTest, QWordsEncodeSpecialsAndNeverSplitAnEscape)
{
    CMimeEncodedWord coder;
    ASSERT_TRUE(coder.SetEncoding('Q', "iso-8859-1"));
    EXPECT_EQ(Encode(coder, "a?b_c d=\xE9"), "=?iso-8859-1?Q?a=3Fb=5Fc=20d=3D=E9?=");

    // 58 characters of text fit beside a ten-character name.
    std::string text = std::string(57, 'x') + "\xE9\xE9";
    std::vector<std::string> words = Words(Encode(coder, text));
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], "=?iso-8859-1?Q?" + std::string(57, 'x') + "?=");
    EXPECT_EQ(words[1], "=?iso-8859-1?Q?=E9=E9?=");

    std::mt19937 random(17);
    for (int trial = 0; trial < 50; ++trial)
    {
        std::string bytes = RandomBytes(random, static_cast<size_t>(trial * 11));
        std::string encoded = Encode(coder, bytes);
        for (const std::string& word : Words(encoded))
            EXPECT_LE(word.size(), 75u);
        EXPECT_EQ(Decode(coder, encoded), bytes);
    }
}

TEST(MimeEncodedWordTest, WithoutCharsetTheTextIsCopied)
{
    CMimeEncodedWord coder;
    EXPECT_EQ(Encode(coder, "Gr\xFC\xDF"
                            "e"),
              "Gr\xFC\xDF"
              "e");
    ASSERT_TRUE(coder.SetEncoding('B', "utf-8"));
    ASSERT_TRUE(coder.SetEncoding('Q', ""));
    EXPECT_EQ(Encode(coder, "a b"), "a b");
}

// A name longer than a 75-character word leaves room for is refused, and so
// are names that would break the word's frame; the longest allowed one still
// makes words of at least one byte.
TEST(MimeEncodedWordTest, CharsetNamesThatDoNotFitAreRefused)
{
    CMimeEncodedWord coder;
    ASSERT_TRUE(coder.SetEncoding('Q', "utf-8"));
    EXPECT_FALSE(coder.SetEncoding('B', std::string(64, 'c').c_str()));
    EXPECT_FALSE(coder.SetEncoding('B', std::string(200, 'c').c_str()));
    EXPECT_FALSE(coder.SetEncoding('B', "utf 8"));
    EXPECT_FALSE(coder.SetEncoding('B', "utf?8"));
    EXPECT_FALSE(coder.SetEncoding('X', "utf-8"));
    EXPECT_EQ(coder.GetEncoding(), 'Q');
    EXPECT_STREQ(coder.GetCharset(), "utf-8");

    std::string longest(CMimeEncodedWord::kMaxCharsetLength, 'c');
    for (char letter : {'B', 'Q'})
    {
        ASSERT_TRUE(coder.SetEncoding(letter, longest.c_str()));
        std::string text = "\xE9"
                           "abcdefghij";
        std::string encoded = Encode(coder, text);
        std::vector<std::string> words = Words(encoded);
        EXPECT_EQ(words.size(), letter == 'B' ? 4u : 3u); // 3 bytes, or 5 characters, a word
        for (const std::string& word : words)
            EXPECT_LE(word.size(), 75u);
        EXPECT_EQ(Decode(coder, encoded), text);
    }

    CFieldCodeText field;
    EXPECT_FALSE(field.SetCharset(std::string(64, 'c').c_str()));
    EXPECT_TRUE(field.SetCharset(longest.c_str()));
}

TEST(MimeEncodedWordTest, RfcExamplesDecodeToTheirTexts)
{
    CMimeEncodedWord coder;
    const char* cases[][2] = {
        {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
        {"=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?= <keld@dkuug.dk>",
         "Keld J\xF8rn Simonsen <keld@dkuug.dk>"},
        {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>",
         "Andr\xE9 Pirard <PIRARD@vm1.ulg.ac.be>"},
        {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n"
         "    =?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
         "If you can read this you understand the example."},
        {"=?ISO-8859-1?Q?Olle_J=E4rnefors?= <ojarnef@admin.kth.se>",
         "Olle J\xE4rnefors <ojarnef@admin.kth.se>"},
        {"Nathaniel Borenstein <nsb@thumper.bellcore.com> (=?iso-8859-8?b?7eXs+SDv4SDp7Oj08A==?=)",
         "Nathaniel Borenstein <nsb@thumper.bellcore.com> "
         "(\xED\xE5\xEC\xF9 \xEF\xE1 \xE9\xEC\xE8\xF4\xF0)"},
        {"(=?ISO-8859-1?Q?a?=)", "(a)"},
        {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
    };
    for (const auto& example : cases)
        EXPECT_EQ(Decode(coder, example[0]), example[1]) << example[0];
}

TEST(MimeEncodedWordTest, MalformedWordsAreCopied)
{
    CMimeEncodedWord coder;
    for (const char* text : {"=?utf-8?X?abc?=", "=?utf-8?Q?abc", "=??Q?a?=", "=?a b?Q?x?=",
                             "=?utf-8?Q?a b?=", "a =? b", "=?", "=?utf-8?Q?"})
        EXPECT_EQ(Decode(coder, text), text);
    EXPECT_EQ(Decode(coder, "=?utf-8?Q?a=ZZ?="), "a=ZZ");
    EXPECT_EQ(Decode(coder, "x =?utf-8?Q?a?= y"), "x a y");
}

// --- field coders ------------------------------------------------------------------------------

TEST(MimeFieldCodeTest, DelimitersOfEachKind)
{
    CFieldCodeBase base;
    CFieldCodeText text;
    CFieldCodeAddress address;
    CFieldCodeParameter parameter;
    for (int ch = 0; ch < 256; ++ch)
    {
        unsigned char c = static_cast<unsigned char>(ch);
        EXPECT_FALSE(base.IsDelimiter(c));
        EXPECT_FALSE(text.IsDelimiter(c));
        EXPECT_EQ(address.IsDelimiter(c), c == ',' || c == ':');
        EXPECT_EQ(parameter.IsDelimiter(c), c == ';');
    }
    EXPECT_EQ(base.GetDelimiter(), 255);
    EXPECT_EQ(text.GetDelimiter(), 255);
    EXPECT_EQ(address.GetDelimiter(), ',');
    EXPECT_EQ(parameter.GetDelimiter(), ';');
}

TEST(MimeFieldCodeTest, TextFieldsEncodeTheStretchWithEightBitWords)
{
    CFieldCodeText coder;
    EXPECT_EQ(Encode(coder, "Gr\xFC\xDF"
                            "e"),
              "Gr\xFC\xDF"
              "e")
        << "no character set: copied";
    ASSERT_TRUE(coder.SetCharset("iso-8859-1"));

    EXPECT_EQ(Encode(coder, "Plain subject"), "Plain subject");
    std::string value = "Re: Gr\xFC\xDF"
                        "e aus K\xF6ln (Bericht)";
    std::string encoded = Encode(coder, value);
    EXPECT_EQ(encoded, "Re: =?iso-8859-1?B?R3L832UgYXVzIEv2bG4=?= (Bericht)");
    EXPECT_EQ(Decode(coder, encoded), value);

    // Text that would read as an encoded word is encoded itself.
    value = "a =?b?Q?c?= d";
    encoded = Encode(coder, value);
    EXPECT_EQ(encoded, "a =?iso-8859-1?B?PT9iP1E/Yz89?= d");
    EXPECT_EQ(Decode(coder, encoded), value);

    std::mt19937 random(99);
    std::string longValue = RandomBytes(random, 300);
    encoded = Encode(coder, longValue);
    for (const std::string& word : Words(encoded))
        EXPECT_LE(word.size(), 75u);
    EXPECT_EQ(Decode(coder, encoded), longValue);
}

TEST(MimeFieldCodeTest, AddressFieldsKeepAddressesAndDelimitersPlain)
{
    CFieldCodeAddress coder;
    ASSERT_TRUE(coder.SetCharset("iso-8859-1"));
    std::string value = "J\xF6rg M\xFCller <jm@example.com>, plain@example.com";
    std::string encoded = Encode(coder, value);
    EXPECT_EQ(encoded, "=?iso-8859-1?B?SvZyZyBN/GxsZXI=?= <jm@example.com>, plain@example.com");
    EXPECT_EQ(Decode(coder, encoded), value);

    // The comma inside the quoted string ends no run: the whole name is one
    // stretch.
    value = "\"M\xFCller, J\xF6rg\" <jm@x.org>";
    encoded = Encode(coder, value);
    EXPECT_EQ(encoded, "=?iso-8859-1?B?Ik38bGxlciwgSvZyZyI=?= <jm@x.org>");
    EXPECT_EQ(Decode(coder, encoded), value);

    value = "J\xF6rg:a@b,M\xFCller <c@d>";
    EXPECT_EQ(Decode(coder, Encode(coder, value)), value);

    // An address cannot hold an encoded word: its bytes stay as they are.
    value = "<j\xF6rg@example.com>";
    EXPECT_EQ(Encode(coder, value), value);
}

TEST(MimeFieldCodeTest, ParameterFieldsEncodeEachParameter)
{
    CFieldCodeParameter coder;
    ASSERT_TRUE(coder.SetCharset("iso-8859-1"));
    std::string value = "attachment; filename=\"Bericht f\xFCr Mai.txt\"; size=10";
    std::string encoded = Encode(coder, value);
    EXPECT_EQ(encoded,
              "attachment; =?iso-8859-1?B?ZmlsZW5hbWU9IkJlcmljaHQgZvxyIE1haS50eHQi?=; size=10");
    EXPECT_EQ(Decode(coder, encoded), value);
    EXPECT_EQ(Encode(coder, "text/plain; charset=us-ascii"), "text/plain; charset=us-ascii");
}

TEST(MimeFieldCodeTest, DecodingUnfoldsAndLeavesQuotedStringsAndAddresses)
{
    CFieldCodeText text;
    CFieldCodeAddress address;
    EXPECT_EQ(Decode(text, "=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n"
                           "    =?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?="),
              "If you can read this you understand the example.");
    EXPECT_EQ(Decode(address, "=?ISO-8859-1?Q?Andr=E9?=\r\n Pirard <PIRARD@vm1.ulg.ac.be>"),
              "Andr\xE9 Pirard <PIRARD@vm1.ulg.ac.be>");
    EXPECT_EQ(Decode(address, "Nathaniel Borenstein <nsb@thumper.bellcore.com>\r\n"
                              "    (=?iso-8859-8?b?7eXs+SDv4SDp7Oj08A==?=)"),
              "Nathaniel Borenstein <nsb@thumper.bellcore.com> "
              "(\xED\xE5\xEC\xF9 \xEF\xE1 \xE9\xEC\xE8\xF4\xF0)");

    // Structured fields keep what stands inside quotes and angle brackets;
    // in a text field they are ordinary characters.
    EXPECT_EQ(Decode(address, "\"=?utf-8?Q?a?=\" <=?utf-8?Q?b?=@x>"),
              "\"=?utf-8?Q?a?=\" <=?utf-8?Q?b?=@x>");
    EXPECT_EQ(Decode(text, "\"=?utf-8?Q?a?=\""), "\"a\"");
    // A Q word whose text holds a quote is still one word.
    EXPECT_EQ(Decode(address, "=?utf-8?Q?say_\"hi\"?= <a@b>"), "say \"hi\" <a@b>");
}

TEST(MimeFieldCodeTest, UnfoldingWorksFromTheEnd)
{
    auto unfold = [](const std::string& value)
    {
        CString result = CFieldCodeBase::Unfold(value.data(), static_cast<int>(value.size()));
        return std::string(static_cast<const char*>(result),
                           static_cast<size_t>(result.GetLength()));
    };
    EXPECT_EQ(unfold("a\r\n b"), "a b");
    EXPECT_EQ(unfold("a\r\n\t \t b"), "a b");
    EXPECT_EQ(unfold("a\r\nb"), "a b");
    EXPECT_EQ(unfold("a \r\n b"), "a  b");
    EXPECT_EQ(unfold("a\r\n\r\n x"), "a x");
    EXPECT_EQ(unfold("a\rb\nc"), "a\rb\nc");
    EXPECT_EQ(unfold(""), "");
}

TEST(MimeFieldCodeTest, OutputLengthIsExact)
{
    CFieldCodeAddress coder;
    ASSERT_TRUE(coder.SetCharset("utf-8"));
    std::string value = "J\xC3\xB6rg <j@x>, \"Z\xC3\xBC"
                        "rich\" <z@x>";
    coder.SetInput(value.data(), static_cast<int>(value.size()), true);
    std::vector<char> buffer(1000);
    int written = coder.Encode(buffer.data(), 1000);
    EXPECT_EQ(coder.GetOutputLength(), written);
    coder.SetInput(value.data(), static_cast<int>(value.size()), false);
    EXPECT_EQ(coder.GetOutputLength(), static_cast<int>(value.size()));
}

// --- registries
// ------------------------------------------------------------------------------------

TEST(MimeRegistryTest, StandardCodersAreRegisteredAtStartUp)
{
    CMimeRegistry<CMimeCodeBase>& coders = GetMimeCoders();
    ASSERT_EQ(coders.GetCount(), 2);
    EXPECT_STREQ(coders.GetName(0), "base64");
    EXPECT_STREQ(coders.GetName(1), "quoted-printable");

    CMimeCodeBase* qp = coders.Create("Quoted-Printable");
    ASSERT_NE(qp, nullptr);
    EXPECT_NE(dynamic_cast<CMimeCodeQP*>(qp), nullptr);
    EXPECT_FALSE(qp->GetOption());
    EXPECT_EQ(qp->GetInputLength(), 0);
    delete qp;
    CMimeCodeBase* base64 = coders.Create("BASE64");
    ASSERT_NE(base64, nullptr);
    EXPECT_NE(dynamic_cast<CMimeCodeBase64*>(base64), nullptr);
    EXPECT_TRUE(base64->GetOption()) << "bodies are written in lines";
    delete base64;
    EXPECT_EQ(coders.Create("7bit"), nullptr);
    EXPECT_EQ(coders.Find(nullptr), nullptr);

    CMimeRegistry<CFieldCodeBase>& fields = GetFieldCoders();
    EXPECT_EQ(fields.GetCount(), 14);
    EXPECT_STREQ(fields.GetName(0), "Content-Disposition");
    struct Expected
    {
        const char* name;
        int kind; // 0 text, 1 address, 2 parameter
    } expected[] = {{"Subject", 0},
                    {"Comments", 0},
                    {"Content-Description", 0},
                    {"From", 1},
                    {"To", 1},
                    {"Resent-To", 1},
                    {"Cc", 1},
                    {"Resent-Cc", 1},
                    {"Bcc", 1},
                    {"Resent-Bcc", 1},
                    {"Reply-To", 1},
                    {"Resent-Reply-To", 1},
                    {"Content-Type", 2},
                    {"content-disposition", 2}};
    for (const Expected& e : expected)
    {
        CFieldCodeBase* coder = fields.Create(e.name);
        ASSERT_NE(coder, nullptr) << e.name;
        EXPECT_EQ(dynamic_cast<CFieldCodeText*>(coder) != nullptr, e.kind == 0) << e.name;
        EXPECT_EQ(dynamic_cast<CFieldCodeAddress*>(coder) != nullptr, e.kind == 1) << e.name;
        EXPECT_EQ(dynamic_cast<CFieldCodeParameter*>(coder) != nullptr, e.kind == 2) << e.name;
        EXPECT_STREQ(coder->GetCharset(), "");
        delete coder;
    }
    EXPECT_EQ(fields.Create("X-Mailer"), nullptr);
}

namespace
{
CMimeCodeBase* NewPlainCoder()
{
    return new CMimeCodeBase;
}
} // namespace

TEST(MimeRegistryTest, RegisteringReplacesAndANullFactoryRemoves)
{
    static_assert(!std::is_copy_constructible_v<CMimeRegistry<CMimeCodeBase>>);

    CMimeRegistry<CMimeCodeBase>& coders = GetMimeCoders();
    coders.Register("base64", NewPlainCoder);
    coders.Register("Base64", NewPlainCoder);
    EXPECT_EQ(coders.GetCount(), 2);
    EXPECT_STREQ(coders.GetName(0), "Base64");
    EXPECT_EQ(coders.Find("base64"), &NewPlainCoder);

    coders.Register("quoted-printable", nullptr);
    EXPECT_EQ(coders.GetCount(), 1);
    EXPECT_EQ(coders.Find("quoted-printable"), nullptr);
    coders.Register("BASE64", nullptr);
    EXPECT_EQ(coders.GetCount(), 0);
    EXPECT_EQ(coders.GetName(0), nullptr);

    RegisterMimeCoders();
    EXPECT_EQ(coders.GetCount(), 2);
    EXPECT_EQ(GetFieldCoders().GetCount(), 14);
    CMimeCodeBase* restored = coders.Create("base64");
    EXPECT_NE(dynamic_cast<CMimeCodeBase64*>(restored), nullptr);
    delete restored;
}

TEST(MimeRegistryTest, NewestComesFirstAndClearEmpties)
{
    CMimeRegistry<CMimeCodeBase> registry;
    registry.Register(nullptr, NewPlainCoder);
    EXPECT_EQ(registry.GetCount(), 0);
    registry.Register("x-one", NewPlainCoder);
    registry.Register("x-two", NewPlainCoder);
    registry.Register("x-three", NewPlainCoder);
    EXPECT_STREQ(registry.GetName(0), "x-three");
    EXPECT_STREQ(registry.GetName(2), "x-one");
    EXPECT_EQ(registry.GetName(3), nullptr);
    EXPECT_EQ(registry.GetName(-1), nullptr);
    registry.Register("X-ONE", NewPlainCoder);
    EXPECT_STREQ(registry.GetName(0), "X-ONE");
    EXPECT_EQ(registry.GetCount(), 3);
    registry.Clear();
    EXPECT_EQ(registry.GetCount(), 0);
    EXPECT_EQ(registry.Find("x-two"), nullptr);
}
