// The GBK helper that every text test leans on: iconv on Linux, code page 936 on Windows.
// Both must give the bytes of the GBK standard, or a test would compare the library's text
// with the wrong expectation on one of the two systems.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "Gbk.h"

namespace {

struct Encoded {
    const char* utf8;
    const char* gbk;
};

// Code points of the GBK table: GB2312 (lead bytes 0xA1-0xF7), the GBK extension (0x81-0xA0
// and trail bytes below 0xA1), punctuation whose mapping differs between old GB2312 tables
// (U+00B7, U+2014), and the euro sign of code page 936.
const Encoded kTable[] = {
    {"", ""},
    {"abc 123", "abc 123"},
    {"\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},                                          // 中文
    {"\xE4\xB8\x80\xE7\xAD\x89\xE5\x80\x99\xE7\x88\xB5", "\xD2\xBB\xB5\xC8\xBA\xF2\xBE\xF4"},  // 一等候爵
    {"\xC2\xB7\xE2\x80\x94", "\xA1\xA4\xA1\xAA"},                                              // ·—
    {"\xEF\xBC\x8C\xE3\x80\x82", "\xA3\xAC\xA1\xA3"},                                          // ，。
    {"\xE4\xB8\x82", "\x81\x40"},                                                              // 丂
    {"\xE9\xBE\xA5", "\xFD\x9B"},                                                              // 龥
    {"\xE2\x82\xAC", "\x80"},                                                                  // €
    {"a\xE4\xB8\xAD"
     "b",
     "a\xD6\xD0"
     "b"},
};

TEST(GbkHelper, GivesTheBytesOfTheGbkTableBothWays)
{
    for (const Encoded& e : kTable) {
        EXPECT_EQ(std::string(e.gbk), lktest::Gbk(e.utf8)) << e.utf8;
        EXPECT_EQ(std::string(e.utf8), lktest::Utf8(e.gbk)) << e.utf8;
    }
}

TEST(GbkHelper, TextWithoutAGbkFormFailsTheTest)
{
    // U+1F600 has no GBK form: the expectation cannot be written, and the test says so.
    std::string out = "unchanged";
    EXPECT_NONFATAL_FAILURE(out = lktest::Gbk("x\xF0\x9F\x98\x80"), "no GBK form");
    EXPECT_EQ("", out);
    EXPECT_NONFATAL_FAILURE(out = lktest::Gbk("\xFF\xFE"), "no GBK form");  // not UTF-8
}

TEST(GbkHelper, BytesThatAreNotGbkAreShownAsSuch)
{
    EXPECT_EQ("<not GBK>", lktest::Utf8("ab\x81"));    // a lead byte without its trail byte
    EXPECT_EQ("<not GBK>", lktest::Utf8("\xD6\x7F"));  // 0x7F is no trail byte
    EXPECT_EQ("<not GBK>", lktest::Utf8("\xFF\xA1"));  // 0xFF is no lead byte
}

#if defined(_WIN32)
// Tests of the Windows build run under Wine with LC_ALL=zh_CN.UTF-8 (cmake/wine-run.sh),
// which makes the ANSI code page GBK as on the target systems; the library's A functions
// (names of kernel objects, registry names) convert through it.
TEST(WindowsEnvironment, AnsiCodePageIsGbk)
{
    EXPECT_EQ(936u, GetACP()) << "run the Windows tests with the zh_CN.UTF-8 locale";
}
#endif

}  // namespace
