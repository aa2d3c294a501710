#include "foundation/Array.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

static_assert(!std::is_copy_constructible_v<CSimpleArray<int>>);
static_assert(!std::is_copy_constructible_v<CStringArray>);
static_assert(!std::is_copy_constructible_v<CArray<int*>>);

namespace
{
// The reference count of a string's shared block: the first of the three
// header integers in front of the characters.
int Refs(const CString& s)
{
    return reinterpret_cast<const int*>(static_cast<const char*>(s))[-3];
}

// An element type that must be constructed and destroyed, and that counts
// how many of it are alive.
struct Counted
{
    static int live;
    Counted() : value(-7) { ++live; }
    Counted(const Counted& other) : value(other.value), heavy(other.heavy) { ++live; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { --live; }
    int value;
    std::vector<int> heavy; // not movable as bytes
};
int Counted::live = 0;
} // namespace

TEST(ArrayTest, OneAtATimeGrowthFollowsTheCapacitySequence)
{
    CSimpleArray<int> array;
    EXPECT_EQ(array.GetCapacity(), 0);
    EXPECT_EQ(array.GetData(), nullptr);
    std::vector<int> capacities;
    for (int i = 0; i < 64; ++i)
    {
        ASSERT_EQ(array.Add(i * 3), i);
        if (capacities.empty() || capacities.back() != array.GetCapacity())
            capacities.push_back(array.GetCapacity());
    }
    std::vector<int> expected = {4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63, 70};
    EXPECT_EQ(capacities, expected);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(array[i], i * 3) << "index " << i;
}

TEST(ArrayTest, LargeArraysGrowByAnEighthClampedTo1024)
{
    CSimpleArray<int> hundred;
    ASSERT_TRUE(hundred.SetSize(100));
    EXPECT_EQ(hundred.GetCapacity(), 100);
    EXPECT_EQ(hundred.Add(1), 100);
    EXPECT_EQ(hundred.GetCapacity(), 112);

    CSimpleArray<int> large;
    ASSERT_TRUE(large.SetSize(20000));
    EXPECT_EQ(large.Add(1), 20000);
    EXPECT_EQ(large.GetCapacity(), 21024);

    // A jump past capacity + step allocates exactly the size asked for.
    CSimpleArray<int> jump;
    ASSERT_TRUE(jump.SetSize(3));
    ASSERT_TRUE(jump.SetSize(500));
    EXPECT_EQ(jump.GetCapacity(), 500);
}

TEST(ArrayTest, AGivenGrowByStaysInForce)
{
    CStringArray array;
    ASSERT_TRUE(array.SetSize(1, 10));
    EXPECT_EQ(array.GetCapacity(), 10);
    EXPECT_EQ(array.GetGrowBy(), 10);
    ASSERT_TRUE(array.SetSize(11, -1));
    EXPECT_EQ(array.GetCapacity(), 20);
    ASSERT_TRUE(array.SetSize(20));
    EXPECT_EQ(array.Add("x"), 20);
    EXPECT_EQ(array.GetCapacity(), 30);
    EXPECT_EQ(array.GetGrowBy(), 10);
}

TEST(ArrayTest, SetSizeZeroFreesAndTheNextAddAllocatesFour)
{
    CSimpleArray<int> array;
    ASSERT_TRUE(array.SetSize(50));
    ASSERT_TRUE(array.SetSize(0));
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_EQ(array.GetCapacity(), 0);
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.Add(5), 0);
    EXPECT_EQ(array.GetCapacity(), 4);
    EXPECT_EQ(array[0], 5);
}

TEST(ArrayTest, ReExposedAndNewPlainElementsAreZero)
{
    CSimpleArray<int> array;
    ASSERT_TRUE(array.SetSize(8));
    for (int i = 0; i < 8; ++i)
        array[i] = 1000 + i;
    ASSERT_TRUE(array.SetSize(2));
    EXPECT_EQ(array.GetCapacity(), 8);
    ASSERT_TRUE(array.SetSize(8));
    EXPECT_EQ(array[0], 1000);
    EXPECT_EQ(array[1], 1001);
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(array[i], 0) << "index " << i;
    // Growing past the capacity zero-fills too, and keeps the old elements.
    ASSERT_TRUE(array.SetSize(30));
    EXPECT_EQ(array[1], 1001);
    for (int i = 8; i < 30; ++i)
        EXPECT_EQ(array[i], 0) << "index " << i;
}

TEST(ArrayTest, PointerSlotsAreAlwaysZeroed)
{
    int target = 0;
    CArray<int*> array;
    ASSERT_TRUE(array.SetSize(4, -1, true));
    EXPECT_EQ(array.GetCapacity(), 4);
    for (int i = 0; i < 4; ++i)
        array[i] = &target;
    // From size 3 and capacity 4 to size 4, whatever the zero flag.
    ASSERT_TRUE(array.SetSize(3, -1, false));
    ASSERT_TRUE(array.SetSize(4, -1, false));
    EXPECT_EQ(array[3], nullptr);
    EXPECT_EQ(array[2], &target);
    // Beyond the capacity without the zero flag: zeroed as well.
    ASSERT_TRUE(array.SetSize(5, -1, false));
    EXPECT_EQ(array.GetCapacity(), 8);
    EXPECT_EQ(array[4], nullptr);
    EXPECT_EQ(array[0], &target);
    EXPECT_EQ(array.Add(&target), 5);
    ASSERT_TRUE(array.SetSize(0, -1, false));
    EXPECT_EQ(array.GetCapacity(), 0);
    EXPECT_EQ(array.GetData(), nullptr);
}

TEST(ArrayTest, NegativeOrUnaddressableSizesChangeNothing)
{
    CSimpleArray<int> array;
    ASSERT_TRUE(array.SetSize(6));
    array[5] = 42;
    const int* data = array.GetData();
    EXPECT_FALSE(array.SetSize(-1));
    EXPECT_FALSE(array.SetSize(INT_MIN));
    EXPECT_EQ(array.GetSize(), 6);
    EXPECT_EQ(array.GetCapacity(), 6);
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array[5], 42);

    // Elements of 16 GiB: INT_MAX of them cannot be addressed at all.
    struct Huge
    {
        char bytes[1ull << 34];
    };
    CSimpleArray<Huge> huge;
    EXPECT_FALSE(huge.SetSize(INT_MAX));
    EXPECT_EQ(huge.GetSize(), 0);
    EXPECT_EQ(huge.GetCapacity(), 0);
    EXPECT_EQ(huge.GetData(), nullptr);
}

TEST(ArrayTest, StringArraysShareAndReleaseTheirStrings)
{
    CString text("shared text");
    ASSERT_EQ(Refs(text), 1);
    {
        CStringArray array;
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(array.Add(text), i);
        EXPECT_EQ(Refs(text), 11);
        // Shrinking releases the dropped strings.
        ASSERT_TRUE(array.SetSize(4));
        EXPECT_EQ(Refs(text), 5);
        // Regrowing within the capacity gives empty strings, not old ones.
        ASSERT_TRUE(array.SetSize(6));
        EXPECT_TRUE(array[5].IsEmpty());
        EXPECT_EQ(Refs(text), 5);
        EXPECT_STREQ(array[3], "shared text");
    }
    // The destructor releases every live element.
    EXPECT_EQ(Refs(text), 1);
}

TEST(ArrayTest, AddingAnElementOfTheSameArrayDuringGrowth)
{
    CStringArray strings;
    for (int i = 0; i < 4; ++i)
        strings.Add(CString('a' + i, 3));
    ASSERT_EQ(strings.GetCapacity(), 4);
    EXPECT_EQ(strings.Add(strings[1]), 4); // grows: the old buffer is freed
    EXPECT_STREQ(strings[4], "bbb");

    CSimpleArray<int> numbers;
    for (int i = 0; i < 4; ++i)
        numbers.Add(10 + i);
    EXPECT_EQ(numbers.Add(numbers[2]), 4);
    EXPECT_EQ(numbers[4], 12);
}

TEST(ArrayTest, ClassElementsAreConstructedAndDestroyedExactlyOnce)
{
    Counted::live = 0;
    {
        CArray<Counted> array;
        ASSERT_TRUE(array.SetSize(3));
        EXPECT_EQ(Counted::live, 3);
        EXPECT_EQ(array[2].value, -7);
        array[0].value = 11;
        array[0].heavy.assign(100, 5);
        for (int i = 0; i < 40; ++i)
            array.Add(array[0]);
        EXPECT_EQ(Counted::live, 43);
        EXPECT_EQ(array[42].value, 11);
        EXPECT_EQ(array[42].heavy.size(), 100u);
        EXPECT_EQ(array[0].heavy.size(), 100u);
        ASSERT_TRUE(array.SetSize(5));
        EXPECT_EQ(Counted::live, 5);
        CArray<Counted>::DestructElements(nullptr, 0);
    }
    EXPECT_EQ(Counted::live, 0);
}
