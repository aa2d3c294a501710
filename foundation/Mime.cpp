#include "foundation/Mime.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <string>

namespace
{
const char kHexDigits[] = "0123456789ABCDEF";
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Quoted-printable lines carry at most this many characters before the
// soft break "=", which makes the 76 of RFC 2045.
const int kQpLineLimit = 75;
// Base64 bodies break after this many characters.
const int kBase64LineLength = 76;
// An encoded word's text may use what 75 characters leave after "=?", the
// character set, "?B?" and "?=".
const int kWordRoom = 68;

// Where the coders write: the caller's buffer, never past its size. It keeps
// counting past a full buffer, so a sink without a buffer measures the exact
// length of a result.
class CSink
{
public:
    CSink(char* output, int size)
        : m_output(output), m_size(output != nullptr && size > 0 ? size : 0)
    {
    }

    void Put(char ch)
    {
        if (m_written < m_size)
            m_output[m_written++] = ch;
        ++m_needed;
    }
    void Put(const void* bytes, int length)
    {
        const char* text = static_cast<const char*>(bytes);
        for (int i = 0; i < length; ++i)
            Put(text[i]);
    }
    void Put(const char* text) { Put(text, static_cast<int>(strlen(text))); }

    int GetWritten() const { return m_written; }
    long long GetNeeded() const { return m_needed; }

private:
    char* m_output;
    int m_size;
    int m_written = 0;
    long long m_needed = 0;
};

// Runs one coding into the caller's buffer; the result is what was written.
template <class TCoding> int WriteInto(char* output, int size, TCoding coding)
{
    CSink sink(output, size);
    coding(sink);
    return sink.GetWritten();
}

int ClampLength(long long length)
{
    return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

int HexValue(unsigned char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

void PutHexEscape(CSink& sink, unsigned char byte)
{
    sink.Put('=');
    sink.Put(kHexDigits[byte >> 4]);
    sink.Put(kHexDigits[byte & 15]);
}

bool IsBlank(unsigned char ch)
{
    return ch == ' ' || ch == '\t';
}

bool IsLinearWhiteSpace(unsigned char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// --- quoted-printable ----------------------------------------------------------

// How one input byte of a quoted-printable body is written.
struct QpToken
{
    char text[3];
    int length;
    bool blank;     // a copied blank or tab: a soft break may follow it
    bool hardBreak; // a copied CR or LF: the line starts again
};

// A "." with CR LF before and after it. The start and the end of the input
// count as line ends too: the body may follow the blank line after the
// headers, and the caller ends the last line, so such a dot would stand
// alone on its line as well.
bool IsLoneDot(const unsigned char* in, int n, int i)
{
    bool lineBefore = i == 0 || (i >= 2 && in[i - 2] == '\r' && in[i - 1] == '\n');
    bool lineAfter = i == n - 1 || (i + 2 < n && in[i + 1] == '\r' && in[i + 2] == '\n');
    return in[i] == '.' && lineBefore && lineAfter;
}

QpToken ClassifyQp(const unsigned char* in, int n, int i, bool breaksAreData)
{
    unsigned char ch = in[i];
    bool copy;
    bool blank = false;
    bool hardBreak = false;
    if (ch >= '!' && ch <= '~' && ch != '=')
        copy = breaksAreData || !IsLoneDot(in, n, i);
    else if (IsBlank(ch))
    {
        bool last = i == n - 1;
        bool beforeCr = !breaksAreData && i + 1 < n && in[i + 1] == '\r';
        copy = !last && !beforeCr;
        blank = copy;
    }
    else if ((ch == '\r' || ch == '\n') && !breaksAreData)
    {
        copy = true;
        hardBreak = true;
    }
    else
        copy = false;

    QpToken token;
    token.blank = blank;
    token.hardBreak = hardBreak;
    if (copy)
    {
        token.text[0] = static_cast<char>(ch);
        token.length = 1;
    }
    else
    {
        token.text[0] = '=';
        token.text[1] = kHexDigits[ch >> 4];
        token.text[2] = kHexDigits[ch & 15];
        token.length = 3;
    }
    return token;
}

// The current line is held back until it is complete, because a soft break
// that comes due goes after the line's last blank, not where the line is full.
void EncodeQp(CSink& sink, const unsigned char* in, int n, bool breaksAreData)
{
    char line[kQpLineLimit + 3];
    int lineLength = 0;
    int afterLastBlank = 0; // 0: the line holds no blank yet
    for (int i = 0; i < n; ++i)
    {
        QpToken token = ClassifyQp(in, n, i, breaksAreData);
        if (token.hardBreak)
        {
            sink.Put(line, lineLength);
            sink.Put(token.text[0]);
            lineLength = 0;
            afterLastBlank = 0;
            continue;
        }
        if (lineLength + token.length > kQpLineLimit)
        {
            if (afterLastBlank > 0)
            {
                sink.Put(line, afterLastBlank);
                sink.Put("=\r\n");
                lineLength -= afterLastBlank;
                memmove(line, line + afterLastBlank, static_cast<size_t>(lineLength));
                afterLastBlank = 0;
            }
            // What moved down holds no blank; if the token still does not
            // fit, the line breaks where it is.
            if (lineLength + token.length > kQpLineLimit)
            {
                sink.Put(line, lineLength);
                sink.Put("=\r\n");
                lineLength = 0;
            }
        }
        memcpy(line + lineLength, token.text, static_cast<size_t>(token.length));
        lineLength += token.length;
        if (token.blank)
            afterLastBlank = lineLength;
    }
    sink.Put(line, lineLength);
}

void DecodeQp(CSink& sink, const unsigned char* in, int n)
{
    int i = 0;
    while (i < n)
    {
        if (in[i] != '=')
        {
            sink.Put(static_cast<char>(in[i++]));
            continue;
        }
        if (i + 2 < n && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0)
        {
            sink.Put(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
            i += 3;
        }
        else if (i + 2 < n && in[i + 1] == '\r' && in[i + 2] == '\n')
            i += 3;
        else if (i + 1 < n)
        {
            sink.Put(static_cast<char>(in[i + 1]));
            i += 2;
        }
        else
            ++i; // a soft break that ends the body: its line has no line end
    }
}

// --- Base64 ----------------------------------------------------------------------

void EncodeBase64(CSink& sink, const unsigned char* in, int n, bool lineBreaks)
{
    int column = 0;
    for (int i = 0; i < n; i += 3)
    {
        unsigned int group = static_cast<unsigned int>(in[i]) << 16;
        if (i + 1 < n)
            group |= static_cast<unsigned int>(in[i + 1]) << 8;
        if (i + 2 < n)
            group |= in[i + 2];
        char quad[4] = {kBase64Alphabet[(group >> 18) & 63], kBase64Alphabet[(group >> 12) & 63],
                        i + 1 < n ? kBase64Alphabet[(group >> 6) & 63] : '=',
                        i + 2 < n ? kBase64Alphabet[group & 63] : '='};
        sink.Put(quad, 4);
        column += 4;
        if (lineBreaks && column == kBase64LineLength)
        {
            sink.Put("\r\n");
            column = 0;
        }
    }
    if (lineBreaks && column > 0)
        sink.Put("\r\n");
}

int Base64Value(unsigned char ch)
{
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A';
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9')
        return ch - '0' + 52;
    if (ch == '+')
        return 62;
    if (ch == '/')
        return 63;
    return -1;
}

void DecodeBase64(CSink& sink, const unsigned char* in, int n)
{
    unsigned int bits = 0;
    int bitCount = 0;
    for (int i = 0; i < n; ++i)
    {
        if (in[i] == '\r' || in[i] == '\n')
            continue;
        int value = Base64Value(in[i]);
        if (value < 0)
            break;
        bits = (bits << 6) | static_cast<unsigned int>(value);
        bitCount += 6;
        if (bitCount >= 8)
        {
            bitCount -= 8;
            sink.Put(static_cast<char>((bits >> bitCount) & 0xFF));
        }
    }
}

long long Base64Length(long long n, bool lineBreaks)
{
    long long m = 4 * ((n + 2) / 3);
    return lineBreaks ? m + (m / kBase64LineLength) * 2 + 2 : m;
}

// --- encoded words -------------------------------------------------------------

bool IsValidCharset(const char* charset)
{
    if (charset == nullptr)
        return true;
    size_t length = strlen(charset);
    if (length > static_cast<size_t>(CMimeEncodedWord::kMaxCharsetLength))
        return false;
    for (size_t i = 0; i < length; ++i)
    {
        unsigned char ch = static_cast<unsigned char>(charset[i]);
        if (ch <= ' ' || ch > '~' || ch == '?')
            return false;
    }
    return true;
}

bool IsQLiteral(unsigned char ch)
{
    return ch >= '!' && ch <= '~' && ch != '=' && ch != '?' && ch != '_';
}

long long QTextLength(const unsigned char* in, int n)
{
    long long length = 0;
    for (int i = 0; i < n; ++i)
        length += IsQLiteral(in[i]) ? 1 : 3;
    return length;
}

// Turns all of the input into words; the caller checked the character set,
// whose length (1 to 63) keeps every word's room at 5 characters or more.
void EncodeWords(CSink& sink, const unsigned char* in, int n, char letter, const CString& charset)
{
    int charsetLength = charset.GetLength();
    if (charsetLength == 0)
    {
        sink.Put(in, n);
        return;
    }
    int room = kWordRoom - charsetLength;
    bool first = true;
    auto open = [&]()
    {
        if (!first)
            sink.Put(' ');
        first = false;
        sink.Put("=?");
        sink.Put(static_cast<const char*>(charset));
        sink.Put('?');
        sink.Put(letter);
        sink.Put('?');
    };
    if (letter == 'B')
    {
        int piece = (room / 4) * 3;
        for (int i = 0; i < n; i += piece)
        {
            open();
            EncodeBase64(sink, in + i, std::min(piece, n - i), false);
            sink.Put("?=");
        }
        return;
    }
    int used = 0;
    for (int i = 0; i < n; ++i)
    {
        int length = IsQLiteral(in[i]) ? 1 : 3;
        if (first || used + length > room)
        {
            if (!first)
                sink.Put("?=");
            open();
            used = 0;
        }
        if (length == 1)
            sink.Put(static_cast<char>(in[i]));
        else
            PutHexEscape(sink, in[i]);
        used += length;
    }
    if (!first)
        sink.Put("?=");
}

long long EncodedWordsLength(int n, char letter, int charsetLength, const unsigned char* in)
{
    if (charsetLength == 0)
        return n;
    long long body = letter == 'B' ? Base64Length(n, false) : QTextLength(in, n);
    return body + (body / (64 - charsetLength) + 1) * (charsetLength + 11);
}

bool IsWordChar(unsigned char ch)
{
    return ch > ' ' && ch != 127 && ch != '?';
}

// A word "=?charset?B?text?=" or with Q, starting at `at`: true with its
// letter, the range of its text and the index after it.
bool ParseWord(const unsigned char* in, int n, int at, char& letter, int& textStart, int& textEnd,
               int& end)
{
    if (at + 1 >= n || in[at] != '=' || in[at + 1] != '?')
        return false;
    int i = at + 2;
    while (i < n && IsWordChar(in[i]))
        ++i;
    if (i == at + 2 || i + 2 >= n || in[i] != '?' || in[i + 2] != '?')
        return false;
    unsigned char mark = in[i + 1];
    if (mark != 'B' && mark != 'b' && mark != 'Q' && mark != 'q')
        return false;
    textStart = i + 3;
    i = textStart;
    while (i < n && IsWordChar(in[i]))
        ++i;
    if (i + 1 >= n || in[i] != '?' || in[i + 1] != '=')
        return false;
    letter = static_cast<char>(mark == 'b' || mark == 'B' ? 'B' : 'Q');
    textEnd = i;
    end = i + 2;
    return true;
}

void DecodeQText(CSink& sink, const unsigned char* in, int n)
{
    for (int i = 0; i < n; ++i)
    {
        if (in[i] == '_')
            sink.Put(' ');
        else if (in[i] == '=' && i + 2 < n && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0)
        {
            sink.Put(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
            i += 2;
        }
        else
            sink.Put(static_cast<char>(in[i])); // a stray "=" stays as it is
    }
}

// Decodes every word of the input and copies the rest; white space that
// stands only between two words belongs to neither and goes.
void DecodeWords(CSink& sink, const unsigned char* in, int n)
{
    bool afterWord = false;
    int heldSpace = -1; // start of the white space after the last word
    int i = 0;
    while (i < n)
    {
        char letter;
        int textStart;
        int textEnd;
        int end;
        if (ParseWord(in, n, i, letter, textStart, textEnd, end))
        {
            heldSpace = -1;
            if (letter == 'B')
                DecodeBase64(sink, in + textStart, textEnd - textStart);
            else
                DecodeQText(sink, in + textStart, textEnd - textStart);
            afterWord = true;
            i = end;
            continue;
        }
        if (afterWord && IsLinearWhiteSpace(in[i]))
        {
            if (heldSpace < 0)
                heldSpace = i;
            ++i;
            continue;
        }
        if (heldSpace >= 0)
            sink.Put(in + heldSpace, i - heldSpace);
        heldSpace = -1;
        afterWord = false;
        sink.Put(static_cast<char>(in[i++]));
    }
    if (heldSpace >= 0)
        sink.Put(in + heldSpace, n - heldSpace);
}

// --- header fields ---------------------------------------------------------------

// The index after the unit that starts at i: a quoted string, a comment (which
// may nest) or an address in angle brackets; a backslash quotes the next
// character inside the first two. Any other character is a unit of one. An
// unclosed unit runs to the end.
int SkipUnit(const unsigned char* in, int n, int i)
{
    unsigned char open = in[i];
    if (open == '"')
    {
        for (++i; i < n; ++i)
        {
            if (in[i] == '\\')
                ++i;
            else if (in[i] == '"')
                return i + 1;
        }
        return n;
    }
    if (open == '(')
    {
        int depth = 0;
        for (; i < n; ++i)
        {
            if (in[i] == '\\')
                ++i;
            else if (in[i] == '(')
                ++depth;
            else if (in[i] == ')' && --depth == 0)
                return i + 1;
        }
        return n;
    }
    if (open == '<')
    {
        for (++i; i < n; ++i)
        {
            if (in[i] == '>')
                return i + 1;
        }
        return n;
    }
    return i + 1;
}

bool StartsWord(const unsigned char* in, int n, int i)
{
    return i + 1 < n && in[i] == '=' && in[i + 1] == '?';
}
} // namespace

// --- CMimeCodeBase -----------------------------------------------------------------

CMimeCodeBase::~CMimeCodeBase() = default;

void CMimeCodeBase::SetInput(const void* input, int length, bool encoding)
{
    bool empty = input == nullptr || length <= 0;
    m_input = empty ? nullptr : static_cast<const unsigned char*>(input);
    m_inputLength = empty ? 0 : length;
    m_encoding = encoding;
}

int CMimeCodeBase::GetOutputLength() const
{
    return m_inputLength;
}

int CMimeCodeBase::GetMaxDecodedLength() const
{
    return m_inputLength;
}

int CMimeCodeBase::Encode(char* output, int size) const
{
    CSink sink(output, size);
    sink.Put(m_input, std::min(m_inputLength, std::max(size, 0)));
    return sink.GetWritten();
}

int CMimeCodeBase::Decode(char* output, int size) const
{
    return CMimeCodeBase::Encode(output, size);
}

int CMimeCodeBase::LengthFor(long long encodedLength) const
{
    return m_encoding ? ClampLength(encodedLength) : GetMaxDecodedLength();
}

// --- CMimeCodeQP ---------------------------------------------------------------------

int CMimeCodeQP::GetOutputLength() const
{
    // n + (n / 74) * 6, where n counts three characters for every byte that
    // becomes "=XX" ("=", blanks at line ends and lone dots included, not
    // only the bytes outside the printable range). The real length, measured
    // by a counting pass, is the floor, so a buffer of this size never cuts.
    const unsigned char* in = GetInput();
    int count = GetInputLength();
    long long n = 0;
    for (int i = 0; i < count; ++i)
        n += ClassifyQp(in, count, i, GetOption()).length;
    CSink counter(nullptr, 0);
    EncodeQp(counter, in, count, GetOption());
    return LengthFor(std::max(n + (n / 74) * 6, counter.GetNeeded()));
}

int CMimeCodeQP::Encode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink)
                     { EncodeQp(sink, GetInput(), GetInputLength(), GetOption()); });
}

int CMimeCodeQP::Decode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink) { DecodeQp(sink, GetInput(), GetInputLength()); });
}

// --- CMimeCodeBase64 ---------------------------------------------------------------

int CMimeCodeBase64::GetOutputLength() const
{
    return LengthFor(Base64Length(GetInputLength(), GetOption()));
}

int CMimeCodeBase64::GetMaxDecodedLength() const
{
    return ClampLength(static_cast<long long>(GetInputLength()) * 3 / 4 + 2);
}

int CMimeCodeBase64::Encode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink)
                     { EncodeBase64(sink, GetInput(), GetInputLength(), GetOption()); });
}

int CMimeCodeBase64::Decode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink) { DecodeBase64(sink, GetInput(), GetInputLength()); });
}

// --- CMimeEncodedWord ----------------------------------------------------------------

bool CMimeEncodedWord::SetEncoding(char letter, const char* charset)
{
    char upper = letter == 'b' ? 'B' : (letter == 'q' ? 'Q' : letter);
    if ((upper != 'B' && upper != 'Q') || !IsValidCharset(charset))
        return false;
    m_letter = upper;
    m_charset = charset;
    return true;
}

int CMimeEncodedWord::GetOutputLength() const
{
    // b + (b / (64 - L) + 1) * (L + 11) with b the word texts' length. For Q
    // b counts the Q text itself, which also encodes "?" and "_": the
    // quoted-printable body length would miss those.
    return LengthFor(
        EncodedWordsLength(GetInputLength(), m_letter, m_charset.GetLength(), GetInput()));
}

int CMimeEncodedWord::Encode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink)
                     { EncodeWords(sink, GetInput(), GetInputLength(), m_letter, m_charset); });
}

int CMimeEncodedWord::Decode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink) { DecodeWords(sink, GetInput(), GetInputLength()); });
}

// --- field coders ------------------------------------------------------------------

namespace
{
// Encodes one run (the text between two delimiters): from the first word
// that needs encoding to the last one, the words with the blanks between
// them become encoded words; the words around stay as they are. A word of a
// structured field that holds an address in angle brackets is never encoded
// and ends the stretch before it. A word needs encoding when it holds a byte
// above 127, or "=?", which would otherwise decode as the start of a word.
void EncodeRun(CSink& sink, const unsigned char* run, int n, bool structured,
               const CString& charset)
{
    int copied = 0;
    int stretchStart = -1;
    int stretchEnd = -1;
    auto flush = [&]()
    {
        if (stretchStart < 0)
            return;
        sink.Put(run + copied, stretchStart - copied);
        EncodeWords(sink, run + stretchStart, stretchEnd - stretchStart, 'B', charset);
        copied = stretchEnd;
        stretchStart = -1;
    };
    int i = 0;
    while (i < n)
    {
        if (IsBlank(run[i]))
        {
            ++i;
            continue;
        }
        int wordStart = i;
        bool address = false;
        while (i < n && !IsBlank(run[i]))
        {
            address = address || (structured && run[i] == '<');
            i = structured ? SkipUnit(run, n, i) : i + 1;
        }
        bool needs = false;
        for (int k = wordStart; k < i && !needs; ++k)
            needs = run[k] > 127 || StartsWord(run, i, k);
        if (address)
            flush();
        else if (needs)
        {
            if (stretchStart < 0)
                stretchStart = wordStart;
            stretchEnd = i;
        }
    }
    flush();
    sink.Put(run + copied, n - copied);
}

// Splits the value into runs at the coder's delimiters (which are copied) and
// encodes each run; in a structured field a delimiter inside a unit ends no
// run. Without a character set the value is copied.
void EncodeField(CSink& sink, const CFieldCodeBase& coder, bool structured, const CString& charset)
{
    const unsigned char* in = coder.GetInput();
    int n = coder.GetInputLength();
    if (charset.IsEmpty())
    {
        sink.Put(in, n);
        return;
    }
    int i = 0;
    while (i < n)
    {
        int runStart = i;
        while (i < n && !coder.IsDelimiter(in[i]))
            i = structured ? SkipUnit(in, n, i) : i + 1;
        EncodeRun(sink, in + runStart, i - runStart, structured, charset);
        if (i < n)
            sink.Put(static_cast<char>(in[i++]));
    }
}
} // namespace

bool CFieldCodeBase::SetCharset(const char* charset)
{
    if (!IsValidCharset(charset))
        return false;
    m_charset = charset;
    return true;
}

bool CFieldCodeBase::IsDelimiter(unsigned char ch) const
{
    return false;
}

unsigned char CFieldCodeBase::GetDelimiter() const
{
    return 255;
}

int CFieldCodeBase::GetOutputLength() const
{
    if (!IsEncoding())
        return GetMaxDecodedLength();
    CSink counter(nullptr, 0);
    EncodeField(counter, *this, m_structured, m_charset);
    return ClampLength(counter.GetNeeded());
}

int CFieldCodeBase::Encode(char* output, int size) const
{
    return WriteInto(output, size,
                     [this](CSink& sink) { EncodeField(sink, *this, m_structured, m_charset); });
}

int CFieldCodeBase::Decode(char* output, int size) const
{
    CSink sink(output, size);
    CString value = Unfold(reinterpret_cast<const char*>(GetInput()), GetInputLength());
    const unsigned char* in =
        reinterpret_cast<const unsigned char*>(static_cast<const char*>(value));
    int n = value.GetLength();
    if (!m_structured)
    {
        DecodeWords(sink, in, n);
        return sink.GetWritten();
    }
    // Encoded words never stand inside a quoted string or an address, so
    // those are copied as they are; comments are decoded like the rest. A
    // word is stepped over whole first: the text of a Q word may hold a
    // quote or an angle bracket that starts no unit.
    int pending = 0;
    int i = 0;
    while (i < n)
    {
        char letter;
        int textStart;
        int textEnd;
        int end;
        if (ParseWord(in, n, i, letter, textStart, textEnd, end))
            i = end;
        else if (in[i] == '"' || in[i] == '<')
        {
            DecodeWords(sink, in + pending, i - pending);
            int unitEnd = SkipUnit(in, n, i);
            sink.Put(in + i, unitEnd - i);
            i = pending = unitEnd;
        }
        else
            i = SkipUnit(in, n, i);
    }
    DecodeWords(sink, in + pending, n - pending);
    return sink.GetWritten();
}

CString CFieldCodeBase::Unfold(const char* value, int length)
{
    // Worked from the end towards the start: the blank that replaces a later
    // CR LF is itself a blank after an earlier CR LF, so "\r\n\r\n x" becomes
    // " x", one blank for the whole fold.
    std::string reversed;
    reversed.reserve(length > 0 ? static_cast<size_t>(length) : 0);
    for (int i = length - 1; i >= 0; --i)
    {
        if (i >= 1 && value[i] == '\n' && value[i - 1] == '\r')
        {
            while (!reversed.empty() && IsBlank(static_cast<unsigned char>(reversed.back())))
                reversed.pop_back();
            reversed.push_back(' ');
            --i;
        }
        else
            reversed.push_back(value[i]);
    }
    std::reverse(reversed.begin(), reversed.end());
    return CString(reversed.data(), static_cast<int>(reversed.size()));
}

unsigned char CFieldCodeText::GetDelimiter() const
{
    return 255;
}

bool CFieldCodeAddress::IsDelimiter(unsigned char ch) const
{
    return ch == ',' || ch == ':';
}

unsigned char CFieldCodeAddress::GetDelimiter() const
{
    return ',';
}

bool CFieldCodeParameter::IsDelimiter(unsigned char ch) const
{
    return ch == ';';
}

unsigned char CFieldCodeParameter::GetDelimiter() const
{
    return ';';
}

// --- registries ----------------------------------------------------------------------

namespace
{
CMimeCodeBase* NewQuotedPrintable()
{
    return new CMimeCodeQP;
}

// Base64 bodies are written in lines, as mail needs.
CMimeCodeBase* NewBase64()
{
    CMimeCodeBase64* coder = new CMimeCodeBase64;
    coder->SetOption(true);
    return coder;
}

template <class TField> CFieldCodeBase* NewFieldCoder()
{
    return new TField;
}
} // namespace

// Made on first use, so a lookup from another file's static start-up finds a
// constructed list; destroyed, and so emptied, when the program exits.
CMimeRegistry<CMimeCodeBase>& GetMimeCoders()
{
    static CMimeRegistry<CMimeCodeBase> coders;
    return coders;
}

CMimeRegistry<CFieldCodeBase>& GetFieldCoders()
{
    static CMimeRegistry<CFieldCodeBase> coders;
    return coders;
}

void RegisterMimeCoders()
{
    CMimeRegistry<CMimeCodeBase>& coders = GetMimeCoders();
    coders.Register("quoted-printable", NewQuotedPrintable);
    coders.Register("base64", NewBase64);

    CMimeRegistry<CFieldCodeBase>& fields = GetFieldCoders();
    for (const char* name : {"Subject", "Comments", "Content-Description"})
        fields.Register(name, NewFieldCoder<CFieldCodeText>);
    for (const char* name : {"From", "To", "Resent-To", "Cc", "Resent-Cc", "Bcc", "Resent-Bcc",
                             "Reply-To", "Resent-Reply-To"})
        fields.Register(name, NewFieldCoder<CFieldCodeAddress>);
    for (const char* name : {"Content-Type", "Content-Disposition"})
        fields.Register(name, NewFieldCoder<CFieldCodeParameter>);
}
