// The uninstall list's command rules and its reading against real
// Uninstall keys of the test prefix (both views), under unique subkeys that
// are removed again whatever happens.
#include "app/UninstallEntries.h"
#include "foundation/Registry.h"
#include "foundation/Utility.h"
#include "skin/ApplicationsTree.h"
#include "tests/support/TempFolder.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Subkeys of the Uninstall key written for one test, deleted when it ends.
class UninstallKeys
{
public:
    explicit UninstallKeys(const char* tag)
    {
        m_prefix.Format("BwUninstall%s%lu-", tag, GetCurrentProcessId());
    }
    ~UninstallKeys()
    {
        for (const Made& made : m_made)
        {
            CRegistryKey key;
            if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKeyPath, KEY_ALL_ACCESS | made.view) ==
                ERROR_SUCCESS)
                RegDeleteKeyExA(key, made.name, made.view, 0);
        }
    }
    CString Name(const char* suffix) const { return m_prefix + suffix; }
    const CString& Prefix() const { return m_prefix; }

    // A subkey with the given values (null: not written).
    bool Make(const char* suffix, const char* displayName, const char* uninstallString,
              REGSAM view = KEY_WOW64_64KEY, DWORD type = REG_SZ)
    {
        const CString name = Name(suffix);
        CRegistryKey key;
        if (key.Create(HKEY_LOCAL_MACHINE, CString(kUninstallKeyPath) + "\\" + name, nullptr, 0,
                       KEY_ALL_ACCESS | view) != ERROR_SUCCESS)
            return false;
        m_made.push_back({name, view});
        key.SetStringValue("1.0", "DisplayVersion");
        if (displayName != nullptr &&
            key.SetStringValue(displayName, "DisplayName") != ERROR_SUCCESS)
            return false;
        return uninstallString == nullptr ||
               RegSetValueExA(key, "UninstallString", 0, type,
                              reinterpret_cast<const BYTE*>(uninstallString),
                              DWORD(strlen(uninstallString) + 1)) == ERROR_SUCCESS;
    }

private:
    struct Made
    {
        CString name;
        REGSAM view;
    };
    CString m_prefix;
    std::vector<Made> m_made;
};

std::vector<const UninstallEntry*> Ours(const CArray<UninstallEntry>& entries,
                                        const CString& prefix)
{
    std::vector<const UninstallEntry*> ours;
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].subkey.Left(prefix.GetLength()) == prefix)
            ours.push_back(&entries[i]);
    return ours;
}

CString Lower(const char* text)
{
    CString lower(text);
    lower.MakeLower();
    return lower;
}
} // namespace

TEST(UninstallEntries, CleaningAndCheckDecisionTable)
{
    struct Case
    {
        const char* command;
        const char* cleaned;
        bool check;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\App\\unins000.exe\" /SILENT", "c:\\program files\\app\\unins000.exe",
         true},
        {"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}", "msiexec.exe", false},
        {"rundll32.exe setupapi,InstallHinfSection DefaultUninstall 132 C:\\x\\a.inf",
         "rundll32.exe", false},
        {"rundll32 c:\\x\\foo.dll,Entry", "rundll32 c:\\x\\foo.dll", true},
        {"  C:\\Tools\\Remove.EXE  ", "c:\\tools\\remove.exe", true},
        // No extension found: no check, even with a backslash.
        {"C:\\Tools\\remove.bat", "c:\\tools\\remove.bat", false},
        // A lone quote: a blank, nothing left to name a file.
        {"\"", "", false},
        // A quote not at the start stays.
        {"C:\\a\\\"b.exe\" /x", "c:\\a\\\"b.exe", true},
    };
    for (const Case& c : cases)
    {
        bool check = !c.check;
        EXPECT_STREQ(c.cleaned, CleanUninstallCommand(c.command, &check)) << c.command;
        EXPECT_EQ(c.check, check) << c.command;
    }
}

TEST(UninstallEntries, ResolveFindsFilesThroughTheCommandLineRules)
{
    TempFolder folder("resolve");
    ASSERT_TRUE(WriteTextFile(folder / "app.exe", "x"));
    ASSERT_TRUE(WriteTextFile(folder / "lib.dll", "x"));
    ASSERT_TRUE(MakeFolder(folder / "at@sign"));
    ASSERT_TRUE(WriteTextFile(folder / "at@sign\\tool.exe", "x"));
    const CString gone = folder / "gone.exe";
    ASSERT_TRUE(WriteTextFile(gone, "x"));
    ASSERT_TRUE(DeleteFileA(gone));

    EXPECT_TRUE(ResolveCommandLineExecutable("@%SystemRoot%\\system32\\notepad.exe", ""));
    EXPECT_TRUE(ResolveCommandLineExecutable(folder / "app.exe", ""));
    EXPECT_TRUE(ResolveCommandLineExecutable("  " + Lower(folder / "APP.EXE") + "  ", ""));
    EXPECT_FALSE(ResolveCommandLineExecutable(gone, ""));
    // Only a leading "@" goes.
    EXPECT_TRUE(ResolveCommandLineExecutable(folder / "at@sign\\tool.exe", ""));
    EXPECT_TRUE(ResolveCommandLineExecutable("rundll32 " + Lower(folder / "lib.dll"), ""));
    EXPECT_TRUE(ResolveCommandLineExecutable("rundll32.exe " + Lower(folder / "lib.dll"), ""));
    EXPECT_FALSE(ResolveCommandLineExecutable("rundll32 " + Lower(folder / "none.dll"), ""));

    // The program-files folder the window found stands for %programw6432%.
    EXPECT_TRUE(ResolveCommandLineExecutable("%ProgramW6432%\\app.exe", folder.Path()));
    EXPECT_FALSE(ResolveCommandLineExecutable("%ProgramW6432%\\app.exe", "C:\\nowhere"));
    EXPECT_FALSE(ResolveCommandLineExecutable("", folder.Path()));
}

TEST(UninstallEntries, CommonProgramMeansTheCommonFilesFolder)
{
    char common[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr,
                                           SHGFP_TYPE_CURRENT, common)));
    CString sub;
    sub.Format("BwCommon%lu", GetCurrentProcessId());
    const CString folder = CString(common) + "\\" + sub;
    ASSERT_TRUE(CreateDirectoryA(folder, nullptr));
    ASSERT_TRUE(WriteTextFile(folder + "\\un.exe", "x"));
    const bool found =
        ResolveCommandLineExecutable("%CommonProgramW6432%\\" + sub + "\\un.exe", "");
    // Without the variable (as on 32-bit Windows) the folder is asked for.
    char saved[MAX_PATH] = {};
    const bool hadVariable =
        GetEnvironmentVariableA("CommonProgramW6432", saved, sizeof(saved)) != 0;
    SetEnvironmentVariableA("CommonProgramW6432", nullptr);
    const bool foundWithout =
        ResolveCommandLineExecutable("%commonprogramw6432%\\" + sub + "\\un.exe", "");
    if (hadVariable)
        SetEnvironmentVariableA("CommonProgramW6432", saved);
    DeleteFileA(folder + "\\un.exe");
    RemoveDirectoryA(folder);
    EXPECT_TRUE(found);
    EXPECT_TRUE(foundWithout);
}

TEST(UninstallEntries, BothViewsReadWithKindsTextsAndRawCommands)
{
    UninstallKeys keys("Read");
    TempFolder folder("uninstall");
    ASSERT_TRUE(WriteTextFile(folder / "unins.exe", "x"));
    const CString present = "\"" + folder / "unins.exe" + "\" /SILENT";
    const CString missing = "\"" + folder / "deleted.exe" + "\" /SILENT";
    // Longer than the 259 characters a fixed buffer would hold.
    const CString longCommand = present + " /LOG=\"" + CString('l', 300) + "\"";

    ASSERT_TRUE(keys.Make("A", "Present App", present));
    ASSERT_TRUE(keys.Make("B", nullptr, "MsiExec.exe /X{00000000-0000-0000-0000-000000000001}"));
    ASSERT_TRUE(keys.Make("C", "Missing App", missing));
    ASSERT_TRUE(keys.Make("D", "No Command", nullptr));
    ASSERT_TRUE(keys.Make("E", "Empty Command", ""));
    ASSERT_TRUE(keys.Make("F", "Long Command", longCommand));
    ASSERT_TRUE(keys.Make("G", "Binary Command", "C:\\x.exe", KEY_WOW64_64KEY, REG_BINARY));
    // Stored to be expanded: the command runs with its variables expanded.
    ASSERT_TRUE(SetEnvironmentVariableA("BW_UNINSTALL_DIR", folder.Path()));
    ASSERT_TRUE(keys.Make("I", "Expanded", "\"%BW_UNINSTALL_DIR%\\unins.exe\" /S",
                          KEY_WOW64_64KEY, REG_EXPAND_SZ));
    // The 32-bit view: one name of its own, one the 64-bit view has.
    ASSERT_TRUE(
        keys.Make("H", "Thirty-two", "rundll32.exe setupapi,InstallHinfSection", KEY_WOW64_32KEY));
    ASSERT_TRUE(keys.Make("A", "Present App (32-bit)", present, KEY_WOW64_32KEY));

    CArray<UninstallEntry> entries;
    ReadUninstallEntries(entries, "C:\\Program Files");
    const auto ours = Ours(entries, keys.Prefix());
    std::string names;
    for (const UninstallEntry* entry : ours)
        names += std::string(entry->subkey.Mid(keys.Prefix().GetLength())) + " ";
    ASSERT_EQ("A B C F I H ", names);

    EXPECT_STREQ("Present App", ours[0]->text);
    EXPECT_EQ(kUninstallerFound, ours[0]->kind);
    EXPECT_STREQ(present, ours[0]->command);
    EXPECT_STREQ(Lower(folder / "unins.exe"), ours[0]->path);

    EXPECT_STREQ(keys.Name("B"), ours[1]->text) << "no DisplayName: the subkey's name";
    EXPECT_EQ(kUninstallerFound, ours[1]->kind) << "no backslash: not looked for";
    EXPECT_STREQ("msiexec.exe", ours[1]->path);

    EXPECT_EQ(kUninstallerMissing, ours[2]->kind);
    EXPECT_STREQ(missing, ours[2]->command);

    EXPECT_STREQ(longCommand, ours[3]->command);
    EXPECT_EQ(kUninstallerFound, ours[3]->kind);

    EXPECT_STREQ("\"" + folder / "unins.exe" + "\" /S", ours[4]->command);
    EXPECT_STREQ("%bw_uninstall_dir%\\unins.exe", ours[4]->path) << "looked for expanded";
    EXPECT_EQ(kUninstallerFound, ours[4]->kind);
    SetEnvironmentVariableA("BW_UNINSTALL_DIR", nullptr);

    EXPECT_STREQ("Thirty-two", ours[5]->text);
    EXPECT_STREQ("rundll32.exe", ours[5]->path);
    EXPECT_EQ(kUninstallerFound, ours[5]->kind);
}
