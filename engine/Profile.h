// The profile database: what the user backs up, where and how. One file per
// user, "profile.prb", with two tables:
//
//   backup_what      one row per source, in the order of their ids:
//                    id_backup_what, type_id (0 file or folder, 1 web-site
//                    database), extra_id, value1 .. value8, checked
//   backup_settings  one row with type_id 0: id_backup_settings, type_id,
//                    backup_where (destination), compress, encrypt,
//                    encrypt_pwd
//
// Columns are read by position (SELECT *), so their order is part of the
// stored format. Every value is written as quoted text; integer columns
// hold digits.
//
// Texts in statements:
// - value1 and backup_where are stored encoded: every apostrophe becomes the
//   five characters "#245#" (and comes back on reading). Stored profiles rely
//   on it, so it stays, even though a path that really holds "#245#" reads
//   back with an apostrophe in its place;
// - every other text (FTP and database fields, the password) is stored as
//   typed: its apostrophes are doubled inside the statement, so a value with
//   an apostrophe is stored instead of breaking the statement.
//
// Every operation opens its own connection on the file and closes it before
// returning, so the window, the dialogs and the backup run can use the same
// file from their threads. Database failures throw CSqlException; the copy
// of an import or export throws CFileException.
#ifndef BRINDLEWOX_ENGINE_PROFILE_H
#define BRINDLEWOX_ENGINE_PROFILE_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

// type_id of a backup_what row.
enum ProfileItemType
{
    PROFILE_ITEM_FILES = 0,
    PROFILE_ITEM_DATABASE = 1,
};

// One backup_what row, decoded.
struct ProfileItem
{
    int id = -1; // id_backup_what; the library assigns it when the row is added
    int type = PROFILE_ITEM_FILES;
    int extraId = 0;
    CString path;        // value1: the file or folder, or the site's web address
    CString ftpServer;   // value2 before its first ":"
    CString ftpFolder;   // value2 after it
    CString ftpLogin;    // value3
    CString ftpPassword; // value4
    CString dbHost;      // value5
    CString dbName;      // value6
    CString dbUser;      // value7
    CString dbPassword;  // value8
    bool checked = true; // included in the next run
};

// The backup_settings row.
struct ProfileSettings
{
    // Used as a plain prefix ("Files\" and "Settings" are appended to it), so
    // a usable destination ends with a backslash.
    CString destination;
    bool compress = false;
    bool encrypt = false;
    CString password; // as typed, in plain text; empty: none
};

// The check state of one listed row, as the window saves it.
struct ProfileCheck
{
    int id;
    bool checked;
};

// "'" to "#245#" and back, for value1 and backup_where.
CString EncodeProfileText(const char* text);
CString DecodeProfileText(const char* text);

// value2 is the FTP server, ":" and the FTP folder. Split at the first ":";
// without one the whole text is the server and the folder is empty.
void SplitFtpField(const char* value2, CString& server, CString& folder);
CString JoinFtpField(const char* server, const char* folder);

// The text of a row in the source list: "[FS] " for files and folders,
// "[DB] " for web-site databases (nothing for another type), then the path.
CString ProfileItemText(const ProfileItem& item);

// The per-user profile: the application-data folder followed by
// "\Orvanel Brindlewox\Profile\profile.prb". When the folder query fails the
// path starts at "\Orvanel Brindlewox".
CString GetProfilePath();

class CProfileDB
{
public:
    explicit CProfileDB(const CString& file) : m_file(file) {}
    const CString& GetFile() const { return m_file; }

    // Creates the file with both tables and the settings row (empty
    // destination, no compression, no encryption, empty password) when it
    // does not exist: true when it was created. The three statements run in
    // one transaction, and a failed creation removes the file again, so the
    // next start tries anew instead of finding a file without tables.
    bool CreateIfMissing();

    // Appends the rows of backup_what to items in the order of their ids. A
    // failure throws; the rows read before it stay appended.
    void LoadItems(CArray<ProfileItem>& items) const;
    // The row with this id; false when there is none (item untouched).
    bool LoadItem(int id, ProfileItem& item) const;
    // The settings row; false when the file has none (settings untouched).
    bool LoadSettings(ProfileSettings& settings) const;

    // The window's save: the check state of every listed row, then the
    // destination and the two flags. The boxes may be read before their own
    // click has flipped them: toggled 1 stores the inverse of the compression
    // box's shown state, 2 the inverse of the encryption box's, 0 both as
    // shown. Stored in one transaction, so a failure stores none of it (the
    // next save writes every row again).
    void Save(const CSimpleArray<ProfileCheck>& checks, const CString& destination,
              bool compressShown, bool encryptShown, int toggled);

    // A new row, checked and with extra_id 0 (the stored form's rule for new
    // rows: item.id, item.extraId and item.checked are not used).
    void AddItem(const ProfileItem& item);
    // An edited row is stored anew: the old row is deleted and the item added
    // with a new id (so it moves to the end of the list, checked). One
    // transaction: a failure keeps the old row.
    void ReplaceItem(int id, const ProfileItem& item);
    void DeleteItem(int id);
    // Throws when the password could not be stored, also when the file has
    // no settings row (CSQL_ERROR "Not a profile database").
    void SavePassword(const CString& password);

    // Copies the profile file to the target, replacing it.
    void Export(const CString& target) const;
    // Replaces the profile with a copy of the source, which must be a
    // profile (see CheckProfileFile): anything else is refused before the
    // current profile is touched.
    void Import(const CString& source);

    // Throws unless the file is a profile database: an existing database with
    // both tables in their stored width (12 and 6 columns) and a settings
    // row. A missing file throws SQL_CANTOPEN (14) without creating one; a
    // file that is no database of this library, such as one in the old
    // SQLite 2 format, throws code 26, "file is not a database"; a database
    // of other tables SQL_ERROR (1, "no such table: ..."); wrong widths or no
    // settings row CSQL_ERROR "Not a profile database".
    static void CheckProfileFile(const CString& file);

private:
    CString m_file;
};

#endif
