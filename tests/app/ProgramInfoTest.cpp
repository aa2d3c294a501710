// The file version text and the file description, read from small programs
// whose version resources the build gives them (tests/tools/version/),
// copied to C: first.
#include "app/ProgramInfo.h"
#include "tests/app/StartupTestSupport.h"

#include <gtest/gtest.h>

TEST(ProgramInfo, VersionTextDropsAZeroLowHalfAndIsEmptyForNoVersion)
{
    TempFolder folder("version");
    struct Case
    {
        const char* program;
        const char* expected;
    };
    const Case cases[] = {
        {"version_probe_3_0_205_0.exe", "3.0.205.0"},
        {"version_probe_2_5_0_0.exe", "2.5"},
        {"version_probe_0_0_0_5.exe", "0.0.0.5"},
        {"version_probe_0_0_0_0.exe", ""},
        // A program without any version resource.
        {"uninstall_recorder.exe", ""},
    };
    for (const Case& c : cases)
    {
        const CString path = CopyBuiltProgram(folder, c.program);
        ASSERT_FALSE(path.IsEmpty()) << c.program;
        EXPECT_STREQ(c.expected, GetFileVersionString(path)) << c.program;
    }
    EXPECT_STREQ("", GetFileVersionString(folder / "missing.exe"));
    EXPECT_STREQ("", GetFileVersionString(""));
}

TEST(ProgramInfo, DescriptionComesFromTheFirstTranslationOrIsEmpty)
{
    TempFolder folder("description");
    const CString probe = CopyBuiltProgram(folder, "version_probe_2_5_0_0.exe");
    const CString noTranslation = CopyBuiltProgram(folder, "version_probe_no_translation.exe");
    const CString noResource = CopyBuiltProgram(folder, "uninstall_recorder.exe");
    ASSERT_FALSE(probe.IsEmpty() || noTranslation.IsEmpty() || noResource.IsEmpty());

    EXPECT_STREQ("Brindlewox Test Target", GetFileDescription(probe));
    // The string is there, but without the translation table no language
    // names it.
    EXPECT_STREQ("", GetFileDescription(noTranslation));
    // ... while the fixed version of the same file still reads.
    EXPECT_STREQ("1.2.3.4", GetFileVersionString(noTranslation));
    EXPECT_STREQ("", GetFileDescription(noResource));
    EXPECT_STREQ("", GetFileDescription(folder / "missing.exe"));
    EXPECT_STREQ("", GetFileDescription(""));
    EXPECT_STREQ("", GetFileDescription(nullptr));
}
