// The web-site database dump: the filled script, the dump path and the skip
// rule, the transfer rate, and the download's verdicts against scripted HTTP
// servers on 127.0.0.1. tests/scripts/web-dump.sh runs the whole dump
// against real FTP, PHP and MariaDB servers through this program's child
// modes (at the end of this file).
#include "engine/WebDatabaseDump.h"

#include "engine/BackupRun.h"
#include "engine/LogFile.h"
#include "engine/Settings.h"
#include "engine/StoredFile.h"
#include "foundation/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UserKeyOverride.h"

#include "EngineTestSupport.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

using namespace loopback;
using testfiles::MakeSystemTime;

namespace
{
// The qvt*.tmp files of the temporary folder.
std::set<std::string> TemporaryScripts()
{
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, folder);
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((std::string(folder) + "qvt*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

SYSTEMTIME March7()
{
    return MakeSystemTime(2026, 3, 7, 23, 59, 0);
}

// An HTTP/1.0 answer: status line, headers and body, the connection closed
// afterwards.
std::string Answer(const char* status, const std::string& body, const char* headers = "")
{
    return std::string("HTTP/1.0 ") + status + "\r\n" + headers +
           "Content-Type: text/plain\r\n\r\n" + body;
}
} // namespace

TEST(WebDatabaseDumpScript, FillsEveryPlaceholderInOrderIntoATemporaryFile)
{
    TempFolder folder("dumpscript");
    const CString templatePath = folder / "template.php";
    ASSERT_TRUE(WriteBytes(templatePath, "h={DB_HOST} n={DB_NAME}\nu={DB_USER} p={DB_PASSWORD}\n"
                                         "again {DB_NAME}{DB_NAME} {DB_PASSWORD}\n"));
    const std::set<std::string> before = TemporaryScripts();

    // The host holds the password's placeholder: the later replacement
    // reaches it too.
    const CString script =
        PrepareDumpScript(templatePath, "{DB_PASSWORD}", "shop", "ann", "p'w\\d");
    ASSERT_FALSE(script.IsEmpty());
    EXPECT_EQ(ReadBytes(script), "h=p'w\\d n=shop\nu=ann p=p'w\\d\nagain shopshop p'w\\d\n");
    std::string name = static_cast<const char*>(script);
    name = name.substr(name.rfind('\\') + 1);
    EXPECT_EQ(name.substr(0, 3), "qvt");
    EXPECT_EQ(TemporaryScripts().count(name), 1u);
    EXPECT_TRUE(DeleteFileA(script));

    // No placeholder: the same bytes.
    const std::string plain = "<?php echo 'x'; ?>\r\n\x01\xff";
    ASSERT_TRUE(WriteBytes(templatePath, plain));
    const CString copy = PrepareDumpScript(templatePath, "h", "n", "u", "p");
    ASSERT_FALSE(copy.IsEmpty());
    EXPECT_EQ(ReadBytes(copy), plain);
    EXPECT_TRUE(DeleteFileA(copy));

    // Nothing comes of a template that cannot be read or of a value with a
    // line break, and no temporary file is left behind.
    EXPECT_TRUE(PrepareDumpScript(folder / "missing.php", "h", "n", "u", "p").IsEmpty());
    EXPECT_TRUE(PrepareDumpScript(templatePath, "h", "n\nx", "u", "p").IsEmpty());
    EXPECT_TRUE(PrepareDumpScript(templatePath, "h", "n", "u", "p\r").IsEmpty());
    EXPECT_EQ(TemporaryScripts(), before);
}

TEST(WebDatabaseDumpPath, DatedFolderAndSafeName)
{
    EXPECT_STREQ(GetDumpFilePath("D:\\Backup\\", "shop", March7()),
                 "D:\\Backup\\Databases\\2026-03-07\\shop.sql");
    EXPECT_STREQ(GetDumpFilePath("C:\\a\\", "a/b:c", MakeSystemTime(2026, 12, 31, 0, 0, 0)),
                 "C:\\a\\Databases\\2026-12-31\\a_b_c.sql");
    EXPECT_STREQ(SafeDumpName("x\\y*z?\"<>|\t"), "x_y_z______");
    EXPECT_STREQ(SafeDumpName(".."), "_");
    EXPECT_STREQ(SafeDumpName(""), "_");
}

TEST(WebDatabaseDumpRate, BytesPerSecondAcrossMidnight)
{
    EXPECT_EQ(TransferRate(MakeSystemTime(2026, 3, 7, 23, 59, 50),
                           MakeSystemTime(2026, 3, 8, 0, 0, 10), 1000),
              50u);
    EXPECT_EQ(TransferRate(MakeSystemTime(2026, 3, 7, 10, 0, 0),
                           MakeSystemTime(2026, 3, 7, 10, 0, 0), 1000),
              0u);
    EXPECT_EQ(TransferRate(MakeSystemTime(2026, 3, 7, 10, 0, 0),
                           MakeSystemTime(2026, 3, 7, 10, 1, 40), 1000),
              10u);
}

TEST(WebDatabaseDumpCompletion, OnlyAWholeLastLineCounts)
{
    TempFolder folder("dumpend");
    const CString path = folder / "dump.sql";
    const std::string line = std::string(kDumpCompletionLine) + "\n";
    ASSERT_TRUE(WriteBytes(path, "INSERT;\n" + line));
    EXPECT_TRUE(EndsWithCompletionLine(path));
    ASSERT_TRUE(WriteBytes(path, line));
    EXPECT_TRUE(EndsWithCompletionLine(path));
    ASSERT_TRUE(WriteBytes(path, "INSERT;" + line));
    EXPECT_FALSE(EndsWithCompletionLine(path));
    ASSERT_TRUE(WriteBytes(path, "INSERT;\n" + line + "x"));
    EXPECT_FALSE(EndsWithCompletionLine(path));
    ASSERT_TRUE(WriteBytes(path, ""));
    EXPECT_FALSE(EndsWithCompletionLine(path));
    EXPECT_FALSE(EndsWithCompletionLine(folder / "missing.sql"));
}

// The dump through the run context, with a profile of its own and FTP
// pointed at a port where nothing listens.
class WebDatabaseDumpRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_context.backupWorker.CreateEvents());
        m_context.profilePath = m_folder / "profile.prb";
        m_context.log = &m_log;
        SetWebDumpPorts(UnusedPort(), UnusedPort());
        m_item.type = PROFILE_ITEM_DATABASE;
        m_item.path = "http://www.example.com";
        m_item.ftpServer = "127.0.0.1";
        m_item.ftpFolder = "www";
        m_item.ftpLogin = "ftpuser";
        m_item.ftpPassword = "ftp-secret";
        m_item.dbHost = "localhost";
        m_item.dbName = "shop";
        m_item.dbUser = "shopuser";
        m_item.dbPassword = "db-secret";
        m_dump.utcClock = March7;
        m_dump.templatePath = m_folder / "template.php";
        ASSERT_TRUE(WriteBytes(m_dump.templatePath, "<?php // {DB_PASSWORD}\n"));
    }
    void TearDown() override
    {
        SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, INTERNET_DEFAULT_HTTP_PORT);
    }

    void SaveDestination(const CString& destination)
    {
        CProfileDB profile(m_context.profilePath);
        profile.CreateIfMissing();
        profile.Save(CSimpleArray<ProfileCheck>(), destination, false, false, 0);
    }
    std::string Log() const { return ReadBytes(m_log.GetCurrentFileName()); }

    TempFolder m_folder{"dumprun"};
    CLogFile m_log{m_folder.Path()};
    CRunContext m_context;
    CWebDatabaseDump m_dump{m_context};
    ProfileItem m_item;
};

TEST_F(WebDatabaseDumpRunTest, TodaysDumpIsKeptAndAFailedDumpLeavesNothing)
{
    // Two apostrophes in the destination, stored encoded in the profile.
    const CString destination = m_folder / "it's Ann's\\";
    SaveDestination(destination);
    const CString dumpPath = destination + "Databases\\2026-03-07\\shop.sql";
    ASSERT_TRUE(CreateFolderPath(dumpPath));
    ASSERT_TRUE(WriteBytes(dumpPath, "-- today's dump\n"));

    // Stored already today: skipped, no FTP contact, no error.
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().processedFiles, 1);
    EXPECT_EQ(m_context.GetDisplay().errors, 0);
    EXPECT_EQ(ReadBytes(dumpPath), "-- today's dump\n");
    EXPECT_EQ(Log(), "");

    // The next day: the FTP server does not answer. One error, the earlier
    // day untouched, no new folder, no script in %TEMP%.
    const std::set<std::string> scripts = TemporaryScripts();
    m_dump.utcClock = [] { return MakeSystemTime(2026, 3, 8, 0, 0, 1); };
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().processedFiles, 2);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_EQ(ReadBytes(dumpPath), "-- today's dump\n");
    EXPECT_EQ(GetFileAttributesA(destination + "Databases\\2026-03-08"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(TemporaryScripts(), scripts);
    const std::string log = Log();
    EXPECT_EQ(log,
              "127.0.0.1: Cannot write to FTP.\r\n\r\nError at: http://www.example.com\r\n\r\n");
    for (const char* secret : {"ftp-secret", "db-secret"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

TEST_F(WebDatabaseDumpRunTest, ARelativeDestinationOrAStoppedWorkerDumpsNothing)
{
    SaveDestination("relative\\");
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_EQ(GetFileAttributesA("relative"), INVALID_FILE_ATTRIBUTES);

    // A set stop event ends it before anything is counted.
    SaveDestination(m_folder / "dest\\");
    SetEvent(m_context.backupWorker.GetStopEvent());
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().processedFiles, 1);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
}

// The download against scripted servers. One test: the proxy setting it
// changes is read by every download of the process.
TEST(WebDatabaseDumpHttp, OnlyAWholeAnswerWithStatus200IsComplete)
{
    TempFolder folder("dumphttp");
    const CString target = folder / "dump.sql.tmp";
    std::atomic<int> requests{0};
    std::string reply;
    std::string lastRequest;
    CLoopbackServer server{[&](SOCKET client)
                           {
                               ++requests;
                               std::string request;
                               ReceiveUntil(client, request, "\r\n\r\n");
                               lastRequest = request;
                               SendAll(client, reply);
                           }};
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, server.GetPort());
    const char* path = "/BrindlewoxMySqlDump.php?sid=0123";

    reply = Answer("200 OK", "SELECT 1;\n", "Content-Length: 10\r\n");
    HttpDownload download = HttpDownloadToFile("127.0.0.1", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Complete);
    EXPECT_EQ(download.bytes, 10u);
    EXPECT_EQ(ReadBytes(target), "SELECT 1;\n");
    EXPECT_EQ(lastRequest.rfind("GET /BrindlewoxMySqlDump.php?sid=0123 HTTP/1.0\r\n", 0), 0u)
        << lastRequest;
    EXPECT_NE(lastRequest.find("User-Agent: ORVANELBrindlewox\r\n"), std::string::npos);

    // Without a length the end of the connection ends the body.
    reply = Answer("200 OK", std::string(100000, 'x'));
    download = HttpDownloadToFile("127.0.0.1", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Complete);
    EXPECT_EQ(download.bytes, 100000u);

    // A readable error page is no dump.
    reply = Answer("404 Not Found", "<html>no such page</html>");
    download = HttpDownloadToFile("127.0.0.1", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Refused);
    EXPECT_EQ(download.status, 404u);

    // Cut short: fewer bytes than the length said.
    reply = Answer("200 OK", "SELECT", "Content-Length: 1000\r\n");
    download = HttpDownloadToFile("127.0.0.1", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Incomplete);

    // A proxy that refuses every login: the login is sent again at most
    // three times, then the 407 stands. The proxy settings go into a user
    // key of this process's own, so downloads of tests running beside this
    // one never see them.
    UserKeyOverride user("dumpproxy");
    ASSERT_TRUE(user.IsActive());
    const std::string proxy = "127.0.0.1:" + std::to_string(server.GetPort());
    ASSERT_TRUE(WriteSettingString("ProxyUrl", proxy.c_str()));
    ASSERT_TRUE(WriteSettingString("ProxyLogin", "proxyuser"));
    ASSERT_TRUE(WriteSettingString("ProxyPassword", "proxy-secret"));
    reply = Answer("407 Proxy Authentication Required", "denied",
                   "Proxy-Authenticate: Basic realm=\"test\"\r\n");
    requests = 0;
    download = HttpDownloadToFile("www.example.com", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Refused);
    EXPECT_EQ(download.status, 407u);
    EXPECT_GE(requests.load(), 4);
    // Wine's WinINet may try a login once more by itself per send.
    EXPECT_LE(requests.load(), 8);
    EXPECT_EQ(lastRequest.rfind("GET http://www.example.com:", 0), 0u) << lastRequest;
    EXPECT_NE(lastRequest.find("Proxy-Authorization: Basic "), std::string::npos);
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, INTERNET_DEFAULT_HTTP_PORT);
}

TEST(WebDatabaseDumpHttp, TheStopEventEndsASlowDownload)
{
    TempFolder folder("dumpstop");
    CLoopbackServer server{[](SOCKET client)
                           {
                               std::string request;
                               ReceiveUntil(client, request, "\r\n\r\n");
                               if (!SendAll(client, Answer("200 OK", "")))
                                   return;
                               // A row every 50 ms for a minute.
                               for (int i = 0; i < 1200; ++i)
                               {
                                   if (!SendAll(client, "INSERT INTO t VALUES (1);\n"))
                                       return;
                                   Sleep(50);
                               }
                           }};
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, server.GetPort());
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Stopped once rows have been arriving for a while, in the middle of a
    // read that waits for more.
    std::thread stopper(
        [&]
        {
            Sleep(1000);
            SetEvent(stop);
        });
    const ULONGLONG start = GetTickCount64();
    const HttpDownload download =
        HttpDownloadToFile("127.0.0.1", "/slow", folder / "slow.tmp", stop);
    const ULONGLONG elapsed = GetTickCount64() - start;
    stopper.join();
    CloseHandle(stop);
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, INTERNET_DEFAULT_HTTP_PORT);
    EXPECT_EQ(download.result, HttpDownloadResult::Stopped);
    // The whole answer would take a minute.
    EXPECT_LT(elapsed, 30000u);
}

// A server that sends fast and then falls silent: the stop ends the
// download at once, though the read waiting for the rest cannot be cut
// short; a whole fast answer arrives byte for byte.
TEST(WebDatabaseDumpHttp, AFastBodyArrivesWholeAndAStopEndsAStalledOne)
{
    TempFolder folder("dumpstall");
    std::string body(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    HANDLE silence = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> stall{false};
    CLoopbackServer server{[&](SOCKET client)
                           {
                               std::string request;
                               ReceiveUntil(client, request, "\r\n\r\n");
                               if (!SendAll(client, Answer("200 OK", body)))
                                   return;
                               if (stall)
                                   WaitForSingleObject(silence, 60000);
                           }};
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, server.GetPort());

    const ULONGLONG start = GetTickCount64();
    HttpDownload download = HttpDownloadToFile("127.0.0.1", "/fast", folder / "fast.tmp", nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Complete);
    EXPECT_TRUE(ReadBytes(folder / "fast.tmp") == body);

    stall = true;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The body is in within milliseconds; then the server is silent.
    std::thread stopper(
        [&]
        {
            Sleep(2000);
            SetEvent(stop);
        });
    ULONGLONG received = 0;
    download = HttpDownloadToFile("127.0.0.1", "/stall", folder / "stall.tmp", stop,
                                  [&](ULONGLONG bytes, DWORD) { received = bytes; });
    const ULONGLONG stoppedAt = GetTickCount64();
    stopper.join();
    SetEvent(silence);
    CloseHandle(stop);
    CloseHandle(silence);
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, INTERNET_DEFAULT_HTTP_PORT);
    EXPECT_EQ(download.result, HttpDownloadResult::Stopped);
    EXPECT_GT(received, 0u);
    EXPECT_LE(received, body.size());
    // Stopped about 2 s in; the server stays silent for a minute.
    EXPECT_LT(stoppedAt - start, 15000u);
}

TEST(WebDatabaseDumpHttp, PiecesLastAQuarterSecondOrTakeOnlyWhatArrived)
{
    EXPECT_EQ(DownloadPieceFor(0), 0u);
    EXPECT_EQ(DownloadPieceFor(255 * 1024), 0u);
    EXPECT_EQ(DownloadPieceFor(256 * 1024), 64u * 1024);
    EXPECT_EQ(DownloadPieceFor(512 * 1024), 128u * 1024);
    EXPECT_EQ(DownloadPieceFor(1024 * 1024), 256u * 1024);
    EXPECT_EQ(DownloadPieceFor(1ull << 40), 256u * 1024);
}

// Child modes for tests/scripts/web-dump.sh, chosen by BW_WEB_DUMP_CHILD:
//   run      a whole backup run (the real run, through CRunContext) of one
//            web-site row, given by BW_DUMP_* variables, in the folder
//            BW_DUMP_FOLDER (profile, log and the destination "dest\");
//            with BW_DUMP_STOP set the worker is stopped once the download
//            has begun. Writes "<processed> <errors>" to BW_DUMP_RECORD.
//   restore  the project's restore of one stored file (BW_RESTORE_SOURCE to
//            BW_RESTORE_TARGET) in the form of BW_DUMP_COMPRESS,
//            BW_DUMP_ENCRYPT and BW_DUMP_PASSWORD.
namespace
{
int EnvNumber(const char* name)
{
    return atoi(GetEnvironmentText(name));
}

void SetProxyFromEnvironment()
{
    const CString proxy = GetEnvironmentText("BW_DUMP_PROXY");
    if (!proxy.IsEmpty())
    {
        WriteSettingString("ProxyUrl", proxy);
        WriteSettingString("ProxyLogin", GetEnvironmentText("BW_DUMP_PROXY_LOGIN"));
        WriteSettingString("ProxyPassword", GetEnvironmentText("BW_DUMP_PROXY_PASSWORD"));
        return;
    }
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS)
    {
        for (const char* name : {"ProxyUrl", "ProxyLogin", "ProxyPassword"})
            key.DeleteValue(name);
    }
}

// True once a download has written into the day's folder.
bool DownloadBegun(const CString& destination)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    const CString dump = GetDumpFilePath(destination, GetEnvironmentText("BW_DUMP_DB_NAME"), now);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(dump + ".tmp", GetFileExInfoStandard, &data) &&
           (data.nFileSizeLow > 0 || data.nFileSizeHigh > 0);
}

int RunWebDump()
{
    const CString folder = GetEnvironmentText("BW_DUMP_FOLDER");
    const CString destination = folder + "\\dest\\";
    SetWebDumpPorts(static_cast<INTERNET_PORT>(EnvNumber("BW_DUMP_FTP_PORT")),
                    static_cast<INTERNET_PORT>(EnvNumber("BW_DUMP_HTTP_PORT")));
    SetProxyFromEnvironment();
    CLogFile log(folder);
    CRunContext context;
    context.log = &log;
    context.profilePath = folder + "\\profile.prb";
    context.destination = destination;
    DeleteFileA(context.profilePath);
    try
    {
        CProfileDB profile(context.profilePath);
        profile.CreateIfMissing();
        ProfileItem item;
        item.type = PROFILE_ITEM_DATABASE;
        item.path = GetEnvironmentText("BW_DUMP_ADDRESS");
        SplitFtpField(GetEnvironmentText("BW_DUMP_FTP"), item.ftpServer, item.ftpFolder);
        item.ftpLogin = GetEnvironmentText("BW_DUMP_FTP_LOGIN");
        item.ftpPassword = GetEnvironmentText("BW_DUMP_FTP_PASSWORD");
        item.dbHost = GetEnvironmentText("BW_DUMP_DB_HOST");
        item.dbName = GetEnvironmentText("BW_DUMP_DB_NAME");
        item.dbUser = GetEnvironmentText("BW_DUMP_DB_USER");
        item.dbPassword = GetEnvironmentText("BW_DUMP_DB_PASSWORD");
        profile.AddItem(item);
        profile.Save(CSimpleArray<ProfileCheck>(), destination, EnvNumber("BW_DUMP_COMPRESS") != 0,
                     EnvNumber("BW_DUMP_ENCRYPT") != 0, 0);
        profile.SavePassword(GetEnvironmentText("BW_DUMP_PASSWORD"));
    }
    catch (const CSqlException&)
    {
        return 4;
    }
    CWebDatabaseDump dump(context);
    dump.templatePath = GetEnvironmentText("BW_DUMP_TEMPLATE");
    context.databaseDump = &dump;
    if (context.StartBackup(false) != RunStart::Started)
        return 5;
    const ULONGLONG start = GetTickCount64();
    if (!GetEnvironmentText("BW_DUMP_STOP").IsEmpty())
    {
        while (!DownloadBegun(destination) && !context.backupWorker.HasEnded() &&
               GetTickCount64() - start < 120000)
            Sleep(20);
        context.backupWorker.StopWithin(0);
    }
    while (!context.backupWorker.HasEnded() && GetTickCount64() - start < 300000)
        Sleep(20);
    if (!context.backupWorker.HasEnded())
        return 6;
    context.CollectBackup();
    const RunDisplay display = context.GetDisplay();
    CString record;
    record.Format("%ld %ld\n", display.processedFiles, display.errors);
    return WriteTextFile(GetEnvironmentText("BW_DUMP_RECORD"), record) ? 0 : 4;
}

int RunWebDumpChild()
{
    const CString mode = GetEnvironmentText("BW_WEB_DUMP_CHILD");
    if (mode.IsEmpty())
        return 0;
    if (mode == "run")
        ExitProcess(RunWebDump());
    if (mode == "restore")
        ExitProcess(TransferFile(GetEnvironmentText("BW_RESTORE_SOURCE"),
                                 GetEnvironmentText("BW_RESTORE_TARGET"),
                                 EnvNumber("BW_DUMP_COMPRESS"), EnvNumber("BW_DUMP_ENCRYPT"),
                                 GetEnvironmentText("BW_DUMP_PASSWORD"), kTransferRestore)
                        ? 0
                        : 1);
    ExitProcess(7);
}

[[maybe_unused]] const int g_webDumpChild = RunWebDumpChild();
} // namespace
