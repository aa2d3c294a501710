// Ids of the message, question and about dialogs (templates 190, 199, 1006,
// 157 in MessageDialogs.rc).
#ifndef BRINDLEWOX_RESOURCES_MESSAGEDIALOGS_H
#define BRINDLEWOX_RESOURCES_MESSAGEDIALOGS_H

// MessageDialog: 190 for reports, 199 for the results of the registry tools
// (the two are alike).
#define IDD_MESSAGE 190
#define IDD_MESSAGE_RESULT 199
// MessageDialogOkCancel: a question with OK (IDOK) and Close (IDCANCEL).
#define IDD_MESSAGE_OKCANCEL 1006
#define IDD_ABOUT 157

// Controls of 190, 199 and 1006 (OK is IDOK, Close IDCANCEL).
#define IDC_MESSAGE_TEXT 372
#define IDC_MESSAGE_SPACER 812 // an empty static, hidden and bound by nothing

// Controls of 157.
#define IDC_ABOUT_GROUP 971
#define IDC_ABOUT_TEXT 501    // its template text carries "{BUILD}"
#define IDC_ABOUT_LABEL 377   // emptied at run time
#define IDC_ABOUT_WARNING 840 // the legal notice
#define IDC_ABOUT_ICON 806    // the program's icon

#endif
