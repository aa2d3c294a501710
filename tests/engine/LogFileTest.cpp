#include "engine/LogFile.h"
#include "engine/SqlDB.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

TEST(LogFileTest, NamesTheFolderAndTheDaysFile)
{
    EXPECT_STREQ(GetLogFolder("C:\\Users\\ann\\AppData"),
                 "C:\\Users\\ann\\AppData\\ORVANEL Brindlewox\\Log");
    SYSTEMTIME day = {};
    day.wYear = 2026;
    day.wMonth = 3;
    day.wDay = 7;
    day.wHour = 23;
    EXPECT_STREQ(GetLogFileName("C:\\L", day), "C:\\L\\LogFile_2026-03-07.txt");
    // The next day (a run that crosses midnight) writes the next file.
    day.wMonth = 12;
    day.wDay = 31;
    EXPECT_STREQ(GetLogFileName("C:\\L", day), "C:\\L\\LogFile_2026-12-31.txt");
}

TEST(LogFileTest, AppendsTextsUnchangedAndMakesItsFolders)
{
    TempFolder appData("log");
    CLogFile log(appData.Path());
    const CString name = log.GetCurrentFileName();
    EXPECT_EQ(name.Find(GetLogFolder(appData.Path()) + "\\LogFile_"), 0);

    // An empty text creates nothing.
    log.WriteLog("");
    log.WriteLog(nullptr);
    EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);

    log.WriteLog("first\r\n");
    log.WriteDebugLog(CSqlException(1, "no such table: backup_cache", false));
    EXPECT_STREQ(ReadTextFile(name),
                 "first\r\n\r\nDebug: SQL_ERROR[1]: no such table: backup_cache\r\n");

    // The next text after the folders were deleted makes them again.
    RemoveTree(appData / "ORVANEL Brindlewox");
    log.WriteLog("again");
    EXPECT_STREQ(ReadTextFile(name), "again");

    // A file another program holds open for writing, sharing allowed, still
    // receives the text.
    HANDLE other = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    log.WriteLog(" and more");
    CloseHandle(other);
    EXPECT_STREQ(ReadTextFile(name), "again and more");
}

TEST(LogFileTest, WritersOnFourThreadsLoseNoLine)
{
    TempFolder appData("log");
    constexpr int kThreads = 4;
    constexpr int kLines = 1000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
    {
        writers.emplace_back(
            [&appData, t]
            {
                // Each thread its own object, as the window and the workers have.
                CLogFile log(appData.Path());
                for (int i = 0; i < kLines; ++i)
                {
                    CString line;
                    line.Format("thread %d line %04d\r\n", t, i);
                    log.WriteLog(line);
                }
            });
    }
    for (std::thread& writer : writers)
        writer.join();

    CLogFile log(appData.Path());
    std::istringstream text(std::string(ReadTextFile(log.GetCurrentFileName())));
    std::vector<int> next(kThreads, 0);
    std::string line;
    int count = 0;
    while (std::getline(text, line))
    {
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(line.c_str(), "thread %d line %d\r", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        // Whole lines, and each thread's in the order it wrote them.
        CString whole;
        whole.Format("thread %d line %04d\r", t, i);
        EXPECT_STREQ(line.c_str(), whole);
        EXPECT_EQ(i, next[t]) << line;
        next[t] = i + 1;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}
