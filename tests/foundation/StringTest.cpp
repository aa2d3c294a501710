#include "foundation/String.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <thread>

// Reads the block header the way the layout promises: three 32-bit integers
// (count, length, capacity) directly before the first character.
struct CStringTestAccess
{
    static const int* Header(const CString& s) { return reinterpret_cast<const int*>(s.m_pchData) - 3; }
    static bool HasBlock(const CString& s) { return s.m_pchData != nullptr; }
    static int Refs(const CString& s) { return Header(s)[0]; }
    static int Length(const CString& s) { return Header(s)[1]; }
    static int Capacity(const CString& s) { return Header(s)[2]; }
    static const void* Block(const CString& s) { return s.m_pchData; }
};
using A = CStringTestAccess;

TEST(StringTest, BlocksFollowTheCapacityRule)
{
    struct Case
    {
        int length;
        int capacity;
    } cases[] = {{0, 64},    {63, 64},   {64, 128},  {127, 128}, {128, 256}, {300, 320},
                 {383, 384}, {447, 448}, {511, 512}, {512, 520}, {517, 528}, {600, 608}};
    for (const Case& c : cases)
    {
        CString s('x', c.length);
        ASSERT_TRUE(A::HasBlock(s));
        EXPECT_EQ(A::Capacity(s), c.capacity) << "length " << c.length;
        EXPECT_EQ(A::Length(s), c.length);
        EXPECT_EQ(A::Refs(s), 1);
        EXPECT_EQ(static_cast<const char*>(s)[c.length], 0);
    }

    CString grown('a', 63);
    grown += 'b';
    EXPECT_EQ(A::Capacity(grown), 128);
    EXPECT_EQ(grown.GetLength(), 64);
}

TEST(StringTest, EmptyAndNullStrings)
{
    CString null;
    CString fromEmpty("");
    EXPECT_FALSE(A::HasBlock(null));
    ASSERT_TRUE(A::HasBlock(fromEmpty));
    EXPECT_EQ(A::Capacity(fromEmpty), 64);
    EXPECT_EQ(null.GetLength(), 0);
    EXPECT_EQ(fromEmpty.GetLength(), 0);
    EXPECT_STREQ(static_cast<const char*>(null), "");
    EXPECT_STREQ(static_cast<const char*>(fromEmpty), "");
    EXPECT_TRUE(null.IsEmpty());
    EXPECT_TRUE(fromEmpty.IsEmpty());

    // Copying an empty string gives no block; assignment shares even an
    // empty one.
    CString copied(fromEmpty);
    EXPECT_FALSE(A::HasBlock(copied));
    CString assigned;
    assigned = fromEmpty;
    EXPECT_EQ(A::Block(assigned), A::Block(fromEmpty));
    EXPECT_EQ(A::Refs(fromEmpty), 2);
}

TEST(StringTest, EqualityTreatsNullAsUnequalToEverything)
{
    CString null1, null2;
    CString e1(""), e2("");
    CString a("a");
    EXPECT_FALSE(null1 == null2);
    EXPECT_FALSE(null1 == e1);
    EXPECT_FALSE(e1 == null1);
    EXPECT_FALSE(null1 == "");
    EXPECT_FALSE(null1 == a);
    EXPECT_TRUE(null1 == null1); // the same object
    EXPECT_TRUE(e1 == e2);
    EXPECT_TRUE(e1 == "");
    EXPECT_FALSE(e1 == a);
    EXPECT_TRUE(a == "a");
    EXPECT_FALSE(a == "A");
    EXPECT_FALSE(a == static_cast<const char*>(nullptr));
    EXPECT_TRUE(a != "b");

    EXPECT_EQ(null1.CompareNoCase(""), 0);
    EXPECT_EQ(a.CompareNoCase("A"), 0);
    EXPECT_LT(a.CompareNoCase("b"), 0);
    EXPECT_GT(CString("c").CompareNoCase(nullptr), 0);
}

TEST(StringTest, ChangingACopyLeavesTheOriginal)
{
    CString first("shared text");
    CString second;
    second = first;
    EXPECT_EQ(A::Block(first), A::Block(second));
    EXPECT_EQ(A::Refs(first), 2);
    second += " and more";
    EXPECT_STREQ(static_cast<const char*>(first), "shared text");
    EXPECT_STREQ(static_cast<const char*>(second), "shared text and more");
    EXPECT_EQ(A::Refs(first), 1);
    EXPECT_EQ(A::Refs(second), 1);

    // Every changing operation unshares first.
    CString base("Hello World");
    CString c1(base), c2(base), c3(base), c4(base), c5(base), c6(base), c7(base), c8(base);
    c1.MakeUpper();
    c2.MakeLower();
    c3.Replace('o', '0');
    c4.Delete(0, 6);
    c5.Truncate(5);
    c6.Insert(0, ">");
    c7.Empty();
    c8.Trim();
    CString c9(base);
    c9.Format("%d", 7);
    EXPECT_STREQ(static_cast<const char*>(base), "Hello World");
    EXPECT_EQ(A::Refs(base), 2); // c8: trimming nothing shares on
    EXPECT_STREQ(static_cast<const char*>(c1), "HELLO WORLD");
    EXPECT_STREQ(static_cast<const char*>(c2), "hello world");
    EXPECT_STREQ(static_cast<const char*>(c3), "Hell0 W0rld");
    EXPECT_STREQ(static_cast<const char*>(c4), "World");
    EXPECT_STREQ(static_cast<const char*>(c5), "Hello");
    EXPECT_STREQ(static_cast<const char*>(c6), ">Hello World");
    EXPECT_STREQ(static_cast<const char*>(c7), "");
    EXPECT_STREQ(static_cast<const char*>(c9), "7");
}

TEST(StringTest, UnsharingAppliesTheRuleToTheOldCapacity)
{
    CString a("abc");
    CString b(a);
    b.CopyBeforeWrite();
    EXPECT_EQ(A::Capacity(b), 128);
    EXPECT_EQ(A::Capacity(a), 64);
    EXPECT_STREQ(static_cast<const char*>(b), "abc");
}

TEST(StringTest, SelfAssignmentAndAliasing)
{
    CString s("ab");
    CString& alias = s;
    s = alias;
    EXPECT_STREQ(static_cast<const char*>(s), "ab");

    s += s;
    EXPECT_STREQ(static_cast<const char*>(s), "abab");

    CString t("xyz");
    t += static_cast<const char*>(t);
    EXPECT_STREQ(static_cast<const char*>(t), "xyzxyz");

    // Assigning a pointer into one's own block (here a suffix).
    CString u("prefix-suffix");
    u = static_cast<const char*>(u) + 7;
    EXPECT_STREQ(static_cast<const char*>(u), "suffix");

    CString v("12");
    v.Insert(1, static_cast<const char*>(v));
    EXPECT_STREQ(static_cast<const char*>(v), "1122");

    // Growing past the capacity while appending one's own text: the block
    // moves, the text must not be read from the freed one.
    CString w('q', 60);
    w += w;
    w += static_cast<const char*>(w);
    EXPECT_EQ(w.GetLength(), 240);
    EXPECT_EQ(w.Find('r'), -1);

    // Two strings on one block: releasing one must not free the other's.
    CString x("same");
    CString y(x);
    x = y;
    y = x;
    EXPECT_STREQ(static_cast<const char*>(x), "same");
    EXPECT_EQ(A::Refs(x), 2);
}

TEST(StringTest, NullPointersGiveEmptyStrings)
{
    CString s(static_cast<const char*>(nullptr));
    EXPECT_TRUE(s.IsEmpty());
    CString t("text");
    t = static_cast<const char*>(nullptr);
    EXPECT_TRUE(t.IsEmpty());
    CString u("u");
    u += static_cast<const char*>(nullptr);
    EXPECT_STREQ(static_cast<const char*>(u), "u");
    EXPECT_EQ(u.Insert(0, static_cast<const char*>(nullptr)), 1);
    EXPECT_EQ(u.Find(static_cast<const char*>(nullptr)), -1);
}

TEST(StringTest, OutOfRangeIndicesAreClamped)
{
    CString s("hello");
    EXPECT_STREQ(static_cast<const char*>(s.Left(99)), "hello");
    EXPECT_STREQ(static_cast<const char*>(s.Left(-3)), "");
    EXPECT_STREQ(static_cast<const char*>(s.Right(99)), "hello");
    EXPECT_STREQ(static_cast<const char*>(s.Right(2)), "lo");
    EXPECT_STREQ(static_cast<const char*>(s.Mid(3)), "lo");
    EXPECT_STREQ(static_cast<const char*>(s.Mid(3, 99)), "lo");
    EXPECT_STREQ(static_cast<const char*>(s.Mid(99, 2)), "");
    EXPECT_STREQ(static_cast<const char*>(s.Mid(-5, 2)), "he");
    EXPECT_STREQ(static_cast<const char*>(s.Mid(1, 3)), "ell");

    CString d("abcdef");
    EXPECT_EQ(d.Delete(4, 99), 4);
    EXPECT_STREQ(static_cast<const char*>(d), "abcd");
    EXPECT_EQ(d.Delete(99, 1), 4);
    EXPECT_EQ(d.Delete(-1, 1), 4);
    EXPECT_EQ(d.Delete(1, 2), 2);
    EXPECT_STREQ(static_cast<const char*>(d), "ad");

    CString t("abc");
    t.Truncate(10);
    EXPECT_EQ(t.GetLength(), 3);
    EXPECT_STREQ(static_cast<const char*>(t), "abc");
    t.Truncate(-1);
    EXPECT_EQ(t.GetLength(), 3);
    t.Truncate(1);
    EXPECT_STREQ(static_cast<const char*>(t), "a");

    const CString& r = s;
    EXPECT_EQ(r[1], 'e');
    EXPECT_EQ(r[5], 0);
    EXPECT_EQ(r[1000], 0);
    EXPECT_EQ(r[-1], 0);
    CString w("abc");
    w[1000] = 'X'; // lands in no string
    w[-7] = 'Y';
    // Nor on the terminator: the string keeps its end.
    w[3] = 'Z';
    EXPECT_STREQ(static_cast<const char*>(w), "abc");
    EXPECT_EQ(w.GetLength(), 3);
    w[2] = 'C';
    EXPECT_STREQ(static_cast<const char*>(w), "abC");
    CString null;
    null[0] = 'Z';
    EXPECT_STREQ(static_cast<const char*>(null), "");

    CString i("abc");
    EXPECT_EQ(i.Insert(99, 'd'), 4);
    EXPECT_STREQ(static_cast<const char*>(i), "abcd");
    EXPECT_EQ(i.Insert(-4, '_'), 5);
    EXPECT_STREQ(static_cast<const char*>(i), "_abcd");
}

TEST(StringTest, FindAndReverseFind)
{
    CString s("abcabc");
    EXPECT_EQ(s.Find('b'), 1);
    EXPECT_EQ(s.Find('b', 2), 4);
    EXPECT_EQ(s.Find('b', 6), -1);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find("abc", 3), 3);
    EXPECT_EQ(s.Find("abc", 4), -1); // start past length minus the substring's
    EXPECT_EQ(s.Find("abcabcabc"), -1);
    EXPECT_EQ(s.ReverseFind('a'), 3);
    EXPECT_EQ(s.ReverseFind('z'), -1);
    EXPECT_EQ(CString().ReverseFind('a'), -1);
    EXPECT_EQ(CString("").Find('a'), -1);
    EXPECT_EQ(CString().Find("a"), -1);
}

TEST(StringTest, TokenizeDeliversEmptyFieldsAndPositions)
{
    CString s("a\tb\t\tc");
    CString field("untouched");
    int positions[5];
    const char* fields[] = {"a", "b", "", "c"};
    int pos = 0;
    for (int i = 0; i < 4; ++i)
    {
        pos = s.Tokenize('\t', pos, field);
        positions[i] = pos;
        EXPECT_STREQ(static_cast<const char*>(field), fields[i]) << "field " << i;
    }
    EXPECT_EQ(positions[0], 2);
    EXPECT_EQ(positions[1], 4);
    EXPECT_EQ(positions[2], 5);
    EXPECT_EQ(positions[3], 7);
    CString last(field);
    EXPECT_EQ(s.Tokenize('\t', pos, field), 0);
    EXPECT_EQ(field, last);

    // A trailing separator yields no extra field; a leading one an empty one.
    CString trailing("x,");
    EXPECT_EQ(trailing.Tokenize(',', 0, field), 2);
    EXPECT_EQ(trailing.Tokenize(',', 2, field), 0);
    CString leading(",y");
    EXPECT_EQ(leading.Tokenize(',', 0, field), 1);
    EXPECT_STREQ(static_cast<const char*>(field), "");
    EXPECT_EQ(leading.Tokenize(',', 1, field), 3);
    EXPECT_STREQ(static_cast<const char*>(field), "y");

    CString untouched("keep");
    EXPECT_EQ(CString().Tokenize(',', 0, untouched), 0);
    EXPECT_STREQ(static_cast<const char*>(untouched), "keep");
}

TEST(StringTest, AppendingNumbersAndConcatenation)
{
    CString s("n=");
    s.AppendNumber(-5);
    EXPECT_STREQ(static_cast<const char*>(s), "n=-5");
    CString m;
    m.AppendNumber(INT_MIN);
    EXPECT_STREQ(static_cast<const char*>(m), "-2147483648");
    CString x;
    x.AppendNumber(INT_MAX);
    x.AppendNumber(0);
    EXPECT_STREQ(static_cast<const char*>(x), "21474836470");

    CString left("left");
    EXPECT_STREQ(static_cast<const char*>(left + CString("+right")), "left+right");
    EXPECT_STREQ(static_cast<const char*>(left + "!"), "left!");
    EXPECT_STREQ(static_cast<const char*>("<" + left), "<left");
    EXPECT_STREQ(static_cast<const char*>(left), "left");

    CString e("e");
    e += CString();
    e += "";
    EXPECT_STREQ(static_cast<const char*>(e), "e");
}

TEST(StringTest, TrimAndCase)
{
    CString s(" \t padded text \r\n");
    EXPECT_STREQ(static_cast<const char*>(s.Trim()), "padded text");
    CString blank("   ");
    EXPECT_STREQ(static_cast<const char*>(blank.Trim()), "");
    EXPECT_EQ(blank.GetLength(), 0);

    CString mixed("MiXeD 123");
    mixed.MakeLower();
    EXPECT_STREQ(static_cast<const char*>(mixed), "mixed 123");
    mixed.MakeUpper();
    EXPECT_STREQ(static_cast<const char*>(mixed), "MIXED 123");

    // Bytes above 127 go through the mapping as unsigned values.
    CString high("\xE9\xFF");
    high.MakeUpper();
    EXPECT_EQ(high.GetLength(), 2);

    CString r("a.b.c");
    EXPECT_EQ(r.Replace('.', '\\'), 2);
    EXPECT_STREQ(static_cast<const char*>(r), "a\\b\\c");
    EXPECT_EQ(r.Replace('x', 'x'), 0);
}

TEST(StringTest, FormatMeasuresWhatWasWritten)
{
    CString s;
    s.Format("%s=%d [%05x] %c", "key", -12, 0xab, 'z');
    EXPECT_STREQ(static_cast<const char*>(s), "key=-12 [000ab] z");
    EXPECT_EQ(s.GetLength(), static_cast<int>(strlen(s)));

    // A text longer than wvsprintfA's 1,024-character limit comes out whole.
    std::string longText(2000, 'x');
    CString big;
    big.Format("<%s>", longText.c_str());
    EXPECT_EQ(big.GetLength(), 2002);
    EXPECT_EQ(static_cast<int>(strlen(big)), 2002);
    EXPECT_EQ(big[0], '<');
    EXPECT_EQ(big[2001], '>');
    EXPECT_EQ(big.Find('x', 1), 1);
    EXPECT_EQ(CString(big).ReverseFind('x'), 2000);

    // Exactly at the boundary.
    std::string edge(1023, 'y');
    CString e;
    e.Format("%s", edge.c_str());
    EXPECT_EQ(e.GetLength(), 1023);
}

TEST(StringTest, LoadsStringResources)
{
    CString longText(reinterpret_cast<const char*>(101));
    ASSERT_EQ(longText.GetLength(), 300);
    EXPECT_EQ(longText[0], 'a');
    EXPECT_EQ(longText[299], 'a' + 299 % 26);

    CString shortText;
    shortText = reinterpret_cast<const char*>(102);
    EXPECT_STREQ(static_cast<const char*>(shortText), "short text");

    CString s;
    EXPECT_TRUE(s.LoadString(103));
    EXPECT_EQ(s.GetLength(), 255);
    EXPECT_TRUE(s.LoadString(104));
    EXPECT_EQ(s.GetLength(), 254);
    EXPECT_FALSE(s.LoadString(9999));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringTest, SystemErrorTexts)
{
    CString unknown;
    unknown.FormatErrorMessage(0x2A3B4C5D);
    EXPECT_STREQ(static_cast<const char*>(unknown), "Error 708529245 occured.");

    CString known;
    known.FormatErrorMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(known.IsEmpty());
    EXPECT_EQ(known.Find("occured"), -1);

    SetLastError(ERROR_ACCESS_DENIED);
    CString last;
    last.FormatErrorMessage(0);
    CString denied;
    denied.FormatErrorMessage(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(last == denied);
}

TEST(StringTest, WindowTextKeepsOnlyWhatWasCopied)
{
    HWND edit = CreateWindowExA(0, "EDIT", "window text", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    CString s(edit);
    EXPECT_STREQ(static_cast<const char*>(s), "window text");
    EXPECT_EQ(s.GetLength(), 11);
    s += "!";
    EXPECT_STREQ(static_cast<const char*>(s), "window text!");
    CString t;
    EXPECT_EQ(t.GetWindowText(edit), 11);
    EXPECT_STREQ(static_cast<const char*>(t.AssignWindowText(edit)), "window text");
    DestroyWindow(edit);
}

TEST(StringTest, GetBufferGivesAnUnsharedBlock)
{
    CString a("old contents");
    CString b(a);
    char* p = b.GetBuffer(5);
    memcpy(p, "fresh", 5);
    EXPECT_STREQ(static_cast<const char*>(b), "fresh");
    EXPECT_STREQ(static_cast<const char*>(a), "old contents");
    EXPECT_EQ(A::Refs(a), 1);
    p = b.GetBuffer(10);
    strcpy(p, "abc");
    b.Truncate(3);
    EXPECT_EQ(b.GetLength(), 3);
}

TEST(StringTest, CopiesAcrossThreadsKeepTheCountRight)
{
    CString shared("shared between threads");
    auto work = [&shared] {
        for (int i = 0; i < 200000; ++i)
        {
            CString copy(shared);
            CString other;
            other = copy;
        }
    };
    std::thread t1(work), t2(work), t3(work);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(A::Refs(shared), 1);
    EXPECT_STREQ(static_cast<const char*>(shared), "shared between threads");
}
