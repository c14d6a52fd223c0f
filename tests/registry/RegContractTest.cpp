// The contract of the Win32 registry subset that lobbykit relies on. Only Win32 calls: the
// same file runs against winport's store on Linux and against the real registry in the
// Windows build.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "RegTestFixture.h"
#include "WineCheck.h"

namespace {

using regtest::KeyCloser;

class RegContract : public regtest::RegTest {
protected:
    LONG Set(HKEY key, const char* name, DWORD type, const std::string& data)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
    }

    // Reads a value whole; EXPECTs success.
    std::string Get(HKEY key, const char* name, DWORD* type = nullptr)
    {
        BYTE buf[512];
        DWORD cb = sizeof(buf);
        const LONG err = RegQueryValueExA(key, name, nullptr, type, buf, &cb);
        EXPECT_EQ(ERROR_SUCCESS, err) << (name ? name : "(default)");
        return err == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(buf), cb) : std::string();
    }

    std::vector<std::string> SubkeyNames(HKEY key)
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD cch = sizeof(name);
            const LONG err = RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (err != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, err);
                break;
            }
            names.emplace_back(name, cch);
        }
        return names;
    }

    std::string ClassOf(HKEY parent, DWORD index)
    {
        char name[256], cls[64];
        DWORD cch = sizeof(name), cchClass = sizeof(cls);
        EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(parent, index, name, &cch, nullptr, cls, &cchClass, nullptr));
        return std::string(cls, cchClass);
    }
};

TEST_F(RegContract, OpenOfAMissingKeyFailsAndCreatesNothing)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    HKEY key = reinterpret_cast<HKEY>(&key);  // must be cleared on failure
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("missing\\deeper", key, KEY_READ));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("missing", key, KEY_READ));
    EXPECT_TRUE(SubkeyNames(base).empty());
}

TEST_F(RegContract, CreateMakesEveryLevelAndGivesNewKeysTheClass)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    {
        HKEY outer = Create("outer", nullptr, "old");
        KeyCloser c(outer);
    }
    DWORD disposition = 0;
    HKEY deep = Create("outer\\mid\\leaf", &disposition, "class?");
    KeyCloser closeDeep(deep);
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);

    HKEY outer = nullptr, mid = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("outer", outer));
    KeyCloser c1(outer);
    ASSERT_EQ(ERROR_SUCCESS, Open("outer\\mid", mid));
    KeyCloser c2(mid);
    if (regtest::ExistingKeysKeepTheirClass()) {
        EXPECT_EQ("old", ClassOf(base, 0));
    }
    EXPECT_EQ("class?", ClassOf(outer, 0));
    EXPECT_EQ("class?", ClassOf(mid, 0));

    HKEY again = Create("outer\\mid\\leaf", &disposition, "other");
    KeyCloser c3(again);
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    if (regtest::ExistingKeysKeepTheirClass()) {
        EXPECT_EQ("class?", ClassOf(mid, 0));
    }
}

TEST_F(RegContract, NamesCompareWithoutCaseAndKeepTheirCase)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    HKEY mixed = Create("MixedCase");
    KeyCloser c1(mixed);
    HKEY lower = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("mixedCASE", lower));
    KeyCloser c2(lower);
    EXPECT_EQ(std::vector<std::string>{"MixedCase"}, SubkeyNames(base));

    ASSERT_EQ(ERROR_SUCCESS, Set(mixed, "Value", REG_BINARY, "one"));
    EXPECT_EQ("one", Get(lower, "vALUE"));
    ASSERT_EQ(ERROR_SUCCESS, Set(lower, "VALUE", REG_BINARY, "two"));
    char name[64];
    DWORD cch = sizeof(name);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(mixed, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("Value", std::string(name, cch));
    cch = sizeof(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(mixed, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("two", Get(mixed, "value"));
}

// GBK double-byte characters compare exactly: their trail byte may look like an ASCII
// letter (0x41 'A', 0x61 'a') or a backslash (0x5C) and is neither.
TEST_F(RegContract, DoubleByteCharactersCompareExactly)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    const std::string upperTrail = "k\x81\x41", lowerTrail = "k\x81\x61";
    HKEY a = Create(upperTrail);
    KeyCloser c1(a);
    HKEY b = Create(lowerTrail);
    KeyCloser c2(b);
    EXPECT_EQ(2u, SubkeyNames(base).size());
    ASSERT_EQ(ERROR_SUCCESS, Set(a, "v", REG_BINARY, "upper"));
    ASSERT_EQ(ERROR_SUCCESS, Set(b, "v", REG_BINARY, "lower"));
    EXPECT_EQ("upper", Get(a, "V"));
    EXPECT_EQ("lower", Get(b, "V"));

    // Single-byte letters around them still fold.
    HKEY folded = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("K\x81\x61", folded));
    KeyCloser c3(folded);
    EXPECT_EQ("lower", Get(folded, "v"));

    // "\x81\x5C" is one character, so this is one key, not a path of two.
    HKEY slash = Create("x\x81\x5Cy");
    KeyCloser c4(slash);
    HKEY x = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("x\x81", x));
    ASSERT_EQ(3u, SubkeyNames(base).size());
    ASSERT_EQ(ERROR_SUCCESS, Set(a, "\x81\x41", REG_BINARY, "A-trail"));
    ASSERT_EQ(ERROR_SUCCESS, Set(a, "\x81\x61", REG_BINARY, "a-trail"));
    EXPECT_EQ("A-trail", Get(a, "\x81\x41"));
    EXPECT_EQ("a-trail", Get(a, "\x81\x61"));
}

class RegContractTrailing : public RegContract, public ::testing::WithParamInterface<const char*> {};

// However many backslashes end the path (the helpers make two of a szKey ending in one and
// an empty szSubKey), they name the key before them.
TEST_P(RegContractTrailing, BackslashesNameTheSameKey)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    const std::string path = std::string("k\\m") + GetParam();
    HKEY withSlash = Create(path.c_str());
    KeyCloser c1(withSlash);
    ASSERT_EQ(ERROR_SUCCESS, Set(withSlash, "v", REG_DWORD, std::string("\x05\0\0\0", 4)));
    HKEY plain = nullptr, again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("k\\m", plain));
    KeyCloser c2(plain);
    EXPECT_EQ(std::string("\x05\0\0\0", 4), Get(plain, "v"));
    ASSERT_EQ(ERROR_SUCCESS, Open(path.c_str(), again, KEY_READ));
    KeyCloser c3(again);
    EXPECT_EQ(std::string("\x05\0\0\0", 4), Get(again, "v"));
    EXPECT_EQ(std::vector<std::string>{"k"}, SubkeyNames(base));
    EXPECT_TRUE(SubkeyNames(plain).empty());  // no key of an empty name below it
}

INSTANTIATE_TEST_SUITE_P(Paths, RegContractTrailing, ::testing::Values("\\", "\\\\", "\\\\\\"));

struct BadPath {
    const char* path;
    LONG expected;
};

class RegContractBadPath : public RegContract, public ::testing::WithParamInterface<BadPath> {};

TEST_P(RegContractBadPath, IsRefusedByOpenAndCreate)
{
    HKEY base = Create();
    KeyCloser closeBase(base);
    HKEY key = nullptr;
    EXPECT_EQ(GetParam().expected, RegOpenKeyExA(base, GetParam().path, 0, KEY_READ, &key));
    EXPECT_EQ(GetParam().expected,
              RegCreateKeyExA(base, GetParam().path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(nullptr, key);
    EXPECT_TRUE(SubkeyNames(base).empty());
}

// Only what Windows is known to do; the store's own choices for empty path elements and over-
// long names are tested with the store (RegStoreTest.cpp).
INSTANTIATE_TEST_SUITE_P(Paths, RegContractBadPath,
                         ::testing::Values(BadPath{"\\lead", ERROR_BAD_PATHNAME}, BadPath{"\\", ERROR_BAD_PATHNAME}));

struct TypedValue {
    DWORD type;
    std::string data;
};

class RegContractValue : public RegContract, public ::testing::WithParamInterface<TypedValue> {};

// Type and exact byte count come back as written, terminators or not.
TEST_P(RegContractValue, KeepsTypeAndExactBytes)
{
    HKEY key = Create();
    KeyCloser c(key);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "v", GetParam().type, GetParam().data));
    const std::string stored = GetParam().type == REG_SZ ? regtest::StoredSz(GetParam().data) : GetParam().data;
    DWORD type = 0xFFFF;
    EXPECT_EQ(stored, Get(key, "v", &type));
    EXPECT_EQ(GetParam().type, type);
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(stored.size(), cb);
}

INSTANTIATE_TEST_SUITE_P(Types, RegContractValue,
                         ::testing::Values(TypedValue{REG_SZ, "abc"}, TypedValue{REG_SZ, std::string("abc\0", 4)},
                                           TypedValue{REG_SZ, "\xD6\xD0\xCE\xC4"},  // GBK text
                                           TypedValue{REG_SZ, ""}, TypedValue{REG_DWORD, std::string("\x07\0\0\0", 4)},
                                           TypedValue{REG_BINARY, std::string("\0\x01\xFF\0\x80", 5)},
                                           TypedValue{REG_BINARY, ""}, TypedValue{REG_NONE, "raw"},
                                           TypedValue{REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}));

TEST_F(RegContract, SmallBufferGivesMoreDataAndTheSizeNeeded)
{
    HKEY key = Create();
    KeyCloser c(key);
    const std::string data(40, 'd');
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "v", REG_BINARY, data));
    BYTE buf[64];
    DWORD type = 0, cb = 39;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "v", nullptr, &type, buf, &cb));
    EXPECT_EQ(40u, cb);
    cb = 40;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "v", nullptr, &type, buf, &cb));
    EXPECT_EQ(40u, cb);
    EXPECT_EQ(data, std::string(reinterpret_cast<char*>(buf), cb));
    EXPECT_EQ(DWORD(REG_BINARY), type);
}

TEST_F(RegContract, MissingValueGivesFileNotFound)
{
    HKEY key = Create();
    KeyCloser c(key);
    BYTE buf[8];
    DWORD cb = sizeof(buf);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "nothing", nullptr, nullptr, buf, &cb));
    cb = sizeof(buf);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, nullptr, nullptr, nullptr, buf, &cb));
    // The default value has an empty name, and null names it too.
    ASSERT_EQ(ERROR_SUCCESS, Set(key, nullptr, REG_BINARY, "dflt"));
    EXPECT_EQ("dflt", Get(key, ""));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, nullptr));
}

TEST_F(RegContract, EnumeratesValuesWithTheirData)
{
    HKEY key = Create();
    KeyCloser c(key);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "one", REG_SZ, "1"));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "two", REG_BINARY, "22"));
    std::set<std::string> seen;
    for (DWORD i = 0;; ++i) {
        char name[16];
        BYTE data[16];
        DWORD cch = sizeof(name), cb = sizeof(data), type = 0;
        const LONG err = RegEnumValueA(key, i, name, &cch, nullptr, &type, data, &cb);
        if (err == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, err);
        seen.insert(std::string(name, cch) + "=" + std::to_string(type) + ":" +
                    std::string(reinterpret_cast<char*>(data), cb));
    }
    EXPECT_EQ((std::set<std::string>{"one=1:" + regtest::StoredSz("1"), "two=3:22"}), seen);

    char name[16];
    BYTE data[1];
    DWORD cch = sizeof(name), cb = sizeof(data);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 1, name, &cch, nullptr, nullptr, data, &cb));
    EXPECT_EQ(2u, cb);
    cch = 3;  // "one" and "two" need 4 with the terminator
    cb = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, nullptr, &cb));
}

TEST_F(RegContract, EnumKeyNeedsRoomForTheTerminator)
{
    HKEY base = Create();
    KeyCloser c(base);
    HKEY child = Create("abcd");
    KeyCloser c1(child);
    char name[8];
    DWORD cch = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(base, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 5;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(base, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, cch);
    EXPECT_STREQ("abcd", name);
    cch = sizeof(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(base, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegContract, DeleteKeyRefusesAKeyWithSubkeys)
{
    HKEY base = Create();
    KeyCloser c(base);
    HKEY leaf = Create("parent\\child");
    KeyCloser c1(leaf);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(base, "parent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base, "PARENT\\child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base, "parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(base, "parent"));
    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("parent", gone));
}

TEST_F(RegContract, HandleOfADeletedKeyReportsKeyDeleted)
{
    HKEY base = Create();
    KeyCloser c(base);
    HKEY doomed = Create("doomed");
    KeyCloser c1(doomed);
    ASSERT_EQ(ERROR_SUCCESS, Set(doomed, "v", REG_SZ, "x"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base, "doomed"));
    // A new key of the same name is another key.
    HKEY reborn = Create("doomed");
    KeyCloser c2(reborn);
    DWORD cb = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_KEY_DELETED, Set(doomed, "v", REG_SZ, "y"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(reborn, "v", nullptr, nullptr, nullptr, &cb));
}

TEST_F(RegContract, ClosedHandleIsInvalid)
{
    HKEY key = Create();
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));  // predefined: nothing to close
}

TEST_F(RegContract, AccessRightsOfAHandleAreEnforced)
{
    HKEY key = Create();
    KeyCloser c(key);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "v", REG_BINARY, "x"));
    HKEY readOnly = nullptr, writeOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("", readOnly, KEY_QUERY_VALUE));
    KeyCloser c1(readOnly);
    ASSERT_EQ(ERROR_SUCCESS, Open("", writeOnly, KEY_SET_VALUE));
    KeyCloser c2(writeOnly);
    EXPECT_EQ(ERROR_ACCESS_DENIED, Set(readOnly, "v", REG_BINARY, "y"));
    EXPECT_EQ("x", Get(readOnly, "v"));
    DWORD cb = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(ERROR_SUCCESS, Set(writeOnly, "v", REG_BINARY, "z"));
    EXPECT_EQ("z", Get(readOnly, "v"));
}

TEST_F(RegContract, DataWithoutLengthIsRefused)
{
    HKEY key = Create();
    KeyCloser c(key);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, "v", REG_SZ, "x"));
    BYTE buf[4];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "v", nullptr, nullptr, buf, nullptr));
}

}  // namespace
