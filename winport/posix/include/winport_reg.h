// Win32 registry subset (implemented in winport/posix/registry/).
//
// Only HKEY_CURRENT_USER exists: it is kept in one SQLite database per user,
// $XDG_CONFIG_HOME/lobbykit/registry.db (else ~/.config/lobbykit/registry.db), shared by every
// process of that user. The other predefined roots fail with ERROR_NOT_SUPPORTED.
//
// Behaviour where the platform leaves a choice, or where this store differs:
// - Names compare case-insensitively with ASCII folding only; a GBK double-byte character is
//   compared exactly (its trail byte is never taken for a letter or for a backslash). Stored
//   names keep the case they were created with.
// - A path may end in backslashes, one or more ("A\B\" and "A\B\\" name A\B), as on Windows.
//   A leading backslash or an empty element before the end ("A\\B") fails with
//   ERROR_BAD_PATHNAME. A path element longer than 255 bytes, a
//   path of more than 512 elements, or a value name longer than 16,383 bytes fails with
//   ERROR_INVALID_PARAMETER.
// - Access rights of a handle are checked: queries and value enumeration need KEY_QUERY_VALUE,
//   setting and deleting values KEY_SET_VALUE, subkey enumeration KEY_ENUMERATE_SUB_KEYS,
//   creating a new subkey KEY_CREATE_SUB_KEY; otherwise ERROR_ACCESS_DENIED.
// - REG_OPTION_VOLATILE, REG_OPTION_CREATE_LINK and REG_OPTION_BACKUP_RESTORE are not supported
//   (ERROR_NOT_SUPPORTED); security attributes are ignored: the store is the user's own file,
//   mode 0600. A child made by fork() opens the store anew on its first call.
// - A handle whose key was deleted (by any process) fails with ERROR_KEY_DELETED.
// - RegDeleteKeyA refuses a key that has subkeys (ERROR_ACCESS_DENIED) and a null or empty
//   subkey name (ERROR_INVALID_PARAMETER).
// - Store failures: a database that cannot be opened gives ERROR_CANTOPEN, one that is not a
//   registry store or is damaged gives ERROR_REGISTRY_CORRUPT, another process holding the
//   store for longer than the busy timeout gives ERROR_BUSY, an I/O error
//   ERROR_REGISTRY_IO_FAILED. An existing file is never replaced by an empty store.
// - Every call is one short SQLite transaction; nothing is cached between calls, so writes of
//   other processes are seen by the next call. A write that returned ERROR_SUCCESS survives
//   the death of the process (not necessarily a power loss: the store syncs at checkpoints).
// - The database file alone holds every setting whenever no process has the store open: a
//   process checkpoints and closes it when it exits normally or unloads the library, and a
//   checkpoint is made whenever the WAL passes 1 MiB. A store whose file is deleted or
//   replaced (another file renamed to its name) under a running process is noticed by that
//   process's next call, which goes over to the file that is there now (made anew if none).
// - A store the user may only read (its file is not writable to them) is opened for reading:
//   queries and enumerations work, and every change fails with ERROR_ACCESS_DENIED; an empty
//   one gives ERROR_ACCESS_DENIED to every call.
#ifndef WINPORT_REG_H
#define WINPORT_REG_H

#include "winport_types.h"

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

#ifndef WINPORT_FILETIME_DEFINED
#define WINPORT_FILETIME_DEFINED
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;
#endif

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))
#define HKEY_DYN_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000006))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#ifndef DELETE
#define DELETE 0x00010000L
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000L
#endif
#ifndef WRITE_DAC
#define WRITE_DAC 0x00040000L
#endif
#ifndef WRITE_OWNER
#define WRITE_OWNER 0x00080000L
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_WRITE
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_ALL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000L
#endif

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_RES 0x0300
#define KEY_READ ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE)
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE)
#define KEY_EXECUTE ((KEY_READ) & ~SYNCHRONIZE)
#define KEY_ALL_ACCESS                                                                                      \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | \
      KEY_NOTIFY | KEY_CREATE_LINK) &                                                                       \
     ~SYNCHRONIZE)

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Error codes of this part that winport_types.h may not carry (winerror.h values).
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_BUSY
#define ERROR_BUSY 170L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009L
#endif
#ifndef ERROR_CANTOPEN
#define ERROR_CANTOPEN 1011L
#endif
#ifndef ERROR_REGISTRY_CORRUPT
#define ERROR_REGISTRY_CORRUPT 1015L
#endif
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016L
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif

extern "C" {

WINPORT_API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
WINPORT_API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                        REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                        PHKEY phkResult, LPDWORD lpdwDisposition);
WINPORT_API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                         LPBYTE lpData, LPDWORD lpcbData);
WINPORT_API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                       DWORD cbData);
WINPORT_API LONG WINAPI RegCloseKey(HKEY hKey);
WINPORT_API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
WINPORT_API LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
WINPORT_API LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
WINPORT_API LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

}  // extern "C"

#endif
