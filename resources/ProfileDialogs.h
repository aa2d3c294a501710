// Ids of the profile-editing dialogs (templates 1002, 3034, 402).
#ifndef BRINDLEWOX_RESOURCES_PROFILEDIALOGS_H
#define BRINDLEWOX_RESOURCES_PROFILEDIALOGS_H

// WhatToAddDialog: one source row of the profile, a file or folder, or a web
// site's database reached through FTP and HTTP.
#define IDD_WHAT_TO_ADD 1002
#define IDC_ADD_BROWSE 3            // "...": picks the path in template 402
#define IDC_ADD_PATH_LABEL 224      // "Path:" (file or folder rows)
#define IDC_ADD_TYPE_LABEL 226      // "Type:"
#define IDC_ADD_URL_LABEL 227       // "Web URL:" (database rows)
#define IDC_ADD_FTP_SERVER_LABEL 228
#define IDC_ADD_FTP_LOGIN_LABEL 229
#define IDC_ADD_FTP_PASSWORD_LABEL 230
#define IDC_ADD_DB_HOST_LABEL 231
#define IDC_ADD_DB_NAME_LABEL 232
#define IDC_ADD_DB_USER_LABEL 233
#define IDC_ADD_DB_PASSWORD_LABEL 234
#define IDC_ADD_FTP_FOLDER_LABEL 235
#define IDC_ADD_PATH 3003           // value1: the path or the web address
#define IDC_ADD_TYPE 3004           // the type combo, the first tab stop
#define IDC_ADD_DB_USER 3010        // value7
#define IDC_ADD_DB_PASSWORD 3011    // value8
#define IDC_ADD_FTP_FOLDER 3012     // value2 after its ":"
#define IDC_ADD_FTP_SERVER 3013     // value2 before its ":"
#define IDC_ADD_FTP_LOGIN 3014      // value3
#define IDC_ADD_FTP_PASSWORD 3015   // value4
#define IDC_ADD_DB_HOST 3016        // value5
#define IDC_ADD_DB_NAME 3017        // value6

// EnterPasswordDialog: the encryption password, typed twice.
#define IDD_ENTER_PASSWORD 3034
#define IDC_PASSWORD_PROMPT 501
#define IDC_PASSWORD_LABEL 3035
#define IDC_CONFIRMATION_LABEL 3036
#define IDC_CONFIRMATION 3037
#define IDC_PASSWORD 3038

// FileFolderSelectionDialog: a file or folder picked from a tree.
#define IDD_FILE_FOLDER_SELECTION 402
#define IDC_SELECTION_TREE 3039

#endif
