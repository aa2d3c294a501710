#include "engine/FileStamp.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace
{
using testfiles::MakeTime;

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms)
{
    const FILETIME ft = MakeTime(year, month, day, hour, minute, second, ms);
    SYSTEMTIME t;
    FileTimeToSystemTime(&ft, &t);
    return t;
}

// Gives a file or folder all three times at one moment (UTC).
void SetLastWrite(const char* path, const FILETIME& t)
{
    testfiles::SetTimes(path, {t, t, t});
}
} // namespace

TEST(FileStampTest, TextFollowsTheStoredFormat)
{
    const SYSTEMTIME t = Utc(2009, 3, 15, 14, 30, 25, 120);
    EXPECT_STREQ(FormatFileStamp(t, 32, 10240), "20090315143025120-32-10240");
    // Every field but the year keeps its width.
    EXPECT_STREQ(FormatFileStamp(Utc(10000, 1, 2, 3, 4, 5, 6), 16, 0), "100000102030405006-16-0");
    // The size's low 32 bits and the attributes print signed.
    EXPECT_STREQ(FormatFileStamp(t, 32, 3000000000u), "20090315143025120-32--1294967296");
    EXPECT_STREQ(FormatFileStamp(t, 32, (DWORD)(5368709120ull & 0xFFFFFFFFu)),
                 "20090315143025120-32-1073741824");
    EXPECT_STREQ(FormatFileStamp(t, INVALID_FILE_ATTRIBUTES, 1), "20090315143025120--1-1");
}

TEST(FileStampTest, StampsFilesAndFoldersByTimeAttributesAndSize)
{
    TempFolder folder("stamp");
    const CString file = folder / "f.bin";
    ASSERT_TRUE(WriteTextFile(file, std::string(10240, 'x').c_str()));
    SetLastWrite(file, MakeTime(2009, 3, 15, 14, 30, 25, 120));

    CString stamp;
    ASSERT_TRUE(MakeFileStamp(file, stamp));
    EXPECT_STREQ(stamp, "20090315143025120-32-10240");

    // Wine: clearing the archive bit does not stick, so the attribute that
    // changes is the read-only one (33 = read-only | archive).
    ASSERT_TRUE(SetFileAttributesA(file, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(MakeFileStamp(file, stamp));
    EXPECT_STREQ(stamp, "20090315143025120-33-10240");
    SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);

    // A file another program holds open for itself alone is stamped from
    // its own record, without an open of its own.
    HANDLE held = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(MakeFileStamp(file, stamp));
    EXPECT_STREQ(stamp, "20090315143025120-32-10240");
    CloseHandle(held);

    // A folder's size reads 0.
    const CString sub = folder / "sub";
    ASSERT_TRUE(MakeFolder(sub));
    SetLastWrite(sub, MakeTime(2021, 12, 31, 23, 59, 59, 999));
    ASSERT_TRUE(MakeFileStamp(sub, stamp));
    EXPECT_STREQ(stamp, "20211231235959999-16-0");
}

TEST(FileStampTest, NoStampLeavesTheOutputAlone)
{
    TempFolder folder("stamp");
    CString stamp("kept");
    EXPECT_FALSE(MakeFileStamp(folder / "missing.txt", stamp));
    EXPECT_FALSE(MakeFileStamp("Q:\\no-such-drive\\x", stamp));
    EXPECT_STREQ(stamp, "kept");
}
