// The differences between winport/posix and Windows (as Wine gives it) that are explained.
// An entry is removed when its difference is gone: the comparison fails until it is.
#include "Probe.h"

namespace probe {

const std::vector<KnownDifference>& KnownDifferences()
{
    static const std::vector<KnownDifference> table = {
        // --- kernel objects ---
        {"view-offset-past-end", "winport-bug",
         "MapViewOfFile at an offset past the end of the mapping fails with ERROR_INVALID_PARAMETER; "
         "winport/posix gives ERROR_ACCESS_DENIED"},
        {"view-size-in-pages", "winport-bug",
         "a paging-file mapping is made of whole pages: a view of 8245 bytes of an 8244-byte mapping "
         "(within its last page) succeeds; winport/posix refuses it with ERROR_ACCESS_DENIED (past the "
         "last page both refuse)"},
        {"mapping-name-ends-with-handles", "winport-bug",
         "the name of a mapping goes when its last handle is closed, even while views keep the memory "
         "(views are not handles): OpenFileMappingA then fails with ERROR_FILE_NOT_FOUND; winport/posix "
         "keeps the name while a view exists"},
        {"open-empty-name", "winport-bug",
         "OpenEventA with an empty name fails with ERROR_INVALID_HANDLE (the empty name opens the "
         "namespace directory itself, which is no event); winport/posix gives ERROR_INVALID_PARAMETER"},
        {"name-max-path", "winport-bug",
         "the ANSI object functions take names of at most MAX_PATH - 1 (259) characters, a GBK "
         "character counting one (documented: the name is limited to MAX_PATH characters); longer "
         "names fail with ERROR_FILENAME_EXCED_RANGE in Create and Open alike. winport/posix takes "
         "names up to 32767 bytes"},
        {"wine-mutex-max-path", "wine-departs",
         "Wine's CreateMutexA alone takes a name of exactly MAX_PATH (260) characters, which its own "
         "OpenMutexA and the Create/Open calls of every other kind refuse; the documentation gives one "
         "limit for all (for use once winport/posix applies the limit)"},
        {"session-prefixes", "winport-limit",
         "\"Local\\\" names the session namespace (the same objects as names without a prefix) and "
         "\"Global\\\" the global one; winport/posix documents that it has no prefixes and fails with "
         "ERROR_PATH_NOT_FOUND"},
        {"wine-wait-all-duplicates", "wine-departs",
         "a wait-all whose array holds the same object twice: the documentation says the array may not "
         "contain copies of the same handle, and Windows fails such a wait-all with "
         "ERROR_INVALID_PARAMETER (its kernel compares the objects, so two handles of one object count "
         "too); Wine waits as if each object were there once. winport/posix fails it as Windows does"},
        {"terminate-ended-thread", "undocumented",
         "TerminateThread of a thread that has already ended succeeds on both; Wine then reports the "
         "new code from GetExitCodeThread, winport/posix keeps the code the thread ended with. Windows "
         "documents neither, and nothing in lobbykit reads the code of a terminated thread"},
        // --- registry ---
        {"registry-sz-without-nul", "wine-departs",
         "a REG_SZ value stored without its terminating NUL: Windows keeps the bytes as given, "
         "so a query returns them as they were written (documented: the string may have been "
         "stored without its NUL and the caller must terminate it); Wine adds a NUL to the data "
         "and counts it. winport/posix keeps the bytes"},
        {"registry-type-on-failure", "undocumented",
         "RegQueryValueExA of a missing value (ERROR_FILE_NOT_FOUND): Wine sets the type to REG_NONE, "
         "winport/posix leaves the caller's variable alone; Windows documents the type only for a "
         "value that exists"},
        {"registry-empty-path-element", "winport-choice",
         "a key path with an empty element (\"A\\\\B\"): winport/posix refuses it with "
         "ERROR_BAD_PATHNAME in open and create alike, as documented in winport_reg.h; Wine's open "
         "says ERROR_FILE_NOT_FOUND (and its create makes a key); Windows documents nothing. A leading "
         "backslash is ERROR_BAD_PATHNAME on both"},
        // --- text ---
        {"wsprintf-alt-zero", "winport-bug",
         "wsprintfA \"%#x\" of 0 writes \"0x0\" (the prefix does not depend on the value); "
         "winport/posix writes \"0\" as C's printf does"},
        {"wsprintf-int-precision", "winport-bug",
         "wsprintfA integer precision: \"%.0d\" of 0 writes \"0\", and the minus sign counts within "
         "the precision (\"%5.3d\" of -7 is \"  -07\"); winport/posix follows C's printf"},
        {"wsprintf-h-ignored", "winport-bug",
         "wsprintfA ignores the h size prefix of integer conversions (\"%hd\" of 70000 writes 70000); "
         "winport/posix converts to 16 bits"},
        {"wsprintf-overlong", "winport-choice",
         "output past wsprintfA's limit: Windows documents only that the buffer is at most 1024 bytes; "
         "Wine fills all 1024 with text, writes no terminator and returns 1024; winport/posix writes "
         "1023 bytes and the terminator and returns 1023, so that the result is always a string "
         "within the 1024 bytes"},
    };
    return table;
}

const KnownDifference* FindKnownDifference(const std::string& id)
{
    for (const KnownDifference& k : KnownDifferences())
        if (id == k.id) return &k;
    return nullptr;
}

}  // namespace probe
