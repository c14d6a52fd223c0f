// The differences between winport/posix and Windows (as Wine gives it) that are explained.
// An entry is removed when its difference is gone: the comparison fails until it is.
#include "Probe.h"

namespace probe {

const std::vector<KnownDifference>& KnownDifferences()
{
    static const std::vector<KnownDifference> table = {
        // --- kernel objects ---
        {"wine-mutex-max-path", "wine-departs",
         "Wine's CreateMutexA alone takes a name of exactly MAX_PATH (260) characters, which its own "
         "OpenMutexA and the Create/Open calls of every other kind refuse; the documentation gives one "
         "limit for all, which winport/posix applies"},
        {"wine-wait-all-duplicates", "wine-departs",
         "a wait-all whose array holds the same object twice: the documentation says the array may not "
         "contain copies of the same handle, and Windows fails such a wait-all with "
         "ERROR_INVALID_PARAMETER (its kernel compares the objects, so two handles of one object count "
         "too); Wine waits as if each object were there once. winport/posix fails it as Windows does"},
        {"terminate-ended-thread", "undocumented",
         "TerminateThread of a thread that has already ended succeeds on both; Wine then reports the "
         "new code from GetExitCodeThread, winport/posix keeps the code the thread ended with. Windows "
         "documents neither, and nothing in lobbykit reads the code of a terminated thread"},
        // --- processes ---
        {"wine-requotes-program-name", "wine-departs",
         "CreateProcessA with no application name and an unquoted command line whose program name has a "
         "space (\"<dir>probe child x y\"): Wine puts quotes around the name it found, so the child's "
         "first argument is \"<dir>probe child\"; Windows passes the command line as given, and the "
         "child's runtime splits it into \"<dir>probe\", \"child\", ... winport/posix does as Windows"},
        {"wine-program-name-unescaped", "wine-departs",
         "the program name (argv[0]) of a command line: Microsoft's runtime documents that in it quotes "
         "only group and backslashes are plain characters (a\\\"b c is the one word a\\b c); Wine's msvcrt "
         "splits it like the other arguments (a\"b, then c). winport/posix follows the documentation"},
        {"wine-folder-as-program", "undocumented",
         "CreateProcessA of a folder: Wine fails with ERROR_INVALID_HANDLE, winport/posix with "
         "ERROR_ACCESS_DENIED (what the system's exec gives for a folder); Windows documents no "
         "code"},
        {"process-start-unsupported", "winport-limit",
         "CreateProcessA with CREATE_SUSPENDED, DETACHED_PROCESS, CREATE_UNICODE_ENVIRONMENT or "
         "bInheritHandles TRUE: winport/posix has no suspended threads, consoles, wide environments or "
         "inheritable handles, and fails with ERROR_NOT_SUPPORTED (documented in winport_kernel.h)"},
        {"exit-code-eight-bits", "winport-limit",
         "a program that exits with a code above 255: Linux keeps the low 8 bits of an exit status, so "
         "winport/posix reports 300 as 44 where Windows keeps the whole 32-bit code"},
        // --- messages ---
        {"msgwait-unknown-bits", "winport-choice",
         "MsgWaitForMultipleObjects(Ex) with a wake mask bit that is no QS_ value, or a flag that is no "
         "MWMO_ value: Wine ignores it; winport/posix fails with ERROR_INVALID_PARAMETER, as it does for "
         "every flag it does not know, rather than wait for something it cannot tell"},
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
        {"wsprintf-overlong", "winport-choice",
         "output past wsprintfA's limit: Windows documents only that the buffer is at most 1024 bytes; "
         "Wine fills all 1024 with text, writes no terminator and returns 1024; winport/posix writes "
         "1023 bytes and the terminator and returns 1023, so that the result is always a string "
         "within the 1024 bytes"},
        // --- code pages ---
        {"codepage-unsupported-flags", "winport-limit",
         "MB_COMPOSITE, MB_USEGLYPHCHARS and WC_COMPOSITECHECK (composing and decomposing characters, "
         "glyphs for control characters): winport/posix fails them with ERROR_INVALID_FLAGS, as "
         "documented in winport_kernel.h; Windows converts (Wine even takes MB_PRECOMPOSED together "
         "with MB_COMPOSITE, which the documentation forbids)"},
        {"codepage-others", "winport-limit",
         "code pages other than 936 (CP_ACP, CP_OEMCP, CP_THREAD_ACP) and CP_UTF8: winport/posix fails "
         "them with ERROR_INVALID_PARAMETER, as Windows does for a code page it does not have"},
        {"wine-wc-err-invalid-chars", "wine-departs",
         "WideCharToMultiByte(936, WC_ERR_INVALID_CHARS): the documentation says the flag applies only "
         "to UTF-8 (and 54936) and cannot be used with other code pages; Wine ignores it. winport/posix "
         "fails it with ERROR_INVALID_FLAGS"},
        {"wine-utf8-default-char", "wine-departs",
         "WideCharToMultiByte(CP_UTF8) with lpDefaultChar or lpUsedDefaultChar: the documentation says "
         "both must be NULL for UTF-8 and the call fails with ERROR_INVALID_PARAMETER otherwise, as "
         "Windows does; Wine converts. winport/posix fails, so that a host finds the mistake on Linux"},
        {"wine-utf8-half-pair", "winport-choice",
         "MultiByteToWideChar(CP_UTF8) into a buffer with room for only the first half of a surrogate "
         "pair: Wine writes that half and reports success, which hands the caller a broken string; "
         "winport/posix fails with ERROR_INSUFFICIENT_BUFFER, as for any other character that does "
         "not fit"},
        {"wine-utf8-cut-at-end", "winport-choice",
         "MultiByteToWideChar(CP_UTF8) of a sequence whose lead byte announces more bytes than the "
         "input has left: Wine gives one U+FFFD and drops every byte that is left, even plain ASCII "
         "(\"\\xF0\\x9F\" \"d\" gives U+FFFD alone); winport/posix reads those bytes as it does "
         "anywhere else in the input (U+FFFD for the cut sequence, then 'd'), so that nothing valid "
         "is lost"},
        // --- GDI ---
        {"wine-pattern-with-source", "wine-departs",
         "a raster operation that combines a pattern brush with a source (0xFC PSo, 0xD5, MERGECOPY...) "
         "at a destination other than (0, 0): Wine shifts the pattern (by twice the destination's "
         "clipped origin in y, and by varying amounts in x), while it lines the same brush up with the "
         "brush origin for PATCOPY and for these operations at (0, 0). Windows documents one alignment, "
         "to the brush origin, for every use of a brush; winport/posix keeps it for every operation"},
        {"gdi-stale-handle-error", "winport-choice",
         "DeleteObject and GetObjectA of a GDI handle already deleted: both fail, and winport/posix sets "
         "ERROR_INVALID_HANDLE, as it does for every stale handle (and as Wine's DeleteDC does); Wine's "
         "object calls leave the last error alone. Windows documents only the failure"},
        {"halftone-clipped", "undocumented",
         "StretchBlt in HALFTONE mode whose destination rectangle reaches outside the destination "
         "bitmap: Wine clips both rectangles first (the source in proportion, rounded) and stretches "
         "the clipped ones anew, so every visible pixel moves; winport/posix keeps the positions of "
         "the whole rectangle, as Wine itself does in the other modes. Windows documents neither"},
        {"wine-halftone-onto-mono", "wine-departs",
         "StretchBlt in HALFTONE mode onto a monochrome bitmap, when the sizes differ: Wine paints "
         "every pixel 0 whatever the source and the colours (at equal sizes it transfers as BitBlt "
         "does). Windows documents HALFTONE as approximating the source's colours; winport/posix "
         "stretches onto a monochrome bitmap as COLORONCOLOR does, which keeps the picture"},
        {"dibsection-depths", "winport-limit",
         "CreateDIBSection of 1, 4, 8, 16 or 24 bits, or of 32 bits with masks other than 0xFF0000, "
         "0xFF00, 0xFF: Windows makes them; winport/posix keeps a section's pixels as its own 32-bpp "
         "rows, so that neither side copies, and fails the others with ERROR_NOT_SUPPORTED "
         "(documented in winport_gdi.h)"},
        {"dibsection-from-mapping", "winport-limit",
         "CreateDIBSection with hSection (the pixels in a file mapping): winport/posix fails with "
         "ERROR_NOT_SUPPORTED; a host hands over its own buffer with SetDIBitsToDevice instead"},
        {"dibsection-refusal-error", "winport-choice",
         "CreateDIBSection of what Windows refuses too (no such depth, a size of 0, a negative width, "
         "two planes, RLE, an unknown usage, a size past memory): both return NULL; Wine leaves the "
         "last error alone, winport/posix sets ERROR_INVALID_PARAMETER (ERROR_NOT_ENOUGH_MEMORY when "
         "the memory is not there), so that the host learns why"},
        {"rle-stretch-rop", "winport-limit",
         "StretchDIBits of RLE data with an operation other than SRCCOPY (or stretched): Wine keeps "
         "runs there that its SRCCOPY path and CreateDIBitmap drop (those of data that end without "
         "an escape); winport/posix fails such calls with ERROR_NOT_SUPPORTED rather than guess "
         "(documented in winport_gdi.h)"},
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
