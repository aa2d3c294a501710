// CFileDialog: the system's common open and save dialog run through the
// framework. A hook binds the dialog's explorer child window (without owning
// it) to the object, so the CDN_ notifications reach the virtual handlers
// below, and places the dialog when it has been laid out.
//
// Fill the settings, run DoModal, and read the folder and names afterwards.
// A run that is cancelled (or refused by PreDoModal, or failed) changes none
// of the stored results.
#ifndef BRINDLEWOX_FOUNDATION_FILEDIALOG_H
#define BRINDLEWOX_FOUNDATION_FILEDIALOG_H

#include "foundation/Base.h"
#include "foundation/Dialog.h"
#include "foundation/Geometry.h"
#include "foundation/String.h"

#include <commdlg.h>

#include <cstddef>

// The base of the common dialogs: the requested position, and no command
// handling of its own (the system's dialog handles its buttons).
class CCommonDialog : public CDialog
{
public:
    ~CCommonDialog() override;

    LRESULT OnCommand(UINT code, UINT id, HWND control) override;

protected:
    // x CW_USEDEFAULT leaves the placement to the system.
    CPoint m_position;
};

class CFileDialog : public CCommonDialog
{
public:
    // The size of the file-name buffer, and of the current-folder buffer.
    static constexpr int BufferSize = 8192;

    CFileDialog();
    ~CFileDialog() override;

    // CDN_ notifications to the handlers below (CDN_INITDONE places the
    // dialog first). CDN_FILEOK and CDN_SHAREVIOLATION: a non-zero answer
    // of the handler refuses (the answer goes to the system as the
    // notification's result); other codes NotHandled.
    LRESULT OnNotify(NMHDR* header) override;

    // Last chance to change the record before the system dialog opens;
    // false cancels the run. True by default.
    virtual bool PreDoModal(OPENFILENAMEA* record) { return true; }
    virtual int OnFileOK(OFNOTIFYA* notify) { return 0; }
    virtual int OnFolderChange(OFNOTIFYA* notify) { return 0; }
    virtual int OnHelp(OFNOTIFYA* notify) { return 0; }
    virtual int OnInitDone(OFNOTIFYA* notify) { return 0; }
    virtual int OnSelChange(OFNOTIFYA* notify) { return 0; }
    virtual int OnShareViolation(OFNOTIFYA* notify) { return 0; }
    virtual int OnTypeChange(OFNOTIFYA* notify) { return 0; }

    // Runs the open (open set) or save dialog, owned by the owner's window
    // when it has one. The dialog starts in `folder` when given, else in the
    // folder of the last selection, else in the current directory; its
    // file-name field holds `fileName` when given, else the last single
    // name. `flags` are OFN_ flags; a save dialog drops
    // OFN_ALLOWMULTISELECT and adds OFN_OVERWRITEPROMPT. At (x, y), kept
    // inside the nearest monitor's work area, unless x is CW_USEDEFAULT or
    // the dialog is centred on its owner. True when the user chose: the
    // filter index, the folder and the name or names are then stored.
    bool DoModal(CWindow* owner, const char* folder, const char* fileName, bool open, DWORD flags,
                 int x = CW_USEDEFAULT, int y = CW_USEDEFAULT);

    // The chosen names one by one: start with position 0 and call again with
    // each returned position until it returns 0.
    int GetNextFileName(int position, CString& name) const;

    // The folder of the selection, without a trailing backslash except for
    // a drive's root chosen with several names ("C:\").
    const CString& GetFolder() const { return m_folder; }
    // One name, or several separated by tabs.
    const CString& GetFileNames() const { return m_fileNames; }
    int GetFilterIndex() const { return m_filterIndex; }

    // Pairs of description and pattern, each ended by NUL, the list ended by
    // another NUL; not copied, so it must live as long as the object.
    void SetFilter(const char* filter, int index = 1);
    void SetTitle(const char* title) { m_title = title; }
    void SetDefaultExtension(const char* extension) { m_defaultExtension = extension; }
    void SetCenterOnParent(bool centre) { m_centerOnParent = centre ? 1 : 0; }

    // What the system wrote into the file-name buffer: with several names
    // (only an explorer multiple selection puts a NUL right before the first
    // name) the folder and the NUL-separated names, each joined by a tab;
    // otherwise one full path, split at the file-name offset. Reads at most
    // size bytes. False, outputs untouched, for an offset outside the
    // buffer.
    static bool ParseSelection(const char* buffer, int size, WORD fileOffset, CString& folder,
                               CString& names);

    // The hook of every file dialog: at WM_INITDIALOG it binds the object
    // named by the record's custom data (only a live CFileDialog) to the
    // child window; always 0, so the system goes on as usual.
    static UINT_PTR CALLBACK HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // At CDN_INITDONE, on the system's dialog window (the parent of the
    // bound child).
    void PlaceDialog();

    int m_centerOnParent = 0;
    // Not owned: the caller's double-NUL-terminated list.
    const char* m_filter = nullptr;
    int m_filterIndex = 0;
    CString m_title;
    CString m_defaultExtension;
    CString m_folder;
    CString m_fileNames;
};

#ifdef _WIN64
static_assert(sizeof(OPENFILENAMEA) == 152, "the 64-bit OPENFILENAMEA has 152 bytes");
static_assert(offsetof(OPENFILENAMEA, pvReserved) == 136, "its NT 4 form has 136 bytes");
#endif

#endif
