// The program's own message boxes: MessageDialog shows a text with OK
// (templates 190 for reports and 199 for the registry tools' results),
// MessageDialogOkCancel asks a question with OK and Close (template 1006).
// Both are skinned dialogs (CSkinnedDialog) made on the caller's stack:
//
//   MessageDialog message(LanguageText("DL_N_101_535", "Task sucessfully completed."));
//   message.DoModal(IDD_MESSAGE);
//
//   MessageDialogOkCancel question(text);
//   if (question.DoModal(IDD_MESSAGE_OKCANCEL) == IDOK) ...
//
// DoModal gives 1 for OK; Close and Esc give 2, which every caller takes as
// a refusal.
#ifndef BRINDLEWOX_APP_MESSAGEDIALOG_H
#define BRINDLEWOX_APP_MESSAGEDIALOG_H

#include "app/SkinnedDialog.h"
#include "foundation/Base.h"
#include "foundation/String.h"
#include "resources/MessageDialogs.h"
#include "skin/CustomStatic.h"
#include "skin/SkinButton.h"

class MessageDialog : public CSkinnedDialog
{
public:
    explicit MessageDialog(const char* text);
    ~MessageDialog() override;

    // Title, background, the OK button ("DL_N_101_126") and the text in
    // IDC_MESSAGE_TEXT, then CDialog's.
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override;

    const CString& GetMessageText() const { return m_message; }

protected:
    // The buttons, after the background exists: OK here.
    virtual void BindButtons();

    CSkinButton m_ok;
    CDialogText m_text{*this};
    CString m_message;
};

class MessageDialogOkCancel : public MessageDialog
{
public:
    explicit MessageDialogOkCancel(const char* text);
    ~MessageDialogOkCancel() override;

protected:
    // OK, then the Close button ("DL_N_101_122").
    void BindButtons() override;

    CSkinButton m_close;
};

// Shows the text on template 190 (or the one given) and waits for OK: the
// usual way to report something to the user.
int ShowMessage(const char* text, UINT templateId = IDD_MESSAGE);
// Asks on template 1006: true only for OK.
bool AskOkCancel(const char* text);

#endif
