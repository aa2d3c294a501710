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
#include "tests/support/Waits.h"

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
// The process's temporary folder (GetTempPathA reads TMP first) pointed at
// a folder of the test's own while the object lives: ctest runs tests side
// by side, and another's script must not count as this one's.
class CTemporaryFolderOverride
{
public:
    explicit CTemporaryFolderOverride(const char* folder)
    {
        m_had = GetEnvironmentVariableA("TMP", m_old, sizeof(m_old)) != 0;
        SetEnvironmentVariableA("TMP", folder);
    }
    CTemporaryFolderOverride(const CTemporaryFolderOverride&) = delete;
    CTemporaryFolderOverride& operator=(const CTemporaryFolderOverride&) = delete;
    ~CTemporaryFolderOverride() { SetEnvironmentVariableA("TMP", m_had ? m_old : nullptr); }

private:
    char m_old[MAX_PATH + 1] = {};
    bool m_had = false;
};

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

// The whole content of a file its owner holds open for deleting.
std::string ReadShared(const char* path)
{
    std::string bytes;
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
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

TEST(WebDatabaseDumpScript, FillsEveryPlaceholderInOrderIntoATemporaryFileThatGoesWithIt)
{
    TempFolder folder("dumpscript");
    ASSERT_TRUE(MakeFolder(folder / "temp"));
    const CTemporaryFolderOverride temporary(folder / "temp");
    const CString templatePath = folder / "template.php";
    ASSERT_TRUE(WriteBytes(templatePath, "h={DB_HOST} n={DB_NAME}\nu={DB_USER} p={DB_PASSWORD}\n"
                                         "again {DB_NAME}{DB_NAME} {DB_PASSWORD}\n"));
    const std::set<std::string> before = TemporaryScripts();

    CString path;
    {
        // The host holds the password's placeholder: the later replacement
        // reaches it too.
        const CDumpScript script =
            PrepareDumpScript(templatePath, "{DB_PASSWORD}", "shop", "ann", "p'w\\d");
        ASSERT_FALSE(script.IsEmpty());
        path = script.GetPath();
        EXPECT_EQ(ReadShared(path), "h=p'w\\d n=shop\nu=ann p=p'w\\d\nagain shopshop p'w\\d\n");
        std::string name = static_cast<const char*>(path);
        name = name.substr(name.rfind('\\') + 1);
        EXPECT_EQ(name.substr(0, 3), "qvt");
        EXPECT_EQ(TemporaryScripts().count(name), 1u);
    }
    // Let go, it is gone.
    EXPECT_FALSE(Exists(path));

    // No placeholder: the same bytes.
    const std::string plain = "<?php echo 'x'; ?>\r\n\x01\xff";
    ASSERT_TRUE(WriteBytes(templatePath, plain));
    CDumpScript copy = PrepareDumpScript(templatePath, "h", "n", "u", "p");
    ASSERT_FALSE(copy.IsEmpty());
    EXPECT_EQ(ReadShared(copy.GetPath()), plain);
    path = copy.GetPath();
    copy.Close();
    EXPECT_FALSE(Exists(path));

    // Nothing comes of a template that cannot be read or of a value with a
    // line break, and no temporary file is left behind.
    EXPECT_TRUE(PrepareDumpScript(folder / "missing.php", "h", "n", "u", "p").IsEmpty());
    EXPECT_TRUE(PrepareDumpScript(templatePath, "h", "n\nx", "u", "p").IsEmpty());
    EXPECT_TRUE(PrepareDumpScript(templatePath, "h", "n", "u", "p\r").IsEmpty());
    EXPECT_EQ(TemporaryScripts(), before);
}

// A process that ends while it holds a filled script, however it ends,
// leaves no file with the password (the program's exit bound ends the
// process with ExitProcess; a crash or the task manager end it harder).
TEST(WebDatabaseDumpScript, AProcessEndedWhileItHoldsItsScriptLeavesNone)
{
    TempFolder folder("dumpkill");
    ASSERT_TRUE(MakeFolder(folder / "temp"));
    const CTemporaryFolderOverride temporary(folder / "temp");
    const CString templatePath = folder / "template.php";
    ASSERT_TRUE(WriteBytes(templatePath, "<?php $p = '{DB_PASSWORD}';\n"));
    for (const char* end : {"exit", "terminate"})
    {
        SCOPED_TRACE(end);
        const CString record = folder / "record.txt";
        DeleteFileA(record);
        DWORD code = 0;
        ASSERT_TRUE(RunThisProgram({{"BW_WEB_DUMP_CHILD", "script"},
                                    {"BW_SCRIPT_TEMPLATE", templatePath},
                                    {"BW_SCRIPT_RECORD", record},
                                    {"BW_SCRIPT_END", end}},
                                   wait_bound::kProgramStartMs, &code));
        EXPECT_EQ(code, 3u);
        const CString path = ReadTextFile(record);
        ASSERT_FALSE(path.IsEmpty());
        EXPECT_EQ(path.Find(folder / "temp\\qvt"), 0) << static_cast<const char*>(path);
        EXPECT_TRUE(::WaitUntil([&] { return !Exists(path); }, wait_bound::kStepMs))
            << static_cast<const char*>(path);
    }
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

TEST(WebDatabaseDumpPath, EachRowGetsAFileOfItsOwnAndANameUsedOnceStaysAsItWas)
{
    auto row = [](int id, const char* address, const char* database)
    {
        ProfileItem item;
        item.id = id;
        item.type = PROFILE_ITEM_DATABASE;
        item.path = address;
        item.dbName = database;
        return item;
    };
    CArray<ProfileItem> rows;
    ProfileItem folder;
    folder.id = 1;
    folder.path = "C:\\Documents";
    rows.Add(folder);
    rows.Add(row(2, "http://www.one.com", "shop"));
    // The same name in other letters: one file on Windows.
    rows.Add(row(3, "HTTP://two.example/site", "Shop"));
    rows.Add(row(4, "http://www.one.com", "blog"));
    // The first site listed twice.
    rows.Add(row(5, "http://www.one.com", "shop"));
    // A database whose own name is what the first site's shop would get.
    rows.Add(row(6, "http://three.example", "shop@www.one.com"));
    // Two names that are one once made safe.
    rows.Add(row(7, "http://a.example:8080", "a/b"));
    rows.Add(row(8, "b.example", "a_b"));
    const std::vector<CString> names = DumpFileNames(rows);
    const std::vector<std::string> expected = {"",
                                               "shop@www.one.com #2",
                                               "Shop@two.example_site",
                                               "blog",
                                               "shop@www.one.com #5",
                                               "shop@www.one.com",
                                               "a_b@a.example_8080",
                                               "a_b@b.example"};
    ASSERT_EQ(names.size(), expected.size());
    std::set<std::string> files;
    for (size_t i = 0; i < names.size(); ++i)
    {
        EXPECT_EQ(std::string(names[i]), expected[i]) << i;
        CString file = names[i];
        file.MakeLower();
        if (i > 0)
        {
            EXPECT_TRUE(files.insert(std::string(file)).second) << i;
        }
    }

    // Alone in the profile, each keeps its database's own name.
    CArray<ProfileItem> alone;
    alone.Add(row(2, "http://www.one.com", "shop"));
    alone.Add(row(4, "http://www.one.com", "blog"));
    EXPECT_EQ(DumpFileNames(alone), (std::vector<CString>{"shop", "blog"}));
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
        ASSERT_TRUE(m_haveTemporary);
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
        // As the start of a run leaves it.
        m_context.engineBusy = 1;
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
    const bool m_haveTemporary = MakeFolder(m_folder / "temp");
    CTemporaryFolderOverride m_temporary{m_folder / "temp"};
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

// Filled scripts an earlier version left in %TEMP% (it deleted its script
// only after the upload) go with the next dump; files that are not such
// scripts, and a script some process holds open, stay.
TEST_F(WebDatabaseDumpRunTest, ScriptsLeftByEarlierRunsGo)
{
    SaveDestination(m_folder / "dest\\");
    const std::string head = "<?php\n// Brindlewox: the MySQL dump of a web site's database.\n";
    ASSERT_TRUE(WriteBytes(m_dump.templatePath, head + "$password = '{DB_PASSWORD}';\n"));
    const CString temp = m_folder / "temp\\";
    const std::string left = head + "$password = 'old-secret';\n";
    ASSERT_TRUE(WriteBytes(temp + "qvt1A2B.tmp", left));
    ASSERT_TRUE(WriteBytes(temp + "qvt1A2C.tmp", "another program's file"));
    ASSERT_TRUE(WriteBytes(temp + "other.tmp", left));
    ASSERT_TRUE(WriteBytes(temp + "qvt1A2D.tmp", left));
    HANDLE held = CreateFileA(temp + "qvt1A2D.tmp", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    m_dump.RunDatabaseBackups(m_item);
    CloseHandle(held);
    EXPECT_EQ(m_context.GetDisplay().errors, 1); // no FTP server
    EXPECT_EQ(TemporaryScripts(), (std::set<std::string>{"qvt1A2C.tmp", "qvt1A2D.tmp"}));
    EXPECT_TRUE(Exists(temp + "other.tmp"));
}

TEST_F(WebDatabaseDumpRunTest, ARelativeDestinationOrAStoppedWorkerDumpsNothing)
{
    SaveDestination("relative\\");
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_EQ(GetFileAttributesA("relative"), INVALID_FILE_ATTRIBUTES);

    // A cleared busy flag (the window's Stop) or a set stop event ends it
    // before anything is counted.
    SaveDestination(m_folder / "dest\\");
    m_context.StopBackup();
    m_dump.RunDatabaseBackups(m_item);
    m_context.engineBusy = 1;
    SetEvent(m_context.backupWorker.GetStopEvent());
    m_dump.RunDatabaseBackups(m_item);
    EXPECT_EQ(m_context.GetDisplay().processedFiles, 1);
    EXPECT_EQ(m_context.GetDisplay().errors, 1);
    EXPECT_EQ(GetFileAttributesA(m_folder / "dest"), INVALID_FILE_ATTRIBUTES);
}

// A stop while the FTP server has not even greeted: the window's Stop (the
// busy flag) and the worker's stop event each end the dump within the
// program's exit bound of 10 s, the deletion of the remote script (which
// this server never answers either) having had its 5 s. The log says the
// dump was stopped; it is counted neither as done nor as an error; no
// filled script and no folder are left.
TEST_F(WebDatabaseDumpRunTest, AStopEndsADumpWhoseServerDoesNotAnswer)
{
    SaveDestination(m_folder / "dest\\");
    const std::set<std::string> scripts = TemporaryScripts();
    const std::string stoppedLine =
        "Database dump stopped, nothing stored: http://www.example.com\r\n\r\n";
    for (const bool byFlag : {true, false})
    {
        SCOPED_TRACE(byFlag ? "busy flag" : "stop event");
        m_context.engineBusy = 1;
        ResetEvent(m_context.backupWorker.GetStopEvent());
        const size_t logged = Log().size();
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::atomic<int> connections{0};
        std::atomic<ULONGLONG> stoppedAt{0};
        CLoopbackServer ftp{[&](SOCKET)
                            {
                                // The upload's connection; the deletion's
                                // waits behind it.
                                if (++connections == 1)
                                {
                                    stoppedAt = GetTickCount64();
                                    if (byFlag)
                                        m_context.StopBackup();
                                    else
                                        SetEvent(m_context.backupWorker.GetStopEvent());
                                }
                                WaitForSingleObject(release, 60000);
                            }};
        SetWebDumpPorts(ftp.GetPort(), UnusedPort());
        m_dump.RunDatabaseBackups(m_item);
        const ULONGLONG endedAt = GetTickCount64();
        SetEvent(release);
        ASSERT_TRUE(ftp.WaitServed(connections.load()));
        CloseHandle(release);

        EXPECT_GE(connections.load(), 1);
        EXPECT_LT(endedAt - stoppedAt.load(), 10000u);
        EXPECT_EQ(Log().substr(logged), stoppedLine);
        EXPECT_EQ(m_context.GetDisplay().processedFiles, 0);
        EXPECT_EQ(m_context.GetDisplay().errors, 0);
        EXPECT_EQ(TemporaryScripts(), scripts);
        EXPECT_EQ(GetFileAttributesA(m_folder / "dest\\Databases"), INVALID_FILE_ATTRIBUTES);
    }
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

// A proxy that answers HTTP/1.0 and closes the connection only a moment
// later, as one under load does: WinINet sends the login on the connection
// it still holds, and the close resets it under that request, which the
// proxy never reads. The login must still reach the proxy and get its
// answer; the re-sends stay three.
TEST(WebDatabaseDumpHttp, ALoginSentOnAConnectionTheProxyIsClosingIsSentAgain)
{
    TempFolder folder("dumplateclose");
    const CString target = folder / "dump.sql.tmp";
    std::atomic<bool> acceptLogin{true};
    std::atomic<int> answered{0};
    CLoopbackServer proxy{
        [&](SOCKET client)
        {
            std::string request;
            if (!ReceiveUntil(client, request, "\r\n\r\n"))
                return;
            ++answered;
            if (acceptLogin && request.find("\r\nProxy-Authorization: Basic ") != std::string::npos)
            {
                SendAll(client, Answer("200 OK", "SELECT 1;\n", "Content-Length: 10\r\n"));
                return;
            }
            SendAll(client, Answer("407 Proxy Authentication Required", "denied",
                                   "Proxy-Authenticate: Basic realm=\"test\"\r\n"
                                   "Content-Length: 6\r\n"));
            // Closed once the client has sent on this connection again (or
            // closed it, or after the socket's time-out), with what it sent
            // unread: a reset, as from a proxy that closes late.
            char next = 0;
            recv(client, &next, 1, MSG_PEEK);
            const linger reset = {1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                       sizeof(reset));
        }};
    UserKeyOverride user("dumplateclose");
    ASSERT_TRUE(user.IsActive());
    const std::string address = "127.0.0.1:" + std::to_string(proxy.GetPort());
    ASSERT_TRUE(WriteSettingString("ProxyUrl", address.c_str()));
    ASSERT_TRUE(WriteSettingString("ProxyLogin", "proxyuser"));
    ASSERT_TRUE(WriteSettingString("ProxyPassword", "proxy-secret"));
    const char* path = "/BrindlewoxMySqlDump.php?sid=0123";

    HttpDownload download = HttpDownloadToFile("www.example.com", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Complete);
    EXPECT_EQ(download.status, 200u);
    EXPECT_EQ(ReadBytes(target), "SELECT 1;\n");

    acceptLogin = false;
    answered = 0;
    download = HttpDownloadToFile("www.example.com", path, target, nullptr);
    EXPECT_EQ(download.result, HttpDownloadResult::Refused);
    EXPECT_EQ(download.status, 407u);
    EXPECT_GE(answered.load(), 4);
    EXPECT_LE(answered.load(), 8);
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

// A server that takes the request and never answers: the stop ends the
// download all the same (the request is sent on the download's own thread).
TEST(WebDatabaseDumpHttp, TheStopEventEndsARequestTheServerNeverAnswers)
{
    TempFolder folder("dumpsilent");
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<ULONGLONG> stoppedAt{0};
    CLoopbackServer server{[&](SOCKET client)
                           {
                               std::string request;
                               ReceiveUntil(client, request, "\r\n\r\n");
                               stoppedAt = GetTickCount64();
                               SetEvent(stop);
                               WaitForSingleObject(release, 60000);
                           }};
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, server.GetPort());
    const HttpDownload download =
        HttpDownloadToFile("127.0.0.1", "/silent", folder / "silent.tmp", stop);
    const ULONGLONG endedAt = GetTickCount64();
    SetEvent(release);
    EXPECT_TRUE(server.WaitServed(1));
    CloseHandle(stop);
    CloseHandle(release);
    SetWebDumpPorts(INTERNET_DEFAULT_FTP_PORT, INTERNET_DEFAULT_HTTP_PORT);
    EXPECT_EQ(download.result, HttpDownloadResult::Stopped);
    ASSERT_NE(stoppedAt.load(), 0u);
    EXPECT_LT(endedAt - stoppedAt.load(), 10000u);
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

// Child modes, chosen by BW_WEB_DUMP_CHILD:
//   run      (tests/scripts/web-dump.sh) a whole backup run (the real run,
//            through CRunContext) of one web-site row, given by BW_DUMP_*
//            variables, in the folder BW_DUMP_FOLDER (profile, log and the
//            destination "dest\"); with BW_DUMP2_ADDRESS, BW_DUMP2_FTP and
//            BW_DUMP2_DB_HOST a second row that differs from the first only
//            in these. BW_DUMP_STOP "flag" (the window's Stop) or "event"
//            (the worker's stop event) stops the run once the file
//            BW_DUMP_STOP_WHEN is there (by default: once the download's
//            .tmp is not empty). Writes "<processed> <errors> <outcome>"
//            (completed, failed or stopped: the run's end message) to
//            BW_DUMP_RECORD, and after a stop " <ms from the stop to the
//            run's end>".
//   restore  (web-dump.sh, main-web-dump.sh) the project's restore of one
//            stored file (BW_RESTORE_SOURCE to BW_RESTORE_TARGET) in the form
//            of BW_DUMP_COMPRESS, BW_DUMP_ENCRYPT and BW_DUMP_PASSWORD.
//   script   (the test above) fills BW_SCRIPT_TEMPLATE, writes the filled
//            script's path to BW_SCRIPT_RECORD and, holding the script, ends
//            with 3 through ExitProcess (BW_SCRIPT_END "exit") or
//            TerminateProcess ("terminate").
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

// True once the file is there and not empty.
bool HasBytes(const CString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExA(path, GetFileExInfoStandard, &data) &&
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
        if (!GetEnvironmentText("BW_DUMP2_ADDRESS").IsEmpty())
        {
            item.path = GetEnvironmentText("BW_DUMP2_ADDRESS");
            SplitFtpField(GetEnvironmentText("BW_DUMP2_FTP"), item.ftpServer, item.ftpFolder);
            item.dbHost = GetEnvironmentText("BW_DUMP2_DB_HOST");
            profile.AddItem(item);
        }
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
    // The run's end message comes to a message-only window of this thread.
    context.window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (context.StartBackup(false) != RunStart::Started)
        return 5;
    const auto ended = [&] { return context.backupWorker.HasEnded() != FALSE; };
    const CString stop = GetEnvironmentText("BW_DUMP_STOP");
    ULONGLONG stoppedAt = 0;
    if (!stop.IsEmpty())
    {
        const CString when = GetEnvironmentText("BW_DUMP_STOP_WHEN");
        SYSTEMTIME now;
        GetSystemTime(&now);
        const CString download =
            GetDumpFilePath(destination, GetEnvironmentText("BW_DUMP_DB_NAME"), now) + ".tmp";
        const auto moment = [&] { return when.IsEmpty() ? HasBytes(download) : Exists(when); };
        if (!::WaitUntil([&] { return moment() || ended(); }, wait_bound::kTaskMs) || ended())
            return 8; // the moment to stop never came
        stoppedAt = GetTickCount64();
        if (stop == "flag")
            context.StopBackup();
        else
            context.backupWorker.StopWithin(0);
    }
    if (!::WaitUntil(ended, wait_bound::kTaskMs))
        return 6;
    const ULONGLONG endedAt = GetTickCount64();
    context.CollectBackup();
    const RunDisplay display = context.GetDisplay();
    MSG message = {};
    const char* outcome = "none";
    if (PeekMessageA(&message, context.window, WM_BACKUP_FINISHED, WM_BACKUP_FINISHED, PM_REMOVE))
        outcome = message.wParam == kBackupCompleted ? "completed"
                  : message.wParam == kBackupStopped ? "stopped"
                                                     : "failed";
    CString record;
    record.Format("%ld %ld %s", display.processedFiles, display.errors, outcome);
    if (stoppedAt != 0)
    {
        CString took;
        took.Format(" %lu", static_cast<unsigned long>(endedAt - stoppedAt));
        record += took;
    }
    return WriteTextFile(GetEnvironmentText("BW_DUMP_RECORD"), record + "\n") ? 0 : 4;
}

// Holds a filled script while the process ends.
[[noreturn]] void EndHoldingAScript()
{
    const CDumpScript script =
        PrepareDumpScript(GetEnvironmentText("BW_SCRIPT_TEMPLATE"), "h", "n", "u", "secret");
    if (script.IsEmpty() ||
        !WriteTextFile(GetEnvironmentText("BW_SCRIPT_RECORD"), script.GetPath()))
        ExitProcess(1);
    if (GetEnvironmentText("BW_SCRIPT_END") == "terminate")
        TerminateProcess(GetCurrentProcess(), 3);
    ExitProcess(3);
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
    if (mode == "script")
        EndHoldingAScript();
    ExitProcess(7);
}

[[maybe_unused]] const int g_webDumpChild = RunWebDumpChild();
} // namespace
