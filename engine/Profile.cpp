#include "engine/Profile.h"

#include "engine/FileSystem.h"
#include "engine/SqlDB.h"
#include "foundation/Exception.h"
#include "foundation/Utility.h"

#include <shlobj.h>

namespace
{
const char kCreateWhat[] =
    "CREATE TABLE backup_what (id_backup_what INTEGER PRIMARY KEY, type_id INTEGER, extra_id "
    "INTEGER, value1 TEXT, value2 TEXT, value3 TEXT, value4 TEXT, value5 TEXT, value6 TEXT, "
    "value7 TEXT, value8 TEXT, checked INTEGER );";
const char kCreateSettings[] =
    "CREATE TABLE backup_settings (id_backup_settings INTEGER PRIMARY KEY, type_id INTEGER, "
    "backup_where TEXT, compress INTEGER, encrypt INTEGER, encrypt_pwd TEXT );";
const char kFirstSettings[] = "INSERT INTO backup_settings VALUES (NULL, '0', '', '0', '0', '');";

const char kSelectItems[] = "SELECT * FROM backup_what;";
const char kSelectSettings[] = "SELECT * FROM backup_settings WHERE type_id='0';";

const int kItemColumns = 12;
const int kSettingsColumns = 6;

const char kApostrophe[] = "'";
const char kEncodedApostrophe[] = "#245#";

void ReadItemRow(const CSqlQuery& query, ProfileItem& item)
{
    item.id = query.GetFieldInt(0, -1);
    item.type = query.GetFieldInt(1, PROFILE_ITEM_FILES);
    item.extraId = query.GetFieldInt(2, 0);
    item.path = DecodeProfileText(query.GetFieldText(3));
    SplitFtpField(query.GetFieldText(4), item.ftpServer, item.ftpFolder);
    item.ftpLogin = query.GetFieldText(5);
    item.ftpPassword = query.GetFieldText(6);
    item.dbHost = query.GetFieldText(7);
    item.dbName = query.GetFieldText(8);
    item.dbUser = query.GetFieldText(9);
    item.dbPassword = query.GetFieldText(10);
    item.checked = query.GetFieldInt(11, 0) != 0;
}

CString InsertStatement(const ProfileItem& item)
{
    CString sql;
    sql.Format(
        "INSERT INTO backup_what (id_backup_what, type_id, extra_id, value1, value2, "
        "value3, value4, value5, value6, value7, value8, checked ) VALUES (NULL, '%d', "
        "'0', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '%s', '1');",
        item.type, (const char*)EncodeProfileText(item.path),
        (const char*)SqlEscapeQuotes(JoinFtpField(item.ftpServer, item.ftpFolder)),
        (const char*)SqlEscapeQuotes(item.ftpLogin), (const char*)SqlEscapeQuotes(item.ftpPassword),
        (const char*)SqlEscapeQuotes(item.dbHost), (const char*)SqlEscapeQuotes(item.dbName),
        (const char*)SqlEscapeQuotes(item.dbUser), (const char*)SqlEscapeQuotes(item.dbPassword));
    return sql;
}

CString DeleteStatement(int id)
{
    CString sql;
    sql.Format("DELETE FROM backup_what WHERE id_backup_what='%d';", id);
    return sql;
}

void ThrowLastFileError()
{
    throw CFileException(GetLastError());
}
} // namespace

CString EncodeProfileText(const char* text)
{
    CString result(text);
    StringReplace(kEncodedApostrophe, kApostrophe, result, TRUE);
    return result;
}

CString DecodeProfileText(const char* text)
{
    CString result(text);
    StringReplace(kApostrophe, kEncodedApostrophe, result, TRUE);
    return result;
}

void SplitFtpField(const char* value2, CString& server, CString& folder)
{
    CString text(value2);
    int colon = text.Find(':');
    if (colon < 0)
    {
        server = text;
        folder = "";
        return;
    }
    server = text.Left(colon);
    folder = text.Mid(colon + 1);
}

CString JoinFtpField(const char* server, const char* folder)
{
    return CString(server) + ":" + folder;
}

CString ProfileItemText(const ProfileItem& item)
{
    if (item.type == PROFILE_ITEM_FILES)
        return "[FS] " + item.path;
    if (item.type == PROFILE_ITEM_DATABASE)
        return "[DB] " + item.path;
    return item.path;
}

CString GetProfilePath()
{
    char appData[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE))
        appData[0] = 0;
    return CString(appData) + "\\Orvanel Brindlewox\\Profile\\profile.prb";
}

bool CProfileDB::CreateIfMissing()
{
    return CreateDatabaseIfMissing(m_file, {kCreateWhat, kCreateSettings, kFirstSettings});
}

void CProfileDB::LoadItems(CArray<ProfileItem>& items) const
{
    CSqlDB db;
    db.Open(m_file);
    for (CSqlQuery query = db.Query(kSelectItems); !query.IsEof(); query.NextRow())
    {
        ProfileItem item;
        ReadItemRow(query, item);
        items.Add(item);
    }
}

bool CProfileDB::LoadItem(int id, ProfileItem& item) const
{
    CSqlDB db;
    db.Open(m_file);
    CString sql;
    sql.Format("SELECT * FROM backup_what WHERE id_backup_what='%d';", id);
    CSqlQuery query = db.Query(sql);
    if (query.IsEof())
        return false;
    ProfileItem read;
    ReadItemRow(query, read);
    item = read;
    return true;
}

bool CProfileDB::LoadSettings(ProfileSettings& settings) const
{
    CSqlDB db;
    db.Open(m_file);
    CSqlQuery query = db.Query(kSelectSettings);
    if (query.IsEof())
        return false;
    ProfileSettings read;
    read.destination = DecodeProfileText(query.GetFieldText(2));
    read.compress = query.GetFieldInt(3, 0) != 0;
    read.encrypt = query.GetFieldInt(4, 0) != 0;
    read.password = query.GetFieldText(5);
    settings = read;
    return true;
}

void CProfileDB::Save(const CSimpleArray<ProfileCheck>& checks, const CString& destination,
                      bool compressShown, bool encryptShown, int toggled)
{
    bool compress = toggled == 1 ? !compressShown : compressShown;
    bool encrypt = toggled == 2 ? !encryptShown : encryptShown;

    CSqlDB db;
    db.Open(m_file);
    CSqlTransaction transaction(db);
    CString sql;
    for (int i = 0; i < checks.GetSize(); ++i)
    {
        sql.Format("UPDATE backup_what SET checked='%d' WHERE id_backup_what='%d';",
                   checks[i].checked ? 1 : 0, checks[i].id);
        db.Execute(sql);
    }
    sql.Format("UPDATE backup_settings SET backup_where='%s', compress='%d', encrypt='%d' WHERE "
               "type_id='0';",
               (const char*)EncodeProfileText(destination), compress ? 1 : 0, encrypt ? 1 : 0);
    db.Execute(sql);
    transaction.Commit();
}

void CProfileDB::AddItem(const ProfileItem& item)
{
    CSqlDB db;
    db.Open(m_file);
    db.Execute(InsertStatement(item));
}

void CProfileDB::ReplaceItem(int id, const ProfileItem& item)
{
    CSqlDB db;
    db.Open(m_file);
    CSqlTransaction transaction(db);
    db.Execute(DeleteStatement(id));
    db.Execute(InsertStatement(item));
    transaction.Commit();
}

void CProfileDB::DeleteItem(int id)
{
    CSqlDB db;
    db.Open(m_file);
    db.Execute(DeleteStatement(id));
}

void CProfileDB::SavePassword(const CString& password)
{
    CSqlDB db;
    db.Open(m_file);
    CString sql;
    sql.Format("UPDATE backup_settings SET encrypt_pwd='%s' WHERE type_id='0';",
               (const char*)SqlEscapeQuotes(password));
    // Without the settings row nothing holds the password: the caller must
    // not go on as if it were stored (and mark the profile encrypted).
    if (db.Execute(sql) == 0)
        throw CSqlException(CSQL_ERROR, "Not a profile database", false);
}

void CProfileDB::Export(const CString& target) const
{
    if (!CopyFileA(m_file, target, FALSE))
        ThrowLastFileError();
}

void CProfileDB::Import(const CString& source)
{
    CheckProfileFile(source);
    if (!CopyFileA(source, m_file, FALSE))
        ThrowLastFileError();
}

void CProfileDB::CheckProfileFile(const CString& file)
{
    // Opening would create a missing file: an empty database at the place
    // the user picked.
    if (!FileExists(file))
        throw CSqlException(14, "unable to open database file", false);
    CSqlDB db;
    db.Open(file);
    CSqlQuery query = db.Query(kSelectItems);
    bool fits = query.GetFieldCount() == kItemColumns;
    query = db.Query(kSelectSettings);
    fits = fits && query.GetFieldCount() == kSettingsColumns && !query.IsEof();
    if (!fits)
        throw CSqlException(CSQL_ERROR, "Not a profile database", false);
}
