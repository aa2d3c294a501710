#include "engine/Settings.h"

#include "foundation/Registry.h"

#include <cstdlib>
#include <cstring>

namespace
{
// Full access, as the settings key has always been opened; HKEY_LOCAL_MACHINE
// is only read.
constexpr REGSAM kSettingsAccess = KEY_ALL_ACCESS;
constexpr REGSAM kMachineAccess = KEY_READ;

BOOL WriteString(const CString& keyPath, const CString& name, const CString& data)
{
    CRegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, keyPath, nullptr, 0, kSettingsAccess, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return FALSE;
    return key.SetStringValue(data, name) == ERROR_SUCCESS;
}

// Reads a text of at most kSettingTextLimit bytes, terminator included
// (CRegistryKey::QueryValue terminates string data that lacks one, when
// there is room).
BOOL ReadString(const CString& keyPath, const CString& name, CString& output)
{
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, keyPath, kSettingsAccess) != ERROR_SUCCESS)
        return FALSE;
    char buffer[kSettingTextLimit + 1] = {};
    DWORD size = kSettingTextLimit;
    if (key.QueryValue(name, buffer, &size) != ERROR_SUCCESS)
        return FALSE;
    output = buffer;
    return TRUE;
}

// Appends one formatted piece of a SID's text; false when it and the
// terminator do not fit. Every piece is short (at most "0x" and twelve
// digits), so a local buffer holds it whole.
bool AppendPiece(char* buffer, int size, int& length, const char* piece)
{
    const int pieceLength = static_cast<int>(std::strlen(piece));
    if (pieceLength >= size - length)
        return false;
    std::memcpy(buffer + length, piece, static_cast<size_t>(pieceLength) + 1);
    length += pieceLength;
    return true;
}
} // namespace

BOOL WriteSettingString(const CString& name, const CString& data)
{
    return WriteString(kSettingsKeyPath, name, data);
}

BOOL WriteSettingDword(const CString& name, DWORD number)
{
    CRegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKeyPath, nullptr, 0, kSettingsAccess, nullptr,
                   nullptr) != ERROR_SUCCESS)
        return FALSE;
    return key.SetDwordValue(number, name) == ERROR_SUCCESS;
}

BOOL WriteRegistryString(const CString& name, const CString& data, const CString& keyPath)
{
    return WriteString(keyPath, name, data);
}

BOOL ReadSettingString(const CString& name, CString& output)
{
    return ReadString(kSettingsKeyPath, name, output);
}

BOOL ReadRegistryString(const CString& name, CString& output, const CString& keyPath)
{
    return ReadString(keyPath, name, output);
}

BOOL ReadSettingDword(const CString& name, DWORD& output)
{
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, kSettingsAccess) != ERROR_SUCCESS)
        return FALSE;
    return key.QueryDwordValue(name, &output) == ERROR_SUCCESS;
}

BOOL ReadMachineRegistryString(const CString& name, CString& output, const CString& keyPath)
{
    CRegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyPath, kMachineAccess) != ERROR_SUCCESS)
        return FALSE;
    DWORD size = 0;
    if (key.QueryValue(name, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return FALSE;
    // Two bytes more than the value: room for the terminator that string
    // data may lack. calloc rather than new: the allocator's failure handler
    // would throw.
    char* buffer = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 2, 1));
    if (buffer == nullptr)
        return FALSE;
    DWORD read = size + 1;
    const BOOL result = key.QueryValue(name, buffer, &read) == ERROR_SUCCESS;
    if (result)
        output = buffer;
    std::free(buffer);
    return result;
}

BOOL CUserProxySettings::ReadString(const CString& name, CString& value) const
{
    return ReadSettingString(name, value);
}

BOOL CUserProxySettings::ReadDword(const CString& name, DWORD& value) const
{
    return ReadSettingDword(name, value);
}

PSID GetCurrentUserSid()
{
    // The token says who the process runs as. A look-up of the user's name
    // could find another account of the same name (a local and a domain
    // one), or nothing on a domain machine that is offline.
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    PSID copy = nullptr;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size != 0)
    {
        TOKEN_USER* user = static_cast<TOKEN_USER*>(::LocalAlloc(LPTR, size));
        if (user != nullptr && ::GetTokenInformation(token, TokenUser, user, size, &size) &&
            ::IsValidSid(user->User.Sid))
        {
            const DWORD length = ::GetLengthSid(user->User.Sid);
            copy = ::LocalAlloc(LPTR, length);
            if (copy != nullptr && !::CopySid(length, copy, user->User.Sid))
            {
                ::LocalFree(copy);
                copy = nullptr;
            }
        }
        if (user != nullptr)
            ::LocalFree(user);
    }
    ::CloseHandle(token);
    return copy;
}

int FormatSidText(PSID sid, char* buffer, int size)
{
    if (sid == nullptr || buffer == nullptr || size <= 0 || !::IsValidSid(sid))
        return -1;
    int length = 0;
    buffer[0] = 0;
    char piece[32];

    wsprintfA(piece, "S-%u-", static_cast<unsigned>(static_cast<SID*>(sid)->Revision));
    if (!AppendPiece(buffer, size, length, piece))
        return -1;

    // Six bytes, most significant first: in hexadecimal when either of the
    // top two is set, else the low four as one decimal number.
    const BYTE* authority = ::GetSidIdentifierAuthority(sid)->Value;
    if (authority[0] != 0 || authority[1] != 0)
        wsprintfA(piece, "0x%02x%02x%02x%02x%02x%02x", authority[0], authority[1], authority[2],
                  authority[3], authority[4], authority[5]);
    else
        wsprintfA(piece, "%lu",
                  (static_cast<DWORD>(authority[2]) << 24) |
                      (static_cast<DWORD>(authority[3]) << 16) |
                      (static_cast<DWORD>(authority[4]) << 8) | static_cast<DWORD>(authority[5]));
    if (!AppendPiece(buffer, size, length, piece))
        return -1;

    const int count = *::GetSidSubAuthorityCount(sid);
    for (int i = 0; i < count; i++)
    {
        wsprintfA(piece, "-%lu", *::GetSidSubAuthority(sid, static_cast<DWORD>(i)));
        if (!AppendPiece(buffer, size, length, piece))
            return -1;
    }
    return length;
}

BOOL GetCurrentUserSidText(CString& text)
{
    PSID sid = GetCurrentUserSid();
    if (sid == nullptr)
        return FALSE;
    // Room for the longest SID text: fifteen sub-authorities of ten digits.
    char buffer[256];
    const int length = FormatSidText(sid, buffer, sizeof buffer);
    ::LocalFree(sid);
    if (length < 0)
        return FALSE;
    text = buffer;
    return TRUE;
}
