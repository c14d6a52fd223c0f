// lobbykit-reg: looks at and changes the settings that lobbykit's hosts keep in the per-user
// registry store, in the manner of Windows' reg command:
//
//   lobbykit-reg query  KEY [/v NAME | /ve] [/s]
//   lobbykit-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
//   lobbykit-reg delete KEY [/v NAME | /ve | /va] [/f]
//   lobbykit-reg --help | --version
//
// KEY is HKCU or HKEY_CURRENT_USER, optionally followed by \subkey; in a POSIX shell it is
// quoted ('HKCU\Software\x'), and a key that lost its backslashes to the shell
// ("HKCUSoftwarex") is refused with a message that says so. Options may also start with
// "-", in any case. Names and text are taken from the command line as UTF-8 and stored as
// GBK (code page 936, as Windows converts it); what is stored is shown converted from GBK
// to UTF-8 (bytes that are not GBK are shown as \xNN). TYPE is REG_SZ (default),
// REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE; numbers are
// decimal or 0x-hex, binary data is hex digits; REG_SZ and REG_EXPAND_SZ are stored with
// their terminating NUL, as reg does, and REG_MULTI_SZ entries are separated by SEP
// (default "\0") in DATA.
// Without /f, overwriting a value or deleting asks on stdin; anything but y/yes (or end of
// input) cancels, which exits with 1. Exit code: 0 done, 1 error or cancelled.
// The manual page is lobbykit-reg.1 beside this file.
//
// Built for Linux only: on Windows, reg itself does this job on the real registry.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "registry/tool/RegTree.h"

namespace {

using lobbykit::regtool::DeleteKeyTree;

constexpr UINT kGbk = 936;

// ---- text ----------------------------------------------------------------------------------

// Converts between UTF-8 and GBK (code page 936) as Windows does; nullopt if the text is
// not valid in its encoding or has no exact form in the other one.
std::optional<std::string> Convert(UINT to, UINT from, const std::string& in)
{
    if (in.empty()) return std::string();
    const int length = static_cast<int>(in.size());
    const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), length, nullptr, 0);
    if (wide <= 0) return std::nullopt;
    std::u16string units(static_cast<std::size_t>(wide), u'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), length, &units[0], wide);
    // To GBK: no best fit and no default character, so that what is stored reads back the same.
    BOOL lossy = FALSE;
    const DWORD flags = to == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    LPBOOL used = to == CP_UTF8 ? nullptr : &lossy;
    const int bytes = WideCharToMultiByte(to, flags, units.data(), wide, nullptr, 0, nullptr, used);
    if (bytes <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(to, flags, units.data(), wide, &out[0], bytes, nullptr, used);
    return out;
}

// GBK bytes for display: each character converted on its own, so that one bad byte shows as
// \xNN and does not hide the rest.
std::string Display(const std::string& gbk)
{
    std::string out;
    for (std::size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        const std::size_t n = (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
        const auto u = c >= 0x20 && c != 0x7F ? Convert(CP_UTF8, kGbk, gbk.substr(i, n)) : std::nullopt;
        if (u) {
            out += *u;
            i += n;
        } else {
            char esc[8];
            std::snprintf(esc, sizeof(esc), "\\x%02X", c);
            out += esc;
            i += 1;
        }
    }
    return out;
}

bool ToGbk(const std::string& utf8, std::string& gbk)
{
    const auto g = Convert(kGbk, CP_UTF8, utf8);
    if (!g) {
        std::cerr << "ERROR: \"" << utf8 << "\" cannot be written in GBK.\n";
        return false;
    }
    gbk = *g;
    return true;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

int Fail(LONG err)
{
    if (err == ERROR_FILE_NOT_FOUND) {
        std::cerr << "ERROR: The system was unable to find the specified registry key or value.\n";
        return 1;
    }
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(err), 0,
                                   text, sizeof(text), nullptr);
    std::string msg(text, n);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == '\r')) msg.pop_back();
    std::cerr << "ERROR: " << (msg.empty() ? "error " + std::to_string(err) : msg) << "\n";
    return 1;
}

const char kUsage[] =
    "usage: lobbykit-reg query  KEY [/v NAME | /ve] [/s]\n"
    "       lobbykit-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "       lobbykit-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       lobbykit-reg --help | --version\n"
    "KEY is HKCU\\path or HKEY_CURRENT_USER\\path; quote it in the shell: 'HKCU\\Software\\MyGame'.\n";

int Usage()
{
    std::cerr << "ERROR: Invalid syntax.\n" << kUsage;
    return 1;
}

int Help()
{
    std::cout << "lobbykit-reg: looks at and changes the per-user registry store of lobbykit's hosts\n"
                 "("
                 "$XDG_CONFIG_HOME/lobbykit/registry.db), in the manner of Windows' reg.\n\n"
              << kUsage
              << "\n"
                 "  /v NAME  the value NAME        /ve  the default value      /va  every value\n"
                 "  /t TYPE  REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
                 "           REG_BINARY or REG_NONE\n"
                 "  /d DATA  text, a number (decimal or 0x-hex) or hex digits, by type\n"
                 "  /s       query: the subkeys too; add: SEP separates REG_MULTI_SZ strings (\"\\0\")\n"
                 "  /f       no question before overwriting or deleting\n"
                 "Options may start with - too. Text is UTF-8 here and GBK in the store.\n"
                 "Exit status: 0 done, 1 error or cancelled. See lobbykit-reg(1).\n";
    return 0;
}

int Version()
{
    std::cout << "lobbykit-reg " LOBBYKIT_VERSION "\n";
    return 0;
}

// ---- types and data ------------------------------------------------------------------------

struct TypeName {
    DWORD type;
    const char* name;
};
const TypeName kTypes[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

std::string TypeText(DWORD type)
{
    for (const auto& t : kTypes)
        if (t.type == type) return t.name;
    char buf[24];
    std::snprintf(buf, sizeof(buf), "0x%X", unsigned(type));
    return buf;
}

std::string Hex(const std::string& data)
{
    std::string out;
    char b[4];
    for (unsigned char c : data) {
        std::snprintf(b, sizeof(b), "%02X", c);
        out += b;
    }
    return out;
}

std::uint64_t LittleEndian(const std::string& data)
{
    std::uint64_t v = 0;
    for (std::size_t i = data.size(); i-- > 0;) v = v << 8 | static_cast<unsigned char>(data[i]);
    return v;
}

// Stored data as reg shows it. The store is outside input: lengths are not trusted to match
// the type.
std::string DataText(DWORD type, const std::string& data)
{
    char buf[32];
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return Display(data.substr(0, data.find('\0')));
    case REG_MULTI_SZ: {
        std::string out;
        std::size_t start = 0;
        while (start < data.size()) {
            const std::size_t end = std::min(data.find('\0', start), data.size());
            if (end == start) break;  // the empty string that ends the list
            if (!out.empty()) out += "\\0";
            out += Display(data.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }
    case REG_DWORD:
    case REG_QWORD:
        if (data.size() == (type == REG_DWORD ? 4u : 8u)) {
            std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(LittleEndian(data)));
            return buf;
        }
        return Hex(data);
    default: return Hex(data);
    }
}

bool ParseNumber(const std::string& s, std::uint64_t max, std::uint64_t& v)
{
    if (s.empty() || s[0] == '-' || s[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const unsigned long long n = std::strtoull(s.c_str(), &end, hex ? 16 : 10);
    if (errno || *end || n > max) return false;
    v = n;
    return true;
}

// Builds the bytes to store for `add`; false (with a message) if DATA does not fit TYPE.
bool EncodeData(DWORD type, const std::string& data, const std::string& sep, std::string& out)
{
    out.clear();
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        if (!ToGbk(data, out)) return false;
        out.push_back('\0');
        return true;
    case REG_MULTI_SZ: {
        std::size_t start = 0;
        while (!data.empty() && start <= data.size()) {
            const std::size_t end = std::min(data.find(sep, start), data.size());
            std::string item;
            if (!ToGbk(data.substr(start, end - start), item)) return false;
            if (item.empty()) {
                std::cerr << "ERROR: REG_MULTI_SZ data cannot contain an empty string.\n";
                return false;
            }
            out += item;
            out.push_back('\0');
            start = end + sep.size();
        }
        out.push_back('\0');
        return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
        std::uint64_t v = 0;
        if (!ParseNumber(data, type == REG_DWORD ? 0xFFFFFFFFull : ~0ull, v)) {
            std::cerr << "ERROR: Invalid " << TypeText(type) << " data: \"" << data << "\".\n";
            return false;
        }
        for (int i = 0; i < (type == REG_DWORD ? 4 : 8); ++i) out.push_back(char(v >> (8 * i)));
        return true;
    }
    default:
        if (data.size() % 2) {
            std::cerr << "ERROR: Binary data needs an even number of hex digits.\n";
            return false;
        }
        for (std::size_t i = 0; i < data.size(); i += 2) {
            const std::string pair = data.substr(i, 2);
            char* end = nullptr;
            const long b = std::strtol(pair.c_str(), &end, 16);
            if (*end || !std::isxdigit(static_cast<unsigned char>(pair[0]))) {
                std::cerr << "ERROR: Invalid hex data: \"" << data << "\".\n";
                return false;
            }
            out.push_back(char(b));
        }
        return true;
    }
}

// ---- command line --------------------------------------------------------------------------

struct Options {
    std::string keyShown;              // as given, for messages
    std::string subKey;                // GBK path below HKEY_CURRENT_USER
    std::optional<std::string> value;  // GBK value name ("" for the default value)
    bool allValues = false;
    bool recursive = false;
    bool force = false;
    std::optional<std::string> type, data, separator;
};

// Whether `root` is HKCU or HKEY_CURRENT_USER run together with what followed it: the
// backslashes of an unquoted key are gone by the time the tool sees it.
bool LostBackslashes(const std::string& root)
{
    for (const char* name : {"HKEY_CURRENT_USER", "HKCU"}) {
        const std::size_t n = std::strlen(name);
        if (root.size() > n && root.compare(0, n, name) == 0) return true;
    }
    return false;
}

bool ParseKey(const std::string& arg, Options& o)
{
    const std::size_t slash = arg.find('\\');
    const std::string root = Upper(arg.substr(0, slash));
    if (root != "HKCU" && root != "HKEY_CURRENT_USER") {
        if (LostBackslashes(root))
            std::cerr << "ERROR: Invalid key name \"" << arg
                      << "\": its backslashes were lost to the shell. Quote the key, as in\n"
                         "       lobbykit-reg query 'HKCU\\Software\\MyGame'\n";
        else std::cerr << "ERROR: Invalid key name: only HKCU (HKEY_CURRENT_USER) is kept here.\n";
        return false;
    }
    o.keyShown = "HKEY_CURRENT_USER" + (slash == std::string::npos ? "" : arg.substr(slash));
    if (slash == std::string::npos) return true;
    return ToGbk(arg.substr(slash + 1), o.subKey);
}

// Parses the options after KEY; `allowed` lists the ones this command takes. /s is the
// REG_MULTI_SZ separator for add (sIsSeparator) and "recursive" for query.
bool ParseOptions(int argc, char** argv, const std::vector<std::string>& allowed, bool sIsSeparator, Options& o)
{
    for (int i = 3; i < argc; ++i) {
        std::string opt = argv[i];
        if (opt.size() < 2 || (opt[0] != '/' && opt[0] != '-')) {
            std::cerr << "ERROR: Invalid syntax: \"" << opt << "\".\n";
            return false;
        }
        opt = Upper(opt.substr(1));
        bool known = false;
        for (const auto& a : allowed) known = known || a == opt;
        const bool takesArg = opt == "V" || opt == "T" || opt == "D" || (opt == "S" && sIsSeparator);
        if (!known || (takesArg && i + 1 >= argc)) {
            std::cerr << "ERROR: Invalid syntax: \"" << argv[i] << "\".\n";
            return false;
        }
        const bool valueOption = opt == "V" || opt == "VE" || opt == "VA";
        if (valueOption && (o.value || o.allValues)) {
            std::cerr << "ERROR: Only one of /v, /ve and /va may be given.\n";
            return false;
        }
        std::string gbk;
        if (opt == "V") {
            if (!ToGbk(argv[++i], gbk)) return false;
            o.value = gbk;
        } else if (opt == "VE" || opt == "VA") {
            if (opt == "VE") o.value = std::string();
            o.allValues = opt == "VA";
        } else if (opt == "T") {
            o.type = Upper(argv[++i]);
        } else if (opt == "D") {
            o.data = argv[++i];
        } else if (opt == "S") {
            if (sIsSeparator) o.separator = argv[++i];
            else o.recursive = true;
        } else if (opt == "F") {
            o.force = true;
        }
    }
    return true;
}

bool Confirm(const std::string& question)
{
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) answer.clear();
    answer = Upper(answer);
    if (answer == "Y" || answer == "YES") return true;
    std::cout << "The operation was cancelled.\n";
    return false;
}

std::string ShownName(const std::string& gbkName) { return gbkName.empty() ? "(Default)" : Display(gbkName); }

// ---- commands ------------------------------------------------------------------------------

// Prints one value line.
LONG PrintValue(HKEY key, const std::string& name)
{
    DWORD type = 0, cb = 0;
    LONG err = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &cb);
    std::string data(cb, '\0');
    if (err == ERROR_SUCCESS && cb)
        err = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &cb);
    if (err != ERROR_SUCCESS) return err;
    data.resize(cb);
    std::cout << "    " << ShownName(name) << "    " << TypeText(type) << "    " << DataText(type, data) << "\n";
    return ERROR_SUCCESS;
}

LONG QueryKey(HKEY parent, const std::string& subKey, const std::string& shown, bool recursive)
{
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key);
    if (err != ERROR_SUCCESS) return err;
    std::cout << "\n" << shown << "\n";
    std::vector<std::string> names, subkeys;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD cch = sizeof(name);
        err = RegEnumValueA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (err != ERROR_SUCCESS) break;
        names.emplace_back(name, cch);
    }
    for (DWORD i = 0; err == ERROR_NO_MORE_ITEMS; ++i) {
        char name[256];
        DWORD cch = sizeof(name);
        const LONG e = RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS) err = e;
        else subkeys.emplace_back(name, cch);
    }
    if (err == ERROR_NO_MORE_ITEMS) err = ERROR_SUCCESS;
    for (const auto& n : names)
        if (err == ERROR_SUCCESS) err = PrintValue(key, n);
    if (err == ERROR_SUCCESS && !recursive && !subkeys.empty()) {
        std::cout << "\n";
        for (const auto& s : subkeys) std::cout << shown << "\\" << Display(s) << "\n";
    }
    for (const auto& s : subkeys)
        if (err == ERROR_SUCCESS && recursive) err = QueryKey(key, s, shown + "\\" + Display(s), true);
    RegCloseKey(key);
    return err;
}

int Query(const Options& o)
{
    if (!o.value) {
        const LONG err = QueryKey(HKEY_CURRENT_USER, o.subKey, o.keyShown, o.recursive);
        return err == ERROR_SUCCESS ? 0 : Fail(err);
    }
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, o.subKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (err != ERROR_SUCCESS) return Fail(err);
    std::cout << "\n" << o.keyShown << "\n";
    err = PrintValue(key, *o.value);
    RegCloseKey(key);
    return err == ERROR_SUCCESS ? 0 : Fail(err);
}

int Add(const Options& o)
{
    DWORD type = REG_SZ;
    if (o.type) {
        bool found = false;
        for (const auto& t : kTypes)
            if (*o.type == t.name) type = t.type, found = true;
        if (!found) {
            std::cerr << "ERROR: Invalid type: " << *o.type << ".\n";
            return 1;
        }
    }
    std::string bytes;
    if (o.value && !EncodeData(type, o.data.value_or(""), o.separator.value_or("\\0"), bytes)) return 1;
    HKEY key = nullptr;
    LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, o.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (o.value) {
        const bool exists = RegQueryValueExA(key, o.value->c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        if (exists && !o.force && !Confirm("Value " + ShownName(*o.value) + " exists, overwrite")) {
            RegCloseKey(key);
            return 1;
        }
        err = RegSetValueExA(key, o.value->c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             DWORD(bytes.size()));
    }
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return Fail(err);
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const Options& o)
{
    if (!o.value && !o.allValues) {
        if (o.subKey.empty()) {
            std::cerr << "ERROR: HKEY_CURRENT_USER itself cannot be deleted.\n";
            return 1;
        }
        HKEY probe = nullptr;
        LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, o.subKey.c_str(), 0, KEY_READ, &probe);
        if (err != ERROR_SUCCESS) return Fail(err);
        RegCloseKey(probe);
        if (!o.force && !Confirm("Permanently delete the registry key " + o.keyShown)) return 1;
        err = DeleteKeyTree(HKEY_CURRENT_USER, o.subKey);
        if (err != ERROR_SUCCESS) return Fail(err);
        std::cout << "The operation completed successfully.\n";
        return 0;
    }
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, o.subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (o.value) {
        err = RegQueryValueExA(key, o.value->c_str(), nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_SUCCESS && !o.force && !Confirm("Delete the registry value " + ShownName(*o.value))) {
            RegCloseKey(key);
            return 1;
        }
        if (err == ERROR_SUCCESS) err = RegDeleteValueA(key, o.value->c_str());
    } else if (o.force || Confirm("Delete all values under the registry key " + o.keyShown)) {
        // Always the first value: the previous one is gone.
        for (;;) {
            char name[16384];
            DWORD cch = sizeof(name);
            err = RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (err == ERROR_SUCCESS) err = RegDeleteValueA(key, name);
            if (err != ERROR_SUCCESS) break;
        }
        if (err == ERROR_NO_MORE_ITEMS) err = ERROR_SUCCESS;
    } else {
        RegCloseKey(key);
        return 1;
    }
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return Fail(err);
    std::cout << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2) {
        const std::string arg = argv[1];
        if (arg == "--help" || arg == "-h" || arg == "/?" || arg == "-?") return Help();
        if (arg == "--version") return Version();
    }
    if (argc < 3) return Usage();
    const std::string command = Upper(argv[1]);
    Options o;
    if (command == "QUERY") {
        if (!ParseKey(argv[2], o) || !ParseOptions(argc, argv, {"V", "VE", "S"}, false, o)) return 1;
        return Query(o);
    }
    if (command == "ADD") {
        if (!ParseKey(argv[2], o) || !ParseOptions(argc, argv, {"V", "VE", "T", "S", "D", "F"}, true, o)) return 1;
        return Add(o);
    }
    if (command == "DELETE") {
        if (!ParseKey(argv[2], o) || !ParseOptions(argc, argv, {"V", "VE", "VA", "F"}, false, o)) return 1;
        return Delete(o);
    }
    return Usage();
}
