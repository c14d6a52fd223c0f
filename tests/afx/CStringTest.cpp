// CString: value semantics, and scans that treat a GBK double-byte character as one unit even
// where its trail byte looks like ASCII.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "Gbk.h"
#include "afxstr.h"

namespace {

std::string Bytes(const CString& s) { return std::string(static_cast<const char*>(s), std::size_t(s.GetLength())); }

// Traditional characters whose trail byte is an ASCII character: 東 96 7C '|', 淺 9C 5C '\',
// 擺 94 5B '[', 這 DF 40 '@', 碼 B4 61 'a', 華 C8 41 'A'.
const std::string kEast = lktest::Gbk("東");
const std::string kShallow = lktest::Gbk("淺");
const std::string kSwing = lktest::Gbk("擺");
const std::string kThis = lktest::Gbk("這");
const std::string kCode = lktest::Gbk("碼");
const std::string kChina = lktest::Gbk("華");

TEST(CStringTest, TrailBytesLookLikeAscii)
{
    // The premise of the tests below.
    EXPECT_EQ(kEast, "\x96|");
    EXPECT_EQ(kShallow, "\x9C\\");
    EXPECT_EQ(kSwing, "\x94[");
    EXPECT_EQ(kThis, "\xDF@");
    EXPECT_EQ(kCode,
              "\xB4"
              "a");
    EXPECT_EQ(kChina,
              "\xC8"
              "A");
}

TEST(CStringTest, ConstructsCopiesAndMoves)
{
    const CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_STREQ(empty, "");
    EXPECT_STREQ(CString(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(Bytes(CString("ab\0cd", 5)), std::string("ab\0cd", 5));
    EXPECT_STREQ(CString('x', 3), "xxx");
    EXPECT_TRUE(CString('x', 0).IsEmpty());
    EXPECT_TRUE(CString("abc", -1).IsEmpty());

    CString a("hello");
    CString b(a);
    b.SetAt(0, 'j');
    EXPECT_STREQ(a, "hello");
    EXPECT_STREQ(b, "jello");

    CString c(std::move(b));
    EXPECT_STREQ(c, "jello");
    EXPECT_TRUE(b.IsEmpty());  // a moved-from CString is empty

    c = a;
    EXPECT_STREQ(c, "hello");
    const CString& same = c;
    c = same;  // self-assignment keeps the text
    EXPECT_STREQ(c, "hello");
    c = static_cast<const char*>(c) + 2;  // assignment from its own tail
    EXPECT_STREQ(c, "llo");
    c = 'z';
    EXPECT_STREQ(c, "z");
    c.Empty();
    EXPECT_EQ(c.GetLength(), 0);
}

TEST(CStringTest, ConcatenatesAndCompares)
{
    CString s("ab");
    s += "cd";
    s += 'e';
    s += CString("f");
    EXPECT_STREQ(s, "abcdef");
    s += s;  // appending itself
    EXPECT_STREQ(s, "abcdefabcdef");
    for (int i = 0; i < 1000; ++i) s += 'x';
    EXPECT_EQ(s.GetLength(), 1012);

    EXPECT_STREQ(CString("a") + CString("b"), "ab");
    EXPECT_STREQ(CString("a") + "b", "ab");
    EXPECT_STREQ("a" + CString("b"), "ab");
    EXPECT_STREQ(CString("a") + 'b', "ab");
    EXPECT_STREQ('a' + CString("b"), "ab");

    EXPECT_TRUE(CString("abc") == "abc");
    EXPECT_TRUE("abc" == CString("abc"));
    EXPECT_TRUE(CString("abc") != CString("abd"));
    EXPECT_TRUE(CString("abc") < "abd");
    EXPECT_TRUE("abd" > CString("abc"));
    EXPECT_TRUE(CString("ab") <= CString("ab"));
    EXPECT_TRUE(CString("b") >= "ab");
    // Unsigned byte order: a GBK character sorts after every ASCII character.
    EXPECT_GT(CString(kEast.c_str()).Compare("~"), 0);
    EXPECT_GT(CString("x").Compare(nullptr), 0);
    EXPECT_EQ(CString("").Compare(nullptr), 0);
}

TEST(CStringTest, SubstringsClampToTheString)
{
    const CString s("abcdef");
    struct Case {
        CString got;
        const char* want;
    };
    const Case cases[] = {
        {s.Left(2), "ab"},     {s.Left(-1), ""},   {s.Left(99), "abcdef"}, {s.Mid(4), "ef"},
        {s.Mid(-3), "abcdef"}, {s.Mid(9), ""},     {s.Mid(1, 2), "bc"},    {s.Mid(5, 9), "f"},
        {s.Mid(2, -1), ""},    {s.Right(2), "ef"}, {s.Right(0), ""},       {s.Right(99), "abcdef"},
    };
    for (const Case& c : cases) EXPECT_STREQ(c.got, c.want);
    EXPECT_EQ(s.GetAt(6), '\0');
    EXPECT_EQ(s[-1], '\0');
}

TEST(CStringTest, FindStepsOverDoubleByteCharacters)
{
    const std::string text = "a" + kEast + "|" + kShallow + "\\" + kSwing + "[" + kThis + "@";
    const CString s(text.c_str());
    struct Case {
        char ch;
        int start;
        int want;
    };
    const Case cases[] = {
        {'|', 0, 3},   // not position 2, the trail byte of 東
        {'\\', 0, 6},  // not 5, inside 淺
        {'[', 0, 9},   // not 8, inside 擺
        {'@', 0, 12},  // not 11, inside 這
        {'a', 0, 0},   {'a', 1, -1},
        {'|', 4, -1},  {'|', 2, 3},  // a start inside a character moves to the next character
        {'|', 99, -1}, {'|', -5, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.ch) + " from " + std::to_string(c.start));
        EXPECT_EQ(s.Find(c.ch, c.start), c.want);
    }
    EXPECT_EQ(s.Find('|'), 3);

    EXPECT_EQ(s.Find("|"), 3);
    EXPECT_EQ(s.Find(("|" + kShallow).c_str()), 3);
    EXPECT_EQ(s.Find("@"), 12);
    EXPECT_EQ(s.Find(kSwing.c_str()), 7);
    EXPECT_EQ(s.Find(kSwing.c_str(), 8), -1);
    EXPECT_EQ(s.Find(""), 0);
    EXPECT_EQ(s.Find("", 2), 3);
    // A lead byte alone does not match the first half of a character.
    EXPECT_EQ(s.Find(kEast.substr(0, 1).c_str()), -1);
}

TEST(CStringTest, TrimRemovesOnlyWhiteSpaceCharacters)
{
    struct Case {
        std::string in, left, right;
    };
    const std::string body = kShallow + " x " + kEast;
    const Case cases[] = {
        {" \t\r\n\v\f" + body + " \t\r\n\v\f", body + " \t\r\n\v\f", " \t\r\n\v\f" + body},
        {"   ", "", ""},
        {"", "", ""},
        {body, body, body},
        // A lead byte without its trail is kept whole by both.
        {" \x96 ", "\x96 ", " \x96"},
    };
    for (const Case& c : cases) {
        CString l(c.in.c_str());
        l.TrimLeft();
        EXPECT_EQ(Bytes(l), c.left);
        CString r(c.in.c_str());
        r.TrimRight();
        EXPECT_EQ(Bytes(r), c.right);
    }
}

TEST(CStringTest, CaseChangesOnlyAsciiLetters)
{
    CString up(("abc" + kCode + "xyz" + kChina).c_str());
    up.MakeUpper();
    EXPECT_EQ(Bytes(up), "ABC" + kCode + "XYZ" + kChina);
    CString low(("ABC" + kChina + "XYZ" + kCode).c_str());
    low.MakeLower();
    EXPECT_EQ(Bytes(low), "abc" + kChina + "xyz" + kCode);
}

TEST(CStringTest, ReplaceLeavesDoubleByteCharactersWhole)
{
    CString s(("|" + kEast + "|" + kShallow).c_str());
    EXPECT_EQ(s.Replace('|', '!'), 2);
    EXPECT_EQ(Bytes(s), "!" + kEast + "!" + kShallow);

    CString t(("a|b" + kEast + "a|b").c_str());
    EXPECT_EQ(t.Replace("a|b", "<>"), 2);
    EXPECT_EQ(Bytes(t), "<>" + kEast + "<>");
    EXPECT_EQ(t.Replace("<>", ""), 2);
    EXPECT_EQ(Bytes(t), kEast);
    EXPECT_EQ(t.Replace("|", "x"), 0);  // only inside 東
    EXPECT_EQ(Bytes(t), kEast);
    EXPECT_EQ(t.Replace("", "x"), 0);

    CString grow("aaa");
    EXPECT_EQ(grow.Replace("a", "aa"), 3);  // inserted text is not scanned again
    EXPECT_STREQ(grow, "aaaaaa");
}

TEST(CStringTest, BufferRoundTrip)
{
    CString s;
    char* p = s.GetBuffer(10);
    std::memcpy(p, "0123456789", 10);
    s.ReleaseBuffer(4);
    EXPECT_STREQ(s, "0123");

    p = s.GetBuffer(0);
    p[1] = '\0';
    s.ReleaseBuffer();
    EXPECT_STREQ(s, "0");

    CString empty;
    empty.GetBuffer(0);
    empty.ReleaseBuffer();
    EXPECT_TRUE(empty.IsEmpty());

    // An unterminated buffer is measured up to its size, not past it.
    CString full;
    p = full.GetBuffer(3);
    std::memcpy(p, "abc", 3);
    full.ReleaseBuffer(-1);
    EXPECT_STREQ(full, "abc");
    full.ReleaseBuffer(99);
    EXPECT_EQ(full.GetLength(), 3);
}

TEST(CStringTest, CharPrefixNeverSplitsACharacter)
{
    const std::string s = "ab" + kEast + kShallow;  // 2 + 2 + 2 bytes
    struct Case {
        int max;
        int want;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 6}, {99, 6}};
    for (const Case& c : cases) EXPECT_EQ(AfxCharPrefix(s.c_str(), c.max), c.want) << c.max;
    // A lead byte at the very end has no trail: it is a whole (one-byte) character.
    EXPECT_EQ(AfxCharPrefix("ab\x96", 3), 3);
    // A lead byte before a byte that cannot be a trail stands alone.
    EXPECT_EQ(AfxCharPrefix("\x96 ", 1), 1);
    EXPECT_EQ(AfxCharPrefix("\x96\x7F", 1), 1);
}

}  // namespace
