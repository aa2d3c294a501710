#include "app/ProfileDialogs.h"

#include "engine/SqlDB.h"
#include "resources/ProfileDialogs.h"
#include "skin/SkinFiles.h"
#include "tests/support/WindowTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// A fresh profile and skin folders of the test's own (no skin, no language
// file: English texts, empty pictures).
class ProfileFolder
{
public:
    ProfileFolder()
    {
        StartFramework();
        MakeFolder(m_temp / "Program");
        OverrideSkinFilesFolders(m_temp / "User", m_temp / "Program");
        EXPECT_TRUE(CProfileDB(Path()).CreateIfMissing());
    }
    ~ProfileFolder() { OverrideSkinFilesFolders(nullptr, nullptr); }

    CString Path() const { return m_temp / "profile.prb"; }
    CProfileDB Profile() const { return CProfileDB(Path()); }
    void Execute(const char* sql) const
    {
        CSqlDB db;
        db.Open(Path());
        db.Execute(sql);
    }
    std::vector<ProfileItem> Items() const
    {
        CArray<ProfileItem> items;
        Profile().LoadItems(items);
        return std::vector<ProfileItem>(items.GetData(), items.GetData() + items.GetSize());
    }
    // Every column of the row, as stored.
    std::vector<std::string> Row(int id) const
    {
        CSqlDB db;
        db.Open(Path());
        CString sql;
        sql.Format("SELECT * FROM backup_what WHERE id_backup_what='%d';", id);
        CSqlQuery query = db.Query(sql);
        std::vector<std::string> row;
        if (query.IsEof())
            return row;
        for (int i = 0; i < query.GetFieldCount(); ++i)
            row.push_back(query.GetFieldText(i, "<null>"));
        return row;
    }

private:
    TempFolder m_temp{"profiledlg"};
};

// Makes the file read-only to this process: a handle that shares reading
// only, so the database opens read-only and every write fails. (The
// read-only attribute would not do under Wine run as root, whose writes
// ignore the file's Unix permissions.)
class ReadOnlyLock
{
public:
    explicit ReadOnlyLock(const char* path)
        : m_handle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr))
    {
        EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
    }
    ~ReadOnlyLock()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }

private:
    HANDLE m_handle;
};

std::string Text(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

bool Visible(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Press(HWND dialog, int id)
{
    // As the skinned buttons report: notification code 1.
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 1), 0);
}

// A dialog class with a hook run right after its initialisation.
template <class Dialog> class Hooked : public Dialog
{
public:
    using Dialog::Dialog;
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override
    {
        LRESULT result = Dialog::OnInitDialog(initParam, focus);
        if (afterInit)
            afterInit(this->GetSafeHwnd());
        return result;
    }
    std::function<void(HWND)> afterInit;
};

class TestPasswordDialog : public Hooked<EnterPasswordDialog>
{
public:
    using Hooked<EnterPasswordDialog>::Hooked;
    std::vector<std::string> messages;
    std::function<void(HWND)> onMessage;

protected:
    void ShowMessage(const CString& text) override
    {
        messages.push_back(static_cast<const char*>(text));
        if (onMessage)
            onMessage(GetSafeHwnd());
    }
};

// Runs WhatToAddDialog on the row, typing the fields given (id, text) and
// pressing OK; the dialog's result.
int AddThroughDialog(const ProfileFolder& profile, int rowId,
                     const std::vector<std::pair<int, const char*>>& fields, int type = 0)
{
    Hooked<WhatToAddDialog> dialog(rowId, profile.Path());
    dialog.afterInit = [&](HWND window)
    {
        if (type != 0)
        {
            SendDlgItemMessageA(window, IDC_ADD_TYPE, CB_SETCURSEL, type, 0);
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_ADD_TYPE, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_ADD_TYPE)));
        }
        for (const auto& field : fields)
            SetDlgItemTextA(window, field.first, field.second);
        Press(window, IDOK);
    };
    int result = dialog.DoModal(IDD_WHAT_TO_ADD);
    EXPECT_TRUE(dialog.WasStored());
    return result;
}
} // namespace

TEST(ProfileDialogsTest, AddingAFolderStoresTheRowAsTheStoredFormHasIt)
{
    ProfileFolder profile;
    ASSERT_EQ(AddThroughDialog(profile, kNewProfileRow, {{IDC_ADD_PATH, "C:\\it's here"}}), IDOK);
    std::vector<std::string> row = profile.Row(1);
    std::vector<std::string> expected = {"1", "0", "0", "C:\\it#245#s here", ":", "", "", "",
                                         "",  "",  "",  "1"};
    EXPECT_EQ(row, expected);
}

TEST(ProfileDialogsTest, DatabaseRowJoinsTheFtpFieldsAndKeepsApostrophes)
{
    ProfileFolder profile;
    ASSERT_EQ(AddThroughDialog(profile, kNewProfileRow,
                               {{IDC_ADD_PATH, "www.example.com"},
                                {IDC_ADD_FTP_SERVER, "host"},
                                {IDC_ADD_FTP_FOLDER, "a/b"},
                                {IDC_ADD_FTP_LOGIN, "ann"},
                                {IDC_ADD_FTP_PASSWORD, "pa'ss"},
                                {IDC_ADD_DB_HOST, "localhost"},
                                {IDC_ADD_DB_NAME, "shop"},
                                {IDC_ADD_DB_USER, "o'brien"},
                                {IDC_ADD_DB_PASSWORD, "x"}},
                               PROFILE_ITEM_DATABASE),
              IDOK);
    std::vector<std::string> row = profile.Row(1);
    std::vector<std::string> expected = {"1",         "1",    "0",       "www.example.com",
                                         "host:a/b",  "ann",  "pa'ss",   "localhost",
                                         "shop",      "o'brien", "x",    "1"};
    EXPECT_EQ(row, expected);

    // A database row with empty FTP fields still stores the ":".
    ASSERT_EQ(AddThroughDialog(profile, kNewProfileRow, {{IDC_ADD_PATH, "site"}},
                               PROFILE_ITEM_DATABASE),
              IDOK);
    EXPECT_EQ(profile.Row(2).at(4), ":");
}

TEST(ProfileDialogsTest, EditingARowMovesItToTheEndChecked)
{
    ProfileFolder profile;
    for (const char* path : {"C:\\one", "C:\\two", "C:\\three"})
    {
        ProfileItem item;
        item.path = path;
        profile.Profile().AddItem(item);
    }
    profile.Execute("UPDATE backup_what SET checked='0' WHERE id_backup_what='2';");

    Hooked<WhatToAddDialog> dialog(2, profile.Path());
    std::string shown;
    dialog.afterInit = [&](HWND window)
    {
        shown = Text(window, IDC_ADD_PATH);
        SetDlgItemTextA(window, IDC_ADD_PATH, "C:\\two's new");
        Press(window, IDOK);
    };
    ASSERT_EQ(dialog.DoModal(IDD_WHAT_TO_ADD), IDOK);
    EXPECT_EQ(shown, "C:\\two");

    std::vector<ProfileItem> items = profile.Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].id, 1);
    EXPECT_EQ(items[1].id, 3);
    EXPECT_EQ(items[2].id, 4);
    EXPECT_STREQ(items[2].path, "C:\\two's new");
    EXPECT_TRUE(items[2].checked);
    EXPECT_EQ(profile.Row(4).at(3), "C:\\two#245#s new");
}

TEST(ProfileDialogsTest, FailedEditKeepsTheOldRow)
{
    ProfileFolder profile;
    ProfileItem item;
    item.path = "C:\\kept";
    profile.Profile().AddItem(item);
    // Every insert fails: the delete before it must not be kept.
    profile.Execute("CREATE TRIGGER refuse BEFORE INSERT ON backup_what "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END;");

    Hooked<WhatToAddDialog> dialog(1, profile.Path());
    dialog.afterInit = [](HWND window)
    {
        SetDlgItemTextA(window, IDC_ADD_PATH, "C:\\lost");
        Press(window, IDOK);
    };
    // The dialog closes all the same.
    EXPECT_EQ(dialog.DoModal(IDD_WHAT_TO_ADD), IDOK);
    EXPECT_FALSE(dialog.WasStored());
    std::vector<ProfileItem> items = profile.Items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, 1);
    EXPECT_STREQ(items[0].path, "C:\\kept");
}

TEST(ProfileDialogsTest, LoadingADatabaseRowSplitsItsFtpFieldAndShowsItsFieldSet)
{
    ProfileFolder profile;
    profile.Execute("INSERT INTO backup_what VALUES (NULL, '1', '0', 'it#245#s', 'host', 'l', "
                    "'pa''ss', 'h', 'n', 'u', 'p', '1');");
    profile.Execute("INSERT INTO backup_what VALUES (NULL, '1', '0', 'w', 'a:b:c', '', '', '', "
                    "'', '', '', '1');");

    struct Seen
    {
        std::string path, server, folder, ftpPassword;
        LRESULT type;
        bool url, database[8], pathLabel, browse;
    };
    auto open = [&](int id)
    {
        Seen seen{};
        Hooked<WhatToAddDialog> dialog(id, profile.Path());
        dialog.afterInit = [&](HWND window)
        {
            seen.path = Text(window, IDC_ADD_PATH);
            seen.server = Text(window, IDC_ADD_FTP_SERVER);
            seen.folder = Text(window, IDC_ADD_FTP_FOLDER);
            seen.ftpPassword = Text(window, IDC_ADD_FTP_PASSWORD);
            seen.type = SendDlgItemMessageA(window, IDC_ADD_TYPE, CB_GETCURSEL, 0, 0);
            seen.url = Visible(window, IDC_ADD_URL_LABEL);
            for (int i = 0; i < 8; ++i)
                seen.database[i] = Visible(window, IDC_ADD_DB_USER + i);
            seen.pathLabel = Visible(window, IDC_ADD_PATH_LABEL);
            seen.browse = Visible(window, IDC_ADD_BROWSE);
            Press(window, IDCANCEL);
        };
        EXPECT_EQ(dialog.DoModal(IDD_WHAT_TO_ADD), IDCANCEL);
        return seen;
    };

    Seen first = open(1);
    EXPECT_EQ(first.path, "it's");
    EXPECT_EQ(first.server, "host");
    EXPECT_EQ(first.folder, "");
    EXPECT_EQ(first.ftpPassword, "pa'ss");
    EXPECT_EQ(first.type, 1);
    // The database set is shown as the dialog opens (3010 to 3017, 227).
    EXPECT_TRUE(first.url);
    for (bool shown : first.database)
        EXPECT_TRUE(shown);
    EXPECT_FALSE(first.pathLabel);
    EXPECT_FALSE(first.browse);

    Seen second = open(2);
    EXPECT_EQ(second.server, "a");
    EXPECT_EQ(second.folder, "b:c");

    // Cancel stored nothing.
    EXPECT_EQ(profile.Items().size(), 2u);
}

TEST(ProfileDialogsTest, NewRowOpensWithTheFileSetAndTheComboSwitchesIt)
{
    ProfileFolder profile;
    Hooked<WhatToAddDialog> dialog(kNewProfileRow, profile.Path());
    std::vector<bool> seen;
    dialog.afterInit = [&](HWND window)
    {
        seen.push_back(Visible(window, IDC_ADD_PATH_LABEL));
        seen.push_back(Visible(window, IDC_ADD_DB_NAME));
        SendDlgItemMessageA(window, IDC_ADD_TYPE, CB_SETCURSEL, 1, 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_ADD_TYPE, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_ADD_TYPE)));
        seen.push_back(Visible(window, IDC_ADD_PATH_LABEL));
        seen.push_back(Visible(window, IDC_ADD_DB_NAME));
        SendDlgItemMessageA(window, IDC_ADD_TYPE, CB_SETCURSEL, 0, 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_ADD_TYPE, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_ADD_TYPE)));
        seen.push_back(Visible(window, IDC_ADD_PATH_LABEL));
        seen.push_back(Visible(window, IDC_ADD_DB_NAME));
        // The combo is the first tab stop.
        seen.push_back(GetNextDlgTabItem(window, nullptr, FALSE) ==
                       GetDlgItem(window, IDC_ADD_TYPE));
        Press(window, IDCANCEL);
    };
    dialog.DoModal(IDD_WHAT_TO_ADD);
    std::vector<bool> expected = {true, false, false, true, true, false, true};
    EXPECT_EQ(seen, expected);
}

TEST(ProfileDialogsTest, PasswordRule)
{
    ProfileFolder profile;
    CProfileDB db = profile.Profile();
    EXPECT_EQ(StorePassword(db, "", ""), PasswordEntry::Mismatch);
    EXPECT_EQ(StorePassword(db, "a", "A"), PasswordEntry::Mismatch);
    EXPECT_EQ(StorePassword(db, "abc", ""), PasswordEntry::Mismatch);
    ProfileSettings settings;
    ASSERT_TRUE(db.LoadSettings(settings));
    EXPECT_STREQ(settings.password, "");

    EXPECT_EQ(StorePassword(db, "it's", "it's"), PasswordEntry::Stored);
    ASSERT_TRUE(db.LoadSettings(settings));
    EXPECT_STREQ(settings.password, "it's");

    // A profile that cannot be written keeps its password, and says so.
    ReadOnlyLock lock(profile.Path());
    EXPECT_EQ(StorePassword(db, "abc", "abc"), PasswordEntry::NotStored);
    ASSERT_TRUE(db.LoadSettings(settings));
    EXPECT_STREQ(settings.password, "it's");
}

TEST(ProfileDialogsTest, PasswordDialogStaysOpenUntilThePasswordIsStored)
{
    ProfileFolder profile;
    ReadOnlyLock lock(profile.Path());
    TestPasswordDialog dialog(profile.Path());
    std::string caption;
    dialog.afterInit = [&](HWND window)
    {
        char text[128] = "";
        GetWindowTextA(window, text, sizeof(text));
        caption = text;
        SetDlgItemTextA(window, IDC_PASSWORD, "abc");
        SetDlgItemTextA(window, IDC_CONFIRMATION, "abd");
        Press(window, IDOK);
    };
    // Each refusal shows a message over the open dialog; the next step is
    // taken from there.
    dialog.onMessage = [&](HWND window)
    {
        if (dialog.messages.size() == 1)
        {
            SetDlgItemTextA(window, IDC_CONFIRMATION, "abc");
            Press(window, IDOK);
        }
        else
        {
            Press(window, IDCANCEL);
        }
    };
    EXPECT_EQ(dialog.DoModal(IDD_ENTER_PASSWORD), IDCANCEL);
    EXPECT_EQ(caption, "Security password");
    std::vector<std::string> expected = {"New password and confirmation password do not match!",
                                         "Task failed."};
    EXPECT_EQ(dialog.messages, expected);
    EXPECT_EQ(dialog.GetLastEntry(), PasswordEntry::NotStored);
    ProfileSettings settings;
    ASSERT_TRUE(profile.Profile().LoadSettings(settings));
    EXPECT_STREQ(settings.password, "");
}

TEST(ProfileDialogsTest, PasswordDialogClosesOnceStored)
{
    ProfileFolder profile;
    TestPasswordDialog dialog(profile.Path());
    dialog.afterInit = [](HWND window) { Press(window, IDOK); };
    dialog.onMessage = [](HWND window)
    {
        SetDlgItemTextA(window, IDC_PASSWORD, "pw1");
        SetDlgItemTextA(window, IDC_CONFIRMATION, "pw1");
        Press(window, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(IDD_ENTER_PASSWORD), IDOK);
    std::vector<std::string> expected = {"New password and confirmation password do not match!"};
    EXPECT_EQ(dialog.messages, expected);
    EXPECT_STREQ(dialog.GetPassword(), "pw1");
    EXPECT_STREQ(dialog.GetConfirmation(), "pw1");
    ProfileSettings settings;
    ASSERT_TRUE(profile.Profile().LoadSettings(settings));
    EXPECT_STREQ(settings.password, "pw1");
}

TEST(ProfileDialogsTest, PasswordEditsTakeTwentyCharacters)
{
    ProfileFolder profile;
    TestPasswordDialog dialog(profile.Path());
    std::string typed[2];
    dialog.afterInit = [&](HWND window)
    {
        const int edits[] = {IDC_PASSWORD, IDC_CONFIRMATION};
        for (int i = 0; i < 2; ++i)
        {
            HWND edit = GetDlgItem(window, edits[i]);
            for (int n = 0; n < 25; ++n)
                SendMessageA(edit, WM_CHAR, 'a' + n, 1);
            typed[i] = Text(window, edits[i]);
        }
        Press(window, IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(IDD_ENTER_PASSWORD), IDCANCEL);
    EXPECT_EQ(typed[0], "abcdefghijklmnopqrst");
    EXPECT_EQ(typed[1], "abcdefghijklmnopqrst");
    EXPECT_TRUE(dialog.messages.empty());
}

TEST(ProfileDialogsTest, SelectionOkWithoutASelectionKeepsTheTarget)
{
    ProfileFolder profile;
    HWND target = CreateWindowExA(0, "EDIT", "C:\\keep\\", WS_POPUP, 0, 0, 100, 20, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    Hooked<FileFolderSelectionDialog> dialog(target);
    // The tree selects its first node when it takes the focus as the dialog
    // shows: the selection is taken away after that, just before OK.
    dialog.afterInit = [&](HWND window)
    {
        PostMessageA(GetDlgItem(window, IDC_SELECTION_TREE), TVM_SELECTITEM, TVGN_CARET, 0);
        Press(window, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(IDD_FILE_FOLDER_SELECTION), IDOK);
    char text[64] = "";
    GetWindowTextA(target, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\keep\\");
    EXPECT_TRUE(dialog.GetPath().IsEmpty());

    // A selected folder that is gone by the time of OK is no choice either.
    TempFolder gone("gone");
    CString path = gone.Path();
    Hooked<FileFolderSelectionDialog> again(target);
    again.afterInit = [&](HWND window)
    {
        again.GetTree().SelectPath(path);
        // A removal refused for a moment (seen once in a parallel run, where
        // other test programs work under C:\bwtest too) is tried again.
        WaitUntil([&] { return RemoveDirectoryA(path) != FALSE; }, wait_bound::kStepMs);
        EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
        Press(window, IDOK);
    };
    EXPECT_EQ(again.DoModal(IDD_FILE_FOLDER_SELECTION), IDOK);
    GetWindowTextA(target, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\keep\\");
    EXPECT_TRUE(again.GetPath().IsEmpty());
    DestroyWindow(target);
}

TEST(ProfileDialogsTest, SelectionOkPutsTheFolderIntoTheTarget)
{
    ProfileFolder profile;
    TempFolder picked("picked");
    MakeFolder(picked / "Sub folder");
    HWND target = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    Hooked<FileFolderSelectionDialog> dialog(target);
    std::string caption;
    dialog.afterInit = [&](HWND window)
    {
        char text[128] = "";
        GetWindowTextA(window, text, sizeof(text));
        caption = text;
        dialog.GetTree().SelectPath(picked / "Sub folder");
        Press(window, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(IDD_FILE_FOLDER_SELECTION), IDOK);
    EXPECT_EQ(caption, "Orvanel Brindlewox");
    char text[MAX_PATH] = "";
    GetWindowTextA(target, text, sizeof(text));
    CString expected = picked / "Sub folder\\";
    EXPECT_STREQ(text, expected);
    EXPECT_STREQ(dialog.GetPath(), expected);
    DestroyWindow(target);
}
