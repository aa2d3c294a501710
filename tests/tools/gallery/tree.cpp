// Mode "tree": the file and folder tree over a folder the gallery makes
// under C:\bwtest (never the Z: drive): the root and one folder open, and a
// third folder held in its "Loading..." state by a hook of this file (the
// node opens without being filled, and every paint draws the placeholder
// text over its placeholder child, as the tree does while a node fills).
#include "skin/CustomFileDirTree.h"
#include "tests/tools/gallery/Gallery.h"

#include <commctrl.h>

namespace
{
// A tree that never fills one node and keeps its placeholder text drawn.
class HeldTree : public CCustomFileDirTree
{
public:
    void Hold(HTREEITEM node) { m_held = node; }

    LRESULT OnItemExpanded(NMTREEVIEWA* info, int& passOn) override
    {
        if (info != nullptr && info->itemNew.hItem == m_held && m_held != nullptr)
            return 0;
        return CCustomFileDirTree::OnItemExpanded(info, passOn);
    }

    LRESULT OnPaint(CDC* dc) override
    {
        LRESULT result = CCustomFileDirTree::OnPaint(dc);
        if (m_held != nullptr)
            PaintPlaceholderText(m_held);
        return result;
    }

private:
    HTREEITEM m_held = nullptr;
};

HTREEITEM ChildNamed(HWND tree, HTREEITEM node, const char* name)
{
    for (HTREEITEM child = TreeView_GetChild(tree, node); child != nullptr;
         child = TreeView_GetNextSibling(tree, child))
    {
        char buffer[260] = {};
        TVITEMA item = {};
        item.mask = TVIF_TEXT;
        item.hItem = child;
        item.pszText = buffer;
        item.cchTextMax = sizeof(buffer);
        TreeView_GetItem(tree, &item);
        if (lstrcmpiA(buffer, name) == 0)
            return child;
    }
    return nullptr;
}

void Write(const CString& path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

class TreeMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        CreateDirectoryA("C:\\bwtest", nullptr);
        m_root.Format("C:\\bwtest\\gallery-tree-%lu", GetCurrentProcessId());
        CreateDirectoryA(m_root, nullptr);
        for (const char* folder : {"\\Documents", "\\Documents\\Letters", "\\Documents\\Invoices",
                                   "\\Music", "\\Music\\Albums", "\\Pictures", "\\Pictures\\2026"})
            CreateDirectoryA(m_root + folder, nullptr);
        for (const char* file : {"\\notes.txt", "\\Budget.log", "\\Documents\\summary.txt",
                                 "\\Documents\\Letters\\to bank.txt", "\\Music\\list.txt"})
            Write(m_root + file);

        host.AddCaption("a folder with two levels open, Music loading", 12, 8, 320);
        HWND window = host.AddChild("tree", WC_TREEVIEWA, "",
                                    WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                        TVS_SHOWSELALWAYS,
                                    12, 24, 320, 300);
        auto& tree = host.Make<HeldTree>();
        if (window == nullptr || !tree.Attach(window, false))
            return;
        m_tree = &tree;
        tree.DisplayTree(m_root);
        HTREEITEM root = TreeView_GetRoot(window);
        TreeView_Expand(window, root, TVE_EXPAND);
        HTREEITEM documents = ChildNamed(window, root, "Documents");
        TreeView_Expand(window, documents, TVE_EXPAND);
        TreeView_SelectItem(window, ChildNamed(window, documents, "summary.txt"));
        HTREEITEM music = ChildNamed(window, root, "Music");
        tree.Hold(music);
        TreeView_Expand(window, music, TVE_EXPAND);
    }

    ~TreeMode() override
    {
        // The gallery's folder goes with it (files first, then folders).
        for (const char* file : {"\\notes.txt", "\\Budget.log", "\\Documents\\summary.txt",
                                 "\\Documents\\Letters\\to bank.txt", "\\Music\\list.txt"})
            DeleteFileA(m_root + file);
        for (const char* folder : {"\\Documents\\Letters", "\\Documents\\Invoices",
                                   "\\Documents", "\\Music\\Albums", "\\Music",
                                   "\\Pictures\\2026", "\\Pictures", ""})
            RemoveDirectoryA(m_root + folder);
    }

private:
    CString m_root;
    HeldTree* m_tree = nullptr;
};
} // namespace

GALLERY_MODE(tree, TreeMode, 344, 336, GalleryPlain);
