// The exported registry helpers. Win32 calls only (to look at what they stored), so this
// file also runs in the Windows build.
#include "RegKey.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "Gbk.h"
#include "RegTestFixture.h"
#include "WineCheck.h"

namespace {

using regtest::KeyCloser;

// Each test uses its own szKey below Software\szDomain and removes it afterwards.
class RegKeyHelpers : public regtest::RegTest {
protected:
    void SetUp() override
    {
        m_key = std::string("lobbykit-test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Clean();
    }
    void TearDown() override { Clean(); }

    void Clean()
    {
        const LONG err = lobbykit::regtool::DeleteKeyTree(HKEY_CURRENT_USER, Full());
        ASSERT_TRUE(err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND) << err;
    }

    std::string Full(const std::string& sub = std::string()) const
    {
        const std::string k = "Software\\szDomain\\" + m_key;
        return sub.empty() ? k : k + "\\" + sub;
    }

    // Type and bytes of a value, read with the Win32 calls.
    bool Raw(const std::string& keyPath, const char* item, DWORD& type, std::string& data)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        BYTE buf[1024];
        DWORD cb = sizeof(buf);
        const LONG err = RegQueryValueExA(key, item, nullptr, &type, buf, &cb);
        RegCloseKey(key);
        data.assign(reinterpret_cast<char*>(buf), cb);
        return err == ERROR_SUCCESS;
    }

    const char* K() const { return m_key.c_str(); }

    std::string m_key;
};

TEST_F(RegKeyHelpers, StringIsStoredWithoutItsNulAndReadWithOne)
{
    ASSERT_EQ(1, RegWriteKeyStr(K(), "sub", "name", "abc"));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw(Full("sub"), "name", type, data));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(regtest::StoredSz("abc"), data);

    char buf[260];
    std::memset(buf, 'x', sizeof(buf));
    unsigned long len = sizeof(buf);
    ASSERT_EQ(1, RegReadKeyStr(K(), "sub", "name", buf, len));
    EXPECT_EQ(regtest::StoredSz("abc").size(), len);
    EXPECT_EQ(0, std::memcmp(buf, "abc\0", 4));
}

TEST_F(RegKeyHelpers, GbkTextComesBackByteForByte)
{
    const std::string text = lktest::Gbk("大厅设置");
    ASSERT_EQ(1, RegWriteKeyStr(K(), nullptr, lktest::Gbk("名字").c_str(), text.c_str()));
    char buf[64];
    unsigned long len = sizeof(buf);
    ASSERT_EQ(1, RegReadKeyStr(K(), nullptr, lktest::Gbk("名字").c_str(), buf, len));
    EXPECT_EQ(regtest::StoredSz(text), std::string(buf, len));
}

TEST_F(RegKeyHelpers, NumberRoundTripsAndIsNotAString)
{
    ASSERT_EQ(1, RegWriteKeyInt(K(), nullptr, "n", 7));
    unsigned long n = 0;
    ASSERT_EQ(1, RegReadKeyInt(K(), nullptr, "n", n));
    EXPECT_EQ(7u, n);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw(Full(), "n", type, data));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(std::string("\x07\0\0\0", 4), data);  // little-endian

    char buf[16];
    unsigned long len = sizeof(buf);
    EXPECT_EQ(0, RegReadKeyStr(K(), nullptr, "n", buf, len));

    ASSERT_EQ(1, RegWriteKeyInt(K(), nullptr, "neg", -2));
    ASSERT_EQ(1, RegReadKeyInt(K(), nullptr, "neg", n));
    EXPECT_EQ(0xFFFFFFFEu, n);
}

TEST_F(RegKeyHelpers, TypedReadsRefuseOtherTypesAndLengths)
{
    unsigned char five[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(1, RegWriteKeyBin(K(), nullptr, "bin", five, sizeof(five)));
    unsigned long n = 12345;
    EXPECT_EQ(0, RegReadKeyInt(K(), nullptr, "bin", n));
    EXPECT_EQ(12345u, n);
    // A REG_DWORD-typed value of the wrong length is no number either.
    ASSERT_EQ(1, RegWriteKey(K(), nullptr, "short", REG_DWORD, "\x01\x02", 2));
    EXPECT_EQ(0, RegReadKeyInt(K(), nullptr, "short", n));

    char buf[16];
    unsigned long len = sizeof(buf);
    ASSERT_EQ(1, RegReadKeyBin(K(), nullptr, "bin", buf, len));
    EXPECT_EQ(5u, len);
    EXPECT_EQ(0, std::memcmp(buf, five, 5));
    ASSERT_EQ(1, RegWriteKeyStr(K(), nullptr, "str", "s"));
    len = sizeof(buf);
    EXPECT_EQ(0, RegReadKeyBin(K(), nullptr, "str", buf, len));
}

TEST_F(RegKeyHelpers, GeneralReadGivesTypeAndCount)
{
    ASSERT_EQ(1, RegWriteKey(K(), nullptr, "any", 0x1234, "\0\x01\x02", 3));
    unsigned long type = 0, len = 260;
    char buf[260];
    ASSERT_EQ(1, RegReadKey(K(), nullptr, "any", type, buf, len));
    EXPECT_EQ(0x1234u, type);
    EXPECT_EQ(3u, len);
    EXPECT_EQ(0, std::memcmp(buf, "\0\x01\x02", 3));
}

TEST_F(RegKeyHelpers, LengthLimits)
{
    std::string data(257, 'd');
    EXPECT_EQ(0, RegWriteKey(K(), nullptr, "big", REG_BINARY, data.data(), 257));
    HKEY key = nullptr;  // refused before anything was created
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, Full().c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(1, RegWriteKey(K(), nullptr, "big", REG_BINARY, data.data(), 256));

    // 261 is refused before the store is asked, even for a value that exists.
    char buf[300];
    unsigned long type = 0, len = 261;
    EXPECT_EQ(0, RegReadKey(K(), nullptr, "big", type, buf, len));
    EXPECT_EQ(261u, len);
    len = 260;
    EXPECT_EQ(1, RegReadKey(K(), nullptr, "big", type, buf, len));
    EXPECT_EQ(256u, len);
    len = 255;
    EXPECT_EQ(0, RegReadKey(K(), nullptr, "big", type, buf, len));
}

TEST_F(RegKeyHelpers, StringThatFillsTheBufferIsRefusedRatherThanOverrun)
{
    ASSERT_EQ(1, RegWriteKeyStr(K(), nullptr, "s", "0123456789"));
    const unsigned long stored = regtest::StoredSz("0123456789").size();
    char buf[16];
    std::memset(buf, '#', sizeof(buf));
    unsigned long len = stored;  // the caller's buffer holds the data but not the NUL after it
    EXPECT_EQ(0, RegReadKeyStr(K(), nullptr, "s", buf, len));
    EXPECT_EQ('#', buf[stored]);
    len = stored + 1;
    ASSERT_EQ(1, RegReadKeyStr(K(), nullptr, "s", buf, len));
    EXPECT_EQ(stored, len);
    EXPECT_STREQ("0123456789", buf);
    EXPECT_EQ('#', buf[stored + 1]);
    len = 0;
    EXPECT_EQ(0, RegReadKeyStr(K(), nullptr, "s", buf, len));
}

TEST_F(RegKeyHelpers, NullItemTestsTheKeyWithoutTouchingOutputs)
{
    unsigned long type = 99, len = 7, n = 5;
    char buf[4] = "xy";
    EXPECT_EQ(0, RegReadKey(K(), nullptr, nullptr, type, nullptr, len));
    ASSERT_EQ(1, RegWriteKeyInt(K(), "s", "n", 1));
    EXPECT_EQ(1, RegReadKey(K(), nullptr, nullptr, type, nullptr, len));
    EXPECT_EQ(1, RegReadKeyInt(K(), "s", nullptr, n));
    EXPECT_EQ(1, RegReadKeyStr(K(), "s", nullptr, buf, len));
    EXPECT_EQ(1, RegReadKeyBin(K(), "s", nullptr, buf, len));
    EXPECT_EQ(0, RegReadKeyBin(K(), "other", nullptr, buf, len));
    EXPECT_EQ(99u, type);
    EXPECT_EQ(7u, len);
    EXPECT_EQ(5u, n);
    EXPECT_STREQ("xy", buf);
    EXPECT_EQ(0, RegWriteKeyInt(K(), "s", nullptr, 1));
}

TEST_F(RegKeyHelpers, NullArgumentsFailWithoutCrashing)
{
    unsigned long type = 0, len = 4, n = 0;
    char buf[4];
    EXPECT_EQ(0, RegReadKey(nullptr, nullptr, "v", type, buf, len));
    EXPECT_EQ(0, RegReadKeyInt(nullptr, nullptr, "v", n));
    EXPECT_EQ(0, RegReadKey(K(), nullptr, "v", type, nullptr, len));
    EXPECT_EQ(0, RegWriteKeyStr(K(), nullptr, "v", nullptr));
    EXPECT_EQ(0, RegWriteKeyBin(K(), nullptr, "v", nullptr, 0));
    EXPECT_EQ(0, RegWriteKeyInt(nullptr, nullptr, "v", 1));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, lobbykit::regtool::DeleteKeyTree(HKEY_CURRENT_USER, Full()));
}

// A failed helper leaves the reason in GetLastError(): the failing registry call's result,
// or what the helper itself refused.
TEST_F(RegKeyHelpers, FailuresLeaveTheirReasonInTheLastError)
{
    ASSERT_EQ(1, RegWriteKeyInt(K(), nullptr, "n", 3));
    ASSERT_EQ(1, RegWriteKeyStr(K(), nullptr, "s", "text"));
    const std::string tooLong(300, 'x');
    unsigned long n = 0;
    auto readStr = [&](const char* item, unsigned long size) {
        char buf[16];
        unsigned long len = size;
        return RegReadKeyStr(K(), nullptr, item, buf, len);
    };
    struct Case {
        const char* what;
        std::function<int()> call;
        DWORD error;
    } cases[] = {
        {"no szKey", [&] { return RegReadKeyInt(nullptr, nullptr, "n", n); }, ERROR_INVALID_PARAMETER},
        {"no key", [&] { return RegReadKeyInt(K(), "never", "n", n); }, ERROR_FILE_NOT_FOUND},
        {"no value", [&] { return RegReadKeyInt(K(), nullptr, "other", n); }, ERROR_FILE_NOT_FOUND},
        {"int read of a string", [&] { return RegReadKeyInt(K(), nullptr, "s", n); }, ERROR_DATATYPE_MISMATCH},
        {"string read of an int", [&] { return readStr("n", 16); }, ERROR_DATATYPE_MISMATCH},
        {"value too small for the buffer", [&] { return readStr("s", 2); }, ERROR_MORE_DATA},
        {"string too long to write", [&] { return RegWriteKeyStr(K(), nullptr, "s", tooLong.c_str()); },
         ERROR_INVALID_PARAMETER},
        {"int under no szKey", [&] { return RegWriteKeyInt(nullptr, nullptr, "n", 1); }, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEAD);
        EXPECT_EQ(0, c.call());
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST_F(RegKeyHelpers, MissingKeyOrValueFails)
{
    unsigned long n = 0;
    EXPECT_EQ(0, RegReadKeyInt(K(), "never", "n", n));
    ASSERT_EQ(1, RegWriteKeyInt(K(), "a", "n", 3));
    EXPECT_EQ(0, RegReadKeyInt(K(), "a", "other", n));
}

TEST_F(RegKeyHelpers, WriteCreatesEveryLevelWithTheClass)
{
    ASSERT_EQ(1, RegWriteKeyInt(K(), "a\\b", "n", 3));
    for (const char* level : {"", "a", "a\\b"}) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Full(level).c_str(), 0, KEY_READ, &key)) << level;
        RegCloseKey(key);
    }
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Full("a").c_str(), 0, KEY_READ, &parent));
    KeyCloser c(parent);
    char name[16], cls[16];
    DWORD cch = sizeof(name), cchClass = sizeof(cls);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(parent, 0, name, &cch, nullptr, cls, &cchClass, nullptr));
    EXPECT_STREQ("b", name);
    EXPECT_STREQ("class?", cls);
}

TEST_F(RegKeyHelpers, EmptySubKeyNamesTheSameKeyAsNone)
{
    ASSERT_EQ(1, RegWriteKeyInt(K(), "", "n", 11));
    unsigned long n = 0;
    ASSERT_EQ(1, RegReadKeyInt(K(), nullptr, "n", n));
    EXPECT_EQ(11u, n);
    DWORD type = 0;
    std::string data;
    EXPECT_TRUE(Raw(Full(), "n", type, data));
}

}  // namespace
