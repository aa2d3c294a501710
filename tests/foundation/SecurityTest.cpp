#include "foundation/Security.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

static_assert(!std::is_copy_constructible_v<CSecurityDescriptor>, "one owner");
static_assert(!std::is_copy_constructible_v<CAccessToken>, "one owner");

namespace
{
// This process's token (under Wine: the elevated administrator every
// process is).
bool OpenOwnToken(CAccessToken& token)
{
    return token.OpenProcess(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE);
}

std::string UserSidText(HANDLE token)
{
    std::vector<BYTE> user;
    char* text = nullptr;
    if (!ReadTokenInformation(token, TokenUser, user) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text))
        return "";
    std::string sid = text;
    LocalFree(text);
    return sid;
}

const TOKEN_GROUPS& Groups(const std::vector<BYTE>& data)
{
    return *reinterpret_cast<const TOKEN_GROUPS*>(data.data());
}

// The attributes the Administrators have in a group list, 0xFFFFFFFF when
// absent.
DWORD AdministratorsAttributes(const TOKEN_GROUPS& groups)
{
    for (DWORD i = 0; i < groups.GroupCount; ++i)
        if (IsWellKnownSid(groups.Groups[i].Sid, WinBuiltinAdministratorsSid))
            return groups.Groups[i].Attributes;
    return 0xFFFFFFFF;
}
} // namespace

// A group counts only enabled: the Administrators kept for denial only (the
// filtered token of an administrator under UAC who has not elevated) grant
// nothing.
TEST(SecurityTest, OnlyEnabledGroupsCount)
{
    CAccessToken own;
    ASSERT_TRUE(OpenOwnToken(own));
    std::vector<BYTE> groups;
    ASSERT_TRUE(ReadTokenInformation(own.Get(), TokenGroups, groups));
    EXPECT_TRUE(AdministratorsAttributes(Groups(groups)) & SE_GROUP_ENABLED);
    EXPECT_TRUE(HoldsEnabledGroup(Groups(groups), WinBuiltinAdministratorsSid));
    EXPECT_FALSE(HoldsEnabledGroup(Groups(groups), WinBuiltinBackupOperatorsSid));

    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    SID_AND_ATTRIBUTES disabled = {administrators, 0};
    HANDLE filtered = nullptr;
    ASSERT_TRUE(
        CreateRestrictedToken(own.Get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, &filtered));
    CAccessToken filteredToken;
    filteredToken.Attach(filtered);
    std::vector<BYTE> filteredGroups;
    ASSERT_TRUE(ReadTokenInformation(filteredToken.Get(), TokenGroups, filteredGroups));
    const DWORD attributes = AdministratorsAttributes(Groups(filteredGroups));
    ASSERT_NE(attributes, 0xFFFFFFFF);
    EXPECT_TRUE(attributes & SE_GROUP_USE_FOR_DENY_ONLY);
    EXPECT_FALSE(HoldsEnabledGroup(Groups(filteredGroups), WinBuiltinAdministratorsSid));

    std::vector<BYTE> list(offsetof(TOKEN_GROUPS, Groups) + sizeof(SID_AND_ATTRIBUTES));
    auto* one = reinterpret_cast<TOKEN_GROUPS*>(list.data());
    one->GroupCount = 1;
    one->Groups[0] = {administrators, SE_GROUP_MANDATORY};
    EXPECT_FALSE(HoldsEnabledGroup(*one, WinBuiltinAdministratorsSid));
    one->Groups[0].Attributes = SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY;
    EXPECT_FALSE(HoldsEnabledGroup(*one, WinBuiltinAdministratorsSid));
    one->Groups[0].Attributes = SE_GROUP_ENABLED;
    EXPECT_TRUE(HoldsEnabledGroup(*one, administrators));
}

// The system's own check really weighs the descriptor under Wine too: a
// user granted only the listing of a file may not read it.
TEST(SecurityTest, TheAccessCheckWeighsADescriptorAgainstAToken)
{
    CAccessToken own;
    ASSERT_TRUE(OpenOwnToken(own));
    const std::string user = UserSidText(own.Get());
    ASSERT_FALSE(user.empty());
    CAccessToken token;
    ASSERT_TRUE(token.Duplicate(own.Get(), TOKEN_QUERY));
    const std::string header = "O:" + user + "G:" + user + "D:";
    const struct
    {
        std::string dacl;
        bool reads;
    } cases[] = {
        {"(A;;0x100080;;;" + user + ")", false}, // attributes and synchronize: a listing
        {"(A;;FR;;;" + user + ")", true},
        {"(A;;GR;;;WD)", true}, // generic read, mapped to the file's own rights
        {"(D;;FR;;;" + user + ")(A;;FA;;;WD)", false},
        {"", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dacl);
        CSecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromText((header + c.dacl).c_str()));
        EXPECT_EQ(
            IsAccessGranted(token.Get(), descriptor.Get(), FILE_READ_DATA, FileGenericMapping()),
            c.reads);
    }
    // A primary token is no subject for the check: not granted.
    CSecurityDescriptor open;
    ASSERT_TRUE(open.FromText((header + "(A;;FA;;;WD)").c_str()));
    EXPECT_TRUE(IsAccessGranted(token.Get(), open.Get(), FILE_READ_DATA, FileGenericMapping()));
    EXPECT_FALSE(IsAccessGranted(own.Get(), open.Get(), FILE_READ_DATA, FileGenericMapping()));
}
