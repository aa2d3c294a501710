// CRegistryKey: one open registry key. Never throws: every function returns
// the system's result (ERROR_SUCCESS, 0, on success) and leaves its outputs
// untouched when it fails.
#ifndef BRINDLEWOX_FOUNDATION_REGISTRY_H
#define BRINDLEWOX_FOUNDATION_REGISTRY_H

#include "foundation/Base.h"
#include "foundation/String.h"

// ERROR_STOPPED_ON_SYMLINK, which mingw-w64's headers lack: the result of
// a walk that met a link.
constexpr LONG kErrorStoppedOnLink = 681;

class CRegistryKey
{
public:
    CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    // Closes a held key (as Close).
    virtual ~CRegistryKey();

    // RegOpenKeyExA (root, subkey, 0, access). A held key is closed first.
    LONG Open(HKEY root, const char* subkey, REGSAM access);
    // RegCreateKeyExA with these arguments (reserved 0). A held key is
    // closed first. The settings pass no class, options 0, KEY_ALL_ACCESS,
    // no security attributes and no disposition.
    LONG Create(HKEY root, const char* subkey, char* keyClass = nullptr, DWORD options = 0,
                REGSAM access = KEY_ALL_ACCESS, SECURITY_ATTRIBUTES* security = nullptr,
                DWORD* disposition = nullptr);
    // As Open and Create (the latter creating every missing level with
    // options 0 and no security attributes), but no level of the path may
    // be a registry link (a key whose "SymbolicLinkValue" of type REG_LINK
    // sends the system on elsewhere): every level is opened as itself
    // (REG_OPTION_OPEN_LINK) and looked at, and a link ends the walk with
    // kErrorStoppedOnLink. For a program that writes where another
    // user may have planted links, such as another user's hive.
    LONG OpenWithoutLinks(HKEY root, const char* subkey, REGSAM access);
    LONG CreateWithoutLinks(HKEY root, const char* subkey, REGSAM access = KEY_ALL_ACCESS);
    // RegCloseKey of a held key; the key is let go only when that succeeds.
    LONG Close();

    LONG DeleteValue(const char* name);
    // A 4-byte value into *value; the stored type is not compared. On any
    // failure (a missing value, a longer one: ERROR_MORE_DATA) *value keeps
    // what it held; a shorter value is zero-extended.
    LONG QueryDwordValue(const char* name, DWORD* value);
    // The value's bytes into buffer, *size bytes at most; *size becomes the
    // count stored. With a null buffer only *size is set, to the count the
    // value needs. String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) always
    // come back terminated: stored data without a terminator gets one when
    // the buffer has room for it, else the call fails with ERROR_MORE_DATA.
    // On failure buffer and *size are untouched.
    LONG QueryValue(const char* name, void* buffer, DWORD* size);
    // REG_DWORD, 4 bytes. The number comes before the name.
    LONG SetDwordValue(DWORD value, const char* name);
    // REG_SZ, the text and its terminator (an empty text writes 1 byte). The
    // text comes before the name; a null text is written as "".
    LONG SetStringValue(const char* text, const char* name);

    // The name of subkey `index` (RegEnumKeyExA) or value `index`
    // (RegEnumValueA, with its type when asked); ERROR_NO_MORE_ITEMS past
    // the last one.
    LONG EnumKey(DWORD index, CString& name);
    LONG EnumValue(DWORD index, CString& name, DWORD* type = nullptr);

    bool IsOpen() const { return m_hKey != nullptr; }
    // Borrowed: the key stays owned by this object.
    HKEY GetHandle() const { return m_hKey; }
    operator HKEY() const { return m_hKey; }
    // Takes ownership of an open key; a held key is closed first.
    void Attach(HKEY key);
    // Gives up ownership; the caller closes the key.
    HKEY Detach();

private:
    LONG WalkWithoutLinks(HKEY root, const char* subkey, REGSAM access, bool create);

    HKEY m_hKey = nullptr;
};

#endif
