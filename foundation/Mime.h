// MIME coders: the quoted-printable and Base64 body coders, RFC 2047 encoded
// words, the header-field coders for text, address and parameter fields, and
// the two process-wide registries that find a coder by its name.
//
// Every coder works on input it does not own (set with SetInput) and writes
// into a buffer the caller supplies. Encode and Decode return the number of
// bytes written and never write past the size they are given; a buffer of
// GetOutputLength() bytes always holds the whole result, so a caller that
// sizes its buffer that way never gets a cut result.
#ifndef BRINDLEWOX_FOUNDATION_MIME_H
#define BRINDLEWOX_FOUNDATION_MIME_H

#include "foundation/Base.h"
#include "foundation/String.h"

class CMimeCodeBase
{
public:
    CMimeCodeBase() = default;
    virtual ~CMimeCodeBase();

    // The bytes to code; not copied, so they must live as long as the coder
    // uses them. A null input or a negative length counts as empty.
    // `encoding` says which way the caller means to go (see GetOutputLength).
    void SetInput(const void* input, int length, bool encoding);
    const unsigned char* GetInput() const { return m_input; }
    int GetInputLength() const { return m_inputLength; }
    bool IsEncoding() const { return m_encoding; }

    // The coder's own option: for quoted-printable it makes line breaks data
    // (CR and LF are encoded instead of copied); for Base64 it asks for a
    // CR LF after every 76 output characters.
    void SetOption(bool on) { m_option = on; }
    bool GetOption() const { return m_option; }

    // The buffer size that holds the whole result of the coding the input
    // was set for: the encoded length when encoding, GetMaxDecodedLength()
    // when decoding. The base returns the input length. Results that would
    // pass 2 GiB are clamped to INT_MAX.
    virtual int GetOutputLength() const;
    // Enough for the decoded form of the input. The base returns the input
    // length.
    virtual int GetMaxDecodedLength() const;
    // The base copies at most `size` bytes of the input.
    virtual int Encode(char* output, int size) const;
    virtual int Decode(char* output, int size) const;

protected:
    // GetOutputLength's answer for a coder whose encoded form is that long:
    // the length (clamped) when encoding, GetMaxDecodedLength() when decoding.
    int LengthFor(long long encodedLength) const;

private:
    const unsigned char* m_input = nullptr;
    int m_inputLength = 0;
    bool m_encoding = false;
    bool m_option = false;
};

// Quoted-printable body coder. Printable bytes other than "=" are copied;
// everything else becomes "=" and two upper-case hexadecimal digits. A blank
// or tab is encoded when it ends the input or (with the option off) stands
// before a CR, so no line ends in white space a mail relay could strip; a "."
// alone on a line (the start and end of the input count as line ends) is
// encoded with the option off, so it cannot end an SMTP message. No line
// holds more than 75 characters before its soft break "=" CR LF, which goes
// after the line's last blank when it has one.
class CMimeCodeQP : public CMimeCodeBase
{
public:
    int GetOutputLength() const override;
    int Encode(char* output, int size) const override;
    // "=XX" in either case gives the byte, "=" CR LF (a soft line break) and
    // an "=" that ends the input give nothing, "=" before any other
    // character gives that character.
    int Decode(char* output, int size) const override;
};

// Base64 body coder: the standard alphabet with "=" fill; with the option a
// CR LF follows every 76 output characters and a last, shorter line.
// Decoding skips CR and LF and stops at the first character outside the
// alphabet ("=" included).
class CMimeCodeBase64 : public CMimeCodeBase
{
public:
    int GetOutputLength() const override;
    int GetMaxDecodedLength() const override;
    int Encode(char* output, int size) const override;
    int Decode(char* output, int size) const override;
};

// RFC 2047 encoded words "=?charset?B?...?=" and "=?charset?Q?...?=".
// Encoding turns the whole input into words of at most 75 characters,
// separated by one blank; without a character set the input is copied
// unchanged. Decoding works without a character set of its own: it decodes
// every well-formed word of the input, drops the white space between two
// adjacent words and copies everything else.
class CMimeEncodedWord : public CMimeCodeBase
{
public:
    // The longest character-set name a 75-character word leaves room for.
    static const int kMaxCharsetLength = 63;

    // Letter "B" or "Q" (either case) and the character-set name; a null or
    // empty name means no encoding. Refuses (false, settings untouched) any
    // other letter and a name that is longer than 63 characters or holds a
    // "?", white space or a control character, which would break the word.
    bool SetEncoding(char letter, const char* charset);
    char GetEncoding() const { return m_letter; }
    const char* GetCharset() const { return m_charset; }

    int GetOutputLength() const override;
    int Encode(char* output, int size) const override;
    int Decode(char* output, int size) const override;

private:
    char m_letter = 'B';
    CString m_charset;
};

// Header-field coders: encode a header value with encoded words of the
// coder's character set where it holds bytes above 127, and decode a header
// value (unfolding it first). The address and parameter coders read the
// value as structured: quoted strings, comments in parentheses and addresses
// in angle brackets are units whose inside never ends a run, and an address
// in angle brackets is never encoded. The base and text coders read the
// value as plain text. Encoded words of the field coders always use "B": its
// text holds no "," ";" or quotes, so it is safe in every kind of field.
class CFieldCodeBase : public CMimeCodeBase
{
public:
    CFieldCodeBase() = default;

    // The character set of the words Encode writes; same rules as
    // CMimeEncodedWord::SetEncoding. Without one Encode copies the value.
    bool SetCharset(const char* charset);
    const char* GetCharset() const { return m_charset; }

    // Characters that end a run of the value; the base has none.
    virtual bool IsDelimiter(unsigned char ch) const;
    // The coder's delimiter character, 255 when it has none.
    virtual unsigned char GetDelimiter() const;

    // The exact length Encode writes (or the input length when decoding).
    int GetOutputLength() const override;
    int Encode(char* output, int size) const override;
    int Decode(char* output, int size) const override;

    // Every CR LF of a header value, with the blanks and tabs after it,
    // becomes one blank.
    static CString Unfold(const char* value, int length);

protected:
    explicit CFieldCodeBase(bool structured) : m_structured(structured) {}

private:
    bool m_structured = false;
    CString m_charset;
};

// Subject, Comments, Content-Description.
class CFieldCodeText : public CFieldCodeBase
{
public:
    unsigned char GetDelimiter() const override;
};

// From, To, Cc, Bcc, Reply-To and their Resent- forms: runs end at "," and ":".
class CFieldCodeAddress : public CFieldCodeBase
{
public:
    CFieldCodeAddress() : CFieldCodeBase(true) {}
    bool IsDelimiter(unsigned char ch) const override;
    unsigned char GetDelimiter() const override;
};

// Content-Type, Content-Disposition: runs end at ";".
class CFieldCodeParameter : public CFieldCodeBase
{
public:
    CFieldCodeParameter() : CFieldCodeBase(true) {}
    bool IsDelimiter(unsigned char ch) const override;
    unsigned char GetDelimiter() const override;
};

// A list of {name, factory} pairs, newest first. Names compare without
// regard to case. Filled during static start-up and read afterwards; it
// takes no lock, so register only before other threads run.
template <class TCoder> class CMimeRegistry
{
public:
    // A factory returns a new coder that the caller deletes.
    using Factory = TCoder* (*)();

    CMimeRegistry() = default;
    CMimeRegistry(const CMimeRegistry&) = delete;
    CMimeRegistry& operator=(const CMimeRegistry&) = delete;
    ~CMimeRegistry() { Clear(); }

    // Removes every entry of that name, then adds the pair in front unless
    // the factory is null (so a null factory only removes). A null name is
    // ignored.
    void Register(const char* name, Factory factory)
    {
        if (name == nullptr)
            return;
        for (Entry** link = &m_first; *link != nullptr;)
        {
            Entry* entry = *link;
            if (entry->name.CompareNoCase(name) == 0)
            {
                *link = entry->next;
                delete entry;
            }
            else
                link = &entry->next;
        }
        if (factory != nullptr)
            m_first = new Entry{CString(name), factory, m_first};
    }

    // The factory registered under the name, or null.
    Factory Find(const char* name) const
    {
        if (name == nullptr)
            return nullptr;
        for (const Entry* entry = m_first; entry != nullptr; entry = entry->next)
        {
            if (entry->name.CompareNoCase(name) == 0)
                return entry->factory;
        }
        return nullptr;
    }

    // A new coder for the name (the caller deletes it), or null.
    TCoder* Create(const char* name) const
    {
        Factory factory = Find(name);
        return factory != nullptr ? factory() : nullptr;
    }

    int GetCount() const
    {
        int count = 0;
        for (const Entry* entry = m_first; entry != nullptr; entry = entry->next)
            ++count;
        return count;
    }

    // The name of the entry at that place (0 is the newest), or null.
    const char* GetName(int index) const
    {
        const Entry* entry = m_first;
        for (; entry != nullptr && index > 0; --index)
            entry = entry->next;
        return entry != nullptr && index == 0 ? static_cast<const char*>(entry->name) : nullptr;
    }

    void Clear()
    {
        while (m_first != nullptr)
        {
            Entry* next = m_first->next;
            delete m_first;
            m_first = next;
        }
    }

private:
    struct Entry
    {
        CString name;
        Factory factory;
        Entry* next;
    };
    Entry* m_first = nullptr;
};

// The transfer-encoding coders by encoding name ("quoted-printable",
// "base64") and the field coders by header-field name ("Subject", "To",
// "Content-Type", ...). Both are filled when the program starts and emptied
// when it exits.
CMimeRegistry<CMimeCodeBase>& GetMimeCoders();
CMimeRegistry<CFieldCodeBase>& GetFieldCoders();

// Registers the standard coders and field coders in both registries (done
// once by the class library's static set-up, StaticSetup.cpp; calling it
// again puts back any that were removed or replaced).
void RegisterMimeCoders();

#endif
