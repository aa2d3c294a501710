#include "foundation/Utility.h"

#include <gtest/gtest.h>

#include <string>

TEST(UtilityTest, StringReplaceFirstOrEvery)
{
    struct Case
    {
        const char* text;
        const char* oldText;
        const char* newText;
        BOOL all;
        const char* expected;
    } cases[] = {
        {"aXa", "a", "aa", TRUE, "aaXaa"}, // the inserted text is not searched again
        {"aXa", "a", "aa", FALSE, "aaXa"},
        {"aaa", "aa", "b", TRUE, "ba"},
        {"O'Brien's", "'", "#245#", TRUE, "O#245#Brien#245#s"},
        {"O'Brien's", "'", "#245#", FALSE, "O#245#Brien's"},
        {"no match", "x", "y", TRUE, "no match"},
        {"no match", "x", "y", FALSE, "no match"},
        {"Case case", "case", "X", TRUE, "Case X"},
        {"%NAME%-%NAME%", "%NAME%", "", TRUE, "-"},
        {"abc", "", "zz", TRUE, "abc"}, // an empty old text changes nothing
        {"abcabc", "abc", "abc", TRUE, "abcabc"},
    };
    for (const Case& c : cases)
    {
        CString target(c.text);
        StringReplace(c.newText, c.oldText, target, c.all);
        EXPECT_STREQ(target, c.expected) << c.text << " / " << c.oldText;
    }

    CString nullNew("a-b");
    StringReplace(nullptr, "-", nullNew, TRUE);
    EXPECT_STREQ(nullNew, "ab");
    CString none;
    StringReplace("x", "y", none, TRUE);
    EXPECT_TRUE(none.IsEmpty());

    // Many replacements in a long text.
    CString big(std::string(10000, '\'').c_str());
    StringReplace("#245#", "'", big, TRUE);
    EXPECT_EQ(big.GetLength(), 50000);
    EXPECT_EQ(big.Find("'"), -1);
}

TEST(UtilityTest, AppDirectoryIsTheProgramFolderWithoutBackslash)
{
    EXPECT_STREQ(PathBeforeLastBackslash("D:\\Tools\\app.exe"), "D:\\Tools");
    EXPECT_STREQ(PathBeforeLastBackslash("Z:\\tmp\\a b\\x.exe"), "Z:\\tmp\\a b");
    EXPECT_STREQ(PathBeforeLastBackslash("Z:\\x.exe"), "Z:");
    EXPECT_STREQ(PathBeforeLastBackslash("x.exe"), "x.exe");

    char module[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
    CString directory("untouched");
    ASSERT_TRUE(GetAppDirectory(directory));
    ASSERT_GT(directory.GetLength(), 1);
    EXPECT_NE(directory[directory.GetLength() - 1], '\\');
    CString again = directory + "\\foundation_tests.exe";
    EXPECT_EQ(again.CompareNoCase(module), 0) << module;
}

TEST(UtilityTest, CharacterBeforeAString)
{
    CString tail("Files\\C");
    CString path = '\\' + tail;
    EXPECT_STREQ(path, "\\Files\\C");
    EXPECT_STREQ(tail, "Files\\C");
    CString empty;
    EXPECT_STREQ('x' + empty, "x");
}

namespace
{
// Whether SeDebugPrivilege is enabled in the process token; with `set`,
// first switches it to that state.
bool DebugPrivilegeEnabled(const bool* set = nullptr)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token))
        return false;
    LUID debug;
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug);
    if (set != nullptr)
    {
        TOKEN_PRIVILEGES change = {};
        change.PrivilegeCount = 1;
        change.Privileges[0].Luid = debug;
        change.Privileges[0].Attributes = *set ? SE_PRIVILEGE_ENABLED : 0;
        AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr);
    }
    PRIVILEGE_SET query = {};
    query.PrivilegeCount = 1;
    query.Privilege[0].Luid = debug;
    BOOL enabled = FALSE;
    PrivilegeCheck(token, &query, &enabled);
    CloseHandle(token);
    return enabled != FALSE;
}
} // namespace

TEST(UtilityTest, EnableDebugPrivilegeEnablesItInTheToken)
{
    const bool off = false;
    ASSERT_FALSE(DebugPrivilegeEnabled(&off));
    EnableDebugPrivilege();
    EXPECT_TRUE(DebugPrivilegeEnabled());
}

// Run by tests/scripts/localtime.sh under several TZ settings. Wine takes
// the zone rules from the Unix TZ the process started with; a TZ put into a
// child's Windows environment does not reach them (measured), so the
// program cannot run itself under another zone and the script does it.
TEST(UtilityTest, UtcToLocalTimeFollowsTheZoneRules)
{
    char zone[64] = {};
    GetEnvironmentVariableA("TZ", zone, sizeof(zone));
    struct Case
    {
        WORD year, month, day, hour, minute;
        WORD localYear, localMonth, localDay, localHour, localMinute;
    };
    static const Case berlin[] = {{2009, 7, 15, 12, 0, 2009, 7, 15, 14, 0},
                                  {2009, 1, 15, 12, 0, 2009, 1, 15, 13, 0},
                                  {2009, 12, 31, 23, 30, 2010, 1, 1, 0, 30}};
    static const Case newYork[] = {{2009, 7, 15, 12, 0, 2009, 7, 15, 8, 0},
                                   {2009, 1, 15, 12, 0, 2009, 1, 15, 7, 0},
                                   {2010, 1, 1, 3, 15, 2009, 12, 31, 22, 15}};
    static const Case utcZone[] = {{2009, 7, 15, 12, 0, 2009, 7, 15, 12, 0},
                                   {2009, 12, 31, 23, 30, 2009, 12, 31, 23, 30}};
    const Case* first = nullptr;
    const Case* last = nullptr;
    if (std::string(zone) == "Europe/Berlin")
        first = berlin, last = berlin + 3;
    else if (std::string(zone) == "America/New_York")
        first = newYork, last = newYork + 3;
    else if (std::string(zone) == "UTC")
        first = utcZone, last = utcZone + 2;
    else
        GTEST_SKIP() << "run by tests/scripts/localtime.sh with TZ set";

    for (const Case* c = first; c != last; ++c)
    {
        SYSTEMTIME utc = {};
        utc.wYear = c->year;
        utc.wMonth = c->month;
        utc.wDay = c->day;
        utc.wHour = c->hour;
        utc.wMinute = c->minute;
        utc.wSecond = 5;
        utc.wMilliseconds = 321;
        SYSTEMTIME local = {};
        ASSERT_TRUE(UtcToLocalTime(&utc, &local));
        EXPECT_EQ(local.wYear, c->localYear);
        EXPECT_EQ(local.wMonth, c->localMonth);
        EXPECT_EQ(local.wDay, c->localDay);
        EXPECT_EQ(local.wHour, c->localHour);
        EXPECT_EQ(local.wMinute, c->localMinute);
        EXPECT_EQ(local.wSecond, 5);
        EXPECT_EQ(local.wMilliseconds, 321);
    }
}
