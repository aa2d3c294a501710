#include "foundation/Ini.h"

#include "foundation/Exception.h"

#include <cstring>
#include <mbstring.h>
#include <memory>

namespace
{
// Tells a missing key from a present one: no real value looks like this.
const char kSentinel[] = "{63788286-AE30-4D6B-95DF-3B451C1C79F9}";

char* CopyText(const char* text)
{
    if (text == nullptr)
        text = "";
    size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The standard unsigned long conversion, written out: the C runtime's
// differs between versions (Wine's gives 1 for "-99999999999" instead of
// the overflow value), and unsigned long is not 32-bit everywhere.
uint32_t ConvertUnsigned(const char* text, int radix)
{
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
    {
        negative = *p == '-';
        ++p;
    }
    if (radix == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16)
        p += 2;
    uint64_t value = 0;
    bool overflow = false;
    for (; DigitValue(*p) < radix; ++p)
    {
        value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(DigitValue(*p));
        if (value > 0xFFFFFFFFu)
        {
            overflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}
} // namespace

CIni::CIni(const char* pathName)
{
    SetPathName(pathName);
}

CIni::~CIni()
{
    delete[] m_pszPathName;
}

void CIni::SetPathName(const char* pathName)
{
    if (pathName == nullptr)
    {
        if (m_pszPathName != nullptr)
            m_pszPathName[0] = 0;
        return;
    }
    char* copy = nullptr;
    if (!TryAllocate([&] { copy = CopyText(pathName); }))
        return;
    delete[] m_pszPathName;
    m_pszPathName = copy;
}

BOOL CIni::WriteString(const char* section, const char* key, const char* value)
{
    if (section == nullptr || key == nullptr || !HasPath())
        return FALSE;
    return WritePrivateProfileStringA(section, key, value != nullptr ? value : "", m_pszPathName);
}

char* CIni::GetRawString(const char* section, const char* key, const char* defaultValue)
{
    if (defaultValue == nullptr)
        defaultValue = "";
    char* result = nullptr;
    TryAllocate(
        [&]
        {
            if (section == nullptr || key == nullptr || !HasPath())
            {
                result = CopyText(defaultValue);
                return;
            }
            // The system returns size - 1 when it had to cut the value: read
            // again in a block 512 bytes larger until the value fits.
            DWORD size = 512;
            std::unique_ptr<char[]> block(new char[size + 1]);
            for (;;)
            {
                DWORD length = GetPrivateProfileStringA(section, key, defaultValue, block.get(),
                                                        size, m_pszPathName);
                if (length + 1 < size)
                    break;
                size += 512;
                block.reset();
                block.reset(new char[size + 1]);
            }
            result = block.release();
        });
    return result;
}

CString& CIni::GetString(CString& result, const char* section, const char* key,
                         const char* defaultValue)
{
    std::unique_ptr<char[]> value(GetRawString(section, key, defaultValue));
    if (value != nullptr)
        TryAllocate(
            [&]
            {
                CString text(value.get());
                result = text;
            });
    return result;
}

int CIni::GetString(const char* section, const char* key, char* buffer, int size,
                    const char* defaultValue)
{
    buffer[0] = 0;
    std::unique_ptr<char[]> value(GetRawString(section, key, defaultValue));
    if (value == nullptr)
        return 0;
    int length = static_cast<int>(std::strlen(value.get()));
    int count = length < size ? length : size;
    std::memcpy(buffer, value.get(), static_cast<size_t>(count));
    buffer[count] = 0;
    return count;
}

int CIni::GetInt(const char* section, const char* key, int defaultValue, int radix)
{
    // At most 64 characters of the value count.
    char text[65] = {};
    GetString(section, key, text, 64, "");
    if (text[0] == 0)
        return defaultValue;
    return static_cast<int>(ConvertUnsigned(text, NormalizeRadix(radix)));
}

int CIni::NormalizeRadix(int radix)
{
    return (radix == 2 || radix == 8 || radix == 16) ? radix : 10;
}

BOOL CIni::KeyExists(const char* section, const char* key)
{
    if (section == nullptr || key == nullptr)
        return FALSE;
    std::unique_ptr<char[]> value(GetRawString(section, key, kSentinel));
    if (value == nullptr)
        return FALSE;
    return _mbscmp(reinterpret_cast<const unsigned char*>(value.get()),
                   reinterpret_cast<const unsigned char*>(kSentinel)) != 0;
}

DWORD CIni::GetSectionNames(char* buffer, DWORD size)
{
    if (buffer != nullptr)
    {
        if (!HasPath())
        {
            if (size >= 2)
                buffer[0] = buffer[1] = 0;
            return 0;
        }
        return GetPrivateProfileSectionNamesA(buffer, size, m_pszPathName);
    }
    if (!HasPath())
        return 2;
    // Measure: the system returns size - 2 when the list did not fit.
    DWORD needed = 0;
    TryAllocate(
        [&]
        {
            DWORD blockSize = 512;
            std::unique_ptr<char[]> block(new char[blockSize + 1]);
            for (;;)
            {
                DWORD length =
                    GetPrivateProfileSectionNamesA(block.get(), blockSize, m_pszPathName);
                if (length + 2 < blockSize)
                {
                    needed = length + 2;
                    break;
                }
                blockSize += 512;
                block.reset();
                block.reset(new char[blockSize + 1]);
            }
        });
    return needed;
}

BOOL CIni::GetSectionNames(CSimpleArray<CString*>& names)
{
    names.SetSize(0);
    DWORD needed = GetSectionNames(nullptr, 0);
    if (needed == 0)
        return FALSE;
    return TryAllocate(
        [&]
        {
            std::unique_ptr<char[]> list(new char[needed + 1]);
            std::memset(list.get(), 0, needed + 1);
            GetSectionNames(list.get(), needed);
            ForEachMultiString(list.get(), AddSectionName, &names);
        });
}

int CIni::ForEachMultiString(const char* list, int (*callback)(const char*, void*), void* context)
{
    if (list == nullptr || callback == nullptr)
        return 0;
    for (const char* p = list; *p != 0; p += std::strlen(p) + 1)
    {
        if (callback(p, context) == 0)
            return 0;
    }
    return 1;
}

int CIni::AddSectionName(const char* name, void* names)
{
    if (name == nullptr || names == nullptr)
        return 0;
    auto* array = static_cast<CSimpleArray<CString*>*>(names);
    std::unique_ptr<CString> text(new CString(name));
    if (array->Add(text.get()) < 0)
        return 0;
    text.release();
    return 1;
}
