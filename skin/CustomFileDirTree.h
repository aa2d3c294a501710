// CCustomFileDirTree: a tree view of the drives and the network
// neighbourhood, or of the folders and files under one root folder, filled
// lazily. A folder node that was never opened holds one placeholder child
// (empty text, image 0); opening it lists its folders, then the files that
// match the filter, each sorted without regard to case, and paints the
// placeholder text ("Loading...") over the placeholder while it fills.
// Closing a node throws its children away, so reopening reads the disk
// again.
//
// Usage:
//   CCustomFileDirTree tree;
//   tree.SubclassAndUpdateFrame(GetDlgItem(dialog, IDC_TREE));
//   tree.DisplayTree("");            // every drive
//   CString path;
//   if (tree.GetSelectedPath(path)) ...   // "C:\Data\" or "C:\Data\a.txt"
//
// The tree's notifications reach it by reflection, so its parent must be a
// framework window or dialog.
#ifndef BRINDLEWOX_SKIN_CUSTOMFILEDIRTREE_H
#define BRINDLEWOX_SKIN_CUSTOMFILEDIRTREE_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/String.h"

#include <winnetwk.h>

#include <vector>

// The network neighbourhood as the tree walks it: WNetOpenEnumA,
// WNetEnumResourceA and WNetCloseEnum of mpr, replaceable so that a walk can
// be tested where the system has no network (Wine answers
// ERROR_NO_NETWORK).
class CNetworkEnumerator
{
public:
    virtual ~CNetworkEnumerator() = default;
    virtual DWORD Open(NETRESOURCEA* container, HANDLE* enumeration);
    virtual DWORD Next(HANDLE enumeration, DWORD* count, void* buffer, DWORD* size);
    virtual DWORD Close(HANDLE enumeration);
};

class CCustomFileDirTree : public CTreeView
{
public:
    static constexpr DWORD DefaultSkipMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

    CCustomFileDirTree();
    ~CCustomFileDirTree() override = default;

    // Fills the tree from scratch: one node for the root folder (its full
    // path as text), or with a null or empty root every drive followed by
    // the network neighbourhood. True when the nodes were inserted.
    bool DisplayTree(const char* root);
    // Lists files (true) or folders only; a changed flag on a filled tree
    // rebuilds it and selects the path selected before.
    void SetShowFiles(bool show);
    // The selected node's path: a folder or drive with its trailing
    // backslash, a file without it. False without a selection, or when the
    // path names nothing (the string is then the node's path all the same).
    bool GetSelectedPath(CString& path);
    // The node's path from the top, each level followed by a backslash; a
    // drive node contributes "X:\" from its item data. Empty for null.
    CString GetItemPath(HTREEITEM node);
    // Opens the nodes along the path (parts compared without regard to
    // case) and selects the last, or the deepest one found. Always true.
    bool SelectPath(const char* path);
    // Inserts a node for the path under the parent (TVI_ROOT for the top),
    // with the shell's small icon and open icon; see the .cpp for the text.
    // Null when a shell lookup or the insertion fails.
    HTREEITEM InsertItem(HTREEITEM parent, const char* path, bool nameOnly,
                         const char* displayName);
    // The node's folder holds at least one entry the tree would list.
    bool HasChildren(HTREEITEM node);
    // Lists the network entries below the container (null: the top) at the
    // top level, walking into containers. True when the walk reached the end.
    bool EnumNetwork(NETRESOURCEA* container);

    void SetFileFilter(const char* filter) { m_filter = filter; }
    void SetSkipMask(DWORD mask) { m_skipMask = mask; }
    void SetPlaceholderText(const char* text) { m_placeholderText = text; }
    void SetPlaceholderColor(COLORREF color) { m_placeholderColor = color; }
    void SetDoubleBuffer(bool on) { m_doubleBuffer = on ? 1 : 0; }
    // Not owned; null puts mpr back.
    void SetNetworkEnumerator(CNetworkEnumerator* enumerator);
    bool GetShowFiles() const { return m_showFiles != 0; }
    const CString& GetRootFolder() const { return m_rootFolder; }

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnItemExpanded(NMTREEVIEWA* info, int& passOn) override;
    LRESULT OnItemExpanding(NMTREEVIEWA* info, int& passOn) override;

    // The placeholder text drawn into the area, vertically centred.
    virtual void DrawPlaceholder(CDC* dc, const RECT& area);
    // Paints the placeholder text over the node's first child (its
    // placeholder) on a window context, in the tree's font and background,
    // as while the node fills.
    void PaintPlaceholderText(HTREEITEM node);
    // A drive without listable children was about to open: nothing here.
    virtual void ReportEmptyFolder(CString path);

protected:
    // The shell's small-icon index of the path, normal and open. False when
    // the shell knows no icon for it (a vanished entry). Replaceable so that
    // a failing lookup can be tested.
    virtual bool LookupIcons(const char* path, int& image, int& selectedImage);
    // Lists the node's children: folders, then (when shown) files. An entry
    // the shell knows no icon for (it vanished) is left out; one the tree
    // cannot take is skipped, its siblings still listed. False when the
    // drive is not ready or an insertion failed.
    bool FillChildren(HTREEITEM node);
    // Every drive with its placeholder, each looked up with no system box
    // asking for a disk. A drive that cannot be listed is skipped, the
    // others still listed, and the result is false.
    bool FillDrives();
    // InsertItem with the icons already looked up: null when the insertion
    // fails.
    HTREEITEM InsertLookedUp(HTREEITEM parent, const char* path, bool nameOnly,
                             const char* displayName, int image, int selectedImage);
    // One placeholder child: empty text, image 0, no shell lookup.
    HTREEITEM InsertPlaceholder(HTREEITEM parent);
    void DeleteChildren(HTREEITEM node);
    COLORREF ResolvePlaceholderColor();

private:
    bool Skipped(DWORD attributes) const { return (attributes & m_skipMask) != 0; }
    std::vector<CString> FilterPatterns() const;
    void SetRedraw(bool on);

    CString m_filter = "*.*";
    CString m_placeholderText = "Loading...";
    CString m_rootFolder;
    COLORREF m_placeholderColor = CLR_DEFAULT;
    DWORD m_skipMask = DefaultSkipMask;
    int m_showFiles = 1;
    int m_doubleBuffer = 1;
    int m_refilling = 0;
    CNetworkEnumerator m_mpr;
    CNetworkEnumerator* m_network = &m_mpr;
};

#endif
