#include "foundation/Node.h"

// Defined here, in one translation unit, and constant-initialised: see the
// header.
CNodeList g_temporaryWindowList;
CNodeList g_windowList;
CNodeList g_gdiList;
CNodeList g_temporaryGdiList;
CNodeList g_dcList;
CNodeList g_temporaryDcList;
CNodeList g_menuList;
CNodeList g_temporaryMenuList;

CNode::~CNode() = default;

void CNodeList::AddHead(CNode* node)
{
    node->m_pPrev = nullptr;
    node->m_pNext = m_pHead;
    if (m_pHead != nullptr)
        m_pHead->m_pPrev = node;
    else
        m_pTail = node;
    m_pHead = node;
    ++m_nCount;
}

bool CNodeList::Remove(CNode* node)
{
    if (node == nullptr)
        return false;
    // A node of this list is the head or its predecessor points at it, and
    // the same from the tail's side. Anything else (a node of another list,
    // or one already removed) is left alone, so a double removal cannot tear
    // the list apart.
    bool linkedBefore = node->m_pPrev != nullptr ? node->m_pPrev->m_pNext == node : m_pHead == node;
    bool linkedAfter = node->m_pNext != nullptr ? node->m_pNext->m_pPrev == node : m_pTail == node;
    if (!linkedBefore || !linkedAfter)
        return false;

    if (node->m_pPrev != nullptr)
        node->m_pPrev->m_pNext = node->m_pNext;
    else
        m_pHead = node->m_pNext;
    if (node->m_pNext != nullptr)
        node->m_pNext->m_pPrev = node->m_pPrev;
    else
        m_pTail = node->m_pPrev;
    node->m_pNext = nullptr;
    node->m_pPrev = nullptr;
    --m_nCount;
    return true;
}

bool CNodeList::Contains(const void* node) const
{
    if (node == nullptr)
        return false;
    for (CNode* n = m_pHead; n != nullptr; n = n->m_pNext)
    {
        if (n == node)
            return true;
    }
    return false;
}
