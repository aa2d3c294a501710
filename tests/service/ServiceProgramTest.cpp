#include "service/CrashHandler.h"
#include "foundation/ServiceHandle.h"
#include "service/ServiceProgram.h"

#include <gtest/gtest.h>

#include <type_traits>

static_assert(!std::is_copy_constructible_v<CServiceHandle>, "one owner per handle");
static_assert(!std::is_copy_assignable_v<CServiceHandle>, "one owner per handle");

TEST(ServiceSwitches, OnlyTheExactLowerOrUpperFormsCount)
{
    const struct
    {
        const char* commandLine;
        ServiceSwitch expected;
    } cases[] = {
        {"-install", ServiceSwitch::Install},
        {"-INSTALL", ServiceSwitch::Install},
        {"-uninstall", ServiceSwitch::Uninstall},
        {"-UNINSTALL", ServiceSwitch::Uninstall},
        {"-start", ServiceSwitch::Start},
        {"-START", ServiceSwitch::Start},
        {"-stop", ServiceSwitch::Stop},
        {"-STOP", ServiceSwitch::Stop},
        {"-restart", ServiceSwitch::Restart},
        {"-RESTART", ServiceSwitch::Restart},
        // Mixed case, blanks, other spellings and extra text: nothing.
        {"-Install", ServiceSwitch::None},
        {"-inSTALL", ServiceSwitch::None},
        {"-install ", ServiceSwitch::None},
        {" -install", ServiceSwitch::None},
        {"-stop -start", ServiceSwitch::None},
        {"/install", ServiceSwitch::None},
        {"install", ServiceSwitch::None},
        {"-manual", ServiceSwitch::None},
        {"-", ServiceSwitch::None},
        {"", ServiceSwitch::None},
        {nullptr, ServiceSwitch::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ParseServiceSwitch(c.commandLine))
            << (c.commandLine != nullptr ? c.commandLine : "(null)");
}

TEST(ServiceHandle, OwnsOneHandleOfTheServiceControlManager)
{
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager.IsOpen());
    SC_HANDLE raw = manager.Detach();
    EXPECT_FALSE(manager.IsOpen());
    ASSERT_NE(nullptr, raw);
    CServiceHandle other;
    other.Attach(raw);
    EXPECT_EQ(raw, other.Get());
    other.Close();
    EXPECT_FALSE(other.IsOpen());
    // A service that is not there gives a handle that is not open.
    CServiceHandle missing(
        OpenServiceA(CServiceHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)).Get(),
                     "OVBrinwoxSrv-not-installed", SERVICE_QUERY_STATUS));
    EXPECT_FALSE(missing.IsOpen());
}

TEST(ServiceDirectory, IsTheProgramFolderWithoutTrailingBackslash)
{
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    const CString directory = GetServiceDirectory();
    ASSERT_FALSE(directory.IsEmpty());
    EXPECT_NE('\\', directory[directory.GetLength() - 1]);
    EXPECT_STREQ(directory + "\\service_tests.exe", program);
}

TEST(ServiceText, ReplaceTextEndsWhenTheReplacementHoldsTheSearchedText)
{
    CString every("aaa");
    ReplaceText(every, "a", "aa", TRUE);
    EXPECT_STREQ("aaaaaa", every);
    CString first("aaa");
    ReplaceText(first, "a", "aa", FALSE);
    EXPECT_STREQ("aaaa", first);
    CString none("xyz");
    ReplaceText(none, "a", "b", TRUE);
    EXPECT_STREQ("xyz", none);
    CString path("C:\\dir\\file");
    ReplaceText(path, "\\", "\\\\", TRUE);
    EXPECT_STREQ("C:\\\\dir\\\\file", path);

    EXPECT_STREQ("HKEY_USERS\\S-1-5", ConcatText(CString("HKEY_USERS\\"), "S-1-5"));
    EXPECT_STREQ("left", ConcatText(CString("left"), ""));
}
