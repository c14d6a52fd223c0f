// Internal: the names that the A functions give to named kernel objects (events, mutexes,
// file mappings), checked and resolved to the key that identifies the object in the user's
// namespace (shared_object.h).
//
// Checks come in the order Windows makes them, where the A function first converts the name
// from the ANSI code page and the object manager then resolves it, so that a call with several
// faults reports the same one:
//  1. CheckObjectNameLength, first in every A function: a name of MAX_PATH (260) characters or
//     more fails with ERROR_FILENAME_EXCED_RANGE. Characters are counted as the conversion
//     from the ANSI code page (GBK) makes them: a lead byte (0x81..0xFE) and the byte after
//     it are one character, whatever that byte is (a pair GBK does not define still converts
//     to one character, the default one), a lead byte that ends the name is one character, and
//     every other byte is one. The prefixes below count too.
//  2. ResolveObjectName / ResolveObjectNameToOpen, where the object is looked up:
//     - a name may start with "Local\" (the namespace of names without a prefix) and
//       "Global\" (a namespace of its own), repeated or mixed ("Local\Global\x" is
//       "Global\x"; "Local\" inside the global namespace stays there, as on Windows);
//     - a leading backslash fails with ERROR_BAD_PATHNAME; nothing (or an empty element)
//       after a prefix with ERROR_INVALID_NAME; any other backslash with ERROR_PATH_NOT_FOUND
//       (there are no other directories; "Session\<id>\" is not supported);
//     - "Local", "Global" and "Session" name the namespace's own entries, not objects: they
//       fail with ERROR_INVALID_HANDLE, as a name held by another kind of object does.
//     A backslash is the single byte 0x5C; as the second byte of a GBK character it is part
//     of that character.
// Names are otherwise compared byte for byte and case-sensitively, prefixes included: where
// Windows would convert two different invalid GBK sequences to the same default character and
// so to one name, they stay two names here.
#ifndef WINPORT_POSIX_KERNEL_OBJECT_NAME_H
#define WINPORT_POSIX_KERNEL_OBJECT_NAME_H

#include <string>

#include <windows.h>

namespace winport {

// Step 1. NULL passes (it is no name).
bool CheckObjectNameLength(const char* name, DWORD* error);

// Step 2 (step 1 included) for the create calls: NULL and "" make an unnamed object (*key
// empty); otherwise *key identifies the object.
bool ResolveObjectName(const char* name, std::string* key, DWORD* error);

// Steps 1 and 2 for the open calls: NULL fails with ERROR_INVALID_PARAMETER, "" with
// ERROR_INVALID_HANDLE (on Windows the empty name is the namespace directory, not an object).
bool ResolveObjectNameToOpen(const char* name, std::string* key, DWORD* error);

}  // namespace winport

#endif
