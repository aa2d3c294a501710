// CString: the one string type of the three programs. An ANSI text in a
// reference-counted block shared between copies, with copy on write.
//
// The block is a header of three 32-bit integers (reference count, length,
// capacity) followed by capacity + 1 characters; the object points at the
// first character, so the text is always NUL-terminated and can go straight
// to any system call.
//
// Two deliberate quirks that callers must know:
// - a default-constructed string holds no block and compares unequal to
//   everything, "" and another empty string included: test emptiness with
//   IsEmpty(), never with == "";
// - copying a string of length 0 gives a string without a block.
//
// A CString has a virtual table, so it must never be passed through "..."
// itself: pass (const char*)s. Format carries a printf attribute so the
// compiler refuses the mistake.
#ifndef BRINDLEWOX_FOUNDATION_STRING_H
#define BRINDLEWOX_FOUNDATION_STRING_H

#include "foundation/Base.h"

class CString
{
public:
    CString() : m_pchData(nullptr) {}
    // A non-null pointer below 65,536 is a string-resource id and loads that
    // resource. A null pointer gives an empty string.
    CString(const char* text, int length = -1);
    CString(char ch, int count);
    explicit CString(HWND window);
    // Shares the other's block; an empty source gives a string without one.
    CString(const CString& other);
    virtual ~CString();

    CString& operator=(const CString& other);
    // A value below 65,536 loads that string resource; null empties.
    CString& operator=(const char* text);

    int GetLength() const;
    bool IsEmpty() const { return GetLength() == 0; }
    operator const char*() const { return m_pchData ? m_pchData : s_empty; }
    // Reading access. Out-of-range indices read as 0 instead of touching
    // memory outside the block.
    char operator[](int index) const;
    // Writing access for callers that unshared first (CopyBeforeWrite), to
    // the characters 0 to length - 1. Any other index, the terminator's
    // included (a character written there would leave the string without
    // its end), gives a scratch character that belongs to no string.
    char& operator[](int index);

    bool operator==(const CString& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const CString& other) const { return !(*this == other); }
    bool operator!=(const char* text) const { return !(*this == text); }
    // Multi-byte case-insensitive comparison; a null argument counts as "".
    int CompareNoCase(const char* text) const;

    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;

    // Index and count are clamped to the string.
    CString Left(int count) const;
    CString Mid(int index, int count = -1) const;
    CString Right(int count) const;

    // Hands out fields separated by one character. Start with position 0 and
    // call again with each returned position until it returns 0.
    int Tokenize(char separator, int position, CString& field) const;

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    void AppendNumber(int number);

    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);
    // Shortens to length; a length that is not shorter is ignored.
    void Truncate(int length);
    void Empty();
    CString& Trim();
    void MakeUpper();
    void MakeLower();
    int Replace(char oldChar, char newChar);

    // wvsprintfA formatting (no floating point). Output that reaches
    // wvsprintfA's 1,024-character limit is formatted again without a limit,
    // so a long text is never cut short.
    void Format(const char* format, ...) BW_PRINTF(2, 3);
    void FormatV(const char* format, va_list args);

    // Loads a string resource of the framework's resource module. True when
    // the text is not empty.
    bool LoadString(UINT id);
    // The system's text for an error code (0: GetLastError()), or
    // "Error N occured." when the system has none.
    void FormatErrorMessage(DWORD code);

    // Replaces the contents with a window's text; returns the count copied.
    int GetWindowText(HWND window);
    CString& AssignWindowText(HWND window);

    // Gives up the current contents and returns an unshared block of length
    // n for the caller to fill (at most n characters and a terminator);
    // Truncate afterwards when fewer were written.
    char* GetBuffer(int n);
    void CopyBeforeWrite();

private:
    struct Header
    {
        volatile LONG refs;
        int length;
        int capacity;
    };
    static_assert(sizeof(Header) == 12, "the block header is three 32-bit integers");

    Header* GetHeader() const { return reinterpret_cast<Header*>(m_pchData) - 1; }
    static int RoundCapacity(int n);
    static char* NewBlock(int capacity);
    static void Release(char* data);
    // Makes the length n (see the .cpp); with keep the old text stays in front.
    void AllocBuffer(int n, bool keep);
    bool PointsInside(const char* text) const;
    void Append(const char* text, int length);
    void AssignText(const char* text, int length);

    char* m_pchData;
    static const char s_empty[1];

    friend struct CStringTestAccess;
};

CString operator+(const CString& left, const CString& right);
CString operator+(const CString& left, const char* right);
CString operator+(const char* left, const CString& right);
// One character followed by the string (stored-file paths, dated names).
CString operator+(char left, const CString& right);

#endif
