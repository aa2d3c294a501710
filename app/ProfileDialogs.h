// The profile-editing dialogs the main window's commands run modally:
// WhatToAddDialog (template 1002) adds a source row or edits one,
// EnterPasswordDialog (3034) sets the encryption password, and
// FileFolderSelectionDialog (402) picks a file or folder from a tree into a
// field of its caller. All three are skinned like the program's other
// dialogs (CSkinnedDialog): the skin's dialog picture behind them, skinned
// buttons, edits and labels, texts from the language file.
//
// The dialogs write through CProfileDB (engine/Profile.h), which builds the
// statements: nothing here writes SQL.
#ifndef BRINDLEWOX_APP_PROFILEDIALOGS_H
#define BRINDLEWOX_APP_PROFILEDIALOGS_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "app/SkinnedDialog.h"
#include "app/EmptyFileTree.h"
#include "engine/Profile.h"
#include "skin/CustomStatic.h"
#include "skin/SkinButton.h"
#include "skin/SkinComboBox.h"

// ---- WhatToAddDialog ----

// The row id of a new row.
constexpr int kNewProfileRow = -1;

class WhatToAddDialog : public CSkinnedDialog
{
public:
    // rowId: kNewProfileRow to add a row, else the id_backup_what of the row
    // to edit. The profile is the user's unless a test names another.
    explicit WhatToAddDialog(int rowId, const CString& profilePath = GetProfilePath());
    ~WhatToAddDialog() override;

    // Binds and skins the controls, fills the type combo (0 "File/Directory",
    // 1 "Database Dump/MySql/PHP"), loads the row being edited and shows the
    // field set of its type.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // 3: picks the path (template 402) into field 3003. 3004: any
    // notification of the type combo switches the field sets. Then OK and
    // Cancel as for every dialog.
    LRESULT OnCommand(UINT code, UINT id, HWND control) override;
    // Stores the fields: a new row is added, an edited one replaced (deleted
    // and added anew in one transaction: it gets a new id at the end of the
    // list, checked, and a failure keeps the old row). The dialog closes
    // either way; a database error is logged, never shown.
    BOOL OnOK() override;

    // The row's fields into the dialog; nothing for a new row or a row that
    // is not there, and a database error leaves the fields empty.
    void LoadItem();
    // Shows the database set (label 227, the FTP and database labels and
    // edits) for type 1 and hides label 224 and the "..." button; the
    // file/folder set for any other type.
    void ShowFieldSet(int type);
    // The fields as a row (value1 as typed; the store encodes it).
    ProfileItem ReadFields() const;

    int GetRowId() const { return m_rowId; }
    // OK's write reached the profile.
    bool WasStored() const { return m_stored; }

protected:
    int SelectedType() const;

    int m_rowId;
    CString m_profilePath;
    bool m_stored = false;
    CSkinButton m_ok;
    CSkinButton m_cancel;
    CSkinButton m_browse;
    CSkinComboBox m_type;
    CCustomStatic m_labels[11];
    CSkinEdit m_edits[9];
};

// ---- EnterPasswordDialog ----

// What becomes of a typed password and its confirmation.
enum class PasswordEntry
{
    Mismatch,  // empty, or the two differ: nothing stored
    Stored,    // the profile holds the password
    NotStored, // the profile could not be written (read-only, not a profile)
};

// They match only when both are non-empty and equal, letter case included.
bool PasswordsMatch(const char* password, const char* confirmation);
// Stores a matching password in the profile.
PasswordEntry StorePassword(CProfileDB& profile, const CString& password,
                            const CString& confirmation);

class EnterPasswordDialog : public CSkinnedDialog
{
public:
    // The longest password the edits take.
    static constexpr int kMaxPasswordLength = 20;

    explicit EnterPasswordDialog(const CString& profilePath = GetProfilePath());
    ~EnterPasswordDialog() override;

    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // Closes (1) only when the password was stored. A mismatch shows "New
    // password and confirmation password do not match!", a failed write
    // "Task failed."; either keeps the dialog open (0), so that the caller
    // never marks the profile encrypted with a password it does not hold.
    BOOL OnOK() override;

    // The texts of edits 3038 and 3037 as OK last read them.
    const CString& GetPassword() const { return m_password; }
    const CString& GetConfirmation() const { return m_confirmation; }
    PasswordEntry GetLastEntry() const { return m_lastEntry; }

protected:
    // A message over the dialog (MessageDialog, template 190); tests
    // replace it.
    virtual void ShowMessage(const CString& text);

    CString m_profilePath;
    CString m_password{""};
    CString m_confirmation{""};
    PasswordEntry m_lastEntry = PasswordEntry::Mismatch;
    CSkinButton m_ok;
    CSkinButton m_cancel;
    CCustomStatic m_labels[3];
    CSkinEdit m_edits[2];
};

// ---- FileFolderSelectionDialog ----

class FileFolderSelectionDialog : public CSkinnedDialog
{
public:
    // target: the caller's field that receives the chosen path (null:
    // none; the path is then only kept here).
    explicit FileFolderSelectionDialog(HWND target);
    ~FileFolderSelectionDialog() override;

    // The tree of every drive with files and folders, "Loading..." over a
    // folder while it fills.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;
    // The selected path (a folder with its trailing backslash, a file
    // without) into the target. Without a selection, or when the selected
    // entry is gone, the target keeps its text: OK never blanks the field
    // (a destination that the caller then saves).
    BOOL OnOK() override;

    // The path OK took; empty when it took none.
    const CString& GetPath() const { return m_path; }
    EmptyFileTree& GetTree() { return m_tree; }

protected:
    HWND m_target;
    CString m_path{""};
    EmptyFileTree m_tree;
    CSkinButton m_ok;
    CSkinButton m_cancel;
};

#endif
