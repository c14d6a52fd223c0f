// The per-user registry store: one SQLite database shared by every process of the user.
//
// Keys are rows with a parent, the name as created, the class and a last-write time; each key
// also has its folded path (the folded names from the root, each ended by a NUL byte), which
// is unique and lets one indexed lookup resolve a whole path. Key ids are never reused, so a
// handle to a deleted key stays deleted even when a key of the same name comes back.
// Every operation is one short transaction; nothing read is kept after it returns.
#ifndef WINPORT_POSIX_REGISTRY_STORE_H
#define WINPORT_POSIX_REGISTRY_STORE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace winport::reg {

using KeyId = std::int64_t;

// A key as a handle knows it: its id and its folded path (both fixed for the key's life).
struct KeyRef {
    KeyId id = 0;
    std::string path;
};

// The root of the store, HKEY_CURRENT_USER.
KeyRef RootKey();

// Output buffers of an enumeration or query, as the Win32 calls take them (any may be null).
struct NameBuffer {
    LPSTR buf = nullptr;
    LPDWORD cch = nullptr;  // in: capacity with the terminator; out: length without it
};

// All operations return a Win32 error code.
LONG StoreOpenKey(const KeyRef& base, const std::vector<std::string_view>& elements, KeyRef& out);
LONG StoreCreateKey(const KeyRef& base, const std::vector<std::string_view>& elements, std::string_view keyClass,
                    bool mayCreate, KeyRef& out, DWORD& disposition);
LONG StoreDeleteKey(const KeyRef& base, const std::vector<std::string_view>& elements);
LONG StoreQueryValue(const KeyRef& key, std::string_view name, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG StoreSetValue(const KeyRef& key, std::string_view name, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG StoreDeleteValue(const KeyRef& key, std::string_view name);
// Where the last enumeration of a handle stopped: a position, not data. Subkeys are listed in
// the order of their folded names, values in the order of their folded names too.
struct EnumHint {
    bool valid = false;
    DWORD index = 0;
    std::string last;  // sort key of the entry at `index`
};

LONG StoreEnumKey(const KeyRef& key, DWORD dwIndex, EnumHint& hint, NameBuffer name, NameBuffer keyClass,
                  PFILETIME lpftLastWriteTime);
LONG StoreEnumValue(const KeyRef& key, DWORD dwIndex, EnumHint& hint, NameBuffer name, LPDWORD lpType, LPBYTE lpData,
                    LPDWORD lpcbData);

// Closes the process's connection; the next operation opens the store again, at the place
// the environment names then. For tests that move XDG_CONFIG_HOME.
void StoreCloseForTesting();

// The file the store lives in, from the environment: $XDG_CONFIG_HOME/lobbykit/registry.db
// when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/lobbykit/registry.db.
std::string StorePath();

}  // namespace winport::reg

#endif
