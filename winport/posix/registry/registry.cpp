// The Win32 registry calls over the per-user store: argument checks, key handles and their
// access rights. The store itself is in store.cpp.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "winport/posix/registry/name.h"
#include "winport/posix/registry/registry.h"
#include "winport/posix/registry/store.h"

namespace winport::reg {
namespace {

struct OpenKey {
    KeyRef key;
    REGSAM access = 0;
};

// A handle's entry: its key, and where its last enumerations stopped.
struct HandleEntry {
    OpenKey open;
    EnumHint keys, values;
};

// Handle values carry a tag in their high bits and are never reused within the process, so
// a closed handle, or one of another kind, is refused rather than taken for some other key.
constexpr std::uintptr_t kHandleTag = std::uintptr_t(0x5245470000000000ULL);

std::mutex g_handlesMutex;
std::unordered_map<std::uintptr_t, HandleEntry> g_handles;
std::uintptr_t g_nextHandle = 0;

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;

REGSAM GrantedAccess(REGSAM sam)
{
    if (sam & (MAXIMUM_ALLOWED | kGenericAll)) return KEY_ALL_ACCESS;
    REGSAM granted = sam & KEY_ALL_ACCESS;
    if (sam & kGenericRead) granted |= KEY_READ;
    if (sam & kGenericExecute) granted |= KEY_EXECUTE;
    if (sam & kGenericWrite) granted |= KEY_WRITE;
    return granted;
}

bool IsPredefined(HKEY h)
{
    const auto v = reinterpret_cast<std::uintptr_t>(h);
    return v >= reinterpret_cast<std::uintptr_t>(HKEY_CLASSES_ROOT) &&
           v <= reinterpret_cast<std::uintptr_t>(HKEY_DYN_DATA);
}

// Copies the handle's key and rights into `out`; its folded path only when `withPath` (the
// calls that name a subkey need it, the value calls do not).
LONG Resolve(HKEY h, OpenKey& out, bool withPath = true)
{
    if (h == HKEY_CURRENT_USER) {
        out.key = RootKey();
        out.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    if (IsPredefined(h)) return ERROR_NOT_SUPPORTED;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
    out.key.id = it->second.open.key.id;
    if (withPath) out.key.path = it->second.open.key.path;
    out.access = it->second.open.access;
    return ERROR_SUCCESS;
}

// Resolves h (without its path) and checks that it was opened with every right in `needed`.
LONG ResolveFor(HKEY h, REGSAM needed, OpenKey& out)
{
    const LONG err = Resolve(h, out, false);
    if (err != ERROR_SUCCESS) return err;
    return (out.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(KeyRef&& key, REGSAM access)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const std::uintptr_t v = kHandleTag | (++g_nextHandle << 2);
    HandleEntry e;
    e.open.key = std::move(key);
    e.open.access = GrantedAccess(access);
    g_handles.emplace(v, std::move(e));
    return reinterpret_cast<HKEY>(v);
}

// Where the handle's last enumeration of one kind stopped (nothing for predefined keys).
EnumHint LoadHint(HKEY h, EnumHint HandleEntry::*which)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(h));
    return it != g_handles.end() ? it->second.*which : EnumHint();
}

// Keeps where an enumeration stopped, if the handle is still open.
void SaveHint(HKEY h, EnumHint HandleEntry::*which, EnumHint&& hint)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it != g_handles.end()) it->second.*which = std::move(hint);
}

std::string_view ValueName(LPCSTR lpValueName)
{
    return lpValueName ? std::string_view(lpValueName) : std::string_view();
}

}  // namespace

std::size_t LiveKeyHandleCount()
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    return g_handles.size();
}

}  // namespace winport::reg

using namespace winport::reg;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    // There are no symbolic links here; opening one's own name is what REG_OPTION_OPEN_LINK
    // does for an ordinary key.
    if (ulOptions & ~DWORD(REG_OPTION_OPEN_LINK)) return ERROR_INVALID_PARAMETER;
    OpenKey base;
    if (LONG err = Resolve(hKey, base); err != ERROR_SUCCESS) return err;
    std::vector<std::string_view> elements;
    if (LONG err = SplitKeyPath(lpSubKey, elements); err != ERROR_SUCCESS) return err;
    KeyRef key;
    if (LONG err = StoreOpenKey(base.key, elements, key); err != ERROR_SUCCESS) return err;
    *phkResult = NewHandle(std::move(key), samDesired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition)
{
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions & (REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | REG_OPTION_BACKUP_RESTORE))
        return ERROR_NOT_SUPPORTED;
    if (dwOptions & ~DWORD(REG_OPTION_OPEN_LINK)) return ERROR_INVALID_PARAMETER;
    OpenKey base;
    if (LONG err = Resolve(hKey, base); err != ERROR_SUCCESS) return err;
    std::vector<std::string_view> elements;
    if (LONG err = SplitKeyPath(lpSubKey, elements); err != ERROR_SUCCESS) return err;
    KeyRef key;
    DWORD disposition = 0;
    const LONG err = StoreCreateKey(base.key, elements, lpClass ? lpClass : "", (base.access & KEY_CREATE_SUB_KEY) != 0,
                                    key, disposition);
    if (err != ERROR_SUCCESS) return err;
    *phkResult = NewHandle(std::move(key), samDesired);
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    OpenKey k;
    if (LONG err = ResolveFor(hKey, KEY_QUERY_VALUE, k); err != ERROR_SUCCESS) return err;
    return StoreQueryValue(k.key, ValueName(lpValueName), lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                           DWORD cbData)
{
    OpenKey k;
    if (LONG err = ResolveFor(hKey, KEY_SET_VALUE, k); err != ERROR_SUCCESS) return err;
    const std::string_view name = ValueName(lpValueName);
    if (name.size() > kMaxValueNameBytes) return ERROR_INVALID_PARAMETER;
    if (!lpData && cbData) return ERROR_NOACCESS;
    return StoreSetValue(k.key, name, dwType, lpData, cbData);
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    return g_handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    OpenKey k;
    if (LONG err = ResolveFor(hKey, KEY_SET_VALUE, k); err != ERROR_SUCCESS) return err;
    return StoreDeleteValue(k.key, ValueName(lpValueName));
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
    OpenKey base;
    if (LONG err = Resolve(hKey, base); err != ERROR_SUCCESS) return err;
    std::vector<std::string_view> elements;
    if (LONG err = SplitKeyPath(lpSubKey, elements); err != ERROR_SUCCESS) return err;
    return StoreDeleteKey(base.key, elements);
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                          LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    OpenKey k;
    if (LONG err = ResolveFor(hKey, KEY_ENUMERATE_SUB_KEYS, k); err != ERROR_SUCCESS) return err;
    EnumHint hint = LoadHint(hKey, &HandleEntry::keys);
    const LONG err = StoreEnumKey(k.key, dwIndex, hint, NameBuffer{lpName, lpcchName},
                                  NameBuffer{lpClass, lpClass ? lpcchClass : nullptr}, lpftLastWriteTime);
    SaveHint(hKey, &HandleEntry::keys, std::move(hint));
    return err;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    OpenKey k;
    if (LONG err = ResolveFor(hKey, KEY_QUERY_VALUE, k); err != ERROR_SUCCESS) return err;
    EnumHint hint = LoadHint(hKey, &HandleEntry::values);
    const LONG err =
        StoreEnumValue(k.key, dwIndex, hint, NameBuffer{lpValueName, lpcchValueName}, lpType, lpData, lpcbData);
    SaveHint(hKey, &HandleEntry::values, std::move(hint));
    return err;
}
