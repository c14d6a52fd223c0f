// A test key of its own for each registry test: HKCU\Software\lobbykit-test\<test name>,
// removed before and after the test. Win32 calls only, so that the tests using it also run
// in the Windows build against the real registry.
#ifndef LOBBYKIT_TESTS_REGTESTFIXTURE_H
#define LOBBYKIT_TESTS_REGTESTFIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "registry/tool/RegTree.h"

namespace regtest {

class RegTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base =
            std::string("Software\\lobbykit-test\\") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const LONG err = lobbykit::regtool::DeleteKeyTree(HKEY_CURRENT_USER, m_base);
        ASSERT_TRUE(err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND) << err;
    }
    void TearDown() override
    {
        const LONG err = lobbykit::regtool::DeleteKeyTree(HKEY_CURRENT_USER, m_base);
        EXPECT_TRUE(err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND) << err;
    }

    // The test's key path, optionally with a child path.
    std::string Path(const std::string& sub = std::string()) const
    {
        return sub.empty() ? m_base : m_base + "\\" + sub;
    }

    // Creates (or opens) the test's key or a key below it with full access.
    HKEY Create(const std::string& sub = std::string(), DWORD* disposition = nullptr, const char* keyClass = nullptr)
    {
        HKEY key = nullptr;
        std::string cls = keyClass ? keyClass : "";
        const LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, keyClass ? &cls[0] : nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, disposition);
        EXPECT_EQ(ERROR_SUCCESS, err) << Path(sub);
        return key;
    }

    LONG Open(const std::string& sub, HKEY& key, REGSAM sam = KEY_ALL_ACCESS) const
    {
        return RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, sam, &key);
    }

    std::string m_base;
};

// Closes a key at the end of a scope.
class KeyCloser {
public:
    explicit KeyCloser(HKEY key) : m_key(key) {}
    ~KeyCloser()
    {
        if (m_key) RegCloseKey(m_key);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY m_key;
};

}  // namespace regtest

#endif
