// The registry of the current user: keys, values of each type, sizes and error codes.
// Everything lives below HKCU\Software\lobbykit-diff-<pid> and is deleted at the end; the
// native run gets a store of its own (compare.sh sets XDG_CONFIG_HOME).
#include <algorithm>
#include <string>
#include <vector>

#include "Probe.h"

namespace {

std::string AsDisposition(DWORD d)
{
    if (d == REG_CREATED_NEW_KEY) return "REG_CREATED_NEW_KEY";
    if (d == REG_OPENED_EXISTING_KEY) return "REG_OPENED_EXISTING_KEY";
    return "disposition " + std::to_string(d);
}

std::string AsType(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    default: return "type " + std::to_string(type);
    }
}

// A query into a buffer of `size` bytes (filled with '#' first): result, type, the size
// reported and the bytes the buffer then holds up to that size.
std::string Query(HKEY key, const char* name, DWORD size)
{
    char buf[64];
    std::fill(std::begin(buf), std::end(buf), '#');
    DWORD type = 0xFFFF;
    DWORD cb = size;
    const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
    std::string out = probe::AsError(static_cast<DWORD>(r)) + " " + AsType(type) + " cb=" + std::to_string(cb);
    if (r == ERROR_SUCCESS) out += " \"" + probe::Escaped(buf, std::min<size_t>(cb, sizeof buf)) + "\"";
    return out;
}

// The size a query without a buffer reports.
std::string QuerySize(HKEY key, const char* name)
{
    DWORD type = 0xFFFF;
    DWORD cb = 0xFFFF;
    const LONG r = RegQueryValueExA(key, name, nullptr, &type, nullptr, &cb);
    return probe::AsError(static_cast<DWORD>(r)) + " " + AsType(type) + " cb=" + std::to_string(cb);
}

// Every value name of the key, sorted (the order of enumeration is not specified).
std::string ValueNames(HKEY key)
{
    std::vector<std::string> names;
    LONG r = ERROR_SUCCESS;
    for (DWORD i = 0; i < 100; ++i) {
        char name[64];
        DWORD cch = sizeof name;
        r = RegEnumValueA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS) break;
        names.push_back("\"" + probe::Escaped(name, cch) + "\"");
    }
    std::sort(names.begin(), names.end());
    std::string out = "end " + probe::AsError(static_cast<DWORD>(r)) + ":";
    for (const std::string& n : names) out += " " + n;
    return out;
}

std::string AsRegResult(LONG r) { return probe::AsError(static_cast<DWORD>(r)); }

// An open that should fail; a key it opens after all is closed again.
LONG OpenAndClose(HKEY parent, const char* path)
{
    HKEY key = nullptr;
    const LONG r = RegOpenKeyExA(parent, path, 0, KEY_READ, &key);
    if (r == ERROR_SUCCESS) RegCloseKey(key);
    return r;
}

}  // namespace

PROBE_SCENARIO(registry_values)
{
    const std::string base = std::string("Software\\") + t.Name("reg");
    HKEY key = nullptr;
    DWORD disposition = 0;
    PROBE_VALUE(AsRegResult, RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, &disposition));
    PROBE_VALUE(AsDisposition, disposition);

    const DWORD dword = 0x12345678;
    const BYTE binary[] = {0x00, 0xFF, 0x80, 0x00, 0x41};
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), 4));
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "Binary", 0, REG_BINARY, binary, sizeof binary));
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "SzNul", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4));
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "SzBare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3));
    PROBE_VALUE(AsRegResult,
                RegSetValueExA(key, "\xD6\xD0", 0, REG_SZ, reinterpret_cast<const BYTE*>("\xCE\xC4\xD7\xD6"), 5));
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5));
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0));

    t.Value("Query(key, \"Dword\", 64)", Query(key, "Dword", 64));
    t.Value("Query(key, \"dWORD\", 64)", Query(key, "dWORD", 64));
    t.Value("Query(key, \"Dword\", 3)", Query(key, "Dword", 3));
    t.Value("QuerySize(key, \"Dword\")", QuerySize(key, "Dword"));
    t.Value("Query(key, \"Binary\", 64)", Query(key, "Binary", 64));
    t.Value("Query(key, \"Binary\", 0)", Query(key, "Binary", 0));
    t.Value("Query(key, \"SzNul\", 64)", Query(key, "SzNul", 64));
    t.Value("Query(key, \"SzNul\", 3)", Query(key, "SzNul", 3));
    t.Value("Query(key, \"SzBare\", 64)", Query(key, "SzBare", 64), "registry-sz-without-nul");
    t.Value("Query(key, \"\\xD6\\xD0\", 64)", Query(key, "\xD6\xD0", 64));
    t.Value("Query(key, \"\", 64)", Query(key, "", 64));
    t.Value("Query(key, nullptr, 64)", Query(key, nullptr, 64));
    t.Value("Query(key, \"Empty\", 64)", Query(key, "Empty", 64));
    t.Value("Query(key, \"Missing\", 64)", Query(key, "Missing", 64), "registry-type-on-failure");
    t.Value("ValueNames(key)", ValueNames(key));

    // Replacing a value changes its type too.
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "DWORD", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    t.Value("Query(key, \"Dword\", 64)", Query(key, "Dword", 64));
    PROBE_VALUE(AsRegResult, RegDeleteValueA(key, "dword"));
    PROBE_VALUE(AsRegResult, RegDeleteValueA(key, "dword"));
    t.Value("Query(key, \"Dword\", 64)", Query(key, "Dword", 64), "registry-type-on-failure");
    // A REG_DWORD of the wrong size is stored as given.
    PROBE_VALUE(AsRegResult, RegSetValueExA(key, "Short", 0, REG_DWORD, binary, 2));
    t.Value("Query(key, \"Short\", 64)", Query(key, "Short", 64));

    PROBE_VALUE(AsRegResult, RegCloseKey(key));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str()));
    PROBE_VALUE(AsRegResult, OpenAndClose(HKEY_CURRENT_USER, base.c_str()));
}

PROBE_SCENARIO(registry_keys)
{
    const std::string base = std::string("Software\\") + t.Name("keys");
    HKEY root = nullptr, deep = nullptr, again = nullptr, reader = nullptr;
    DWORD disposition = 0;
    PROBE_VALUE(AsRegResult, OpenAndClose(HKEY_CURRENT_USER, base.c_str()));
    PROBE_VALUE(AsRegResult, RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &root, &disposition));
    PROBE_VALUE(AsDisposition, disposition);
    // Several levels in one call; a trailing backslash; names compare without case.
    PROBE_VALUE(AsRegResult,
                RegCreateKeyExA(root, "A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, &disposition));
    PROBE_VALUE(AsDisposition, disposition);
    PROBE_VALUE(AsRegResult,
                RegCreateKeyExA(root, "a\\b\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again, &disposition));
    PROBE_VALUE(AsDisposition, disposition);
    PROBE_VALUE(AsRegResult, RegCloseKey(again));
    // Two or three backslashes at the end end the path as one does.
    PROBE_VALUE(AsRegResult, OpenAndClose(root, "a\\b\\\\"));
    PROBE_VALUE(AsRegResult,
                RegCreateKeyExA(root, "E\\\\\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again, &disposition));
    PROBE_VALUE(AsDisposition, disposition);
    PROBE_VALUE(AsRegResult, RegCloseKey(again));
    PROBE_VALUE(AsRegResult, OpenAndClose(root, "E"));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "E\\\\"));
    PROBE_VALUE(AsRegResult, OpenAndClose(root, "E"));
    PROBE_VALUE(AsRegResult, RegOpenKeyExA(root, "A\\b\\c", 0, KEY_READ, &reader));
    PROBE_VALUE(AsRegResult, RegCloseKey(reader));
    PROBE_VALUE(AsRegResult, OpenAndClose(root, "A\\X"));

    // Enumerating subkeys, and a name buffer one byte too small.
    char name[8];
    DWORD cch = sizeof name;
    PROBE_VALUE(AsRegResult, RegEnumKeyExA(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    t.Value("name, cch", "\"" + probe::Escaped(name, cch) + "\" " + std::to_string(cch));
    cch = 1;
    PROBE_VALUE(AsRegResult, RegEnumKeyExA(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = sizeof name;
    PROBE_VALUE(AsRegResult, RegEnumKeyExA(root, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));

    // A key with subkeys is not deleted; a key deleted under an open handle.
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "A"));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "A\\B\\C"));
    const DWORD one = 1;
    PROBE_VALUE(AsRegResult, RegSetValueExA(deep, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
    PROBE_VALUE(AsRegResult, RegCloseKey(deep));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "A\\B"));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "A"));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(root, "A"));

    // Paths that are not paths, and a closed handle.
    PROBE_VALUE(AsRegResult, OpenAndClose(root, "\\A"));
    PROBE_VALUE_KNOWN("registry-empty-path-element", AsRegResult, OpenAndClose(root, "A\\\\B"));
    PROBE_VALUE(AsRegResult, RegCloseKey(root));
    PROBE_VALUE(AsRegResult, RegCloseKey(root));
    PROBE_VALUE(AsRegResult, RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str()));
}
