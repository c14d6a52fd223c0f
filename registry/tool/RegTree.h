// Deleting a key with everything below it, over the Win32 calls (RegDeleteKeyA removes one
// key without subkeys at a time). Shared by lobbykit-reg and the registry tests.
#ifndef LOBBYKIT_REGTREE_H
#define LOBBYKIT_REGTREE_H

#include <windows.h>

#include <string>

namespace lobbykit::regtool {

// Deletes hKey\lpSubKey and every key below it. ERROR_FILE_NOT_FOUND if it does not exist.
inline LONG DeleteKeyTree(HKEY hKey, const std::string& subKey)
{
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(hKey, subKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key);
    if (err != ERROR_SUCCESS) return err;
    char name[256];
    for (;;) {
        // Always the first child: the previous one is gone.
        DWORD cch = sizeof(name);
        err = RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (err != ERROR_SUCCESS) break;
        err = DeleteKeyTree(key, name);
        if (err != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    if (err != ERROR_NO_MORE_ITEMS) return err;
    return RegDeleteKeyA(hKey, subKey.c_str());
}

}  // namespace lobbykit::regtool

#endif
