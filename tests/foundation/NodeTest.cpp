#include "foundation/Node.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

namespace
{
class Item : public CNode
{
};

// The list from head to tail, checked against the links from tail to head.
std::vector<CNode*> Walk(const CNodeList& list)
{
    std::vector<CNode*> forward;
    for (CNode* n = list.GetHead(); n != nullptr; n = n->GetNext())
        forward.push_back(n);
    std::vector<CNode*> backward;
    for (CNode* n = list.GetTail(); n != nullptr; n = n->GetPrev())
        backward.insert(backward.begin(), n);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(static_cast<int>(forward.size()), list.GetCount());
    return forward;
}
} // namespace

static_assert(!std::is_copy_constructible_v<CNode>, "a node is linked by address");

TEST(NodeTest, AddAtHeadAndRemoveHeadTailAndInnerNodes)
{
    CNodeList list;
    Item a, b, c, d;
    for (Item* item : {&a, &b, &c, &d})
        list.AddHead(item);
    EXPECT_EQ(Walk(list), (std::vector<CNode*>{&d, &c, &b, &a}));

    EXPECT_TRUE(list.Remove(&b));
    EXPECT_EQ(Walk(list), (std::vector<CNode*>{&d, &c, &a}));
    EXPECT_TRUE(list.Remove(&d));
    EXPECT_EQ(Walk(list), (std::vector<CNode*>{&c, &a}));
    EXPECT_TRUE(list.Remove(&a));
    EXPECT_EQ(Walk(list), (std::vector<CNode*>{&c}));
    EXPECT_TRUE(list.Remove(&c));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.GetTail(), nullptr);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(NodeTest, NodesOfOtherListsAreLeftAlone)
{
    CNodeList first;
    CNodeList second;
    Item a, b, c, loose;
    first.AddHead(&a);
    first.AddHead(&b);
    second.AddHead(&c);

    EXPECT_FALSE(first.Remove(&c));
    EXPECT_FALSE(first.Remove(&loose));
    EXPECT_FALSE(first.Remove(nullptr));
    EXPECT_TRUE(first.Remove(&a));
    // Removing twice changes nothing.
    EXPECT_FALSE(first.Remove(&a));
    EXPECT_EQ(Walk(first), (std::vector<CNode*>{&b}));
    EXPECT_EQ(Walk(second), (std::vector<CNode*>{&c}));

    EXPECT_TRUE(first.Contains(&b));
    EXPECT_FALSE(first.Contains(&c));
    EXPECT_FALSE(first.Contains(reinterpret_cast<void*>(0x10)));
    EXPECT_FALSE(first.Contains(nullptr));
    first.Remove(&b);
    second.Remove(&c);
}
