#include "RegKey.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "afxtrace.h"

namespace {

constexpr unsigned long kMaxReadLen = 260;
constexpr unsigned long kMaxWriteLen = 256;

// HKEY_CURRENT_USER\Software\szDomain\<szKey>[\<szSubKey>]; "szDomain" is literal.
std::string KeyPath(const char* szKey, const char* szSubKey)
{
    std::string path = "Software\\szDomain\\";
    path += szKey;
    if (szSubKey) {
        path += '\\';
        path += szSubKey;
    }
    return path;
}

// A failed helper returns 0 and leaves the error of what failed in GetLastError(): the
// registry call's result (which Reg* functions return instead of setting it), or
// ERROR_INVALID_PARAMETER / ERROR_DATATYPE_MISMATCH for what the helper itself refuses.
int Failed(LONG error)
{
    SetLastError(DWORD(error));
    return 0;
}

// Pointers appear in traces as their low 32 bits, in the trace's %04X.
[[maybe_unused]] unsigned TracePtr(const void* p) { return unsigned(reinterpret_cast<std::uintptr_t>(p)); }

// The general read. `reserve` bytes at the end of lpResult are kept free (for the NUL that
// the string read adds), so the query never fills them.
int ReadValue(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& dwType, char* lpResult,
              unsigned long& dwDataLen, unsigned long reserve)
{
    if (!szKey) {
        TRACE("Error : RegReadKey() : param error 0\n");
        return Failed(ERROR_INVALID_PARAMETER);
    }
    if (szItem && (!lpResult || dwDataLen > kMaxReadLen || dwDataLen < reserve)) {
        TRACE("Error : RegReadKey() : param error : szItem = %04X,lpResult = %04X,dwDataLen = %d\n", TracePtr(szItem),
              TracePtr(lpResult), int(dwDataLen));
        return Failed(ERROR_INVALID_PARAMETER);
    }
    const std::string path = KeyPath(szKey, szSubKey);
    HKEY key = nullptr;
    if (const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key); rc != ERROR_SUCCESS) {
        TRACE("Warning : RegReadKey() : can not open key %s\n", path.c_str());
        return Failed(rc);
    }
    if (!szItem) {
        RegCloseKey(key);
        return 1;
    }
    // The caller's lengths are unsigned long (64 bits on LP64 systems); the call takes DWORDs.
    DWORD type = 0;
    DWORD len = DWORD(dwDataLen - reserve);
    const LONG rc = RegQueryValueExA(key, szItem, nullptr, &type, reinterpret_cast<LPBYTE>(lpResult), &len);
    RegCloseKey(key);
    dwType = type;
    dwDataLen = len;
    if (rc != ERROR_SUCCESS) {
        TRACE("Warning : RegReadKey() : can not RegQueryValueEx() on Key = %s , item = %s\n", path.c_str(), szItem);
        return Failed(rc);
    }
    return 1;
}

}  // namespace

int RegReadKey(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& dwType, char* lpResult,
               unsigned long& dwDataLen)
{
    return ReadValue(szKey, szSubKey, szItem, dwType, lpResult, dwDataLen, 0);
}

int RegReadKeyInt(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& nValue)
{
    char buf[kMaxReadLen];
    unsigned long type = 0, len = sizeof(buf);
    if (!RegReadKey(szKey, szSubKey, szItem, type, buf, len)) return 0;
    if (!szItem) return 1;
    if (type != REG_DWORD || len != 4) {
        TRACE("Error : RegReadKeyInt() : reg type mismatch\n");
        return Failed(ERROR_DATATYPE_MISMATCH);
    }
    const auto* b = reinterpret_cast<const unsigned char*>(buf);
    nValue = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    return 1;
}

int RegReadKeyStr(const char* szKey, const char* szSubKey, const char* szItem, char* lpResult, unsigned long& dwDataLen)
{
    // One byte of the caller's buffer is kept for the NUL, so that it never lands past the
    // buffer's end however long the stored string is.
    unsigned long type = 0;
    if (!ReadValue(szKey, szSubKey, szItem, type, lpResult, dwDataLen, 1)) return 0;
    if (!szItem) return 1;
    if (type != REG_SZ) {
        TRACE("Error : RegReadKeyStr() : reg type mismatch\n");
        return Failed(ERROR_DATATYPE_MISMATCH);
    }
    lpResult[dwDataLen] = '\0';
    return 1;
}

int RegReadKeyBin(const char* szKey, const char* szSubKey, const char* szItem, char* lpResult, unsigned long& dwDataLen)
{
    unsigned long type = 0;
    if (!RegReadKey(szKey, szSubKey, szItem, type, lpResult, dwDataLen)) return 0;
    if (!szItem) return 1;
    if (type != REG_BINARY) {
        TRACE("Error : RegReadKeyBin() : reg type mismatch\n");
        return Failed(ERROR_DATATYPE_MISMATCH);
    }
    return 1;
}

int RegWriteKey(const char* szKey, const char* szSubKey, const char* szItem, unsigned long dwType, const char* lpData,
                unsigned long dwDataLen)
{
    // A type that does not fit the registry's 32 bits would be stored as another type.
    if (!szKey || !szItem || !lpData || dwDataLen > kMaxWriteLen || dwType > 0xFFFFFFFFul) {
        TRACE("Error : RegWriteKey() : param error\n");
        return Failed(ERROR_INVALID_PARAMETER);
    }
    const std::string path = KeyPath(szKey, szSubKey);
    char szClass[] = "class?";
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (const LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, szClass, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                        nullptr, &key, &disposition);
        rc != ERROR_SUCCESS) {
        TRACE("Warning : RegWriteKey() : can not create key %s\n", path.c_str());
        return Failed(rc);
    }
    const LONG rc =
        RegSetValueExA(key, szItem, 0, DWORD(dwType), reinterpret_cast<const BYTE*>(lpData), DWORD(dwDataLen));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        TRACE("Warning : RegWriteKey() : can not RegSetValueEx() on Key = %s , item = %s\n", path.c_str(), szItem);
        return Failed(rc);
    }
    return 1;
}

int RegWriteKeyInt(const char* szKey, const char* szSubKey, const char* szItem, int nValue)
{
    const auto u = std::uint32_t(nValue);
    const char bytes[4] = {char(u & 0xFF), char(u >> 8 & 0xFF), char(u >> 16 & 0xFF), char(u >> 24 & 0xFF)};
    return RegWriteKey(szKey, szSubKey, szItem, REG_DWORD, bytes, sizeof(bytes));
}

int RegWriteKeyStr(const char* szKey, const char* szSubKey, const char* szItem, const char* lpData)
{
    // A null string is refused by RegWriteKey's checks rather than measured.
    return RegWriteKey(szKey, szSubKey, szItem, REG_SZ, lpData, lpData ? std::strlen(lpData) : 0);
}

int RegWriteKeyBin(const char* szKey, const char* szSubKey, const char* szItem, unsigned char* lpData,
                   unsigned long dwDataLen)
{
    return RegWriteKey(szKey, szSubKey, szItem, REG_BINARY, reinterpret_cast<const char*>(lpData), dwDataLen);
}
