#include "app/ProfileDialogs.h"

#include "app/MessageDialog.h"
#include "engine/SqlDB.h"
#include "resources/ProfileDialogs.h"

#include <cstring>

namespace
{
struct LabelText
{
    int id;
    const char* key;
    const char* english;
};

// WhatToAddDialog's labels; the first two belong to no field set, the
// third is the file/folder set's, the rest the database set's.
const LabelText kAddLabels[] = {
    {IDC_ADD_TYPE_LABEL, "DL_N_101_188", "Type:"},
    {IDC_ADD_PATH_LABEL, "DL_N_101_573", "Path:"},
    {IDC_ADD_URL_LABEL, "DL_N_101_574", "Web URL: (www.example.com)"},
    {IDC_ADD_FTP_SERVER_LABEL, "DL_N_101_575", "FTP Server:"},
    {IDC_ADD_FTP_FOLDER_LABEL, "DL_N_101_576", "FTP Dir:"},
    {IDC_ADD_FTP_LOGIN_LABEL, "DL_N_101_577", "FTP Login:"},
    {IDC_ADD_FTP_PASSWORD_LABEL, "DL_N_101_578", "FTP Password:"},
    {IDC_ADD_DB_HOST_LABEL, "DL_N_101_579", "DB Host:"},
    {IDC_ADD_DB_NAME_LABEL, "DL_N_101_580", "DB Name:"},
    {IDC_ADD_DB_USER_LABEL, "DL_N_101_581", "DB User:"},
    {IDC_ADD_DB_PASSWORD_LABEL, "DL_N_101_582", "DB Password:"},
};
static_assert(sizeof(kAddLabels) / sizeof(kAddLabels[0]) == 11, "one entry per label object");

// The edits in the order of ProfileItem's fields: value1, value2's two
// parts, value3 to value8.
const int kAddEdits[] = {IDC_ADD_PATH,         IDC_ADD_FTP_SERVER, IDC_ADD_FTP_FOLDER,
                         IDC_ADD_FTP_LOGIN,    IDC_ADD_FTP_PASSWORD, IDC_ADD_DB_HOST,
                         IDC_ADD_DB_NAME,      IDC_ADD_DB_USER,    IDC_ADD_DB_PASSWORD};
static_assert(sizeof(kAddEdits) / sizeof(kAddEdits[0]) == 9, "one entry per edit object");

// The controls of the database field set (shown for type 1).
const int kDatabaseSet[] = {IDC_ADD_URL_LABEL,        IDC_ADD_FTP_SERVER_LABEL,
                            IDC_ADD_FTP_FOLDER_LABEL, IDC_ADD_FTP_LOGIN_LABEL,
                            IDC_ADD_FTP_PASSWORD_LABEL, IDC_ADD_DB_HOST_LABEL,
                            IDC_ADD_DB_NAME_LABEL,    IDC_ADD_DB_USER_LABEL,
                            IDC_ADD_DB_PASSWORD_LABEL, IDC_ADD_FTP_SERVER,
                            IDC_ADD_FTP_FOLDER,       IDC_ADD_FTP_LOGIN,
                            IDC_ADD_FTP_PASSWORD,     IDC_ADD_DB_HOST,
                            IDC_ADD_DB_NAME,          IDC_ADD_DB_USER,
                            IDC_ADD_DB_PASSWORD};
// The controls of the file/folder set.
const int kFileSet[] = {IDC_ADD_PATH_LABEL, IDC_ADD_BROWSE};

const LabelText kPasswordLabels[] = {
    {IDC_PASSWORD_PROMPT, "DL_N_101_588", "Please enter password:"},
    {IDC_PASSWORD_LABEL, "DL_N_101_589", "New password:"},
    {IDC_CONFIRMATION_LABEL, "DL_N_101_590", "Confirm new password:"},
};

CString ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? CString(item) : CString("");
}

void SetItemText(HWND dialog, int id, const char* text)
{
    SetDlgItemTextA(dialog, id, text);
}

void BindLabel(CSkinnedDialog& dialog, CCustomStatic& label, const LabelText& text)
{
    label.Attach(GetDlgItem(dialog.GetSafeHwnd(), text.id), false);
    label.SetWindowText(dialog.Text(text.key, text.english));
}

void ShowItems(HWND dialog, const int* ids, size_t count, bool show)
{
    for (size_t i = 0; i < count; ++i)
        ShowWindow(GetDlgItem(dialog, ids[i]), show ? SW_SHOW : SW_HIDE);
}
} // namespace

// ---- WhatToAddDialog ----

WhatToAddDialog::WhatToAddDialog(int rowId, const CString& profilePath)
    : m_rowId(rowId), m_profilePath(profilePath)
{
}

WhatToAddDialog::~WhatToAddDialog() = default;

LRESULT WhatToAddDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    HWND dialog = GetSafeHwnd();
    InitSkin();
    BindSkinButton(m_ok, IDOK, Text("DL_N_101_95", "OK"));
    BindSkinButton(m_cancel, IDCANCEL, Text("DL_N_101_127", "Cancel"));
    // The "..." of the template stays.
    BindSkinButton(m_browse, IDC_ADD_BROWSE, CString(GetDlgItem(dialog, IDC_ADD_BROWSE)));
    for (size_t i = 0; i < sizeof(kAddLabels) / sizeof(kAddLabels[0]); ++i)
        BindLabel(*this, m_labels[i], kAddLabels[i]);
    for (size_t i = 0; i < sizeof(kAddEdits) / sizeof(kAddEdits[0]); ++i)
        m_edits[i].Attach(GetDlgItem(dialog, kAddEdits[i]), false);

    m_type.Attach(GetDlgItem(dialog, IDC_ADD_TYPE), false);
    m_type.InsertStringWithData(0, Text("DL_N_101_571", "File/Directory"), PROFILE_ITEM_FILES);
    m_type.InsertStringWithData(1, Text("DL_N_101_572", "Database Dump/MySql/PHP"),
                                PROFILE_ITEM_DATABASE);
    SendMessageA(m_type.GetSafeHwnd(), CB_SETCURSEL, 0, 0);

    LoadItem();
    // The combo's selection was set without a notification: the field set
    // of a database row is shown here, not at the combo's next command.
    ShowFieldSet(SelectedType());
    return CDialog::OnInitDialog(initParam, focus);
}

LRESULT WhatToAddDialog::OnCommand(UINT code, UINT id, HWND control)
{
    // Dispatch on the id alone: the skinned buttons report with code 1.
    if (id == IDC_ADD_BROWSE)
    {
        FileFolderSelectionDialog selection(GetDlgItem(GetSafeHwnd(), IDC_ADD_PATH));
        selection.DoModal(IDD_FILE_FOLDER_SELECTION);
    }
    else if (id == IDC_ADD_TYPE)
    {
        ShowFieldSet(SelectedType());
    }
    return CDialog::OnCommand(code, id, control);
}

BOOL WhatToAddDialog::OnOK()
{
    ProfileItem item = ReadFields();
    CProfileDB profile(m_profilePath);
    try
    {
        if (m_rowId == kNewProfileRow)
            profile.AddItem(item);
        else
            profile.ReplaceItem(m_rowId, item);
        m_stored = true;
    }
    catch (const CSqlException&)
    {
        // Never shown; the caller reloads the list, which shows what the
        // profile holds (the old row, when an edit failed).
        m_stored = false;
    }
    return TRUE;
}

void WhatToAddDialog::LoadItem()
{
    if (m_rowId == kNewProfileRow)
        return;
    ProfileItem item;
    try
    {
        if (!CProfileDB(m_profilePath).LoadItem(m_rowId, item))
            return;
    }
    catch (const CSqlException&)
    {
        return;
    }
    HWND dialog = GetSafeHwnd();
    const CString* values[] = {&item.path,        &item.ftpServer, &item.ftpFolder,
                               &item.ftpLogin,    &item.ftpPassword, &item.dbHost,
                               &item.dbName,      &item.dbUser,    &item.dbPassword};
    for (size_t i = 0; i < sizeof(kAddEdits) / sizeof(kAddEdits[0]); ++i)
        SetItemText(dialog, kAddEdits[i], *values[i]);
    SendMessageA(m_type.GetSafeHwnd(), CB_SETCURSEL, static_cast<WPARAM>(item.type), 0);
}

void WhatToAddDialog::ShowFieldSet(int type)
{
    HWND dialog = GetSafeHwnd();
    bool database = type == PROFILE_ITEM_DATABASE;
    ShowItems(dialog, kDatabaseSet, sizeof(kDatabaseSet) / sizeof(kDatabaseSet[0]), database);
    ShowItems(dialog, kFileSet, sizeof(kFileSet) / sizeof(kFileSet[0]), !database);
}

ProfileItem WhatToAddDialog::ReadFields() const
{
    HWND dialog = GetSafeHwnd();
    ProfileItem item;
    item.type = SelectedType();
    // The hidden set is read too: what was typed there before the type was
    // switched back is kept, as the stored row always has every value.
    CString* values[] = {&item.path,        &item.ftpServer, &item.ftpFolder,
                         &item.ftpLogin,    &item.ftpPassword, &item.dbHost,
                         &item.dbName,      &item.dbUser,    &item.dbPassword};
    for (size_t i = 0; i < sizeof(kAddEdits) / sizeof(kAddEdits[0]); ++i)
        *values[i] = ItemText(dialog, kAddEdits[i]);
    return item;
}

int WhatToAddDialog::SelectedType() const
{
    LRESULT selected = SendMessageA(m_type.GetSafeHwnd(), CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? PROFILE_ITEM_FILES : static_cast<int>(selected);
}

// ---- EnterPasswordDialog ----

bool PasswordsMatch(const char* password, const char* confirmation)
{
    if (password == nullptr || confirmation == nullptr)
        return false;
    return *password != 0 && std::strcmp(password, confirmation) == 0;
}

PasswordEntry StorePassword(CProfileDB& profile, const CString& password,
                            const CString& confirmation)
{
    if (!PasswordsMatch(password, confirmation))
        return PasswordEntry::Mismatch;
    try
    {
        profile.SavePassword(password);
    }
    catch (const CSqlException&)
    {
        return PasswordEntry::NotStored;
    }
    return PasswordEntry::Stored;
}

EnterPasswordDialog::EnterPasswordDialog(const CString& profilePath) : m_profilePath(profilePath)
{
}

EnterPasswordDialog::~EnterPasswordDialog() = default;

LRESULT EnterPasswordDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    HWND dialog = GetSafeHwnd();
    InitSkin();
    SetWindowText(Text("DL_N_101_587", "Security password"));
    BindSkinButton(m_ok, IDOK, Text("DL_N_101_114", "OK"));
    BindSkinButton(m_cancel, IDCANCEL, Text("DL_N_101_113", "Cancel"));
    for (size_t i = 0; i < sizeof(kPasswordLabels) / sizeof(kPasswordLabels[0]); ++i)
        BindLabel(*this, m_labels[i], kPasswordLabels[i]);
    const int edits[] = {IDC_PASSWORD, IDC_CONFIRMATION};
    for (int i = 0; i < 2; ++i)
    {
        m_edits[i].Attach(GetDlgItem(dialog, edits[i]), false);
        SendMessageA(m_edits[i].GetSafeHwnd(), EM_LIMITTEXT, kMaxPasswordLength, 0);
    }
    return CDialog::OnInitDialog(initParam, focus);
}

BOOL EnterPasswordDialog::OnOK()
{
    HWND dialog = GetSafeHwnd();
    m_password = ItemText(dialog, IDC_PASSWORD);
    m_confirmation = ItemText(dialog, IDC_CONFIRMATION);
    CProfileDB profile(m_profilePath);
    m_lastEntry = StorePassword(profile, m_password, m_confirmation);
    switch (m_lastEntry)
    {
    case PasswordEntry::Stored:
        return TRUE;
    case PasswordEntry::Mismatch:
        ShowMessage(Text("DL_N_101_586", "New password and confirmation password do not match!"));
        break;
    case PasswordEntry::NotStored:
        ShowMessage(Text("DL_N_101_534", "Task failed."));
        break;
    }
    return FALSE;
}

// ---- FileFolderSelectionDialog ----

FileFolderSelectionDialog::FileFolderSelectionDialog(HWND target) : m_target(target) {}

FileFolderSelectionDialog::~FileFolderSelectionDialog() = default;

LRESULT FileFolderSelectionDialog::OnInitDialog(LPARAM initParam, HWND focus)
{
    HWND dialog = GetSafeHwnd();
    InitSkin();
    BindSkinButton(m_ok, IDOK, Text("DL_N_101_95", "OK"));
    BindSkinButton(m_cancel, IDCANCEL, Text("DL_N_101_127", "Cancel"));
    m_tree.SubclassAndUpdateFrame(GetDlgItem(dialog, IDC_SELECTION_TREE));
    m_tree.SetPlaceholderText("Loading...");
    m_tree.SetShowFiles(true);
    m_tree.DisplayTree("");
    return CDialog::OnInitDialog(initParam, focus);
}

BOOL FileFolderSelectionDialog::OnOK()
{
    CString path;
    if (m_tree.GetSelectedPath(path))
    {
        m_path = path;
        if (m_target != nullptr && IsWindow(m_target))
            ::SetWindowTextA(m_target, path);
    }
    return CDialog::OnOK();
}

void EnterPasswordDialog::ShowMessage(const CString& text)
{
    ::ShowMessage(text, IDD_MESSAGE);
}
