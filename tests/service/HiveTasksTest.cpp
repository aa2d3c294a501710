// The hive tasks' order and their all-or-nothing rules, on the fake hive
// registry (Wine's RegReplaceKeyA does nothing), and the folder helpers of
// the compaction on real files.
#include "service/HiveTasks.h"
#include "foundation/Security.h"
#include "tests/service/FakeHiveRegistry.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace
{
const char* const kHiveNames[] = {"SYSTEM", "SOFTWARE", "SAM", "SECURITY", ".DEFAULT"};

// The calls a task makes for every hive: "kind NAME folder\NAMEnewExt
// [folder\NAMEoldExt]", or "check folder\NAMEnewExt".
std::vector<std::string> Expected(const std::string& kind, const CString& folder,
                                  const char* newExt, const char* oldExt)
{
    std::vector<std::string> calls;
    const std::string root = std::string(folder) + "\\";
    for (const char* name : kHiveNames)
    {
        std::string call = kind + " ";
        if (kind != "check")
            call += std::string(name) + " ";
        call += root + name + newExt;
        if (oldExt != nullptr)
            call += " " + root + name + oldExt;
        calls.push_back(call);
    }
    return calls;
}

// A file of `size` bytes, each `fill`.
void WriteFilled(const CString& path, DWORD size, char fill = '\xAB')
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string bytes(size, fill);
    DWORD written = 0;
    WriteFile(file, bytes.data(), size, &written, nullptr);
    CloseHandle(file);
}

// The five ".bak" files of a saved registry in a new `folder`, each of
// `fill` and its own size; SAM's, 3 MiB, is longer than a piece of the
// restore's copy.
void MakeHiveCopies(const CString& folder, char fill)
{
    ASSERT_TRUE(MakeFolder(folder));
    for (DWORD i = 0; i < 5; ++i)
        WriteFilled(folder + "\\" + kHiveNames[i] + ".bak", i == 2 ? 3u << 20 : 4096 + i, fill);
}

// The ".bak" files of a folder, by hive name.
std::map<std::string, std::string> HiveContents(const CString& folder)
{
    std::map<std::string, std::string> contents;
    for (const char* name : kHiveNames)
        contents[name] = ReadFileBytes(folder + "\\" + name + ".bak");
    return contents;
}
} // namespace

TEST(HiveTasksTest, TableListsTheFiveHivesInOrder)
{
    int count = 0;
    for (const RegistryHive* hive = kRegistryHives; hive->root != nullptr; ++hive, ++count)
    {
        ASSERT_LT(count, 5);
        EXPECT_STREQ(kHiveNames[count], hive->name);
        EXPECT_EQ(count < 4 ? HKEY_LOCAL_MACHINE : HKEY_USERS, hive->root);
    }
    EXPECT_EQ(5, count);
}

TEST(HiveTasksTest, CompactionEmptiesTheFolderAndSavesEveryHiveBeforeAnyReplacement)
{
    TempFolder temp("compact");
    const CString folder = temp / "RC Backup";
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(WriteTextFile(folder + "\\SYSTEM.bak", "an earlier run's copy"));

    CFakeHiveRegistry registry;
    EXPECT_TRUE(CompactRegistryHives(registry, folder));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder + "\\SYSTEM.bak"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder));
    std::vector<std::string> expected = Expected("save", folder, ".bak", nullptr);
    const std::vector<std::string> replaces = Expected("replace", folder, ".bak", "");
    expected.insert(expected.end(), replaces.begin(), replaces.end());
    EXPECT_EQ(expected, registry.calls);

    // One hive that cannot be saved: every hive is still tried, none is
    // replaced.
    CFakeHiveRegistry failing;
    failing.failSave = {"SAM"};
    EXPECT_FALSE(CompactRegistryHives(failing, folder));
    EXPECT_EQ(Expected("save", folder, ".bak", nullptr), failing.calls);

    // A replacement that fails does not stop the others.
    CFakeHiveRegistry replaceFails;
    replaceFails.failReplace = {"SOFTWARE"};
    EXPECT_FALSE(CompactRegistryHives(replaceFails, folder));
    EXPECT_EQ(5u, replaceFails.Calls("replace").size());
}

TEST(HiveTasksTest, SaveWalksEveryHiveAndRestoreSchedulesNothingUnlessAllFilesAreSound)
{
    const CString saved = "C:\\bwtest\\hives";
    CFakeHiveRegistry saving;
    saving.failSave = {"SYSTEM"};
    EXPECT_FALSE(SaveRegistryHives(saved, saving));
    EXPECT_EQ(Expected("save", saved, ".bak", nullptr), saving.calls);

    TempFolder temp("restore");
    const CString folder = temp / "hives";
    const CString restore = temp / "RC Restore";
    MakeHiveCopies(folder, 's');
    CFakeHiveRegistry missingOne;
    missingOne.unsoundFiles = {std::string(folder) + "\\SECURITY.bak"};
    EXPECT_FALSE(ScheduleRegistryRestore(folder, missingOne, restore));
    EXPECT_EQ(Expected("check", folder, ".bak", nullptr), missingOne.calls);

    // The replacements read the copies in the restore folder and keep the
    // replaced hives there.
    CFakeHiveRegistry sound;
    EXPECT_TRUE(ScheduleRegistryRestore(folder, sound, restore));
    EXPECT_EQ(Expected("check", folder, ".bak", nullptr), sound.Calls("check"));
    EXPECT_EQ(Expected("replace", restore, ".bak", ".last"), sound.Calls("replace"));
    // Every check comes before the first replacement.
    EXPECT_EQ(0u, sound.calls[5].find("replace "));
}

// A restore installs, at the next start, exactly the files it checked: it
// reads each through the folder it opened, holds it against writers while it
// checks and copies it, and replaces the hives from copies that only SYSTEM
// may use. A folder swapped for another after the check (a user renaming a
// folder he may change and putting his own hives in its place) gives the
// replacement nothing of his.
TEST(HiveTasksTest, TheReplacementReadsOnlyCopiesOfTheCheckedFiles)
{
    TempFolder temp("restoreswap");
    const CString folder = temp / "hives";
    const CString restore = temp / "RC Restore";
    MakeHiveCopies(folder, 'c');
    MakeHiveCopies(temp / "his", 'h');
    const std::map<std::string, std::string> checked = HiveContents(folder);

    CFakeHiveRegistry registry;
    int writable = 0;
    registry.atCheck = [&](const std::string& file)
    {
        HANDLE writer = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (writer != INVALID_HANDLE_VALUE)
        {
            ++writable;
            CloseHandle(writer);
        }
    };
    bool swapped = false;
    registry.atReplace = [&](const std::string&)
    {
        if (!swapped)
            swapped = MoveFileA(folder, temp / "gone") && MoveFileA(temp / "his", folder);
    };
    EXPECT_TRUE(ScheduleRegistryRestore(folder, registry, restore));
    EXPECT_EQ(writable, 0) << "a file was open to writers while it was checked";
    ASSERT_TRUE(swapped) << "the folder's path names his hives now";
    EXPECT_TRUE(HiveContents(folder).at("SAM") == std::string(3u << 20, 'h'));
    EXPECT_EQ(Expected("replace", restore, ".bak", ".last"), registry.Calls("replace"));
    ASSERT_EQ(checked.size(), registry.replacedWith.size());
    for (const auto& hive : checked)
        EXPECT_TRUE(registry.replacedWith.at(hive.first) == hive.second) << hive.first;
}

// A link anywhere in the folder's path (a junction, a symbolic link, a
// mount point; under Wine a Unix directory symlink stands in for them)
// makes the folder another than the one named: nothing is read from it.
TEST(HiveTasksTest, AFolderReachedThroughALinkAtAnyLevelIsRefused)
{
    TempFolder temp("restorelink");
    ASSERT_TRUE(MakeFolder(temp / "real"));
    MakeHiveCopies(temp / "real\\hives", 'l');
    ASSERT_TRUE(MakeDirectoryLink(temp / "upper", temp / "real"));
    ASSERT_TRUE(MakeDirectoryLink(temp / "last", temp / "real\\hives"));
    const CString restore = temp / "RC Restore";
    for (const CString& folder : {temp / "upper\\hives", temp / "last"})
    {
        SCOPED_TRACE(static_cast<const char*>(folder));
        CFakeHiveRegistry registry;
        EXPECT_FALSE(ScheduleRegistryRestore(folder, registry, restore));
        EXPECT_TRUE(registry.calls.empty());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(restore));
    }
    // The same files by their own path are restored.
    CFakeHiveRegistry registry;
    EXPECT_TRUE(ScheduleRegistryRestore(temp / "real\\hives", registry, restore));
    EXPECT_EQ(5u, registry.Calls("replace").size());
}

TEST(HiveTasksTest, WipeKeepsTheHeaderAndTheSizeAndLeavesShortFilesAlone)
{
    TempFolder temp("wipe");
    for (DWORD size : {0u, 63u, 64u, 65u, 20064u})
    {
        SCOPED_TRACE(size);
        WriteFilled(temp / "index.dat", size);
        EXPECT_TRUE(WipeFileAfterHeader(temp.Path(), "index.dat"));
        const std::string bytes = ReadFileBytes(temp / "index.dat");
        ASSERT_EQ(size, bytes.size());
        const size_t header = size < 64 ? size : 64;
        EXPECT_EQ(std::string(header, '\xAB'), bytes.substr(0, header));
        EXPECT_EQ(std::string(size - header, '\0'), bytes.substr(header));
    }
    EXPECT_FALSE(WipeFileAfterHeader(temp.Path(), "missing.dat"));
}

TEST(HiveTasksTest, DeleteFolderContentsKeepsDesktopIniUnlessAskedAndClearsReadOnly)
{
    TempFolder temp("contents");
    ASSERT_TRUE(WriteTextFile(temp / "desktop.ini", "[.ShellClassInfo]"));
    ASSERT_TRUE(WriteTextFile(temp / "locked.txt", "x"));
    SetFileAttributesA(temp / "locked.txt", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(MakeFolder(temp / "sub"));
    ASSERT_TRUE(WriteTextFile(temp / "sub\\DESKTOP.INI", "y"));

    EXPECT_TRUE(DeleteFolderContents(temp.Path(), FALSE, FALSE));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp / "desktop.ini"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp / "locked.txt"));
    // The sub-folder keeps its desktop.ini, so it stays too.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp / "sub\\DESKTOP.INI"));

    EXPECT_TRUE(DeleteFolderContents(temp.Path(), TRUE, TRUE));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp / "desktop.ini"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp / "sub"));
    EXPECT_FALSE(DeleteFolderContents(temp / "missing", TRUE, TRUE));
}

// A hive copy another user made or could change would give him the
// machine at the next start: only copies SYSTEM or the Administrators own
// and nobody else may change pass, as the hive backup makes them.
TEST(HiveTasksTest, OnlyPrivateCopiesMayStandInForAHive)
{
    const struct
    {
        const char* descriptor;
        bool private_;
    } cases[] = {
        {"O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)", true}, // what the hive backup writes
        {"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)", true},
        {"O:SYD:(A;;FA;;;SY)(A;OICIIO;FA;;;CO)(D;;FA;;;WD)", true},
        {"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)", false}, // a user's file
        {"O:SYD:P(A;;FA;;;SY)(A;;FW;;;BU)", false},
        {"O:SYD:P(A;;FA;;;SY)(A;;GA;;;AU)", false},
        {"O:SYD:P(A;;FA;;;SY)(A;;GW;;;IU)", false},
        {"O:SYD:P(A;;FA;;;SY)(A;;SD;;;BU)", false},   // deletion: another file in its place
        {"O:SYD:P(A;;FA;;;SY)(A;;WDRC;;;WD)", false}, // the DACL: any right he likes
        {"O:SYD:P(A;;FA;;;SY)(A;;0x4;;;BU)", false},  // appending
        {"D:P(A;;FA;;;SY)", false},                   // no owner
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.descriptor);
        CSecurityDescriptor descriptor;
        ASSERT_TRUE(descriptor.FromText(c.descriptor));
        EXPECT_EQ(IsPrivateHiveCopy(descriptor.Get()), c.private_);
    }
    EXPECT_FALSE(IsPrivateHiveCopy(nullptr));
    // A null DACL: everyone may do everything. (Made by hand: Wine's SDDL
    // parser gives NO_ACCESS_CONTROL an empty DACL.)
    SECURITY_DESCRIPTOR open;
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof system;
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION) &&
                CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) &&
                SetSecurityDescriptorOwner(&open, system, FALSE) &&
                SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_FALSE(IsPrivateHiveCopy(&open));

    // A sound hive file of this user (every Wine file is the user's) is
    // refused by the real check.
    TempFolder folder("hivecopy");
    const CString file = folder / "SYSTEM.bak";
    ASSERT_TRUE(WriteTextFile(file, "regf and the rest of a hive"));
    HANDLE opened = CreateFileA(file, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, opened);
    EXPECT_FALSE(GetSystemHiveRegistry().IsHiveFile(opened, file));
    CloseHandle(opened);
}
