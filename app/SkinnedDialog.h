// CSkinnedDialog: what every small modal dialog of the main program shares.
// Its constructor does the skin and language loading of the program's
// dialogs (the same sequence as the main window's): the settings file with
// its first-run defaults, the chosen skin and language files, and the
// skin's dialog background ([Image] DIALOG, default "dialog.png"). The
// dialog then draws that background over its whole client area, and a
// press anywhere on it drags it (the templates have no caption).
//
// Usage, in a derived dialog's OnInitDialog:
//   InitSkin();                                   // title and background
//   BindSkinButton(m_ok, IDOK, Text("DL_N_101_126", "OK"));
//   ... own controls ...
//   return CDialog::OnInitDialog(initParam, focus);
#ifndef BRINDLEWOX_APP_SKINNEDDIALOG_H
#define BRINDLEWOX_APP_SKINNEDDIALOG_H

#include "foundation/Base.h"
#include "foundation/Dialog.h"
#include "foundation/Gdi.h"
#include "foundation/String.h"
#include "picture/Picture.h"
#include "skin/CustomStatic.h"
#include "skin/SkinFiles.h"

class CSkinButton;
class CWindow;

class CSkinnedDialog : public CDialog
{
public:
    // Writes the first-run settings when [Skin] Directory is missing, opens
    // the skin and language files and loads the background picture (left
    // empty when the file is missing or unreadable).
    CSkinnedDialog();
    ~CSkinnedDialog() override;

    // Draws the background bitmap over the client area with CDC::DrawState;
    // without one the area is filled white, so a skin without its picture
    // never shows what was behind the dialog. 1: nothing else is erased.
    LRESULT OnEraseBkgnd(CDC* dc) override;
    // WM_LBUTTONDOWN also starts a move of the window (WM_NCLBUTTONDOWN with
    // HTCAPTION); every message then goes on to CDialog.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The language file's text of the key, or the English default.
    CString Text(const char* key, const char* english);
    CSkinFiles& GetSkinFiles() { return m_files; }
    const CPicture& GetBackgroundPicture() const { return m_background; }
    HBITMAP GetBackgroundBitmap() const { return m_backgroundBitmap.GetSafeHandle(); }

    // Paints the background (bitmap or white) into the context over the
    // rectangle, the client area in the context's coordinates.
    void PaintBackground(CDC& dc, const CRect& client);
    // The same for a child window's context: the part of the background
    // that lies under the child.
    void PaintBackgroundUnder(CDC& dc, HWND child);

protected:
    // The window title, then the background bitmap: the picture resampled
    // to the client size. Call first in OnInitDialog, before the buttons
    // take their pictures (a button strip may show the dialog behind it).
    void InitSkin();
    // Binds the button to the dialog item, loads the skin's BUTTON_DIALOG
    // picture ("button_dialog.png") and sets the text. False when the
    // dialog has no such item.
    bool BindSkinButton(CSkinButton& button, int id, const CString& text);

private:
    CSkinFiles m_files;
    CPicture m_background;
    CBitmap m_backgroundBitmap;
};

// A text of a skinned dialog: CCustomStatic's text in its font and colour,
// drawn straight onto the dialog's background instead of onto a box of its
// own colour.
class CDialogText : public CCustomStatic
{
public:
    explicit CDialogText(CSkinnedDialog& dialog);
    LRESULT OnPaint(CDC* dc) override;

private:
    // Not owned: the dialog the text belongs to.
    CSkinnedDialog& m_dialog;
};

#endif
