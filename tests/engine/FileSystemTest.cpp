#include "engine/FileSystem.h"
#include "foundation/FileFind.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
// The entries of a folder other than "." and "..".
int CountEntries(const CString& folder)
{
    CFileFinder finder;
    int count = 0;
    for (bool more = finder.FindFile(folder + "\\*.*"); more; more = finder.FindNextFile())
        count += finder.IsDots() ? 0 : 1;
    return count;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Builds folder\a.txt, folder\sub\b.txt, folder\sub\deeper\.dot, a read-only
// and a hidden file.
void BuildTree(const CString& folder)
{
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(WriteTextFile(folder + "\\a.txt", "a"));
    ASSERT_TRUE(MakeFolder(folder + "\\sub"));
    ASSERT_TRUE(WriteTextFile(folder + "\\sub\\b.txt", "b"));
    ASSERT_TRUE(MakeFolder(folder + "\\sub\\deeper"));
    ASSERT_TRUE(WriteTextFile(folder + "\\sub\\deeper\\.dot", "."));
    ASSERT_TRUE(MakeFolder(folder + "\\.git"));
    ASSERT_TRUE(WriteTextFile(folder + "\\read-only.txt", "r"));
    ASSERT_TRUE(SetFileAttributesA(folder + "\\read-only.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteTextFile(folder + "\\sub\\hidden.sys", "h"));
    ASSERT_TRUE(SetFileAttributesA(folder + "\\sub\\hidden.sys",
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}
} // namespace

TEST(FileSystemTest, ExistenceAndFolderTests)
{
    TempFolder dir("fs");
    ASSERT_TRUE(WriteTextFile(dir / "file.txt", "x"));
    ASSERT_TRUE(MakeFolder(dir / "folder"));

    struct Case
    {
        CString path;
        BOOL exists;
        DWORD folderOrMissing;
    } cases[] = {
        {dir / "folder", TRUE, 16},
        {dir / "file.txt", TRUE, 0},
        {dir / "missing", FALSE, 1},
        {dir / "missing\\deeper.txt", FALSE, 1},
        {dir / "folder\\", FALSE, 1}, // the search rejects a trailing backslash
        {dir / "*.txt", TRUE, 0},
        {dir / "*.none", FALSE, 1},
        {"C:\\", FALSE, 1}, // a bare root is not found: walked as a folder
        {"Q:\\on no drive.txt", FALSE, 1},
    };
    DWORD modeBefore = GetThreadErrorMode();
    for (const Case& c : cases)
    {
        EXPECT_EQ(FileExists(c.path), c.exists) << static_cast<const char*>(c.path);
        EXPECT_EQ(IsFolderOrMissing(c.path), c.folderOrMissing) << static_cast<const char*>(c.path);
    }
    EXPECT_EQ(GetThreadErrorMode(), modeBefore);
}

TEST(FileSystemTest, DeleteFolderTreeRemovesEverything)
{
    TempFolder dir("fs");
    CString tree = dir / "tree";
    BuildTree(tree);
    EXPECT_EQ(DeleteFolderTree(tree), 0u);
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(Exists(dir.Path()));

    // A folder that is not there is nothing to delete.
    EXPECT_EQ(DeleteFolderTree(dir / "never-made"), 0u);
}

TEST(FileSystemTest, AHeldFileStopsTheDeletion)
{
    TempFolder dir("fs");
    CString tree = dir / "tree";
    BuildTree(tree);
    HANDLE held = CreateFileA(tree + "\\sub\\b.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DeleteFolderTree(tree), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists(tree + "\\sub\\b.txt"));
    EXPECT_TRUE(Exists(tree));
    CloseHandle(held);
    EXPECT_EQ(DeleteFolderTree(tree), 0u);
    EXPECT_FALSE(Exists(tree));
}

TEST(FileSystemTest, JunctionsAreNeverFollowedOutOfTheTree)
{
    TempFolder dir("fs");
    CString outside = dir / "outside";
    ASSERT_TRUE(MakeFolder(outside));
    ASSERT_TRUE(WriteTextFile(outside + "\\keep.txt", "keep"));
    ASSERT_TRUE(MakeFolder(outside + "\\sub"));
    ASSERT_TRUE(WriteTextFile(outside + "\\sub\\deep.txt", "deep"));
    auto outsideIntact = [&]
    {
        return ReadTextFile(outside + "\\keep.txt") == "keep" &&
               ReadTextFile(outside + "\\sub\\deep.txt") == "deep";
    };

    auto treeWithLink = [&](const char* name)
    {
        CString tree = dir / name;
        EXPECT_TRUE(MakeFolder(tree));
        EXPECT_TRUE(WriteTextFile(tree + "\\own.txt", "own"));
        EXPECT_TRUE(MakeDirectoryLink(tree + "\\link", outside));
        return tree;
    };
    // The link is removed itself where the system allows it (Windows) and
    // left, with the failure reported, where it does not (Wine). Never is
    // the target emptied.
    auto removedOrRefused = [&](DWORD result, const CString& deleted, const CString& link)
    {
        if (result == 0)
            EXPECT_FALSE(Exists(deleted));
        else
        {
            EXPECT_EQ(result, static_cast<DWORD>(ERROR_NOT_A_REPARSE_POINT));
            EXPECT_TRUE(Exists(link));
        }
    };

    CString tree = treeWithLink("tree");
    removedOrRefused(DeleteFolderTree(tree), tree, tree + "\\link");
    EXPECT_TRUE(outsideIntact());

    // A folder that is itself a link is not emptied either.
    CString link = treeWithLink("rooted") + "\\link";
    removedOrRefused(DeleteFolderTree(link), link, link);
    EXPECT_TRUE(outsideIntact());

    // The shell is not trusted with a tree that holds a link: permanently it
    // goes as DeleteFolderTree does, to the recycle bin not at all.
    CString shell = treeWithLink("shell");
    BOOL deleted = ShellDeletePath(shell, TRUE);
    EXPECT_EQ(deleted, !Exists(shell));
    EXPECT_TRUE(outsideIntact());
    CString recycle = treeWithLink("recycle");
    EXPECT_FALSE(ShellDeletePath(recycle, FALSE));
    EXPECT_TRUE(Exists(recycle + "\\own.txt"));
    EXPECT_TRUE(outsideIntact());

    // A "*.tse" junction among the temporary files.
    CString temp = dir / "temp";
    ASSERT_TRUE(MakeFolder(temp));
    ASSERT_TRUE(MakeDirectoryLink(temp + "\\junction.tse", outside));
    DeleteTseFiles(temp);
    EXPECT_TRUE(outsideIntact());
}

TEST(FileSystemTest, DeleteTseFilesTakesOnlyTseEntries)
{
    TempFolder dir("fs");
    CString temp = dir.Path();
    ASSERT_TRUE(WriteTextFile(temp + "\\a.tse", "a"));
    ASSERT_TRUE(SetFileAttributesA(temp + "\\a.tse", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFolder(temp + "\\b.tse"));
    ASSERT_TRUE(WriteTextFile(temp + "\\b.tse\\inner.dat", "i"));
    ASSERT_TRUE(MakeFolder(temp + "\\b.tse\\nested"));
    ASSERT_TRUE(WriteTextFile(temp + "\\UPPER.TSE", "u"));
    ASSERT_TRUE(WriteTextFile(temp + "\\c.txt", "c"));
    ASSERT_TRUE(WriteTextFile(temp + "\\report.tsexyz", "r")); // 8.3 name may end .TSE

    EXPECT_EQ(DeleteTseFiles(temp), 0u);
    EXPECT_FALSE(Exists(temp + "\\a.tse"));
    EXPECT_FALSE(Exists(temp + "\\b.tse"));
    EXPECT_FALSE(Exists(temp + "\\UPPER.TSE"));
    EXPECT_TRUE(Exists(temp + "\\c.txt"));
    EXPECT_TRUE(Exists(temp + "\\report.tsexyz"));
    EXPECT_TRUE(Exists(temp));

    // Nothing to delete, or no folder at all: success.
    EXPECT_EQ(DeleteTseFiles(temp), 0u);
    EXPECT_EQ(DeleteTseFiles(dir / "absent"), 0u);
}

TEST(FileSystemTest, ShellDeletesFilesAndFolders)
{
    TempFolder dir("fs");
    CString tree = dir / "tree";
    BuildTree(tree);
    ASSERT_TRUE(WriteTextFile(dir / "single.txt", "s"));

    EXPECT_TRUE(ShellDeletePath(dir / "single.txt", TRUE));
    EXPECT_FALSE(Exists(dir / "single.txt"));
    EXPECT_TRUE(ShellDeletePath(tree, TRUE));
    EXPECT_FALSE(Exists(tree));
    EXPECT_FALSE(ShellDeletePath(dir / "gone", TRUE));
    EXPECT_FALSE(ShellDeletePath(nullptr, TRUE));
    EXPECT_FALSE(ShellDeletePath("", TRUE));
}

TEST(FileSystemTest, ScratchFolderIsResetFromAnyThread)
{
    TempFolder dir("fs");
    // The user's temporary folder comes from TMP: point it at this test's.
    char previousTmp[MAX_PATH] = {};
    DWORD hadTmp = GetEnvironmentVariableA("TMP", previousTmp, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", dir.Path()));

    CString scratch = GetTempFolder();
    EXPECT_STREQ(scratch, dir / "ov_temp");

    char directoryBefore[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directoryBefore);

    // Missing before: made.
    std::thread([] { ResetTempFolder(); }).join();
    EXPECT_EQ(IsFolderOrMissing(scratch), 16u);

    // Full before: emptied.
    BuildTree(scratch + "\\work");
    ASSERT_TRUE(WriteTextFile(scratch + "\\left.tmp", "l"));
    int result = -1;
    std::thread([&] { result = ResetTempFolder(); }).join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(IsFolderOrMissing(scratch), 16u);
    EXPECT_EQ(CountEntries(scratch), 0);
    EXPECT_FALSE(Exists(scratch + "\\work"));

    char directoryAfter[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directoryAfter);
    EXPECT_STREQ(directoryAfter, directoryBefore);

    SetEnvironmentVariableA("TMP", hadTmp ? previousTmp : nullptr);
}
