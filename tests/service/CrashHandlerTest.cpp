// The service's crash filter in a crashing child of this program (the
// "crash" child mode of ServiceChildren.cpp): a silent dump, then the
// restart action, which the child replaces by one that leaves a marker.
// The case without a dump library is in tests/scripts/crashdump-library.sh:
// Wine takes its DLL overrides from the Unix environment only.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

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
}
