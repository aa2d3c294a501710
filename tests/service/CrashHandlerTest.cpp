// The service's crash filter in a crashing child of this program (the
// "crash" child mode of ServiceChildren.cpp): a silent dump, then the
// restart action, which the child replaces by one that leaves a marker.
// The case without a dump library is in tests/scripts/crashdump-library.sh:
// Wine takes its DLL overrides from the Unix environment only.
#include "service/CrashHandler.h"
#include "tests/service/CrashTestKey.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

namespace
{
bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

DWORD CrashChild(const TempFolder& temp)
{
    DWORD exitCode = 0;
    EXPECT_TRUE(RunThisProgram({{"BW_SERVICE_CHILD", "crash"},
                                {"BW_CHILD_TMP", temp.Path()},
                                {"BW_CHILD_NAME", "TestSrv"},
                                {"BW_CHILD_MARKER", temp / "restarted.txt"},
                                {"BW_CHILD_TEXT", temp / "shown.txt"}},
                               120000, &exitCode));
    return exitCode;
}
} // namespace

TEST(ServiceCrash, DumpIsWrittenSilentlyAndTheServiceRestarted)
{
    TempFolder temp("servicecrash");
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), CrashChild(temp));
    EXPECT_STREQ("MDMP", ReadFileStart(temp / "TestSrv.dmp", 4));
    EXPECT_STREQ("restarted", ReadTextFile(temp / "restarted.txt"));
    EXPECT_FALSE(Exists(temp / "shown.txt"));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kCrashTestKeyRoot);
}

namespace
{
ULONGLONG g_now = 0;
ULONGLONG TestClock()
{
    return g_now;
}
int g_restarts = 0;
void CountRestart()
{
    ++g_restarts;
}
} // namespace

// A service that crashes at every start is restarted three times within ten
// minutes, then stays stopped; once the first restart is ten minutes old, a
// crash restarts it again. The history outlives the process (the registry).
TEST(ServiceCrash, RestartsAreLimitedToThreeInTenMinutes)
{
    CString key;
    key.Format("%s\\limit-%lu", kCrashTestKeyRoot, GetCurrentProcessId());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    SetCrashRestartKey(key);
    SetCrashRestartClock(TestClock);
    SetServiceRestartAction(CountRestart);

    g_now = 5000000;
    EXPECT_TRUE(RestartAfterCrash());
    g_now += 1000;
    EXPECT_TRUE(RestartAfterCrash());
    g_now += 60000;
    EXPECT_TRUE(RestartAfterCrash());
    EXPECT_EQ(g_restarts, 3);
    g_now += 1000;
    EXPECT_FALSE(RestartAfterCrash());
    EXPECT_FALSE(RestartAfterCrash());
    EXPECT_EQ(g_restarts, 3);
    // Ten minutes after the first restart, one place is free again.
    g_now = 5000000 + kCrashRestartWindowMs;
    EXPECT_TRUE(RestartAfterCrash());
    EXPECT_FALSE(RestartAfterCrash());
    EXPECT_EQ(g_restarts, 4);

    // A history from before a reboot (later ticks than now) does not count.
    CrashRestartHistory history = {{900000, 900500, 901000}};
    EXPECT_TRUE(AllowCrashRestart(history, 1000));
    EXPECT_EQ(history.at[0], 1000u);
    EXPECT_EQ(history.at[1], 0u);

    SetServiceRestartAction(nullptr);
    SetCrashRestartClock(nullptr);
    SetCrashRestartKey(nullptr);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kCrashTestKeyRoot);
}
