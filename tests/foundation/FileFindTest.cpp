#include "foundation/FileFind.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

static_assert(!std::is_copy_constructible_v<CFileFinder>);

TEST(FileFindTest, ListsATemporaryTreeWithRootAndPaths)
{
    TempFolder dir("find");
    ASSERT_TRUE(WriteTextFile(dir / "a.txt", "12345"));
    ASSERT_TRUE(WriteTextFile(dir / "empty.bin", ""));
    ASSERT_TRUE(MakeFolder(dir / "sub"));
    ASSERT_TRUE(WriteTextFile(dir / "sub\\inner.txt", "x"));

    CFileFinder finder;
    CString pattern = dir / "*.*";
    ASSERT_TRUE(finder.FindFile(pattern));
    CString root = dir.Path() + "\\";
    EXPECT_STREQ(finder.GetRoot(), root);

    std::map<std::string, DWORD> seen; // name -> size, folders as ~0
    int dots = 0;
    do
    {
        if (finder.IsDots())
        {
            ++dots;
            continue;
        }
        CString name;
        CString path;
        ASSERT_TRUE(finder.GetFileName(name));
        ASSERT_TRUE(finder.GetFilePath(path));
        EXPECT_STREQ(path, root + name);
        seen[static_cast<const char*>(name)] = finder.IsDirectory() ? ~0u : finder.GetLength();
    } while (finder.FindNextFile());
    EXPECT_EQ(finder.GetError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(dots, 2);
    std::map<std::string, DWORD> expected = {{"a.txt", 5}, {"empty.bin", 0}, {"sub", ~0u}};
    EXPECT_EQ(seen, expected);

    // No current entry after the end: the name reads as dots, empty.
    EXPECT_TRUE(finder.IsDots());
    EXPECT_EQ(finder.GetLength(), 0u);

    // A new search on the same object starts afresh.
    ASSERT_TRUE(finder.FindFile(dir / "sub\\*.txt"));
    CString name;
    ASSERT_TRUE(finder.GetFileName(name));
    EXPECT_STREQ(name, "inner.txt");
    EXPECT_STREQ(finder.GetRoot(), dir / "sub\\");
    EXPECT_FALSE(finder.FindNextFile());
    finder.Close();
    EXPECT_TRUE(finder.GetRoot().IsEmpty());
}

TEST(FileFindTest, MissingPathsFailQuietlyAndLeaveOutputsAlone)
{
    TempFolder dir("find");
    CFileFinder finder;
    EXPECT_FALSE(finder.FindFile(dir / "missing\\*.*"));
    EXPECT_EQ(finder.GetError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(finder.FindFile(dir / "nothing*.none"));
    EXPECT_EQ(finder.GetError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(finder.FindNextFile());
    EXPECT_TRUE(finder.IsDots());
    finder.Close();
    finder.Close();

    // A pattern without a backslash has an empty root.
    EXPECT_FALSE(finder.FindFile("no-such-file-here.xyz"));
    EXPECT_TRUE(finder.GetRoot().IsEmpty());
}

TEST(FileFindTest, DirectorySymlinksShowAsReparsePoints)
{
    TempFolder dir("find");
    ASSERT_TRUE(MakeFolder(dir / "target"));
    ASSERT_TRUE(MakeDirectoryLink(dir / "link", dir / "target"));
    CFileFinder finder;
    ASSERT_TRUE(finder.FindFile(dir / "link"));
    EXPECT_TRUE(finder.IsDirectory());
    EXPECT_TRUE(finder.IsReparsePoint());
    ASSERT_TRUE(finder.FindFile(dir / "target"));
    EXPECT_FALSE(finder.IsReparsePoint());
}
