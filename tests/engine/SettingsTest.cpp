#include "engine/Settings.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
// Every test runs in its own process: HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE are redirected, for this process only, to a fresh key
// under the real HKEY_CURRENT_USER, which is deleted afterwards. The
// functions under test keep their real paths, and tests running side by
// side never see each other's values.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = "Software\\BrindlewoxTest-Settings-" + std::to_string(::GetCurrentProcessId()) +
                 "-" + std::to_string(::GetTickCount64());
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, m_root + "\\user", &m_user), ERROR_SUCCESS);
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, m_root + "\\machine", &m_machine), ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, m_user), ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (m_user != nullptr)
            ::RegCloseKey(m_user);
        if (m_machine != nullptr)
            ::RegCloseKey(m_machine);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_root.c_str());
        HKEY left = nullptr;
        EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, m_root.c_str(), 0, KEY_READ, &left),
                  ERROR_FILE_NOT_FOUND);
        if (left != nullptr)
            ::RegCloseKey(left);
    }

    static LONG CreateKey(HKEY root, const std::string& path, HKEY* key)
    {
        return ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key,
                                 nullptr);
    }

    // Writes raw data below the redirected root (user or machine side).
    static void PutRaw(HKEY root, const char* path, const char* name, DWORD type, const void* data,
                       DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(CreateKey(root, path, &key), ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    // The type and bytes of a value as the registry holds it.
    static bool GetRaw(const char* path, const char* name, DWORD& type, std::vector<BYTE>& data)
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        bool ok = ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
        data.assign(size, 0);
        if (ok)
            ok = ::RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        return ok;
    }

    static bool KeyExists(HKEY root, const char* path)
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }

    std::string m_root;
    HKEY m_user = nullptr;
    HKEY m_machine = nullptr;
};

const char* const kTextValues[] = {
    setting::WhatRestorePath, setting::WhereRestorePath,
    setting::LastBackupDir,   setting::StatusLastPerformedBackupTime,
    setting::ProxyHost,       setting::ProxyLogin,
    setting::ProxyPassword,
};

const char* const kNumberValues[] = {
    setting::ProxyPort,     setting::ProxyType,           setting::CheckCompress,
    setting::CheckCrypted,  setting::SheduleEnable,       setting::SheduleHour,
    setting::SheduleDay[0], setting::SheduleDay[1],       setting::SheduleDay[2],
    setting::SheduleDay[3], setting::SheduleDay[4],       setting::SheduleDay[5],
    setting::SheduleDay[6], setting::StartOnStartup,      setting::FirstRun,
    setting::LastRunYear,   setting::LastRunMonth,        setting::LastRunDay,
    setting::LastRunHour,   setting::StatusFilesInBackup, setting::StatusTotalErrors,
    setting::PriorityLevel,
};
} // namespace

TEST_F(SettingsTest, EveryValueRoundTripsUnderItsExactNameAndType)
{
    EXPECT_STREQ(kSettingsKeyPath, "Software\\Orvanel\\Brindlewox");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKeyPath));

    for (const char* name : kTextValues)
    {
        const std::string data = std::string("C:\\bwtest\\") + name + " 'x' \xE9";
        ASSERT_TRUE(WriteSettingString(name, data.c_str())) << name;
    }
    DWORD number = 0xFFFFFFFF;
    for (const char* name : kNumberValues)
    {
        ASSERT_TRUE(WriteSettingDword(name, number)) << name;
        number = number / 3 + 1;
    }

    for (const char* name : kTextValues)
    {
        CString read("preset");
        ASSERT_TRUE(ReadSettingString(name, read)) << name;
        EXPECT_STREQ(read, (std::string("C:\\bwtest\\") + name + " 'x' \xE9").c_str());
        DWORD type = 0;
        std::vector<BYTE> raw;
        ASSERT_TRUE(GetRaw(kSettingsKeyPath, name, type, raw)) << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(raw.size(), std::strlen(read) + 1) << "stored with its terminator";
    }
    number = 0xFFFFFFFF;
    for (const char* name : kNumberValues)
    {
        DWORD read = 12345;
        ASSERT_TRUE(ReadSettingDword(name, read)) << name;
        EXPECT_EQ(read, number) << name;
        DWORD type = 0;
        std::vector<BYTE> raw;
        ASSERT_TRUE(GetRaw(kSettingsKeyPath, name, type, raw)) << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(raw.size(), 4u);
        number = number / 3 + 1;
    }

    // The day values are the prefix and the day number.
    for (int day = 0; day < 7; day++)
        EXPECT_EQ(std::string(setting::SheduleDayPrefix) + std::to_string(day),
                  setting::SheduleDay[day]);

    // Overwriting keeps one value per name.
    ASSERT_TRUE(WriteSettingString(setting::ProxyHost, ""));
    CString host("preset");
    ASSERT_TRUE(ReadSettingString(setting::ProxyHost, host));
    EXPECT_TRUE(host.IsEmpty());
}

TEST_F(SettingsTest, AbsentValuesLeaveTheCallersDefaults)
{
    // No key at all: every reader fails and keeps what the caller set, and
    // reading creates nothing.
    DWORD priority = setting::DefaultPriorityLevel;
    DWORD port = setting::DefaultProxyPort;
    DWORD type = setting::DefaultProxyType;
    CString text("preset");
    EXPECT_FALSE(ReadSettingDword(setting::PriorityLevel, priority));
    EXPECT_FALSE(ReadSettingDword(setting::ProxyPort, port));
    EXPECT_FALSE(ReadSettingDword(setting::ProxyType, type));
    EXPECT_FALSE(ReadSettingString(setting::ProxyHost, text));
    EXPECT_FALSE(ReadRegistryString(setting::RunValueName, text, setting::RunKeyPath));
    EXPECT_FALSE(ReadMachineRegistryString(setting::CachePathValue, text, setting::CookieCacheKey));
    EXPECT_EQ(priority, 9u);
    EXPECT_EQ(port, 8080u);
    EXPECT_EQ(type, 0u);
    EXPECT_STREQ(text, "preset");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKeyPath));

    // The key exists, the values do not.
    ASSERT_TRUE(WriteSettingDword(setting::FirstRun, 1));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKeyPath)) << "created by the write";
    for (const char* name : kNumberValues)
    {
        if (std::string(name) == setting::FirstRun)
            continue;
        DWORD value = 777;
        EXPECT_FALSE(ReadSettingDword(name, value)) << name;
        EXPECT_EQ(value, 777u) << name;
    }
    for (const char* name : kTextValues)
    {
        CString value("preset");
        EXPECT_FALSE(ReadSettingString(name, value)) << name;
        EXPECT_STREQ(value, "preset") << name;
    }
}

TEST_F(SettingsTest, NumbersOfTheWrongSizeLeaveTheOutputAlone)
{
    const ULONGLONG wide = 0x1122334455667788ULL;
    PutRaw(HKEY_CURRENT_USER, kSettingsKeyPath, setting::SheduleHour, REG_QWORD, &wide,
           sizeof wide);
    DWORD hour = 5;
    EXPECT_FALSE(ReadSettingDword(setting::SheduleHour, hour));
    EXPECT_EQ(hour, 5u);

    // Four bytes of any type read as a number: the type is not compared.
    PutRaw(HKEY_CURRENT_USER, kSettingsKeyPath, setting::ProxyPort, REG_BINARY, "\x90\x1f\0\0", 4);
    DWORD port = setting::DefaultProxyPort;
    EXPECT_TRUE(ReadSettingDword(setting::ProxyPort, port));
    EXPECT_EQ(port, 8080u);
}

TEST_F(SettingsTest, TextsReadUpTo260BytesWithTheTerminator)
{
    const std::string fits(259, 'a');
    const std::string tooLong(260, 'b');
    ASSERT_TRUE(WriteSettingString(setting::LastBackupDir, fits.c_str()));
    ASSERT_TRUE(WriteSettingString(setting::WhatRestorePath, tooLong.c_str()));

    CString read("preset");
    ASSERT_TRUE(ReadSettingString(setting::LastBackupDir, read));
    EXPECT_EQ(std::string(read), fits);
    read = "preset";
    EXPECT_FALSE(ReadSettingString(setting::WhatRestorePath, read));
    EXPECT_STREQ(read, "preset");

    // Data stored without a terminator gets one, and must leave room for it:
    // 259 characters read, 260 do not. (Wine 8 stores one byte more when
    // the byte behind REG_SZ data is 0, so the source runs on past the
    // stored length.)
    const std::string source(300, 'c');
    PutRaw(HKEY_CURRENT_USER, kSettingsKeyPath, setting::WhereRestorePath, REG_SZ, source.data(),
           259);
    ASSERT_TRUE(ReadSettingString(setting::WhereRestorePath, read));
    EXPECT_EQ(std::string(read), source.substr(0, 259));
    PutRaw(HKEY_CURRENT_USER, kSettingsKeyPath, setting::WhereRestorePath, REG_SZ, source.data(),
           260);
    read = "preset";
    EXPECT_FALSE(ReadSettingString(setting::WhereRestorePath, read));
    EXPECT_STREQ(read, "preset");
}

TEST_F(SettingsTest, TheProxySourceReadsTheSettingsKey)
{
    CUserProxySettings proxy;
    const IProxySettings& source = proxy;
    CString host("preset");
    DWORD port = setting::DefaultProxyPort;
    EXPECT_FALSE(source.ReadString(setting::ProxyHost, host));
    EXPECT_FALSE(source.ReadDword(setting::ProxyPort, port));
    EXPECT_STREQ(host, "preset");
    EXPECT_EQ(port, 8080u);

    ASSERT_TRUE(WriteSettingString(setting::ProxyHost, "proxy.example"));
    ASSERT_TRUE(WriteSettingDword(setting::ProxyPort, 3128));
    EXPECT_TRUE(source.ReadString(setting::ProxyHost, host));
    EXPECT_TRUE(source.ReadDword(setting::ProxyPort, port));
    EXPECT_STREQ(host, "proxy.example");
    EXPECT_EQ(port, 3128u);
}

TEST_F(SettingsTest, GivenPathsUnderTheUserKeyAreCreatedAndRead)
{
    const char* command = "\"C:\\Program Files\\Orvanel\\Brindlewox.exe\" -tray";
    ASSERT_TRUE(WriteRegistryString(setting::RunValueName, command, setting::RunKeyPath));
    CString read;
    ASSERT_TRUE(ReadRegistryString(setting::RunValueName, read, setting::RunKeyPath));
    EXPECT_STREQ(read, command);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKeyPath))
        << "a given path never touches the settings key";

    // Deep paths are created level by level.
    ASSERT_TRUE(WriteRegistryString("Deep", "x", "Software\\BwA\\BwB\\BwC"));
    ASSERT_TRUE(ReadRegistryString("Deep", read, "Software\\BwA\\BwB\\BwC"));
    EXPECT_STREQ(read, "x");

    const std::string tooLong(300, 'z');
    ASSERT_TRUE(WriteRegistryString("Long", tooLong.c_str(), "Software\\BwA"));
    read = "kept";
    EXPECT_FALSE(ReadRegistryString("Long", read, "Software\\BwA"));
    EXPECT_STREQ(read, "kept");
}

TEST_F(SettingsTest, MachineTextsOfAnyLengthAreRead)
{
    const std::string path = std::string(setting::CookieSpecialPathKey);
    const std::string folder = "C:\\Users\\test\\AppData\\Roaming\\Microsoft\\Windows\\Cookies";
    PutRaw(HKEY_LOCAL_MACHINE, path.c_str(), setting::CachePathValue, REG_SZ, folder.c_str(),
           static_cast<DWORD>(folder.size() + 1));
    CString read;
    ASSERT_TRUE(ReadMachineRegistryString(setting::CachePathValue, read, path.c_str()));
    EXPECT_EQ(std::string(read), folder);

    const std::string huge(5000, 'm');
    PutRaw(HKEY_LOCAL_MACHINE, path.c_str(), "Huge", REG_SZ, huge.c_str(),
           static_cast<DWORD>(huge.size() + 1));
    ASSERT_TRUE(ReadMachineRegistryString("Huge", read, path.c_str()));
    EXPECT_EQ(std::string(read), huge);

    // Without a terminator, and empty.
    PutRaw(HKEY_LOCAL_MACHINE, path.c_str(), "Bare", REG_SZ, "xyzw", 3);
    ASSERT_TRUE(ReadMachineRegistryString("Bare", read, path.c_str()));
    EXPECT_STREQ(read, "xyz");
    PutRaw(HKEY_LOCAL_MACHINE, path.c_str(), "Empty", REG_SZ, "", 0);
    read = "kept";
    EXPECT_FALSE(ReadMachineRegistryString("Empty", read, path.c_str()));
    EXPECT_FALSE(ReadMachineRegistryString("Missing", read, path.c_str()));
    EXPECT_FALSE(ReadMachineRegistryString(setting::CachePathValue, read, "Software\\BwNone"));
    EXPECT_STREQ(read, "kept");
}

namespace
{
// Builds a SID from an authority and sub-authorities.
std::vector<BYTE> MakeSid(const BYTE (&authority)[6], std::initializer_list<DWORD> subs)
{
    SID_IDENTIFIER_AUTHORITY id;
    std::memcpy(id.Value, authority, 6);
    std::vector<BYTE> sid(::GetSidLengthRequired(static_cast<UCHAR>(subs.size())));
    EXPECT_TRUE(::InitializeSid(sid.data(), &id, static_cast<BYTE>(subs.size())));
    DWORD i = 0;
    for (DWORD sub : subs)
        *::GetSidSubAuthority(sid.data(), i++) = sub;
    return sid;
}
} // namespace

TEST(SidTextTest, FormsOfTheAuthorityAndSubAuthorities)
{
    char text[256];
    const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    std::vector<BYTE> system = MakeSid(nt, {18});
    EXPECT_EQ(FormatSidText(system.data(), text, sizeof text), 8);
    EXPECT_STREQ(text, "S-1-5-18");

    std::vector<BYTE> account = MakeSid(nt, {21, 1004336348, 1177238915, 682003330, 512});
    EXPECT_EQ(FormatSidText(account.data(), text, sizeof text), 44);
    EXPECT_STREQ(text, "S-1-5-21-1004336348-1177238915-682003330-512");

    // The top two authority bytes decide between decimal and hexadecimal.
    const BYTE high[6] = {1, 2, 3, 4, 5, 6};
    std::vector<BYTE> hex = MakeSid(high, {7});
    EXPECT_GT(FormatSidText(hex.data(), text, sizeof text), 0);
    EXPECT_STREQ(text, "S-1-0x010203040506-7");
    const BYTE second[6] = {0, 0xAB, 0, 0, 0, 0};
    std::vector<BYTE> hexLow = MakeSid(second, {});
    EXPECT_GT(FormatSidText(hexLow.data(), text, sizeof text), 0);
    EXPECT_STREQ(text, "S-1-0x00ab00000000");
    const BYTE wide[6] = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<BYTE> decimal = MakeSid(wide, {4294967295u, 0});
    EXPECT_GT(FormatSidText(decimal.data(), text, sizeof text), 0);
    EXPECT_STREQ(text, "S-1-4294967295-4294967295-0");

    // The system's own text agrees for the decimal forms. (Wine 8 prints an
    // authority of 2^31 and above as a negative number, so it is no oracle
    // for the widest one.)
    for (std::vector<BYTE>* sid : {&system, &account})
    {
        char* own = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidA(sid->data(), &own));
        FormatSidText(sid->data(), text, sizeof text);
        EXPECT_STREQ(text, own);
        ::LocalFree(own);
    }
}

TEST(SidTextTest, TextAndTerminatorMustFit)
{
    const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
    std::vector<BYTE> system = MakeSid(nt, {18});
    char text[16];
    for (int size = 0; size <= 8; size++)
        EXPECT_EQ(FormatSidText(system.data(), text, size), -1) << "size " << size;
    EXPECT_EQ(FormatSidText(system.data(), text, 9), 8);
    EXPECT_STREQ(text, "S-1-5-18");

    // Cut in the middle of the authority or of a sub-authority.
    EXPECT_EQ(FormatSidText(system.data(), text, 4), -1);
    EXPECT_EQ(FormatSidText(system.data(), text, 6), -1);

    BYTE junk[16] = {9, 99};
    EXPECT_EQ(FormatSidText(junk, text, sizeof text), -1) << "not a valid SID";
    EXPECT_EQ(FormatSidText(nullptr, text, sizeof text), -1);
    EXPECT_EQ(FormatSidText(system.data(), nullptr, 9), -1);
}

TEST(SidTextTest, CurrentUserIsTheTokensUser)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE buffer[512];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    ::CloseHandle(token);
    PSID tokenSid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    char* expected = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidA(tokenSid, &expected));

    PSID sid = GetCurrentUserSid();
    ASSERT_NE(sid, nullptr);
    EXPECT_TRUE(::IsValidSid(sid));
    EXPECT_TRUE(::EqualSid(sid, tokenSid));
    char text[4096] = {};
    EXPECT_EQ(FormatSidText(sid, text, 4095), static_cast<int>(std::strlen(expected)));
    EXPECT_STREQ(text, expected);
    ::LocalFree(sid);

    CString whole("preset");
    ASSERT_TRUE(GetCurrentUserSidText(whole));
    EXPECT_STREQ(whole, expected);
    // Wine runs every process as this one account.
    EXPECT_EQ(std::string(whole).rfind("S-1-5-21-", 0), 0u) << static_cast<const char*>(whole);
    ::LocalFree(expected);
}
