#include "foundation/CrashDump.h"
#include "foundation/String.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstring>

// Child modes of this program, chosen by BW_CRASH_CHILD while it starts
// (before any test runs). Each sets TMP and TEMP to BW_CHILD_TMP, sends the
// writer's messages to BW_CHILD_TEXT (caption, a line break, the text) and
// crashes:
// - "null": installs "TestApp" and writes through a null pointer;
// - "stack": installs "TestApp" and recurses until the stack is used up;
//   every thread begun after that is held at its start for 7 s, longer
//   than a crashed thread waits for its helper before it takes the job
//   itself (as a busy machine can hold a new thread);
// - "second": installs "TestApp", then "Other", then writes through null;
// - "kept-filter": installs "TestApp", puts a filter of its own in place
//   that ends the process with code 77, installs "Other" (which must not
//   put the writer back), then writes through null.
// tests/scripts/crashdump-library.sh runs "null" with stub DBGHELP.DLLs.
namespace
{
volatile int g_stopRecursion = 0;
std::atomic<bool> g_holdNewThreads{false};

// Runs in every new thread before its start address, inside the loader
// lock, as the system's thread start-up does.
void NTAPI HoldNewThread(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH && g_holdNewThreads.load())
        Sleep(7000);
}

void WriteShownText(const char* text, const char* caption)
{
    CString shown = caption;
    shown += "\n";
    shown += text;
    WriteTextFile(GetEnvironmentText("BW_CHILD_TEXT"), shown);
}

[[noreturn]] void WriteThroughNull()
{
    *static_cast<volatile int*>(nullptr) = 1;
    ExitProcess(3);
}

int Recurse(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (g_stopRecursion != 0)
        return frame[0];
    return Recurse(depth + 1) + frame[0];
}

LONG WINAPI EndWith77(EXCEPTION_POINTERS*)
{
    ExitProcess(77);
}

int RunChildIfAsked()
{
    const CString mode = GetEnvironmentText("BW_CRASH_CHILD");
    if (mode.IsEmpty())
        return 0;
    SetEnvironmentVariableA("TMP", GetEnvironmentText("BW_CHILD_TMP"));
    SetEnvironmentVariableA("TEMP", GetEnvironmentText("BW_CHILD_TMP"));
    SetCrashMessageSink(WriteShownText);
    InstallCrashDumpHandler("TestApp");
    if (mode == "null")
        WriteThroughNull();
    if (mode == "stack")
    {
        g_holdNewThreads = true;
        ExitProcess(static_cast<UINT>(Recurse(0)));
    }
    if (mode == "second")
    {
        InstallCrashDumpHandler("Other");
        WriteThroughNull();
    }
    if (mode == "kept-filter")
    {
        SetUnhandledExceptionFilter(EndWith77);
        InstallCrashDumpHandler("Other");
        WriteThroughNull();
    }
    ExitProcess(7);
}

[[maybe_unused]] const int g_childMode = RunChildIfAsked();
} // namespace

// The runtime's TLS directory calls every callback between its .CRT$XLA and
// .CRT$XLZ markers.
extern "C" __attribute__((section(".CRT$XLY"), used))
const PIMAGE_TLS_CALLBACK g_holdNewThreadCallback = HoldNewThread;

namespace
{
// The size of a file, -1 when it cannot be read.
LONGLONG FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The DACL of a file as SDDL text; empty when it cannot be read.
CString AccessText(const char* path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return CString("");
    char* text = nullptr;
    CString result("");
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Runs a crashing child with its temporary folder in `temp`.
DWORD RunCrashingChild(const char* mode, const TempFolder& temp)
{
    DWORD exitCode = 0;
    EXPECT_TRUE(RunThisProgram({{"BW_CRASH_CHILD", mode},
                                {"BW_CHILD_TMP", temp.Path()},
                                {"BW_CHILD_TEXT", temp / "shown.txt"}},
                               120000, &exitCode));
    return exitCode;
}

// The messages the in-process tests see.
CString g_shownText;
CString g_shownCaption;
int g_shownCount = 0;

void RecordShownText(const char* text, const char* caption)
{
    g_shownText = text;
    g_shownCaption = caption;
    g_shownCount++;
}

// Points the temporary folder of this process somewhere for one test.
class TemporaryFolderSetting
{
public:
    explicit TemporaryFolderSetting(const char* folder)
    {
        SetEnvironmentVariableA("TMP", folder);
        SetEnvironmentVariableA("TEMP", folder);
    }
    ~TemporaryFolderSetting()
    {
        SetEnvironmentVariableA("TMP", nullptr);
        SetEnvironmentVariableA("TEMP", nullptr);
    }
};

class CrashDumpWriterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        g_shownCount = 0;
        SetCrashMessageSink(RecordShownText);
    }
    void TearDown() override { SetCrashMessageSink(nullptr); }
};
} // namespace

TEST(CrashDump, CrashingProgramLeavesMinidumpAndSaysWhere)
{
    TempFolder temp("crashdump");
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), RunCrashingChild("null", temp));
    const CString dump = temp / "TestApp.dmp";
    EXPECT_STREQ("MDMP", ReadFileStart(dump, 4));
    EXPECT_GT(FileSize(dump), 1024);
    EXPECT_STREQ("TestApp\nSaved dump file to '" + dump + "'", ReadTextFile(temp / "shown.txt"));
}

TEST(CrashDump, StackOverflowStillLeavesMinidump)
{
    // The dump is written on a helper thread: the crashed thread has almost
    // no stack left, and waits for the helper however late it starts.
    // (Windows ends the process with the exception code; Wine 8 ends it
    // with 0 after a stack overflow.)
    TempFolder temp("crashdump");
    RunCrashingChild("stack", temp);
    const CString dump = temp / "TestApp.dmp";
    EXPECT_STREQ("MDMP", ReadFileStart(dump, 4));
    EXPECT_STREQ("TestApp\nSaved dump file to '" + dump + "'", ReadTextFile(temp / "shown.txt"));
}

TEST(CrashDump, SecondInstallChangesNeitherNameNorFilter)
{
    TempFolder temp("crashdump");
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), RunCrashingChild("second", temp));
    EXPECT_STREQ("MDMP", ReadFileStart(temp / "TestApp.dmp", 4));
    EXPECT_FALSE(Exists(temp / "Other.dmp"));
    EXPECT_STREQ("TestApp\nSaved dump file to '" + (temp / "TestApp.dmp") + "'",
                 ReadTextFile(temp / "shown.txt"));

    TempFolder second("crashdump");
    EXPECT_EQ(77u, RunCrashingChild("kept-filter", second));
    EXPECT_FALSE(Exists(second / "TestApp.dmp"));
    EXPECT_FALSE(Exists(second / "Other.dmp"));
}

TEST_F(CrashDumpWriterTest, SavesDumpOverThePreviousFile)
{
    TempFolder temp("crashdump");
    TemporaryFolderSetting setting(temp.Path());
    const CString dump = temp / "UnitDump.dmp";
    ASSERT_TRUE(WriteTextFile(dump, "the dump of an earlier crash"));
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare("UnitDump", CCrashDumpWriter::kShowResult));

    EXPECT_EQ(CrashDumpStatus::Saved, writer.Write(nullptr));
    EXPECT_STREQ("MDMP", ReadFileStart(dump, 4));
    EXPECT_STREQ(dump, writer.GetDumpPath());
    EXPECT_EQ(1, g_shownCount);
    EXPECT_STREQ("Saved dump file to '" + dump + "'", g_shownText);
    EXPECT_STREQ("UnitDump", g_shownCaption);
}

TEST_F(CrashDumpWriterTest, MissingTemporaryFolderNamesPathAndError)
{
    TempFolder temp("crashdump");
    const CString missing = temp / "missing";
    TemporaryFolderSetting setting(missing);
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare("TestApp", CCrashDumpWriter::kShowResult));

    EXPECT_EQ(CrashDumpStatus::CreateFailed, writer.Write(nullptr));
    EXPECT_STREQ("Failed to create dump file '" + missing + "\\TestApp.dmp' (error 3)",
                 g_shownText);
    EXPECT_STREQ("TestApp", g_shownCaption);
}

TEST_F(CrashDumpWriterTest, LongFolderAndLongNameFitTheirBuffers)
{
    TempFolder temp("crashdump");
    // 250 characters of folder and a 100-character name: 359 characters of
    // path, well beyond MAX_PATH.
    CString folder = temp.Path() + "\\";
    while (folder.GetLength() < 250)
        folder += 'd';
    TemporaryFolderSetting setting(folder);
    const CString name('N', 100);
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare(name, CCrashDumpWriter::kShowResult));

    EXPECT_EQ(CrashDumpStatus::CreateFailed, writer.Write(nullptr));
    const CString path = folder + "\\" + name + ".dmp";
    EXPECT_STREQ(path, writer.GetDumpPath());
    const CString start = "Failed to create dump file '" + path + "' (error ";
    ASSERT_EQ(0, std::strncmp(start, g_shownText, start.GetLength())) << g_shownText;
    const CString rest = g_shownText.Mid(start.GetLength());
    EXPECT_GE(rest.GetLength(), 2);
    EXPECT_EQ(')', rest[rest.GetLength() - 1]);
    for (int i = 0; i + 1 < rest.GetLength(); i++)
        EXPECT_TRUE(rest[i] >= '0' && rest[i] <= '9') << g_shownText;
}

TEST_F(CrashDumpWriterTest, UnreadableTemporaryFolderFallsBackToCTemp)
{
    // A temporary folder longer than GetTempPathA can answer.
    CString folder = "C:\\bwtest\\";
    while (folder.GetLength() < 300)
        folder += 'x';
    TemporaryFolderSetting setting(folder);
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare("FallbackApp", 0));

    // c:\temp may or may not exist in the prefix.
    const CrashDumpStatus status = writer.Write(nullptr);
    EXPECT_STREQ("c:\\temp\\FallbackApp.dmp", writer.GetDumpPath());
    if (status == CrashDumpStatus::Saved)
    {
        EXPECT_STREQ("Saved dump file to 'c:\\temp\\FallbackApp.dmp'", writer.GetResultText());
        DeleteFileA("c:\\temp\\FallbackApp.dmp");
    }
    else
    {
        EXPECT_EQ(CrashDumpStatus::CreateFailed, status);
        EXPECT_STREQ("Failed to create dump file 'c:\\temp\\FallbackApp.dmp' (error 3)",
                     writer.GetResultText());
    }
    // Without kShowResult nothing is shown.
    EXPECT_EQ(0, g_shownCount);
}

TEST(CrashDumpWriter, KeepsTheFirstNameAndDefaultsToApplication)
{
    CCrashDumpWriter writer;
    EXPECT_FALSE(writer.IsPrepared());
    EXPECT_EQ(CrashDumpStatus::LibraryNotFound, writer.Write(nullptr));
    ASSERT_TRUE(writer.Prepare("First", 0));
    EXPECT_TRUE(writer.Prepare("Second", CCrashDumpWriter::kShowResult));
    EXPECT_STREQ("First", writer.GetApplicationName());

    CCrashDumpWriter unnamed;
    ASSERT_TRUE(unnamed.Prepare(nullptr, 0));
    EXPECT_STREQ("Application", unnamed.GetApplicationName());
}

TEST_F(CrashDumpWriterTest, PrivateFileReplacesAPlantedFileAndLetsOnlySystemAndAdministratorsIn)
{
    TempFolder temp("crashdump");
    TemporaryFolderSetting setting(temp.Path());
    const CString dump = temp / "PrivateApp.dmp";
    ASSERT_TRUE(WriteTextFile(dump, "planted by another user"));
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare("PrivateApp", CCrashDumpWriter::kPrivateFile));

    EXPECT_EQ(CrashDumpStatus::Saved, writer.Write(nullptr));
    EXPECT_STREQ("MDMP", ReadFileStart(dump, 4));
    EXPECT_EQ(0, g_shownCount);

    // Windows keeps the descriptor as given; Wine turns it into Unix mode
    // bits and reads back SYSTEM and the owner. Either way no group of other
    // users may be in it, while a file made the plain way lets everyone read.
    const CString privateAccess = AccessText(dump);
    EXPECT_EQ(0, std::strncmp("D:", privateAccess, 2)) << privateAccess;
    for (const char* others : {";;;WD)", ";;;BU)", ";;;AU)", ";;;IU)"})
        EXPECT_EQ(nullptr, std::strstr(privateAccess, others)) << privateAccess;
    EXPECT_NE(nullptr, std::strstr(privateAccess, ";;;SY)")) << privateAccess;

    CCrashDumpWriter plain;
    ASSERT_TRUE(plain.Prepare("PlainApp", 0));
    EXPECT_EQ(CrashDumpStatus::Saved, plain.Write(nullptr));
    EXPECT_NE(nullptr, std::strstr(AccessText(temp / "PlainApp.dmp"), ";;;WD)"));
}

TEST_F(CrashDumpWriterTest, PrivateFileIsNotWrittenIntoAFileSomeoneHolds)
{
    TempFolder temp("crashdump");
    TemporaryFolderSetting setting(temp.Path());
    const CString dump = temp / "HeldApp.dmp";
    ASSERT_TRUE(WriteTextFile(dump, "held open"));
    // Held without delete sharing: the name cannot be freed.
    HANDLE held = CreateFileA(dump, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    CCrashDumpWriter writer;
    ASSERT_TRUE(writer.Prepare("HeldApp", CCrashDumpWriter::kPrivateFile));

    EXPECT_EQ(CrashDumpStatus::CreateFailed, writer.Write(nullptr));
    CloseHandle(held);
    EXPECT_STREQ("held open", ReadTextFile(dump));
}
