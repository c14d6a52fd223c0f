// Typed read and write helpers for small per-user settings in the registry.
//
// Every value lives in HKEY_CURRENT_USER\Software\szDomain\<szKey>[\<szSubKey>]: the second
// level is the key literally named "szDomain". A null szSubKey adds nothing; an empty one
// adds a "\" (which names the same key as without it). Each call opens the key, works and
// closes it; nothing is kept between calls, so settings written by another process are seen
// at once. All functions return 1 for success and 0 for failure, and may be called from any
// thread. Strings are narrow GBK text.
//
// Reads: dwDataLen is in: the length of lpResult (at most 260), out: the number of bytes
// read. A null szItem only tests that the key exists (1 if it can be opened) and touches no
// output. A value longer than the buffer fails. After a failed read the outputs may have
// been changed.
//
// Writes create every missing level of the key path (new keys get the class "class?") and
// store at most 256 bytes; a write with a null szItem or null data fails. A failed write
// leaves the keys it created.
#ifndef LOBBYKIT_REGKEY_H
#define LOBBYKIT_REGKEY_H

#include "LobbyKitExport.h"

// Reads a value of any type: dwType receives its type.
LOBBYKIT_API int RegReadKey(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& dwType,
                            char* lpResult, unsigned long& dwDataLen);
// Reads a REG_DWORD value (exactly 4 bytes, little-endian) into nValue.
LOBBYKIT_API int RegReadKeyInt(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& nValue);
// Reads a REG_SZ value and stores a NUL after the bytes read. The NUL is counted in the
// buffer: lpResult holds dwDataLen bytes, so a string of at most dwDataLen - 1 bytes fits
// (a longer one fails); dwDataLen out does not count the NUL.
LOBBYKIT_API int RegReadKeyStr(const char* szKey, const char* szSubKey, const char* szItem, char* lpResult,
                               unsigned long& dwDataLen);
// Reads a REG_BINARY value.
LOBBYKIT_API int RegReadKeyBin(const char* szKey, const char* szSubKey, const char* szItem, char* lpResult,
                               unsigned long& dwDataLen);

// Stores dwDataLen (at most 256) bytes of lpData as a value of type dwType.
LOBBYKIT_API int RegWriteKey(const char* szKey, const char* szSubKey, const char* szItem, unsigned long dwType,
                             const char* lpData, unsigned long dwDataLen);
// Stores nValue as a REG_DWORD (4 bytes, little-endian).
LOBBYKIT_API int RegWriteKeyInt(const char* szKey, const char* szSubKey, const char* szItem, int nValue);
// Stores the strlen(lpData) bytes of the string, without its NUL, as a REG_SZ (at most 256).
LOBBYKIT_API int RegWriteKeyStr(const char* szKey, const char* szSubKey, const char* szItem, const char* lpData);
// Stores dwDataLen (at most 256) bytes as a REG_BINARY.
LOBBYKIT_API int RegWriteKeyBin(const char* szKey, const char* szSubKey, const char* szItem, unsigned char* lpData,
                                unsigned long dwDataLen);

#endif
