#include "foundation/Registry.h"
#include "tests/support/RegistryLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

static_assert(!std::is_copy_constructible_v<CRegistryKey>);

namespace
{
// A fresh key under HKCU\Software\BrindlewoxTests for one test, removed with
// its subkeys afterwards.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path.Format("Software\\BrindlewoxTests\\reg-%lu-%lu", GetCurrentProcessId(),
                      GetTickCount());
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path);
        // Fails while another test's key is still there, as it should.
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\BrindlewoxTests");
    }

    CString m_path;
};
} // namespace

TEST_F(RegistryTest, CreateWriteReadAndDeleteValues)
{
    CRegistryKey key;
    DWORD disposition = 0;
    ASSERT_EQ(
        key.Create(HKEY_CURRENT_USER, m_path, nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(key.IsOpen());

    EXPECT_EQ(key.SetDwordValue(0xDEADBEEF, "SheduleHour"), ERROR_SUCCESS);
    EXPECT_EQ(key.SetStringValue("C:\\Backup", "Directory"), ERROR_SUCCESS);
    EXPECT_EQ(key.SetStringValue("", "Empty"), ERROR_SUCCESS);
    EXPECT_EQ(key.Close(), ERROR_SUCCESS);
    EXPECT_FALSE(key.IsOpen());

    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, m_path, KEY_ALL_ACCESS), ERROR_SUCCESS);
    DWORD number = 0;
    EXPECT_EQ(key.QueryDwordValue("SheduleHour", &number), ERROR_SUCCESS);
    EXPECT_EQ(number, 0xDEADBEEFu);

    // The value is read under its type as stored: REG_DWORD, and REG_SZ with
    // its terminator (an empty text is one byte).
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "SheduleHour", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    ASSERT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 1u);

    char text[260];
    size = sizeof(text);
    EXPECT_EQ(key.QueryValue("Directory", text, &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "C:\\Backup");
    EXPECT_EQ(size, 10u);
    size = 0;
    EXPECT_EQ(key.QueryValue("Directory", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);

    EXPECT_EQ(key.DeleteValue("Directory"), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteValue("Directory"), ERROR_FILE_NOT_FOUND);
    size = sizeof(text);
    EXPECT_EQ(key.QueryValue("Directory", text, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, FailedQueriesLeaveTheirOutputsUntouched)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_path), ERROR_SUCCESS);
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExA(key, "Wide", 0, REG_BINARY, eight, sizeof(eight)), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue("a fairly long text", "Long"), ERROR_SUCCESS);
    // Stored without its terminator, exactly filling the caller's buffer.
    ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 4),
              ERROR_SUCCESS);

    DWORD number = 12345;
    EXPECT_EQ(key.QueryDwordValue("Missing", &number), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(number, 12345u);
    EXPECT_EQ(key.QueryDwordValue("Wide", &number), ERROR_MORE_DATA);
    EXPECT_EQ(number, 12345u);

    char text[8];
    std::memset(text, '#', sizeof(text));
    DWORD size = sizeof(text);
    EXPECT_EQ(key.QueryValue("Long", text, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    for (char c : text)
        EXPECT_EQ(c, '#');

    // A string without a terminator comes back terminated, or not at all.
    size = 4;
    EXPECT_EQ(key.QueryValue("Bare", text, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(text[0], '#');
    size = 5;
    EXPECT_EQ(key.QueryValue("Bare", text, &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "abcd");

    // A key that is not there does not open, and the object holds none.
    CRegistryKey missing;
    EXPECT_EQ(missing.Open(HKEY_CURRENT_USER, m_path + "\\absent", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Close(), ERROR_SUCCESS);
}

TEST_F(RegistryTest, EnumeratesSubkeysAndValues)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_path), ERROR_SUCCESS);
    for (const char* name : {"Run-Disabled", "Run1-Disabled", "Other"})
    {
        CRegistryKey sub;
        ASSERT_EQ(sub.Create(key, name), ERROR_SUCCESS);
    }
    key.SetDwordValue(1, "PriorityLevel");
    key.SetStringValue("x", "ProxyHost");

    std::set<std::string> keys;
    CString name;
    DWORD index = 0;
    LONG result;
    while ((result = key.EnumKey(index++, name)) == ERROR_SUCCESS)
        keys.insert(static_cast<const char*>(name));
    EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(keys, (std::set<std::string>{"Other", "Run-Disabled", "Run1-Disabled"}));
    EXPECT_STREQ(name, "Run1-Disabled") << "the name of the failed call stays as it was";

    std::set<std::string> values;
    DWORD types = 0;
    for (index = 0;; ++index)
    {
        DWORD type = 0;
        result = key.EnumValue(index, name, &type);
        if (result != ERROR_SUCCESS)
            break;
        values.insert(static_cast<const char*>(name));
        types |= 1u << type;
    }
    EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(values, (std::set<std::string>{"PriorityLevel", "ProxyHost"}));
    EXPECT_EQ(types, (1u << REG_DWORD) | (1u << REG_SZ));
}

TEST_F(RegistryTest, AttachDetachAndReopen)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_path), ERROR_SUCCESS);
    // A second Create on the same object closes the first key first.
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, m_path + "\\child"), ERROR_SUCCESS);
    EXPECT_EQ(key.SetDwordValue(7, "InChild"), ERROR_SUCCESS);
    HKEY raw = key.Detach();
    EXPECT_FALSE(key.IsOpen());
    DWORD number = 0;
    DWORD size = sizeof(number);
    EXPECT_EQ(
        RegQueryValueExA(raw, "InChild", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(number, 7u);
    CRegistryKey adopter;
    adopter.Attach(raw);
    EXPECT_EQ(adopter.GetHandle(), raw);
    EXPECT_EQ(adopter.Close(), ERROR_SUCCESS);
}

TEST_F(RegistryTest, WalksWithoutLinksStopAtEveryLevelThatIsALink)
{
    const CString target = m_path + "\\Target";
    const CString link = m_path + "\\Link";
    CRegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, target + "\\Deep"), ERROR_SUCCESS);
    key.Close();
    ASSERT_TRUE(MakeRegistryLink(HKEY_CURRENT_USER, link, target));
    // The system follows it.
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, link + "\\Deep", KEY_READ), ERROR_SUCCESS);
    key.Close();

    EXPECT_EQ(key.OpenWithoutLinks(HKEY_CURRENT_USER, link + "\\Deep", KEY_READ),
              kErrorStoppedOnLink);
    EXPECT_EQ(key.OpenWithoutLinks(HKEY_CURRENT_USER, link, KEY_READ), kErrorStoppedOnLink);
    EXPECT_EQ(key.CreateWithoutLinks(HKEY_CURRENT_USER, link + "\\New"), kErrorStoppedOnLink);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, target + "\\New", KEY_READ), ERROR_FILE_NOT_FOUND);

    // Plain keys: opened, and every missing level made.
    EXPECT_EQ(key.OpenWithoutLinks(HKEY_CURRENT_USER, target + "\\Deep", KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_EQ(key.CreateWithoutLinks(HKEY_CURRENT_USER, m_path + "\\Made\\Deeper", KEY_SET_VALUE),
              ERROR_SUCCESS);
    EXPECT_EQ(key.SetDwordValue(7, "Seven"), ERROR_SUCCESS);
    DWORD seven = 0;
    EXPECT_EQ(key.OpenWithoutLinks(HKEY_CURRENT_USER, m_path + "\\Made\\Deeper", KEY_QUERY_VALUE),
              ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDwordValue("Seven", &seven), ERROR_SUCCESS);
    EXPECT_EQ(seven, 7u);
    EXPECT_EQ(key.OpenWithoutLinks(HKEY_CURRENT_USER, m_path + "\\Missing", KEY_READ),
              ERROR_FILE_NOT_FOUND);
    key.Close();
    DeleteRegistryLink(HKEY_CURRENT_USER, link);
}
