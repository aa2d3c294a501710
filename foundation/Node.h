// CNode, the base of every framework object that wraps a system handle, and
// CNodeList, the intrusive list in which each such class keeps its live
// objects so that a raw handle can be turned back into its object.
//
// Every handle-wrapping class has two lists: the permanent one of the
// objects the program made, and the temporary one of wrappers made on demand
// for foreign handles; the modal loop deletes the temporary wrappers after
// every message. All lists belong to the user-interface thread and take no
// locks.
//
// The list objects are constant-initialised (a constexpr constructor and no
// destructor): they exist before any constructor of any translation unit
// runs, so a framework object made during static set-up can always link
// itself, whatever order the linker put the static constructors in.
#ifndef BRINDLEWOX_FOUNDATION_NODE_H
#define BRINDLEWOX_FOUNDATION_NODE_H

#include "foundation/Base.h"

class CWindow;

class CNode
{
public:
    CNode() = default;
    CNode(const CNode&) = delete;
    CNode& operator=(const CNode&) = delete;
    virtual ~CNode();

    CNode* GetNext() const { return m_pNext; }
    CNode* GetPrev() const { return m_pPrev; }

private:
    friend class CNodeList;
    CNode* m_pNext = nullptr;
    CNode* m_pPrev = nullptr;
};

class CNodeList
{
public:
    constexpr CNodeList() = default;
    CNodeList(const CNodeList&) = delete;
    CNodeList& operator=(const CNodeList&) = delete;

    // Links the node in front of the head. The node must not be in a list.
    void AddHead(CNode* node);
    // Unlinks the node; false (and nothing changed) when the node is not an
    // element of this list.
    bool Remove(CNode* node);
    // Whether the pointer is an element of this list. Compares pointers only,
    // so it is safe on any value, also one that points nowhere.
    bool Contains(const void* node) const;

    CNode* GetHead() const { return m_pHead; }
    CNode* GetTail() const { return m_pTail; }
    int GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    // For the window lists only: the first window object from the head whose
    // handle is the one asked for and a live window; null when none.
    CWindow* FindWindow(HWND window) const;

private:
    CNode* m_pHead = nullptr;
    CNode* m_pTail = nullptr;
    int m_nCount = 0;
};

// The object lists of the framework, one pair per handle-wrapping class.
// Windows (Window.cpp):
extern CNodeList g_windowList;
extern CNodeList g_temporaryWindowList;
// GDI objects and device contexts (filled by the device-context wrappers):
extern CNodeList g_gdiList;
extern CNodeList g_temporaryGdiList;
extern CNodeList g_dcList;
extern CNodeList g_temporaryDcList;
// Menus (filled by the menu wrappers; a bitmap menu is a menu of
// g_menuList like any other):
extern CNodeList g_menuList;
extern CNodeList g_temporaryMenuList;

#endif
