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
