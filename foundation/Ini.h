// CIni: one INI file read and written through the system's private-profile
// functions. Values are ANSI text; sections and keys are compared by the
// system without regard to case. The path goes to the system unchanged (a
// name without a folder means the Windows folder), so callers give full
// paths.
//
// Never throws: a missing file, section or key reads as the default, writes
// report the system's result, and when memory runs out the outputs are left
// untouched. An object without a path (or with an empty one) reads every
// value as its default and writes nothing; it never falls through to the
// system's win.ini, which a null file name would select.
#ifndef BRINDLEWOX_FOUNDATION_INI_H
#define BRINDLEWOX_FOUNDATION_INI_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

class CIni
{
public:
    CIni() = default;
    explicit CIni(const char* pathName);
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;
    virtual ~CIni();

    // Keeps a copy of the path. Null empties the held path (reads then give
    // their defaults).
    void SetPathName(const char* pathName);
    // The held path, "" when none.
    const char* GetPathName() const { return m_pszPathName ? m_pszPathName : ""; }

    // WritePrivateProfileStringA's result; 0 without writing for a null
    // section or key. A null value writes an empty value: it never deletes
    // the key (the system would).
    BOOL WriteString(const char* section, const char* key, const char* value);

    // A new block with the value (the default, "" for null, when the key is
    // missing), read whole however long; free it with delete[]. With a null
    // section or key: a copy of the default. Null only when memory ran out.
    char* GetRawString(const char* section, const char* key, const char* defaultValue);
    // The value as GetRawString reads it, assigned to `result`; returns it.
    CString& GetString(CString& result, const char* section, const char* key,
                       const char* defaultValue);
    // The value as a 32-bit number: the default when it is missing or empty,
    // else its first 64 characters converted as an unsigned long in the
    // radix NormalizeRadix gives: leading white space skipped, an optional
    // sign (a minus negates), with radix 16 an optional 0x, digits up to the
    // first non-digit, 0 without digits, 4294967295 on overflow. So "-1" and
    // "4294967295" both give -1.
    int GetInt(const char* section, const char* key, int defaultValue, int radix = 10);
    // 2, 8 and 16 stay; everything else becomes 10.
    static int NormalizeRadix(int radix);
    // True when the key is present, even with an empty value. (A value that
    // is exactly the sentinel text the test reads with counts as missing.)
    BOOL KeyExists(const char* section, const char* key);

    // With a buffer: GetPrivateProfileSectionNamesA's result. With a null
    // buffer: the size the whole list needs, its two terminators included.
    DWORD GetSectionNames(char* buffer, DWORD size);
    // Empties the array (its storage only: the CString objects it pointed
    // to are the caller's to delete first) and appends one new heap CString
    // per section name in file order; the caller deletes them. FALSE when
    // memory ran out on the way (the names added so far stay).
    BOOL GetSectionNames(CSimpleArray<CString*>& names);

    // Calls callback(string, context) for each string of a list of
    // NUL-terminated strings ended by an empty one. 0 for a null list or
    // callback, or as soon as a callback returns 0; else 1.
    static int ForEachMultiString(const char* list, int (*callback)(const char*, void*),
                                  void* context);
    // Appends a new CString of `name` to the CSimpleArray<CString*> behind
    // `names`: 1, or 0 for a null argument or when the array cannot grow.
    static int AddSectionName(const char* name, void* names);

private:
    // The value into `buffer`, which holds size + 1 bytes: at most `size`
    // characters and always a terminator. Returns the count copied.
    int GetString(const char* section, const char* key, char* buffer, int size,
                  const char* defaultValue);
    // False when there is no path to read or write.
    bool HasPath() const { return m_pszPathName != nullptr && m_pszPathName[0] != 0; }

    char* m_pszPathName = nullptr;
};

#endif
