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
CString FileStart(const char* path)
{
    char buffer[4] = {};
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return CString("");
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(file);
    return CString(buffer, static_cast<int>(read));
}

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
    EXPECT_STREQ("MDMP", FileStart(temp / "TestSrv.dmp"));
    EXPECT_STREQ("restarted", ReadTextFile(temp / "restarted.txt"));
    EXPECT_FALSE(Exists(temp / "shown.txt"));
}
