#include "foundation/Registry.h"

#include "foundation/Exception.h"

#include <cstring>

namespace
{
bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A block from the process heap: registry calls must not throw, so the
// framework's allocator (which raises CMemoryException) is not used here.
class HeapBlock
{
public:
    explicit HeapBlock(size_t size) : m_data(HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) {}
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock()
    {
        if (m_data != nullptr)
            HeapFree(GetProcessHeap(), 0, m_data);
    }
    BYTE* Get() const { return static_cast<BYTE*>(m_data); }

private:
    void* m_data;
};

// Assigns a name read by an enumeration; false when memory runs out.
bool AssignName(CString& name, const char* text, DWORD length)
{
    return TryAllocate(
        [&]
        {
            CString copy(text, static_cast<int>(length));
            name = copy;
        });
}
} // namespace

CRegistryKey::~CRegistryKey()
{
    Close();
}

LONG CRegistryKey::Open(HKEY root, const char* subkey, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, subkey, 0, access, &key);
    if (result == ERROR_SUCCESS)
        m_hKey = key;
    return result;
}

LONG CRegistryKey::Create(HKEY root, const char* subkey, char* keyClass, DWORD options,
                          REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition)
{
    Close();
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(root, subkey, 0, keyClass, options, access, security, &key, disposition);
    if (result == ERROR_SUCCESS)
        m_hKey = key;
    return result;
}

namespace
{
// Whether a key opened as itself is a link.
bool IsRegistryLink(HKEY key)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    return RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, &size) ==
               ERROR_SUCCESS &&
           type == REG_LINK;
}

// Opens one level as itself: kErrorStoppedOnLink for a link.
LONG OpenLevel(HKEY parent, const char* name, REGSAM access, HKEY& level)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS)
        return result;
    if (IsRegistryLink(key))
    {
        RegCloseKey(key);
        return kErrorStoppedOnLink;
    }
    level = key;
    return ERROR_SUCCESS;
}
} // namespace

LONG CRegistryKey::OpenWithoutLinks(HKEY root, const char* subkey, REGSAM access)
{
    return WalkWithoutLinks(root, subkey, access, false);
}

LONG CRegistryKey::CreateWithoutLinks(HKEY root, const char* subkey, REGSAM access)
{
    return WalkWithoutLinks(root, subkey, access, true);
}

LONG CRegistryKey::WalkWithoutLinks(HKEY root, const char* subkey, REGSAM access, bool create)
{
    Close();
    CRegistryKey parent;
    HKEY at = root;
    const char* rest = subkey != nullptr ? subkey : "";
    for (;;)
    {
        while (*rest == '\\')
            ++rest;
        const char* end = rest;
        while (*end && *end != '\\')
            ++end;
        const char* next = end;
        while (*next == '\\')
            ++next;
        const bool last = *next == 0;
        const CString name(rest, static_cast<int>(end - rest));
        // A level on the way needs to be looked at, and to take a new key
        // when creating.
        const REGSAM levelAccess = last ? access : (create ? KEY_CREATE_SUB_KEY : 0);
        HKEY level = nullptr;
        LONG result = OpenLevel(at, name, levelAccess, level);
        if (result == ERROR_FILE_NOT_FOUND && create && !name.IsEmpty())
        {
            HKEY made = nullptr;
            result =
                RegCreateKeyExA(at, name, 0, nullptr, 0, KEY_QUERY_VALUE, nullptr, &made, nullptr);
            if (result != ERROR_SUCCESS)
                return result;
            RegCloseKey(made);
            // Opened again as itself: a link made under the same name in
            // the meantime was followed by the creation.
            result = OpenLevel(at, name, levelAccess, level);
        }
        if (result != ERROR_SUCCESS)
            return result;
        parent.Attach(level);
        at = level;
        if (last)
        {
            m_hKey = parent.Detach();
            return ERROR_SUCCESS;
        }
        rest = next;
    }
}

LONG CRegistryKey::Close()
{
    if (m_hKey == nullptr)
        return ERROR_SUCCESS;
    LONG result = RegCloseKey(m_hKey);
    if (result == ERROR_SUCCESS)
        m_hKey = nullptr;
    return result;
}

LONG CRegistryKey::DeleteValue(const char* name)
{
    return RegDeleteValueA(m_hKey, name);
}

LONG CRegistryKey::QueryDwordValue(const char* name, DWORD* value)
{
    // Read into a temporary: on ERROR_MORE_DATA the system may have written
    // part of a longer value into the buffer.
    DWORD number = 0;
    DWORD size = sizeof(number);
    LONG result =
        RegQueryValueExA(m_hKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
    if (result == ERROR_SUCCESS && value != nullptr)
        *value = number;
    return result;
}

LONG CRegistryKey::QueryValue(const char* name, void* buffer, DWORD* size)
{
    if (size == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (buffer == nullptr)
    {
        DWORD needed = 0;
        LONG result = RegQueryValueExA(m_hKey, name, nullptr, nullptr, nullptr, &needed);
        if (result == ERROR_SUCCESS)
            *size = needed;
        return result;
    }

    // Read into a temporary one byte longer than the caller's buffer, so
    // that a failed or unterminated read never reaches the caller.
    DWORD capacity = *size;
    HeapBlock temp(static_cast<size_t>(capacity) + 1);
    if (temp.Get() == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD type = REG_NONE;
    DWORD count = capacity;
    LONG result = RegQueryValueExA(m_hKey, name, nullptr, &type, temp.Get(), &count);
    if (result != ERROR_SUCCESS)
        return result;

    DWORD copied = count;
    if (IsStringType(type) && (count == 0 || temp.Get()[count - 1] != 0))
    {
        if (count >= capacity)
            return ERROR_MORE_DATA;
        temp.Get()[count] = 0;
        copied = count + 1;
    }
    std::memcpy(buffer, temp.Get(), copied);
    *size = count;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::SetDwordValue(DWORD value, const char* name)
{
    return RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LONG CRegistryKey::SetStringValue(const char* text, const char* name)
{
    if (text == nullptr)
        text = "";
    return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

LONG CRegistryKey::EnumKey(DWORD index, CString& name)
{
    // Key names are at most 255 characters.
    char text[256];
    DWORD length = sizeof(text);
    LONG result = RegEnumKeyExA(m_hKey, index, text, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    return AssignName(name, text, length) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

LONG CRegistryKey::EnumValue(DWORD index, CString& name, DWORD* type)
{
    // Value names are at most 16,383 characters.
    const DWORD capacity = 16384;
    HeapBlock text(capacity);
    if (text.Get() == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    char* chars = reinterpret_cast<char*>(text.Get());
    DWORD length = capacity;
    DWORD valueType = REG_NONE;
    LONG result =
        RegEnumValueA(m_hKey, index, chars, &length, nullptr, &valueType, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    if (!AssignName(name, chars, length))
        return ERROR_NOT_ENOUGH_MEMORY;
    if (type != nullptr)
        *type = valueType;
    return ERROR_SUCCESS;
}

void CRegistryKey::Attach(HKEY key)
{
    Close();
    m_hKey = key;
}

HKEY CRegistryKey::Detach()
{
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}
