// Names of named kernel objects: length in characters, session prefixes, backslashes.
#include <cstring>

#include "winport/posix/kernel/object_name.h"

namespace winport {
namespace {

constexpr unsigned char kBackslash = 0x5C;

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character at p (not at the terminator): 2 for a lead byte followed
// by any byte but the terminator, else 1.
std::size_t CharacterBytes(const char* p)
{
    return IsLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0' ? 2 : 1;
}

// The first backslash character at or after p, or null.
const char* FindBackslash(const char* p)
{
    for (; *p; p += CharacterBytes(p))
        if (static_cast<unsigned char>(*p) == kBackslash) return p;
    return nullptr;
}

// Removes a leading "<prefix>\" from *p.
bool SkipPrefix(const char** p, const char* prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (std::strncmp(*p, prefix, n) != 0 || static_cast<unsigned char>((*p)[n]) != kBackslash) return false;
    *p += n + 1;
    return true;
}

bool Refuse(DWORD code, DWORD* error)
{
    *error = code;
    return false;
}

// Resolves a non-empty name whose length has been checked.
bool ResolveNonEmpty(const char* name, std::string* key, DWORD* error)
{
    if (static_cast<unsigned char>(name[0]) == kBackslash) return Refuse(ERROR_BAD_PATHNAME, error);
    bool global = false;
    const char* rest = name;
    for (;;) {
        if (SkipPrefix(&rest, "Global")) global = true;
        else if (!SkipPrefix(&rest, "Local")) break;
    }
    if (rest[0] == '\0' || static_cast<unsigned char>(rest[0]) == kBackslash) return Refuse(ERROR_INVALID_NAME, error);
    if (FindBackslash(rest)) return Refuse(ERROR_PATH_NOT_FOUND, error);
    for (const char* entry : {"Local", "Global", "Session"})
        if (std::strcmp(rest, entry) == 0) return Refuse(ERROR_INVALID_HANDLE, error);
    // No name without a prefix can start with "Global\" (it would be one), so the keys of
    // the two namespaces never meet.
    *key = global ? std::string("Global\\") + rest : std::string(rest);
    return true;
}

}  // namespace

bool CheckObjectNameLength(const char* name, DWORD* error)
{
    if (!name) return true;
    std::size_t characters = 0;
    for (const char* p = name; *p; p += CharacterBytes(p))
        if (++characters >= MAX_PATH) return Refuse(ERROR_FILENAME_EXCED_RANGE, error);
    return true;
}

bool ResolveObjectName(const char* name, std::string* key, DWORD* error)
{
    key->clear();
    if (!CheckObjectNameLength(name, error)) return false;
    if (!name || !name[0]) return true;
    return ResolveNonEmpty(name, key, error);
}

bool ResolveObjectNameToOpen(const char* name, std::string* key, DWORD* error)
{
    key->clear();
    if (!name) return Refuse(ERROR_INVALID_PARAMETER, error);
    if (!CheckObjectNameLength(name, error)) return false;
    if (!name[0]) return Refuse(ERROR_INVALID_HANDLE, error);
    return ResolveNonEmpty(name, key, error);
}

}  // namespace winport
