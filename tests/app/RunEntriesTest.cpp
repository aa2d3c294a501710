// The startup manager's reading against the real Run and parking keys of
// the test prefix: values of unique names, removed again whatever happens.
#include "app/RunEntries.h"
#include "foundation/Registry.h"
#include "tests/app/StartupTestSupport.h"
#include "tests/support/SharedKeyLock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const char* const kMachineParking = "Software\\Orvanel\\Brindlewox\\Run-Disabled";
const char* const kUserParking = "Software\\Orvanel\\Brindlewox\\Run1-Disabled";

// Values written for one test, deleted when it ends; the keys are held
// against the other test programs from the first write to the last delete.
class StartupValues
{
public:
    explicit StartupValues(const char* tag)
    {
        m_prefix.Format("BwStartup%s%lu-", tag, GetCurrentProcessId());
    }
    ~StartupValues()
    {
        for (const Written& value : m_written)
        {
            CRegistryKey key;
            if (key.Open(value.root, value.path.c_str(), KEY_SET_VALUE | value.view) ==
                ERROR_SUCCESS)
                key.DeleteValue(value.name);
        }
    }
    CString Name(const char* suffix) const { return m_prefix + suffix; }
    const CString& Prefix() const { return m_prefix; }
    bool IsHeld() const { return m_lock.IsHeld(); }

    // Writes raw bytes of a type under `root\path`.
    bool Set(HKEY root, const char* path, const CString& name, DWORD type, const void* data,
             DWORD size, REGSAM view = 0)
    {
        CRegistryKey key;
        if (key.Create(root, path, nullptr, 0, KEY_ALL_ACCESS | view) != ERROR_SUCCESS)
            return false;
        m_written.push_back({root, path, name, view});
        return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
    }
    bool SetText(HKEY root, const char* path, const CString& name, const char* text,
                 DWORD type = REG_SZ, REGSAM view = 0)
    {
        return Set(root, path, name, type, text, DWORD(strlen(text) + 1), view);
    }

private:
    SharedKeyLock m_lock;
    struct Written
    {
        HKEY root;
        std::string path;
        CString name;
        REGSAM view;
    };
    CString m_prefix;
    std::vector<Written> m_written;
};

// The entries whose value names start with the prefix, in list order.
std::vector<const RunEntry*> Ours(const CArray<RunEntry>& entries, const CString& prefix)
{
    std::vector<const RunEntry*> ours;
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].valueName.Left(prefix.GetLength()) == prefix)
            ours.push_back(&entries[i]);
    return ours;
}
} // namespace

TEST(RunEntries, CommandPathTable)
{
    struct Case
    {
        const char* command;
        const char* path;
    };
    const Case cases[] = {
        {"\"C:\\Prog Files\\a.exe\" -x", "C:\\Prog Files\\a.exe"},
        {"C:\\x\\b.EXE /q", "C:\\x\\b.EXE"},
        {"rundll32.exe shell32.dll,Control_RunDLL", "rundll32.exe"},
        {"C:\\tools\\start.bat /min", "C:\\tools\\start.bat /min"},
        // One quote only: no pair, the text stays whole up to ".exe".
        {"\"C:\\x\\lone.exe -y", "\"C:\\x\\lone.exe"},
        // Quotes around arguments only: the text between them.
        {"C:\\x\\c.exe \"D:\\a b\\file.txt\"", "D:\\a b\\file.txt"},
        {"\"\"", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.path, RunCommandPath(c.command)) << c.command;
}

TEST(RunEntries, KeysInTableOrderWithKindsScopesAndPaths)
{
    StartupValues values("Order");
    ASSERT_TRUE(values.IsHeld());
    TempFolder folder("startup");
    const CString probe = CopyBuiltProgram(folder, "version_probe_3_0_205_0.exe");
    ASSERT_FALSE(probe.IsEmpty());
    const CString quoted = "\"" + probe + "\" /autorun";

    // One name in both Run keys, one in each parking key, written in the
    // reverse of the reading order.
    const CString both = values.Name("Both");
    ASSERT_TRUE(values.SetText(HKEY_CURRENT_USER, kUserParking, values.Name("ParkedUser"),
                               "C:\\nowhere\\parked-user.exe"));
    ASSERT_TRUE(
        values.SetText(HKEY_CURRENT_USER, kMachineParking, values.Name("ParkedMachine"), quoted));
    ASSERT_TRUE(values.SetText(HKEY_CURRENT_USER, kRunKeyPath, both,
                               "\"%SystemRoot%\\notepad.exe\" /x", REG_EXPAND_SZ));
    ASSERT_TRUE(
        values.SetText(HKEY_LOCAL_MACHINE, kRunKeyPath, both, quoted, REG_SZ, KEY_WOW64_64KEY));

    CArray<RunEntry> entries;
    ReadRunEntries(entries);
    const auto ours = Ours(entries, values.Prefix());
    ASSERT_EQ(4u, ours.size());

    EXPECT_STREQ(both, ours[0]->valueName);
    EXPECT_EQ(kRunEntryActive, ours[0]->kind);
    EXPECT_EQ(1u, ours[0]->scope);
    EXPECT_EQ(0, ours[0]->path.CompareNoCase(probe));
    EXPECT_STREQ("Brindlewox Test Target", ours[0]->text);

    EXPECT_STREQ(both, ours[1]->valueName);
    EXPECT_EQ(kRunEntryActive, ours[1]->kind);
    EXPECT_EQ(2u, ours[1]->scope);
    // REG_EXPAND_SZ: expanded, quotes and arguments gone.
    EXPECT_EQ(0, ours[1]->path.CompareNoCase(ExpandEnvironment("%SystemRoot%\\notepad.exe")))
        << (const char*)ours[1]->path;

    EXPECT_STREQ(values.Name("ParkedMachine"), ours[2]->valueName);
    EXPECT_EQ(kRunEntryParked, ours[2]->kind);
    EXPECT_EQ(1u, ours[2]->scope);
    EXPECT_STREQ("Brindlewox Test Target", ours[2]->text);

    EXPECT_STREQ(values.Name("ParkedUser"), ours[3]->valueName);
    EXPECT_EQ(kRunEntryParked, ours[3]->kind);
    EXPECT_EQ(2u, ours[3]->scope);
    // No such file: no description, the value name stands in.
    EXPECT_STREQ("C:\\nowhere\\parked-user.exe", ours[3]->path);
    EXPECT_STREQ(values.Name("ParkedUser"), ours[3]->text);
}

TEST(RunEntries, DataIsTerminatedAndOnlyTextGivesAPath)
{
    StartupValues values("Data");
    ASSERT_TRUE(values.IsHeld());
    // 4,096 bytes without a terminator, and a longer text.
    const std::string full(4096, 'q');
    ASSERT_TRUE(values.Set(HKEY_CURRENT_USER, kRunKeyPath, values.Name("Full"), REG_SZ, full.data(),
                           DWORD(full.size())));
    const std::string longer = "C:\\" + std::string(5000, 'l') + ".exe /silent";
    ASSERT_TRUE(
        values.SetText(HKEY_CURRENT_USER, kRunKeyPath, values.Name("Long"), longer.c_str()));
    const BYTE binary[] = {'C', ':', '\\', 'a', '.', 'e', 'x', 'e', 0xFF, 0x01};
    ASSERT_TRUE(values.Set(HKEY_CURRENT_USER, kRunKeyPath, values.Name("Binary"), REG_BINARY,
                           binary, sizeof(binary)));
    const DWORD number = 7;
    ASSERT_TRUE(values.Set(HKEY_CURRENT_USER, kRunKeyPath, values.Name("Number"), REG_DWORD,
                           &number, sizeof(number)));

    CArray<RunEntry> entries;
    ReadRunEntries(entries);
    const auto ours = Ours(entries, values.Prefix());
    ASSERT_EQ(4u, ours.size());
    for (const RunEntry* entry : ours)
    {
        EXPECT_STREQ(entry->valueName, entry->text) << "no description";
        EXPECT_EQ(kRunEntryActive, entry->kind);
        EXPECT_EQ(2u, entry->scope);
        if (entry->valueName == values.Name("Full"))
            EXPECT_STREQ(full.c_str(), entry->path);
        else if (entry->valueName == values.Name("Long"))
            EXPECT_STREQ(longer.substr(0, longer.find(".exe") + 4).c_str(), entry->path);
        else
            EXPECT_STREQ("", entry->path) << (const char*)entry->valueName;
    }
}

TEST(RunEntries, ParkedEntryIsDeletedFromItsOwnParkingKeyOnly)
{
    StartupValues values("Delete");
    ASSERT_TRUE(values.IsHeld());
    const CString name = values.Name("Same");
    ASSERT_TRUE(values.SetText(HKEY_CURRENT_USER, kRunKeyPath, name, "C:\\active.exe"));
    ASSERT_TRUE(values.SetText(HKEY_CURRENT_USER, kUserParking, name, "C:\\parked.exe"));
    ASSERT_TRUE(values.SetText(HKEY_CURRENT_USER, kMachineParking, name, "C:\\other.exe"));

    EXPECT_EQ(ERROR_SUCCESS, DeleteParkedRunEntry(name, 2));
    EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kUserParking, name));
    EXPECT_TRUE(RegistryValueExists(HKEY_CURRENT_USER, kRunKeyPath, name))
        << "the active entry stays";
    EXPECT_TRUE(RegistryValueExists(HKEY_CURRENT_USER, kMachineParking, name))
        << "the other scope stays";

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteParkedRunEntry(name, 2));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, DeleteParkedRunEntry(name, 3));
    EXPECT_STREQ(kUserParking, RunParkingKeyPath(2));
    EXPECT_STREQ(kMachineParking, RunParkingKeyPath(1));
    EXPECT_EQ(nullptr, RunParkingKeyPath(0));
}
