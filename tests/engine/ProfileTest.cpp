#include "engine/Profile.h"
#include "engine/SqlDB.h"
#include "foundation/Exception.h"

#include "tests/support/TempFolder.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <string>

namespace
{
const char kCreateWhat[] =
    "CREATE TABLE backup_what (id_backup_what INTEGER PRIMARY KEY, type_id INTEGER, extra_id "
    "INTEGER, value1 TEXT, value2 TEXT, value3 TEXT, value4 TEXT, value5 TEXT, value6 TEXT, "
    "value7 TEXT, value8 TEXT, checked INTEGER )";
const char kCreateSettings[] =
    "CREATE TABLE backup_settings (id_backup_settings INTEGER PRIMARY KEY, type_id INTEGER, "
    "backup_where TEXT, compress INTEGER, encrypt INTEGER, encrypt_pwd TEXT )";

// A text of exactly `length` characters that starts with `head` and is
// padded with a pattern of letters, blanks and apostrophes.
CString Long(const char* head, int length)
{
    CString text(head);
    const char pattern[] = "ab 'c' d''e ";
    for (int i = 0; text.GetLength() < length; ++i)
        text += pattern[i % (sizeof(pattern) - 1)];
    return text;
}

// Reads one column of one row with a connection of its own.
CString RawValue(const CString& file, const char* sql, int column)
{
    CSqlDB db;
    db.Open(file);
    CSqlQuery q = db.Query(sql);
    return q.IsEof() ? CString() : CString(q.GetFieldText(column));
}

void ExpectSameItem(const ProfileItem& a, const ProfileItem& b)
{
    EXPECT_EQ(a.type, b.type);
    EXPECT_STREQ(a.path, b.path);
    EXPECT_STREQ(a.ftpServer, b.ftpServer);
    EXPECT_STREQ(a.ftpFolder, b.ftpFolder);
    EXPECT_STREQ(a.ftpLogin, b.ftpLogin);
    EXPECT_STREQ(a.ftpPassword, b.ftpPassword);
    EXPECT_STREQ(a.dbHost, b.dbHost);
    EXPECT_STREQ(a.dbName, b.dbName);
    EXPECT_STREQ(a.dbUser, b.dbUser);
    EXPECT_STREQ(a.dbPassword, b.dbPassword);
}

class ProfileTest : public ::testing::Test
{
protected:
    ProfileTest() : folder("profile"), profile(folder / "profile.prb") {}

    void Create() { ASSERT_TRUE(profile.CreateIfMissing()); }

    void AddFolderRow(const char* path)
    {
        ProfileItem item;
        item.path = path;
        profile.AddItem(item);
    }

    TempFolder folder;
    CProfileDB profile;
};
} // namespace

// The shell test script.profile-schema names a folder in
// BRINDLEWOX_PROFILE_DIR and inspects the profile left there with the
// sqlite3 command line.
TEST(ProfileFileTest, FirstCreateMakesBothTablesAndOneSettingsRow)
{
    char kept[MAX_PATH] = "";
    GetEnvironmentVariableA("BRINDLEWOX_PROFILE_DIR", kept, sizeof(kept));
    std::unique_ptr<TempFolder> scratch;
    CString dir = kept;
    if (dir.IsEmpty())
    {
        scratch = std::make_unique<TempFolder>("profile-create");
        dir = scratch->Path();
    }
    CProfileDB profile(dir + "\\profile.prb");

    ASSERT_TRUE(profile.CreateIfMissing());
    EXPECT_FALSE(profile.CreateIfMissing()); // an existing file is left alone

    CArray<ProfileItem> items;
    profile.LoadItems(items);
    EXPECT_EQ(items.GetSize(), 0);
    ProfileSettings settings;
    settings.destination = "untouched";
    ASSERT_TRUE(profile.LoadSettings(settings));
    EXPECT_TRUE(settings.destination.IsEmpty());
    EXPECT_FALSE(settings.compress);
    EXPECT_FALSE(settings.encrypt);
    EXPECT_TRUE(settings.password.IsEmpty());

    CSqlDB db;
    db.Open(profile.GetFile());
    CSqlQuery q = db.Query("SELECT sql FROM sqlite_master WHERE name='backup_what';");
    EXPECT_STREQ(q.GetFieldText(0), kCreateWhat);
    q = db.Query("SELECT sql FROM sqlite_master WHERE name='backup_settings';");
    EXPECT_STREQ(q.GetFieldText(0), kCreateSettings);
    q = db.Query("SELECT * FROM backup_settings;");
    ASSERT_FALSE(q.IsEof());
    EXPECT_EQ(q.GetFieldInt(0, -1), 1);
    EXPECT_EQ(q.GetFieldInt(1, -1), 0);
    EXPECT_STREQ(q.GetFieldText(2, "null"), "");
    EXPECT_EQ(q.GetFieldInt(3, -1), 0);
    EXPECT_EQ(q.GetFieldInt(4, -1), 0);
    EXPECT_STREQ(q.GetFieldText(5, "null"), "");
    q.NextRow();
    EXPECT_TRUE(q.IsEof());
}

TEST(ProfileFileTest, CreateInAMissingFolderThrowsAndLeavesNothing)
{
    TempFolder folder("profile-nofolder");
    CProfileDB profile(folder / "missing\\profile.prb");
    EXPECT_EQ(ThrownSql([&] { profile.CreateIfMissing(); }).GetErrorCode(), 14);
    EXPECT_EQ(GetFileAttributesA(profile.GetFile()), INVALID_FILE_ATTRIBUTES);
}

TEST(ProfileFileTest, DefaultPathLiesInTheApplicationDataFolder)
{
    char appData[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE));
    CString path = GetProfilePath();
    EXPECT_STREQ(path, CString(appData) + "\\Orvanel Brindlewox\\Profile\\profile.prb");
    EXPECT_EQ(path.Find("C:\\"), 0) << (const char*)path;
}

TEST(ProfileTextTest, ApostrophesAreEncodedAndDecoded)
{
    EXPECT_STREQ(EncodeProfileText("C:\\Bob's 'x'\\"), "C:\\Bob#245#s #245#x#245#\\");
    EXPECT_STREQ(DecodeProfileText("C:\\Bob#245#s #245#x#245#\\"), "C:\\Bob's 'x'\\");
    EXPECT_STREQ(EncodeProfileText("''"), "#245##245#");
    EXPECT_STREQ(DecodeProfileText("#245##245#"), "''");
    EXPECT_STREQ(EncodeProfileText("C:\\plain dir\\"), "C:\\plain dir\\");
    EXPECT_STREQ(DecodeProfileText("#24#5# #245"), "#24#5# #245");
    EXPECT_TRUE(EncodeProfileText("").IsEmpty());
    EXPECT_TRUE(DecodeProfileText(nullptr).IsEmpty());
}

TEST(ProfileTextTest, FtpFieldSplitsAtTheFirstColon)
{
    struct Case
    {
        const char* value2;
        const char* server;
        const char* folder;
    } cases[] = {{"ftp.h:", "ftp.h", ""}, {":", "", ""}, {"srv:/a:b", "srv", "/a:b"},
                 {"srv", "srv", ""},      {"", "", ""},  {":/www", "", "/www"}};
    for (const Case& c : cases)
    {
        CString server("old"), folder("old");
        SplitFtpField(c.value2, server, folder);
        EXPECT_STREQ(server, c.server) << c.value2;
        EXPECT_STREQ(folder, c.folder) << c.value2;
    }
    EXPECT_STREQ(JoinFtpField("ftp.h", ""), "ftp.h:");
    EXPECT_STREQ(JoinFtpField("", ""), ":");
    EXPECT_STREQ(JoinFtpField("srv", "/a:b"), "srv:/a:b");
}

TEST(ProfileTextTest, ListTextNamesTheType)
{
    ProfileItem item;
    item.path = "C:\\Bob's";
    EXPECT_STREQ(ProfileItemText(item), "[FS] C:\\Bob's");
    item.type = PROFILE_ITEM_DATABASE;
    item.path = "www.example.com";
    EXPECT_STREQ(ProfileItemText(item), "[DB] www.example.com");
    item.type = 7;
    EXPECT_STREQ(ProfileItemText(item), "www.example.com");
}

TEST_F(ProfileTest, RowsAndSettingsSurviveApostrophesBlanksAndLongPaths)
{
    Create();

    ProfileItem files;
    files.path = Long("C:\\Bob's files\\it's 'quoted'\\", 259);
    ProfileItem site;
    site.type = PROFILE_ITEM_DATABASE;
    site.path = Long("http://www.o'brien.example/", 259);
    site.ftpServer = Long("ftp.o'brien.example", 259);
    site.ftpFolder = Long("/public html/it's:here/", 259);
    site.ftpLogin = Long("o'brien login", 259);
    site.ftpPassword = Long("pass'word", 259);
    site.dbHost = Long("db host's", 259);
    site.dbName = Long("db 'name'", 259);
    site.dbUser = Long("user''", 259);
    site.dbPassword = Long("'secret", 259);
    ASSERT_EQ(files.path.GetLength(), 259);
    ASSERT_EQ(site.dbPassword.GetLength(), 259);
    profile.AddItem(files);
    profile.AddItem(site);

    CString destination = Long("D:\\Backups of Bob's PC\\'new'\\", 258) + "\\";
    CString password = Long("my 'pass' word", 259);
    CSimpleArray<ProfileCheck> checks;
    checks.Add({1, false});
    checks.Add({2, true});
    profile.Save(checks, destination, true, false, 0);
    profile.SavePassword(password);

    // Read back through another object, as another part of the program would.
    CProfileDB reopened(profile.GetFile());
    CArray<ProfileItem> items;
    reopened.LoadItems(items);
    ASSERT_EQ(items.GetSize(), 2);
    EXPECT_EQ(items[0].id, 1);
    EXPECT_EQ(items[1].id, 2);
    EXPECT_FALSE(items[0].checked);
    EXPECT_TRUE(items[1].checked);
    ExpectSameItem(items[0], files);
    ExpectSameItem(items[1], site);
    EXPECT_EQ(items[0].extraId, 0);

    ProfileSettings settings;
    ASSERT_TRUE(reopened.LoadSettings(settings));
    EXPECT_STREQ(settings.destination, destination);
    EXPECT_EQ(settings.destination.GetLength(), 259);
    EXPECT_TRUE(settings.compress);
    EXPECT_FALSE(settings.encrypt);
    EXPECT_STREQ(settings.password, password);

    // The stored form: paths and the destination encoded, everything else
    // as typed, a file row's value2 is ":".
    CString file = profile.GetFile();
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_what WHERE id_backup_what='1';", 3),
                 EncodeProfileText(files.path));
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_what WHERE id_backup_what='1';", 4), ":");
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_what WHERE id_backup_what='2';", 5),
                 site.ftpLogin);
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_what WHERE id_backup_what='2';", 4),
                 site.ftpServer + ":" + site.ftpFolder);
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_settings;", 2),
                 EncodeProfileText(destination));
    EXPECT_STREQ(RawValue(file, "SELECT * FROM backup_settings;", 5), password);
    EXPECT_EQ(RawValue(file, "SELECT * FROM backup_what WHERE id_backup_what='1';", 3).Find('\''),
              -1);
}

TEST_F(ProfileTest, LoadItemReadsOneRowOrNothing)
{
    Create();
    AddFolderRow("C:\\one");
    AddFolderRow("C:\\Bob's two");
    ProfileItem item;
    ASSERT_TRUE(profile.LoadItem(2, item));
    EXPECT_EQ(item.id, 2);
    EXPECT_STREQ(item.path, "C:\\Bob's two");
    EXPECT_TRUE(item.checked);

    item.path = "untouched";
    EXPECT_FALSE(profile.LoadItem(9, item));
    EXPECT_STREQ(item.path, "untouched");
}

TEST_F(ProfileTest, SaveStoresChecksAndInvertsTheToggledBox)
{
    Create();
    AddFolderRow("C:\\a");
    AddFolderRow("C:\\b");
    CSimpleArray<ProfileCheck> checks;
    checks.Add({1, true});
    checks.Add({2, false});

    struct Case
    {
        bool compressShown;
        bool encryptShown;
        int toggled;
        bool compress;
        bool encrypt;
    } cases[] = {{true, true, 0, true, true},    {true, false, 1, false, false},
                 {false, true, 1, true, true},   {true, true, 2, true, false},
                 {false, false, 2, false, true}, {false, false, 0, false, false}};
    for (const Case& c : cases)
    {
        profile.Save(checks, "E:\\", c.compressShown, c.encryptShown, c.toggled);
        ProfileSettings settings;
        ASSERT_TRUE(profile.LoadSettings(settings));
        EXPECT_EQ(settings.compress, c.compress) << "toggled " << c.toggled;
        EXPECT_EQ(settings.encrypt, c.encrypt) << "toggled " << c.toggled;
        EXPECT_STREQ(settings.destination, "E:\\");
    }

    CArray<ProfileItem> items;
    profile.LoadItems(items);
    ASSERT_EQ(items.GetSize(), 2);
    EXPECT_TRUE(items[0].checked);
    EXPECT_FALSE(items[1].checked);
}

TEST_F(ProfileTest, EditedRowMovesToTheEndCheckedAndDeletedRowsGo)
{
    Create();
    AddFolderRow("C:\\first");
    AddFolderRow("C:\\second");
    AddFolderRow("C:\\third");
    CSimpleArray<ProfileCheck> checks;
    checks.Add({1, false});
    profile.Save(checks, "", false, false, 0);

    ProfileItem edited;
    edited.path = "C:\\first, edited";
    profile.ReplaceItem(1, edited);
    profile.DeleteItem(2);

    CArray<ProfileItem> items;
    profile.LoadItems(items);
    ASSERT_EQ(items.GetSize(), 2);
    EXPECT_STREQ(items[0].path, "C:\\third");
    EXPECT_EQ(items[1].id, 4);
    EXPECT_STREQ(items[1].path, "C:\\first, edited");
    EXPECT_TRUE(items[1].checked);
}

TEST_F(ProfileTest, AFailedEditKeepsTheOldRow)
{
    Create();
    AddFolderRow("C:\\keep me");
    {
        // Every insert is refused from now on.
        CSqlDB db;
        db.Open(profile.GetFile());
        db.Execute("CREATE TRIGGER refuse BEFORE INSERT ON backup_what BEGIN "
                   "SELECT RAISE(ABORT, 'refused'); END;");
    }
    ProfileItem edited;
    edited.path = "C:\\replacement";
    CSqlException e = ThrownSql([&] { profile.ReplaceItem(1, edited); });
    EXPECT_STREQ(e.GetErrorMessage(), "SQL_CONSTRAINT[19]: refused");

    CArray<ProfileItem> items;
    profile.LoadItems(items);
    ASSERT_EQ(items.GetSize(), 1);
    EXPECT_STREQ(items[0].path, "C:\\keep me");
}

TEST_F(ProfileTest, ExportAndImportCarryTheWholeProfile)
{
    Create();
    AddFolderRow("C:\\Exported's folder");
    CSimpleArray<ProfileCheck> none;
    profile.Save(none, "F:\\Bob's backup\\", false, true, 0);
    profile.SavePassword("it's");

    // Exporting works while another connection holds the file open.
    CString exported = folder / "exported profile.prb";
    {
        CSqlDB open;
        open.Open(profile.GetFile());
        CSqlQuery q = open.Query("SELECT * FROM backup_what;");
        profile.Export(exported);
    }
    EXPECT_EQ(ReadBytes(exported), ReadBytes(profile.GetFile()));

    CProfileDB other(folder / "other.prb");
    ASSERT_TRUE(other.CreateIfMissing());
    ProfileItem stale;
    stale.path = "C:\\stale";
    other.AddItem(stale);
    other.AddItem(stale);

    other.Import(exported);
    CArray<ProfileItem> items;
    other.LoadItems(items);
    ASSERT_EQ(items.GetSize(), 1);
    EXPECT_STREQ(items[0].path, "C:\\Exported's folder");
    ProfileSettings settings;
    ASSERT_TRUE(other.LoadSettings(settings));
    EXPECT_STREQ(settings.destination, "F:\\Bob's backup\\");
    EXPECT_TRUE(settings.encrypt);
    EXPECT_STREQ(settings.password, "it's");
}

TEST_F(ProfileTest, ExportIntoAMissingFolderReportsTheFailure)
{
    Create();
    try
    {
        profile.Export(folder / "no folder\\profile.prb");
        ADD_FAILURE() << "the failed copy was not reported";
    }
    catch (const CFileException& e)
    {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
}

TEST_F(ProfileTest, ImportRefusesWhatIsNoProfile)
{
    Create();
    AddFolderRow("C:\\precious");
    const std::string before = ReadBytes(profile.GetFile());

    // An SQLite 2 database: the old format's header text, its magic number
    // and an empty first page.
    std::string sqlite2("** This file contains an SQLite 2.1 database **");
    sqlite2.push_back('\0');
    const unsigned char magic[] = {0x28, 0x75, 0xe3, 0xda};
    sqlite2.append(reinterpret_cast<const char*>(magic), sizeof(magic));
    sqlite2.resize(2048, '\0');
    CString old = folder / "old.prb";
    ASSERT_TRUE(WriteBytes(old, sqlite2));

    // A profile whose first page (the table definitions) was overwritten.
    std::string damaged = before;
    ASSERT_GT(damaged.size(), 1024u);
    for (size_t i = 100; i < 1024; ++i)
        damaged[i] = static_cast<char>(0xA5 ^ i);
    CString corrupt = folder / "corrupt.prb";
    ASSERT_TRUE(WriteBytes(corrupt, damaged));

    CString text = folder / "notes.txt";
    ASSERT_TRUE(WriteTextFile(text, "just some text\r\n"));

    // A database of other tables, and one with the tables in another width.
    CString foreign = folder / "cache.prb";
    CString narrow = folder / "narrow.prb";
    {
        CSqlDB db;
        db.Open(foreign);
        db.Execute("CREATE TABLE backup_cache (path TEXT, attrib_val TEXT);");
        db.Open(narrow);
        db.Execute("CREATE TABLE backup_what (id_backup_what INTEGER PRIMARY KEY, value1 TEXT);");
        db.Execute("CREATE TABLE backup_settings (id_backup_settings INTEGER PRIMARY KEY, "
                   "type_id INTEGER, backup_where TEXT, compress INTEGER, encrypt INTEGER, "
                   "encrypt_pwd TEXT );");
        db.Execute("INSERT INTO backup_settings VALUES (NULL, '0', '', '0', '0', '');");
    }
    // A profile without its settings row.
    CString rowless = folder / "rowless.prb";
    {
        CProfileDB p(rowless);
        ASSERT_TRUE(p.CreateIfMissing());
        CSqlDB db;
        db.Open(rowless);
        db.Execute("DELETE FROM backup_settings;");
    }
    CString missing = folder / "missing.prb";

    struct Case
    {
        const CString& file;
        const char* message;
    } cases[] = {
        {old, "UNKNOWN_ERROR[26]: file is not a database"},
        {corrupt, "SQL_CORRUPT[11]: database disk image is malformed"},
        {text, "UNKNOWN_ERROR[26]: file is not a database"},
        {foreign, "SQL_ERROR[1]: no such table: backup_what"},
        {narrow, "CSQL_ERROR[1000]: Not a profile database"},
        {rowless, "CSQL_ERROR[1000]: Not a profile database"},
        {missing, "SQL_CANTOPEN[14]: unable to open database file"},
    };
    for (const Case& c : cases)
    {
        CSqlException e = ThrownSql([&] { profile.Import(c.file); });
        EXPECT_STREQ(e.GetErrorMessage(), c.message) << (const char*)c.file;
        EXPECT_EQ(ReadBytes(profile.GetFile()), before) << (const char*)c.file;
    }
    // Checking a missing file did not create one.
    EXPECT_EQ(GetFileAttributesA(missing), INVALID_FILE_ATTRIBUTES);
    // The refused files were not changed by being looked at.
    EXPECT_EQ(ReadBytes(old), sqlite2);
    EXPECT_EQ(ReadBytes(corrupt), damaged);

    // Reading such a file directly fails too, instead of giving an empty list.
    CProfileDB oldProfile(old);
    CArray<ProfileItem> items;
    EXPECT_EQ(ThrownSql([&] { oldProfile.LoadItems(items); }).GetErrorCode(), 26);
    EXPECT_EQ(items.GetSize(), 0);
}

TEST_F(ProfileTest, PasswordWithoutASettingsRowIsNotStored)
{
    Create();
    {
        CSqlDB db;
        db.Open(profile.GetFile());
        db.Execute("DELETE FROM backup_settings;");
    }
    CSqlException e = ThrownSql([&] { profile.SavePassword("pw1"); });
    EXPECT_EQ(e.GetErrorCode(), CSQL_ERROR);
    // The same password again is still a stored one (a row was matched).
    CProfileDB fresh(folder / "fresh.prb");
    ASSERT_TRUE(fresh.CreateIfMissing());
    fresh.SavePassword("pw1");
    EXPECT_NO_THROW(fresh.SavePassword("pw1"));
}
