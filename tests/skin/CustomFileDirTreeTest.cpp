// The file and folder tree over a folder of the test's own on C: (never the
// whole Z: drive): lazy filling, order, skip mask, paths, reopening,
// selection by path, the drives, and the walk of a network that Wine cannot
// reach, through a replaced enumerator.
#include "skin/CustomFileDirTree.h"

#include "tests/support/ControlTestSupport.h"
#include "tests/support/TempFolder.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{
CString Text(HWND tree, HTREEITEM node)
{
    char buffer[512] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = buffer;
    item.cchTextMax = sizeof(buffer);
    TreeView_GetItem(tree, &item);
    return CString(buffer);
}

std::vector<std::string> Children(HWND tree, HTREEITEM node)
{
    std::vector<std::string> texts;
    for (HTREEITEM child = TreeView_GetChild(tree, node); child != nullptr;
         child = TreeView_GetNextSibling(tree, child))
        texts.push_back(static_cast<const char*>(Text(tree, child)));
    return texts;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM node, const char* name)
{
    for (HTREEITEM child = TreeView_GetChild(tree, node); child != nullptr;
         child = TreeView_GetNextSibling(tree, child))
        if (Text(tree, child) == name)
            return child;
    return nullptr;
}

bool IsPlaceholderOnly(HWND tree, HTREEITEM node)
{
    HTREEITEM child = TreeView_GetChild(tree, node);
    return child != nullptr && Text(tree, child).IsEmpty() &&
           TreeView_GetNextSibling(tree, child) == nullptr;
}

// The Left key on an open node: a collapse the tree reports (a TVM_EXPAND
// collapse sends no notification).
void CollapseAsTheUser(HWND tree, HTREEITEM node)
{
    TreeView_SelectItem(tree, node);
    SendMessageA(tree, WM_KEYDOWN, VK_LEFT, 0);
}

// A framework window holding a tree: its object offers the tree's
// notifications to the tree's object (reflection).
class FrameworkHost
{
public:
    FrameworkHost()
    {
        StartFramework();
        window.CreateEx(0, "CWindowClass", "host", WS_POPUP, 100, 100, 320, 420, nullptr,
                        nullptr);
    }
    HWND Get() const { return window.GetSafeHwnd(); }

    CWindow window;
};

// A tree of a test's own class on the host.
void CreateTree(CCustomFileDirTree& tree, const FrameworkHost& host)
{
    tree.CreateEx(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 0, 0, 300, 400,
                  host.Get(), reinterpret_cast<HMENU>(1));
}

class TreeOnHost
{
public:
    TreeOnHost()
    {
        tree.CreateEx(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS |
                      TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, 0, 0, 300, 400,
                      host.Get(), reinterpret_cast<HMENU>(1));
    }
    HWND Hwnd() const { return tree.GetSafeHwnd(); }

    FrameworkHost host;
    CCustomFileDirTree tree;
};

// The sample folder: b\, A\, c.txt, B.log, hidden h\ and system s.txt.
class SampleFolder
{
public:
    SampleFolder()
    {
        MakeFolder(temp / "b");
        MakeFolder(temp / "A");
        MakeFolder(temp / "h");
        WriteTextFile(temp / "c.txt", "c");
        WriteTextFile(temp / "B.log", "b");
        WriteTextFile(temp / "s.txt", "s");
        WriteTextFile(temp / "b\\inner.txt", "i");
        SetFileAttributesA(temp / "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
        SetFileAttributesA(temp / "s.txt", FILE_ATTRIBUTE_SYSTEM);
    }
    CString Root() const { return temp.Path(); }

    TempFolder temp{"filetree"};
};
} // namespace

TEST(CustomFileDirTree, RootFillsLazilyInOrderWithoutSkippedEntries)
{
    SampleFolder folder;
    TreeOnHost on;
    HWND tree = on.Hwnd();
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Text(tree, root), folder.Root() + "\\");
    EXPECT_TRUE(IsPlaceholderOnly(tree, root));
    EXPECT_EQ(GetWindowLongA(tree, GWL_STYLE) & TVS_TRACKSELECT, 0);

    TreeView_Expand(tree, root, TVE_EXPAND);
    // Folders first, then files, each sorted without regard to case.
    EXPECT_EQ(Children(tree, root), (std::vector<std::string>{"A", "b", "B.log", "c.txt"}));
    // b holds a file, A nothing: only b gets a placeholder.
    EXPECT_TRUE(IsPlaceholderOnly(tree, ChildNamed(tree, root, "b")));
    EXPECT_EQ(TreeView_GetChild(tree, ChildNamed(tree, root, "A")), nullptr);

    on.tree.SetSkipMask(FILE_ATTRIBUTE_TEMPORARY);
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    root = TreeView_GetRoot(tree);
    TreeView_Expand(tree, root, TVE_EXPAND);
    EXPECT_EQ(Children(tree, root),
              (std::vector<std::string>{"A", "b", "h", "B.log", "c.txt", "s.txt"}));
}

TEST(CustomFileDirTree, FilterOfTwoPatternsListsEachFileOnce)
{
    SampleFolder folder;
    TreeOnHost on;
    HWND tree = on.Hwnd();
    on.tree.SetFileFilter("*.txt;c.*;*.log");
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_Expand(tree, root, TVE_EXPAND);
    EXPECT_EQ(Children(tree, root), (std::vector<std::string>{"A", "b", "B.log", "c.txt"}));
}

TEST(CustomFileDirTree, PathsOfFoldersFilesAndDrives)
{
    SampleFolder folder;
    TreeOnHost on;
    HWND tree = on.Hwnd();
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_Expand(tree, root, TVE_EXPAND);

    HTREEITEM a = ChildNamed(tree, root, "A");
    EXPECT_EQ(on.tree.GetItemPath(a), folder.Root() + "\\A\\");
    EXPECT_TRUE(on.tree.GetItemPath(nullptr).IsEmpty());
    CString path = "untouched";
    EXPECT_FALSE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, "untouched");

    TreeView_SelectItem(tree, a);
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, folder.Root() + "\\A\\");
    TreeView_SelectItem(tree, ChildNamed(tree, root, "c.txt"));
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, folder.Root() + "\\c.txt");

    // A drive node's path comes from its data, not its display text.
    ASSERT_TRUE(on.tree.DisplayTree(""));
    HTREEITEM c = nullptr;
    for (HTREEITEM drive = TreeView_GetRoot(tree); drive != nullptr;
         drive = TreeView_GetNextSibling(tree, drive))
    {
        TVITEMA item = {};
        item.mask = TVIF_PARAM;
        item.hItem = drive;
        TreeView_GetItem(tree, &item);
        if (item.lParam == 'C')
            c = drive;
    }
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(on.tree.GetItemPath(c), "C:\\");
    TreeView_SelectItem(tree, c);
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, "C:\\");
}

TEST(CustomFileDirTree, ReopeningReadsTheDiskAndSelectPathOpensAgain)
{
    SampleFolder folder;
    TreeOnHost on;
    HWND tree = on.Hwnd();
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_Expand(tree, root, TVE_EXPAND);
    HTREEITEM b = ChildNamed(tree, root, "b");
    TreeView_Expand(tree, b, TVE_EXPAND);
    EXPECT_EQ(Children(tree, b), (std::vector<std::string>{"inner.txt"}));

    CollapseAsTheUser(tree, b);
    EXPECT_TRUE(IsPlaceholderOnly(tree, b));
    WriteTextFile(folder.temp / "b\\new.txt", "n");
    TreeView_Expand(tree, b, TVE_EXPAND);
    EXPECT_EQ(Children(tree, b), (std::vector<std::string>{"inner.txt", "new.txt"}));

    // Closed again: selecting a file under it opens it once more.
    CollapseAsTheUser(tree, b);
    EXPECT_TRUE(on.tree.SelectPath(folder.temp / "b\\new.txt"));
    CString path;
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, folder.temp / "b\\new.txt");

    // A missing part selects the deepest node found.
    EXPECT_TRUE(on.tree.SelectPath(folder.temp / "b\\gone\\x.txt"));
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, folder.temp / "b\\");
}

TEST(CustomFileDirTree, HiddenOnlyFolderHasNoPlaceholderAndShowFilesRebuilds)
{
    SampleFolder folder;
    MakeFolder(folder.temp / "A\\deep");
    MakeFolder(folder.temp / "quiet");
    WriteTextFile(folder.temp / "quiet\\x.txt", "x");
    SetFileAttributesA(folder.temp / "quiet\\x.txt", FILE_ATTRIBUTE_HIDDEN);
    TreeOnHost on;
    HWND tree = on.Hwnd();
    ASSERT_TRUE(on.tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_Expand(tree, root, TVE_EXPAND);
    EXPECT_EQ(TreeView_GetChild(tree, ChildNamed(tree, root, "quiet")), nullptr);

    HTREEITEM a = ChildNamed(tree, root, "A");
    TreeView_Expand(tree, a, TVE_EXPAND);
    TreeView_SelectItem(tree, ChildNamed(tree, a, "deep"));
    on.tree.SetShowFiles(false);
    EXPECT_FALSE(on.tree.GetShowFiles());
    root = TreeView_GetRoot(tree);
    EXPECT_EQ(Children(tree, root), (std::vector<std::string>{"A", "b", "quiet"}));
    // b holds only a file: no placeholder without files.
    EXPECT_EQ(TreeView_GetChild(tree, ChildNamed(tree, root, "b")), nullptr);
    CString path;
    ASSERT_TRUE(on.tree.GetSelectedPath(path));
    EXPECT_EQ(path, folder.temp / "A\\deep\\");
    // An unchanged flag changes nothing.
    HTREEITEM before = TreeView_GetRoot(tree);
    on.tree.SetShowFiles(false);
    EXPECT_EQ(TreeView_GetRoot(tree), before);
}

TEST(CustomFileDirTree, EveryDriveWithPlaceholderAndDisplayName)
{
    TreeOnHost on;
    HWND tree = on.Hwnd();
    ASSERT_TRUE(on.tree.DisplayTree(""));
    EXPECT_TRUE(on.tree.GetRootFolder().IsEmpty());
    DWORD mask = GetLogicalDrives();
    std::set<int> seen;
    for (HTREEITEM drive = TreeView_GetRoot(tree); drive != nullptr;
         drive = TreeView_GetNextSibling(tree, drive))
    {
        TVITEMA item = {};
        item.mask = TVIF_PARAM;
        item.hItem = drive;
        TreeView_GetItem(tree, &item);
        int letter = static_cast<int>(item.lParam);
        ASSERT_GE(letter, 'A');
        ASSERT_LE(letter, 'Z');
        seen.insert(letter);
        EXPECT_TRUE(IsPlaceholderOnly(tree, drive));
        char root[4] = {static_cast<char>(letter), ':', '\\', 0};
        SHFILEINFOA info = {};
        SHGetFileInfoA(root, 0, &info, sizeof(info), SHGFI_DISPLAYNAME);
        EXPECT_STREQ(Text(tree, drive), info.szDisplayName);
    }
    std::set<int> expected;
    for (int bit = 0; bit < 26; ++bit)
        if (mask & (1u << bit))
            expected.insert('A' + bit);
    EXPECT_EQ(seen, expected);
}

namespace
{
// A tree whose shell lookup fails for one name.
class TreeWithFailingLookup : public CCustomFileDirTree
{
protected:
    bool LookupIcons(const char* path, int& image, int& selectedImage) override
    {
        std::string text = path;
        if (text.size() >= 5 && text.compare(text.size() - 5, 5, "B.log") == 0)
            return false;
        return CCustomFileDirTree::LookupIcons(path, image, selectedImage);
    }
};
} // namespace

TEST(CustomFileDirTree, AFailedLookupHidesNoSibling)
{
    SampleFolder folder;
    FrameworkHost host;
    TreeWithFailingLookup tree;
    CreateTree(tree, host);
    ASSERT_TRUE(tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree.GetSafeHwnd());
    TreeView_Expand(tree.GetSafeHwnd(), root, TVE_EXPAND);
    EXPECT_EQ(Children(tree.GetSafeHwnd(), root),
              (std::vector<std::string>{"A", "b", "c.txt"}));
}

namespace
{
// A network of one provider without a remote name holding one container,
// which holds one share.
class FakeNetwork : public CNetworkEnumerator
{
public:
    DWORD Open(NETRESOURCEA* container, HANDLE* enumeration) override
    {
        int level = container == nullptr ? 0 : (container->lpRemoteName == nullptr ? 1 : 2);
        *enumeration = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(level + 1));
        delivered[level] = false;
        return NO_ERROR;
    }
    DWORD Next(HANDLE enumeration, DWORD* count, void* buffer, DWORD* size) override
    {
        int level = static_cast<int>(reinterpret_cast<INT_PTR>(enumeration)) - 1;
        if (delivered[level] || level > 2)
            return ERROR_NO_MORE_ITEMS;
        delivered[level] = true;
        EXPECT_EQ(*size, 16384u);
        auto* entry = static_cast<NETRESOURCEA*>(buffer);
        if (level == 0)
        {
            entry->lpRemoteName = nullptr;
            entry->dwUsage = RESOURCEUSAGE_CONTAINER;
        }
        else if (level == 1)
        {
            entry->lpRemoteName = const_cast<char*>("\\\\HOST");
            entry->dwUsage = RESOURCEUSAGE_CONTAINER;
        }
        else
        {
            entry->lpRemoteName = const_cast<char*>("\\\\HOST\\share");
            entry->dwUsage = RESOURCEUSAGE_CONNECTABLE;
        }
        *count = 1;
        return NO_ERROR;
    }
    DWORD Close(HANDLE) override
    {
        ++closed;
        return NO_ERROR;
    }

    bool delivered[3] = {};
    int closed = 0;
};

// The shell knows no icon for a name that does not exist here: any will do.
class TreeWithAnyIcon : public CCustomFileDirTree
{
protected:
    bool LookupIcons(const char*, int& image, int& selectedImage) override
    {
        image = selectedImage = 0;
        return true;
    }
};
} // namespace

namespace
{
// A tree whose shell lookup fails for the first drive, recording whether
// each drive was looked up with the critical-error boxes off.
class TreeWithFailingFirstDrive : public CCustomFileDirTree
{
public:
    std::vector<bool> quietDriveLookups;

protected:
    bool LookupIcons(const char* path, int& image, int& selectedImage) override
    {
        const bool drive = std::strlen(path) == 3 && path[1] == ':';
        if (drive)
        {
            const UINT mode = SetErrorMode(0);
            SetErrorMode(mode);
            quietDriveLookups.push_back((mode & SEM_FAILCRITICALERRORS) != 0);
            if (m_first)
            {
                m_first = false;
                return false;
            }
        }
        return CCustomFileDirTree::LookupIcons(path, image, selectedImage);
    }

private:
    bool m_first = true;
};

// A tree that cannot take the node "b".
class TreeRefusingAnInsert : public CCustomFileDirTree
{
public:
    using CCustomFileDirTree::FillChildren;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == TVM_INSERTITEMA)
        {
            const auto* insert = reinterpret_cast<const TVINSERTSTRUCTA*>(lParam);
            if (insert->item.pszText != nullptr && std::strcmp(insert->item.pszText, "b") == 0)
                return 0;
        }
        return CCustomFileDirTree::WindowProc(message, wParam, lParam);
    }
};
} // namespace

TEST(CustomFileDirTree, ADriveThatFailsHidesNoOtherAndNoBoxAsksForADisk)
{
    FrameworkHost host;
    TreeWithFailingFirstDrive tree;
    CreateTree(tree, host);
    int drives = 0;
    for (DWORD mask = GetLogicalDrives(); mask != 0; mask &= mask - 1)
        ++drives;
    ASSERT_GE(drives, 2) << "C: and Z: at least";
    // The test program runs with the critical-error box already off
    // (GoogleTest's default); the tree must turn it off itself.
    const UINT errorMode = SetErrorMode(0);
    const bool displayed = tree.DisplayTree("");
    SetErrorMode(errorMode);
    EXPECT_FALSE(displayed) << "the failed drive is reported";
    int listed = 0;
    for (HTREEITEM node = TreeView_GetRoot(tree.GetSafeHwnd()); node != nullptr;
         node = TreeView_GetNextSibling(tree.GetSafeHwnd(), node))
        ++listed;
    EXPECT_EQ(listed, drives - 1);
    ASSERT_EQ(static_cast<int>(tree.quietDriveLookups.size()), drives);
    for (bool quiet : tree.quietDriveLookups)
        EXPECT_TRUE(quiet);
}

TEST(CustomFileDirTree, AnEntryTheTreeCannotTakeIsSkippedAndReported)
{
    SampleFolder folder;
    FrameworkHost host;
    TreeRefusingAnInsert tree;
    CreateTree(tree, host);
    ASSERT_TRUE(tree.DisplayTree(folder.Root()));
    HTREEITEM root = TreeView_GetRoot(tree.GetSafeHwnd());
    TreeView_DeleteItem(tree.GetSafeHwnd(), TreeView_GetChild(tree.GetSafeHwnd(), root));
    EXPECT_FALSE(tree.FillChildren(root));
    EXPECT_EQ(Children(tree.GetSafeHwnd(), root),
              (std::vector<std::string>{"A", "B.log", "c.txt"}));
}

TEST(CustomFileDirTree, NetworkEntryWithoutNameIsWalkedNotShown)
{
    FrameworkHost host;
    TreeWithAnyIcon tree;
    tree.CreateEx(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 400, host.Get(),
                  reinterpret_cast<HMENU>(1));
    FakeNetwork network;
    tree.SetNetworkEnumerator(&network);
    EXPECT_TRUE(tree.EnumNetwork(nullptr));
    EXPECT_EQ(Children(tree.GetSafeHwnd(), TVI_ROOT),
              (std::vector<std::string>{"\\\\HOST", "\\\\HOST\\share"}));
    EXPECT_EQ(network.closed, 3);
    // Wine's own mpr has no network: the walk fails and inserts nothing.
    tree.SetNetworkEnumerator(nullptr);
    TreeView_DeleteAllItems(tree.GetSafeHwnd());
    tree.EnumNetwork(nullptr);
    EXPECT_EQ(TreeView_GetCount(tree.GetSafeHwnd()), 0u);
}

TEST(CustomFileDirTree, PlaceholderTextIsDrawnInItsColour)
{
    TreeOnHost on;
    on.tree.SetPlaceholderColor(RGB(200, 0, 0));
    TestCanvas canvas(200, 20);
    canvas.Fill(RGB(255, 255, 255));
    RECT area = {0, 0, 200, 20};
    on.tree.DrawPlaceholder(&canvas.Object(), area);
    GdiFlush();
    EXPECT_TRUE(canvas.Any(area, [](COLORREF c) { return c == RGB(200, 0, 0); }));
    RECT left = {0, 0, 2, 20};
    EXPECT_FALSE(canvas.Any(left, [](COLORREF c) { return c != RGB(255, 255, 255); }));
}
