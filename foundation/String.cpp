#include "foundation/String.h"

#include "foundation/Module.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <mbstring.h>
#include <mbctype.h>
#include <new>

const char CString::s_empty[1] = "";

namespace
{
// Where out-of-range writes through operator[] land: never inside a string.
thread_local char g_scratch;

bool IsResourceId(const char* text)
{
    return text != nullptr && IS_INTRESOURCE(text);
}

int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}
} // namespace

// --- blocks -------------------------------------------------------------------

int CString::RoundCapacity(int n)
{
    if (n < 64)
        return 64;
    if (n < 128)
        return 128;
    if (n < 256)
        return 256;
    if (n < 320)
        return 320;
    if (n < 384)
        return 384;
    if (n < 448)
        return 448;
    if (n < 512)
        return 512;
    if (n > INT_MAX - 16)
        throw std::bad_alloc();
    return ((n + 7) & ~7) + 8;
}

char* CString::NewBlock(int capacity)
{
    // The global allocator: its failure handler (installed by the module
    // state) raises CMemoryException before anything is changed.
    void* raw = ::operator new(sizeof(Header) + static_cast<size_t>(capacity) + 1);
    Header* header = static_cast<Header*>(raw);
    header->refs = 1;
    header->length = 0;
    header->capacity = capacity;
    char* data = reinterpret_cast<char*>(header + 1);
    data[0] = 0;
    return data;
}

void CString::Release(char* data)
{
    if (data == nullptr)
        return;
    Header* header = reinterpret_cast<Header*>(data) - 1;
    if (InterlockedDecrement(&header->refs) == 0)
        ::operator delete(header);
}

void CString::CopyBeforeWrite()
{
    if (m_pchData == nullptr || GetHeader()->refs < 2)
        return;
    Header* old = GetHeader();
    char* data = NewBlock(RoundCapacity(old->capacity));
    memcpy(data, m_pchData, static_cast<size_t>(old->length) + 1);
    reinterpret_cast<Header*>(data)[-1].length = old->length;
    Release(m_pchData);
    m_pchData = data;
}

void CString::AllocBuffer(int n, bool keep)
{
    if (m_pchData != nullptr && n < GetHeader()->capacity)
    {
        GetHeader()->length = n;
        m_pchData[n] = 0;
        return;
    }
    char* data = NewBlock(RoundCapacity(n));
    if (keep && m_pchData != nullptr)
        memcpy(data, m_pchData, static_cast<size_t>(GetHeader()->length) + 1);
    reinterpret_cast<Header*>(data)[-1].length = n;
    data[n] = 0;
    Release(m_pchData);
    m_pchData = data;
}

bool CString::PointsInside(const char* text) const
{
    if (m_pchData == nullptr || text == nullptr)
        return false;
    return text >= m_pchData && text <= m_pchData + GetHeader()->capacity;
}

// --- construction and assignment ------------------------------------------------

CString::CString(const char* text, int length) : m_pchData(nullptr)
{
    if (IsResourceId(text))
        LoadString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)));
    else
        AssignText(text, length);
}

CString::CString(char ch, int count) : m_pchData(nullptr)
{
    if (count < 0)
        count = 0;
    AllocBuffer(count, false);
    memset(m_pchData, ch, static_cast<size_t>(count));
}

CString::CString(HWND window) : m_pchData(nullptr)
{
    GetWindowText(window);
}

CString::CString(const CString& other) : m_pchData(nullptr)
{
    if (other.m_pchData != nullptr && other.GetHeader()->length > 0)
    {
        InterlockedIncrement(&other.GetHeader()->refs);
        m_pchData = other.m_pchData;
    }
}

CString::~CString()
{
    Release(m_pchData);
}

CString& CString::operator=(const CString& other)
{
    // Take the new reference before letting go of the old block, so that a
    // self-assignment or two strings on one block stay intact.
    char* data = other.m_pchData;
    if (data != nullptr)
        InterlockedIncrement(&other.GetHeader()->refs);
    Release(m_pchData);
    m_pchData = data;
    return *this;
}

CString& CString::operator=(const char* text)
{
    if (IsResourceId(text))
        LoadString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)));
    else
        AssignText(text, -1);
    return *this;
}

void CString::AssignText(const char* text, int length)
{
    if (text == nullptr)
        text = s_empty;
    if (length < 0)
        length = static_cast<int>(strlen(text));
    if (PointsInside(text))
    {
        // The text lives in our own block, which may move below.
        CString copy(text, length);
        AssignText(copy.m_pchData ? copy.m_pchData : s_empty, length);
        return;
    }
    CopyBeforeWrite();
    AllocBuffer(length, false);
    memcpy(m_pchData, text, static_cast<size_t>(length));
    m_pchData[length] = 0;
}

// --- reading ------------------------------------------------------------------

int CString::GetLength() const
{
    return m_pchData ? GetHeader()->length : 0;
}

char CString::operator[](int index) const
{
    if (index < 0 || index >= GetLength())
        return 0;
    return m_pchData[index];
}

char& CString::operator[](int index)
{
    if (m_pchData == nullptr || index < 0 || index >= GetLength())
    {
        g_scratch = 0;
        return g_scratch;
    }
    return m_pchData[index];
}

bool CString::operator==(const CString& other) const
{
    if (this == &other)
        return true;
    if (m_pchData == nullptr || other.m_pchData == nullptr)
        return false;
    return _mbscmp(reinterpret_cast<const unsigned char*>(m_pchData),
                   reinterpret_cast<const unsigned char*>(other.m_pchData)) == 0;
}

bool CString::operator==(const char* text) const
{
    if (m_pchData == nullptr || text == nullptr)
        return false;
    return _mbscmp(reinterpret_cast<const unsigned char*>(m_pchData),
                   reinterpret_cast<const unsigned char*>(text)) == 0;
}

int CString::CompareNoCase(const char* text) const
{
    const char* own = *this;
    return _mbsicmp(reinterpret_cast<const unsigned char*>(own),
                    reinterpret_cast<const unsigned char*>(text ? text : s_empty));
}

int CString::Find(char ch, int start) const
{
    int length = GetLength();
    if (start < 0)
        start = 0;
    for (int i = start; i < length; ++i)
    {
        if (m_pchData[i] == ch)
            return i;
    }
    return -1;
}

int CString::Find(const char* sub, int start) const
{
    if (sub == nullptr)
        return -1;
    int length = GetLength();
    int subLength = static_cast<int>(strlen(sub));
    if (start < 0)
        start = 0;
    if (start > length - subLength)
        return -1;
    for (int i = start; i <= length - subLength; ++i)
    {
        if (memcmp(m_pchData + i, sub, static_cast<size_t>(subLength)) == 0)
            return i;
    }
    return -1;
}

int CString::ReverseFind(char ch) const
{
    for (int i = GetLength() - 1; i >= 0; --i)
    {
        if (m_pchData[i] == ch)
            return i;
    }
    return -1;
}

CString CString::Left(int count) const
{
    return Mid(0, Clamp(count, 0, GetLength()));
}

CString CString::Mid(int index, int count) const
{
    int length = GetLength();
    index = Clamp(index, 0, length);
    if (count < 0)
        count = length - index;
    count = Clamp(count, 0, length - index);
    return CString(m_pchData ? m_pchData + index : s_empty, count);
}

CString CString::Right(int count) const
{
    int length = GetLength();
    count = Clamp(count, 0, length);
    return Mid(length - count, count);
}

int CString::Tokenize(char separator, int position, CString& field) const
{
    int length = GetLength();
    if (length == 0 || position < 0 || position >= length)
        return 0;
    int end = position;
    while (end < length && m_pchData[end] != separator)
    {
        // One multi-byte character at a time: a trail byte equal to the
        // separator does not split a character.
        const char* next = CharNextA(m_pchData + end);
        int step = static_cast<int>(next - (m_pchData + end));
        end += step > 0 ? step : 1;
    }
    if (end > length)
        end = length;
    field = Mid(position, end - position);
    return end + 1;
}

// --- changing -------------------------------------------------------------------

void CString::Append(const char* text, int length)
{
    if (length <= 0)
        return;
    if (PointsInside(text))
    {
        CString copy(text, length);
        Append(copy.m_pchData, length);
        return;
    }
    CopyBeforeWrite();
    int oldLength = GetLength();
    if (length > INT_MAX - 16 - oldLength)
        throw std::bad_alloc();
    AllocBuffer(oldLength + length, true);
    memcpy(m_pchData + oldLength, text, static_cast<size_t>(length));
    m_pchData[oldLength + length] = 0;
}

CString& CString::operator+=(const CString& other)
{
    // A copy keeps the other's block alive while ours may move (s += s).
    CString keep(other);
    Append(keep.m_pchData, keep.GetLength());
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (!IsResourceId(text) && text != nullptr)
        Append(text, static_cast<int>(strlen(text)));
    else if (text != nullptr)
        *this += CString(text);
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

void CString::AppendNumber(int number)
{
    // Digits from the unsigned magnitude: negating INT_MIN would overflow.
    char digits[16];
    int pos = static_cast<int>(sizeof(digits));
    digits[--pos] = 0;
    unsigned int magnitude = number < 0 ? 0u - static_cast<unsigned int>(number)
                                        : static_cast<unsigned int>(number);
    do
    {
        digits[--pos] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0)
        digits[--pos] = '-';
    Append(digits + pos, static_cast<int>(sizeof(digits)) - 1 - pos);
}

CString operator+(const CString& left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, const char* right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(const char* left, const CString& right)
{
    CString result(left);
    result += right;
    return result;
}

CString operator+(char left, const CString& right)
{
    CString result(left, 1);
    result += right;
    return result;
}

int CString::Insert(int index, char ch)
{
    char text[2] = {ch, 0};
    return Insert(index, text);
}

int CString::Insert(int index, const char* text)
{
    if (text == nullptr || *text == 0)
        return GetLength();
    int added = static_cast<int>(strlen(text));
    if (PointsInside(text))
    {
        CString copy(text, added);
        return Insert(index, copy.m_pchData);
    }
    int oldLength = GetLength();
    index = Clamp(index, 0, oldLength);
    if (added > INT_MAX - 16 - oldLength)
        throw std::bad_alloc();
    CopyBeforeWrite();
    AllocBuffer(oldLength + added, true);
    memmove(m_pchData + index + added, m_pchData + index,
            static_cast<size_t>(oldLength - index) + 1);
    memcpy(m_pchData + index, text, static_cast<size_t>(added));
    return oldLength + added;
}

int CString::Delete(int index, int count)
{
    int length = GetLength();
    if (index < 0 || index >= length || count <= 0)
        return length;
    count = Clamp(count, 0, length - index);
    CopyBeforeWrite();
    memmove(m_pchData + index, m_pchData + index + count,
            static_cast<size_t>(length - index - count) + 1);
    GetHeader()->length = length - count;
    return length - count;
}

void CString::Truncate(int length)
{
    if (m_pchData == nullptr || length < 0 || length >= GetLength())
        return;
    CopyBeforeWrite();
    GetHeader()->length = length;
    m_pchData[length] = 0;
}

void CString::Empty()
{
    if (m_pchData == nullptr)
        return;
    CopyBeforeWrite();
    GetHeader()->length = 0;
    m_pchData[0] = 0;
}

CString& CString::Trim()
{
    int length = GetLength();
    if (length == 0)
        return *this;
    int end = length;
    while (end > 0 && _ismbcspace(static_cast<unsigned char>(m_pchData[end - 1])))
        --end;
    int start = 0;
    while (start < end && _ismbcspace(static_cast<unsigned char>(m_pchData[start])))
        ++start;
    if (start == 0 && end == length)
        return *this;
    CopyBeforeWrite();
    memmove(m_pchData, m_pchData + start, static_cast<size_t>(end - start));
    m_pchData[end - start] = 0;
    GetHeader()->length = end - start;
    return *this;
}

void CString::MakeUpper()
{
    CopyBeforeWrite();
    for (int i = 0; i < GetLength(); ++i)
        m_pchData[i] = static_cast<char>(toupper(static_cast<unsigned char>(m_pchData[i])));
}

void CString::MakeLower()
{
    CopyBeforeWrite();
    for (int i = 0; i < GetLength(); ++i)
        m_pchData[i] = static_cast<char>(tolower(static_cast<unsigned char>(m_pchData[i])));
}

int CString::Replace(char oldChar, char newChar)
{
    if (oldChar == newChar)
        return 0;
    CopyBeforeWrite();
    int replaced = 0;
    for (int i = 0; i < GetLength(); ++i)
    {
        if (m_pchData[i] == oldChar)
        {
            m_pchData[i] = newChar;
            ++replaced;
        }
    }
    return replaced;
}

// --- formatting and system texts -----------------------------------------------

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    if (format == nullptr)
    {
        Empty();
        return;
    }
    char buffer[4096];
    va_list again;
    va_copy(again, args);
    wvsprintfA(buffer, format, args);
    buffer[sizeof(buffer) - 1] = 0;
    // wvsprintfA's return value is not the length it wrote (Wine gives 1024
    // for 1,023 characters written): measure the text itself.
    int length = static_cast<int>(strlen(buffer));
    if (length < 1023)
    {
        AssignText(buffer, length);
        va_end(again);
        return;
    }
    // wvsprintfA stops at 1,024 characters. The runtime's formatter knows
    // the same conversions (and more), so it gives the whole text.
    va_list measure;
    va_copy(measure, again);
    int needed = _vscprintf(format, measure);
    va_end(measure);
    if (needed < 0)
    {
        AssignText(buffer, length);
        va_end(again);
        return;
    }
    CString whole;
    char* out = whole.GetBuffer(needed);
    _vsnprintf(out, static_cast<size_t>(needed) + 1, format, again);
    out[needed] = 0;
    va_end(again);
    *this = whole;
}

bool CString::LoadString(UINT id)
{
    HINSTANCE module = GetModuleState()->GetResourceHandle();
    char buffer[256];
    int count = ::LoadStringA(module, id, buffer, sizeof(buffer));
    if (count < static_cast<int>(sizeof(buffer)) - 1)
    {
        AssignText(buffer, count > 0 ? count : 0);
        return count > 0;
    }
    // The buffer may have been too small: read straight into our own block,
    // 256 bytes larger each time, until the text fits with room to spare.
    for (int size = 512;; size += 256)
    {
        CString grown;
        char* data = grown.GetBuffer(size - 1);
        count = ::LoadStringA(module, id, data, size);
        if (count < size - 1)
        {
            grown.Truncate(count > 0 ? count : 0);
            *this = grown;
            return count > 0;
        }
    }
}

void CString::FormatErrorMessage(DWORD code)
{
    if (code == 0)
        code = GetLastError();
    char* text = nullptr;
    // No insert arguments are passed, so inserts must stay as they are:
    // without FORMAT_MESSAGE_IGNORE_INSERTS a text with %1 reads garbage.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 1024, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length > 0 && text != nullptr)
    {
        AssignText(text, static_cast<int>(length));
        LocalFree(text);
        return;
    }
    if (text != nullptr)
        LocalFree(text);
    Format("Error %ld occured.", static_cast<long>(code));
}

int CString::GetWindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    if (length < 0)
        length = 0;
    char* data = GetBuffer(length);
    int copied = ::GetWindowTextA(window, data, length + 1);
    // The length asked for may be larger than the text (the system allows
    // it): keep only what was copied.
    if (copied < 0)
        copied = 0;
    Truncate(copied);
    return copied;
}

CString& CString::AssignWindowText(HWND window)
{
    GetWindowText(window);
    return *this;
}

char* CString::GetBuffer(int n)
{
    if (n < 0)
        n = 0;
    Release(m_pchData);
    m_pchData = nullptr;
    AllocBuffer(n, false);
    return m_pchData;
}
