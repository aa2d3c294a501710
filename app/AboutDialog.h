// AboutDialog (template 157): the product's name and version, a legal
// notice and OK, on the skin's dialog background.
//
//   AboutDialog about;
//   about.DoModal(IDD_ABOUT);
#ifndef BRINDLEWOX_APP_ABOUTDIALOG_H
#define BRINDLEWOX_APP_ABOUTDIALOG_H

#include "app/SkinnedDialog.h"
#include "foundation/Base.h"
#include "foundation/String.h"
#include "resources/MessageDialogs.h"
#include "skin/CustomStatic.h"
#include "skin/SkinButton.h"

// The text with its first "{BUILD}" replaced by the version; a text without
// the placeholder comes back unchanged.
CString ReplaceBuildPlaceholder(const CString& text, const CString& version);

class AboutDialog : public CSkinnedDialog
{
public:
    // The version shown is that of the program file at `programPath`, or of
    // the running program when it is null.
    explicit AboutDialog(const char* programPath = nullptr);
    ~AboutDialog() override;

    // Title and background; OK ("DL_N_101_95") and the group 971; the about
    // text 501 from the template with the version in place of the first
    // "{BUILD}"; 377 emptied; 840 the legal notice ("DL_N_101_331"); then
    // CDialog's.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;

private:
    CSkinButton m_ok;
    CCustomGroup m_group;
    CDialogText m_aboutText{*this};
    CDialogText m_warning{*this};
    CDialogText m_label{*this};
    CString m_programPath;
};

#endif
