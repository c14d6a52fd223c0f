// Win32 kernel subset: handles, named objects (file mappings, events, mutexes), waits,
// threads, processes, tick count, interlocked operations, last error, system error texts,
// resource modules loaded as data files, code-page conversion (implemented in
// winport/posix/kernel/).
//
// Behaviour on Linux, where Windows leaves a choice or the layer supports less:
// - Named objects live in a directory private to the user ($XDG_RUNTIME_DIR/lobbykit, else
//   /dev/shm/lobbykit-<uid>), shared by every process of the user. Names are case-sensitive
//   byte strings of fewer than MAX_PATH (260) characters, counted as GBK text: a lead byte
//   (0x81..0xFE) and the byte after it, even a pair GBK leaves undefined, are one character,
//   and so is a lead byte that ends the name. Longer names fail with
//   ERROR_FILENAME_EXCED_RANGE in every create and open call, before any other check.
//   "Local\name" is the same object as "name"; "Global\name" is in a namespace of its own
//   (per user here too, as everything in the directory); the prefixes may repeat
//   ("Global\Local\x" is "Global\x") and count towards the length. Nothing after a prefix
//   ("Local\") fails with ERROR_INVALID_NAME, a leading backslash with ERROR_BAD_PATHNAME,
//   any other backslash with ERROR_PATH_NOT_FOUND ("Session\<id>\" is not supported); the
//   second byte of a GBK character is never a backslash. "Local", "Global" and "Session"
//   alone are the namespace's own entries and fail with ERROR_INVALID_HANDLE. Where Windows
//   would turn two different invalid GBK sequences into the same default character (one
//   name), they stay two names here. NULL or "" makes an unnamed object; the open calls
//   fail with ERROR_INVALID_PARAMETER for NULL and ERROR_INVALID_HANDLE for "".
//   Create-or-open of an existing name returns it with
//   ERROR_ALREADY_EXISTS and ignores the new parameters (a new object sets ERROR_SUCCESS);
//   a name held by another kind of object fails with ERROR_INVALID_HANDLE; opening a
//   missing name fails with ERROR_FILE_NOT_FOUND; an unusable directory (wrong owner)
//   fails with ERROR_ACCESS_DENIED. An object and its name live while any process holds a
//   handle to it; the handles of a killed process are released with it.
// - Access masks of the Open calls are not enforced (all holders are the same user),
//   except that write access to a PAGE_READONLY mapping fails with ERROR_ACCESS_DENIED.
//   Security attributes that carry a security descriptor fail with ERROR_NOT_SUPPORTED;
//   bInheritHandle has no effect (no handle is ever inherited by a process).
// - Handles are checked: a closed, stale or foreign value fails with ERROR_INVALID_HANDLE.
//   Values are multiples of 4 and are not reused for 2^32 reuses of their slot.
//   CloseHandle(GetCurrentProcess()) succeeds and does nothing.
// - Waits block in the kernel (futex). Events, mutexes, threads, processes (and their
//   thread handles) and GetCurrentProcess() are waitable; the process pseudo handle is never signalled for its own process (alone with
//   INFINITE the wait never returns). A file-mapping handle cannot be waited on
//   (ERROR_ACCESS_DENIED); other values fail with ERROR_INVALID_HANDLE; in a list, the first
//   unusable handle in index order gives the error, even after a signalled one. Alertable
//   waits behave as plain waits (there are no APCs). Kernels without futex_waitv (before
//   Linux 5.16) get a fallback that re-checks the objects every 5 ms while it waits. A
//   wait on several handles that finds none signalled looks again for up to 20 us before
//   it sleeps, on machines with more than one processor (a spin that spares a sleep and a
//   wake-up when another thread is about to signal, as the channel's peers are).
// - Wait-any: the lowest signalled index is returned and only that object is consumed. An
//   auto-reset event releases exactly one waiter per set; a manual-reset event releases
//   every thread waiting when it is set, even if it is reset again at once.
// - Wait-all (bWaitAll with several handles, in and across processes): returns when all
//   objects are signalled together, then consumes every auto-reset event and takes every
//   mutex; WAIT_ABANDONED_0 (index 0 whichever mutex it was) when a mutex among them was
//   abandoned. Nothing is consumed while not all are signalled. A manual-reset event counts
//   while it is set. The same object twice (one handle twice, or two handles of one object)
//   fails with ERROR_INVALID_PARAMETER. The objects are taken one by one, so there is a
//   window of microseconds, once all were seen signalled, in which the wait holds some of
//   them and may give them back (another waiter took one meanwhile): a wait with timeout 0
//   (or a timeout ending just then) in another thread finds such an event unsignalled or
//   such a mutex owned, where Windows would show it signalled. Sleeping waiters are woken
//   by the give-back; no set, reset or release is lost or doubled by it. A process killed
//   inside that window leaves the objects as if its wait had succeeded.
// - Mutexes are recursive. A mutex whose owning thread ended (returned or terminated) or
//   whose owning process died is taken by the next waiter with WAIT_ABANDONED(+index).
//   ReleaseMutex by a thread that does not own it fails with ERROR_NOT_OWNER. What other
//   processes share of a mutex is one 32-bit word (the owner's id, an abandoned bit, a
//   sleepers bit); recursion and the owning thread stay in the owner's own memory. An id
//   is a random 30-bit number per handle, and the handle holds an open-file-description
//   lock on the byte of its id in the object's file: the kernel drops it when the process
//   dies (SIGKILL included), and an owner whose byte nobody holds is dead. A thread that
//   waits for a mutex another process owns sleeps on its word and on a watch of the
//   owner's lock (a thread of the waiting process blocked in F_OFD_SETLKW, one per owner
//   and object, ending when that owner's handle goes; at most 32 at a time, beyond which
//   such waits look at the lock every 100 ms). Limits: a child made by fork() holds its
//   parent's descriptors, and so its ids, until it execs or exits; a new handle takes up the
//   id of a dead owner still named in a word with odds of 2^-30.
// - Named objects against other processes of the user: they can write anything into an
//   object's file, and nothing read from it is used as an address, nor is any address of
//   this process stored there. A mutex's word is free, abandoned, owned by a live id (waits
//   run to their timeouts), or owned by a dead one (the next waiter takes it abandoned); an
//   event's word is a state like any other (the kind, manual or auto-reset, is read when
//   the handle opens); a changed header refuses later opens with ERROR_INVALID_HANDLE. A
//   file shortened below its size is not guarded against (its pages would fault, as a
//   signal from that process would end this one).
// - File mappings: only the paging file (hFile INVALID_HANDLE_VALUE; other handles fail
//   with ERROR_INVALID_HANDLE), PAGE_READONLY or PAGE_READWRITE, optionally SEC_COMMIT
//   (other SEC_ flags: ERROR_NOT_SUPPORTED); memory is reserved at creation. A view's offset
//   must be a multiple of 64 KiB (ERROR_MAPPED_ALIGNMENT) and lie within the mapping
//   (ERROR_INVALID_PARAMETER). A mapping consists of whole 4096-byte pages: a view may reach
//   the end of the last page (those bytes read as zero at first and are shared like the
//   rest); past it fails with ERROR_ACCESS_DENIED. A view keeps its memory after
//   CloseHandle, but not the name: once the last handle in every process is closed,
//   OpenFileMappingA fails with ERROR_FILE_NOT_FOUND and CreateFileMappingA makes a new
//   object, while the old views still share the old memory.
// - Threads: CREATE_SUSPENDED is not supported (ERROR_NOT_SUPPORTED). A thread handle is
//   signalled when the thread has ended; by then the mutexes it owned are abandoned and
//   its windows are destroyed.
// - Processes: CreateProcessA starts a program the way Windows finds and names it. With an
//   application name, that path is used as given (relative to the current folder; no
//   search, no ".exe" added): a missing file fails with ERROR_FILE_NOT_FOUND, a missing
//   folder on the way with ERROR_PATH_NOT_FOUND, "" with ERROR_PATH_NOT_FOUND, a folder with
//   ERROR_ACCESS_DENIED. Without one, the program is the command line's first word (up to
//   the closing quote if it starts with one), else the first of the growing runs of
//   unquoted words ("a", "a b", ...) that names a file, looked for in the folder of the
//   calling program, the current folder, then PATH; Linux programs have no extension, so
//   no ".exe" is added. Not found fails with ERROR_FILE_NOT_FOUND. The program's arguments
//   are the command line as a Windows C runtime splits it (spaces and tabs; quotes group;
//   "" inside quotes is a quote; 2n backslashes before a quote are n, 2n+1 are n and a
//   literal quote; other backslashes are plain); in the program name quotes only group and
//   backslashes are plain, as Microsoft documents it. With no command line, the application
//   name is the program name. A command line above 32766 characters fails with
//   ERROR_INVALID_PARAMETER. The exec itself happens before CreateProcessA returns, so its
//   failure is the call's: ERROR_BAD_EXE_FORMAT for a file that is no program,
//   ERROR_ACCESS_DENIED for one that may not be executed. lpCurrentDirectory must be a
//   folder (else ERROR_DIRECTORY); lpEnvironment NULL gives the caller's environment, else
//   it is an ANSI block ("name=value" strings, an empty one last). The program starts as a
//   new process does on Windows: every signal at its default and none blocked, and no
//   descriptor but 0, 1 and 2 (bInheritHandles TRUE fails with ERROR_NOT_SUPPORTED).
//   dwCreationFlags may be 0 or NORMAL_PRIORITY_CLASS, everything else (CREATE_SUSPENDED,
//   consoles, CREATE_UNICODE_ENVIRONMENT, ...) fails with ERROR_NOT_SUPPORTED, as do
//   STARTUPINFOA's STARTF_USESTDHANDLES, lpReserved2 and lpDesktop; the display hints
//   (wShowWindow, sizes, positions, lpTitle) have no effect here. NULL lpStartupInfo or
//   lpProcessInformation, or neither name nor command line, fail with
//   ERROR_INVALID_PARAMETER. dwProcessId is the pid; dwThreadId is the pid too (a Linux
//   process's main thread has its id). Both handles are signalled when the process has
//   ended (and has been reaped: it never stays a zombie, whether or not its handles are
//   open); GetExitCodeProcess (and GetExitCodeThread of hThread) give STILL_ACTIVE until
//   then. An exit code is the 8 bits a Linux process keeps (300 reads as 44). A process
//   that TerminateProcess ended has the code it was given (the first request's); a process
//   that ended by itself keeps its code, and TerminateProcess then succeeds and changes
//   nothing. A program that a signal killed reports what Windows reports for the like:
//   0xC0000005 for SIGSEGV and SIGBUS, 0xC000001D for SIGILL, 0xC0000094 for SIGFPE, 3 for
//   SIGABRT (abort()), 128 + the signal for the others (SIGKILL from outside: 137).
//   TerminateProcess(GetCurrentProcess(), code) ends the caller at once with code (as
//   _exit). A host's SIGCHLD handler, SIGCHLD set to SIG_IGN and waitpid(-1) leave these
//   processes alone (winport/posix/kernel/process.h tells how); a host that reaps with
//   __WALL takes their status, and their exit code then reads 1. TerminateThread of hThread
//   fails with ERROR_NOT_SUPPORTED.
// - TerminateThread cannot stop a POSIX thread at an arbitrary instruction. It records the
//   request and returns TRUE at once (as on Windows, the end is asynchronous: wait on the
//   thread handle to know it is over). The thread ends as soon as it is, or next is, inside
//   one of the layer's blocking calls: WaitForSingleObject(Ex), WaitForMultipleObjects(Ex),
//   Sleep (Sleep(0) included), GetMessageA or PeekMessageA. Its stack is unwound from that
//   call (C++ destructors run; a catch (...) must rethrow), the mutexes it owns are released
//   as abandoned, its windows destroyed, and GetExitCodeThread reports dwExitCode. A thread
//   that runs plain code without calling those never ends by TerminateThread; if it
//   returns on its own first, the termination code still becomes its exit code. A thread
//   may terminate itself. Terminating an ended thread succeeds and changes nothing.
// - FormatMessageA supports FORMAT_MESSAGE_FROM_SYSTEM (with or without IGNORE_INSERTS,
//   width 0 or FORMAT_MESSAGE_MAX_WIDTH_MASK), language 0 or English, for the error codes
//   this layer produces (English texts); other codes fail with ERROR_MR_MID_NOT_FOUND,
//   other flags (ALLOCATE_BUFFER, FROM_STRING, FROM_HMODULE) with ERROR_NOT_SUPPORTED.
// - Files: CreateFileA opens a path as the system has it (the name's bytes, '/' as the
//   separator) with GENERIC_READ and/or GENERIC_WRITE and the dispositions CREATE_NEW,
//   CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS and TRUNCATE_EXISTING; share modes and the
//   flags and attributes are accepted and not enforced (Linux has no mandatory sharing).
//   A folder fails with ERROR_ACCESS_DENIED, as on Windows; a missing file with
//   ERROR_FILE_NOT_FOUND, a missing folder on the way with ERROR_PATH_NOT_FOUND. ReadFile
//   and WriteFile are synchronous (lpOverlapped must be NULL: ERROR_INVALID_PARAMETER);
//   ReadFile at the end of the file succeeds with 0 bytes; reading a handle opened without
//   GENERIC_READ (writing one without GENERIC_WRITE) fails with ERROR_ACCESS_DENIED.
//   A failed read or write of the system gives the code of its errno. File handles cannot
//   be waited on (ERROR_INVALID_HANDLE; on Windows they are, for asynchronous reads). CREATE_ALWAYS and OPEN_ALWAYS set ERROR_ALREADY_EXISTS when the file was
//   there, as on Windows.
// - Interlocked operations are atomic for all threads and processes, also on a LONG at an
//   unaligned offset of a packed shared record.
// - Modules: LoadLibraryExA loads PE files (PE32 and PE32+) as data files only, for their
//   resources: dwFlags must hold LOAD_LIBRARY_AS_DATAFILE, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE
//   or LOAD_LIBRARY_AS_IMAGE_RESOURCE and nothing else. Loading code (no such flag) and the
//   other defined flags fail with ERROR_NOT_SUPPORTED, bits outside the defined flags with
//   ERROR_INVALID_PARAMETER (Windows would load code, or ignore unknown bits). hFile is
//   ignored, as on Windows. The path is opened as given (no search along the program's
//   folder or PATH). NULL or "" fails with ERROR_INVALID_PARAMETER, a missing file with
//   ERROR_FILE_NOT_FOUND (also for a missing folder, as Wine), a folder with
//   ERROR_ACCESS_DENIED, an empty file with ERROR_FILE_INVALID, a file above 256 MiB with
//   ERROR_FILE_TOO_LARGE, a file without the DOS header or the PE signature it points to
//   with ERROR_BAD_EXE_FORMAT; damaged headers beyond the signature give a module without
//   resources, as Windows (Wine) does for data files. Every load gives
//   a module handle of its own, to be freed with FreeLibrary; module handles are checked (a
//   freed, stale or foreign value: FreeLibrary returns FALSE and the resource calls fail,
//   leaving the last error as it was, except FindResourceA: ERROR_RESOURCE_DATA_NOT_FOUND,
//   as for NULL, the program itself, which has no resources here).
// - Resources: FindResourceA takes integer ids (MAKEINTRESOURCEA, RT_ types), "#123" (the
//   leading digits; above 65535 fails with ERROR_INVALID_PARAMETER) and names, which match
//   without regard to the case of ASCII letters; names with other characters (GBK) are not
//   found. Of several languages the neutral one is taken, else the lowest language id. A
//   missing type fails with ERROR_RESOURCE_TYPE_NOT_FOUND, a missing name with
//   ERROR_RESOURCE_NAME_NOT_FOUND, a file without resources with
//   ERROR_RESOURCE_DATA_NOT_FOUND. The resource tree is read when the file is loaded; its
//   damaged parts (pointing outside the resource section, loops, a directory declaring more
//   entries than the section holds) are not found, the others are. Where Windows reads
//   beyond the file for a damaged directory and fails with ERROR_NOACCESS, the layer gives
//   the not-found code of what it could read. A resource whose data lie outside the file is
//   found (as on Windows) with its declared size, but LoadResource fails with
//   ERROR_INVALID_DATA, where Windows gives an address outside the file. Otherwise
//   LoadResource gives the data inside the module, valid until FreeLibrary; LockResource
//   returns its argument; FreeResource does nothing and returns FALSE, as on Win32.
//   LoadResource and SizeofResource with an unknown module or resource return NULL or 0
//   and leave the last error alone, as on Windows.
// - Code pages: the system is a Chinese Windows one. GetACP and GetOEMCP are 936 (GBK), and
//   MultiByteToWideChar / WideCharToMultiByte take 936 (also as CP_ACP, CP_OEMCP,
//   CP_THREAD_ACP) and CP_UTF8; other code pages fail with ERROR_INVALID_PARAMETER. The 936
//   table is Windows' own: 0x80 is U+20AC, 0xFF is U+F8F5, every double-byte code (lead
//   0x81..0xFE, second byte 0x40..0x7E or 0x80..0xFE) is a character, GBK's unassigned ones
//   in the private use area; to 936, characters without a code of their own are written as
//   a similar one ("best fit": U+00B2 as '2') unless WC_NO_BEST_FIT_CHARS is given. From 936,
//   a lead byte at the end, before NUL or before a byte that cannot follow it, and 0xFF, are
//   invalid: U+003F ('?'; a wrong second byte is taken with its lead byte, NUL is kept)
//   and U+F8F5 for 0xFF. To 936, what has no code (surrogates too, each half) becomes the
//   default character, '?' or lpDefaultChar (two bytes when both are non-zero, else its
//   first), and sets *lpUsedDefaultChar. UTF-8: an invalid sequence becomes U+FFFD and takes
//   its lead byte and the continuation bytes read before the error showed, as on Windows; a
//   sequence cut off by the end of the input is one U+FFFD and the bytes after it are read
//   as usual (Wine drops them). A lone surrogate to UTF-8 becomes U+FFFD (EF BF BD).
//   MB_ERR_INVALID_CHARS (and WC_ERR_INVALID_CHARS, UTF-8 only) fail such input with
//   ERROR_NO_UNICODE_TRANSLATION: 936 before writing anything, UTF-8 after converting it all,
//   as Windows does. Lengths: any negative source length is a NUL-terminated string, NUL
//   included; a source length of 0, a NULL source, a negative buffer size or a NULL buffer
//   with a non-zero size fail with ERROR_INVALID_PARAMETER; a buffer size of 0 asks for the
//   size. A buffer too small gets the characters that fit whole (a surrogate pair is one)
//   and the call fails with ERROR_INSUFFICIENT_BUFFER. Flags: MB_PRECOMPOSED, WC_DISCARDNS,
//   WC_SEPCHARS and WC_DEFAULTCHAR change nothing here (as on Windows without composition);
//   MB_COMPOSITE, MB_USEGLYPHCHARS and WC_COMPOSITECHECK are not supported, and with other
//   bits, or WC_ERR_INVALID_CHARS for 936, fail with ERROR_INVALID_FLAGS. For CP_UTF8,
//   lpDefaultChar and lpUsedDefaultChar must be NULL (ERROR_INVALID_PARAMETER), as documented.
#ifndef WINPORT_KERNEL_H
#define WINPORT_KERNEL_H

#include <cstdarg>

#include "winport_types.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFFu

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_IO_COMPLETION 0x000000C0L
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259L

#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317L
#endif
#ifndef ERROR_INVALID_ADDRESS
#define ERROR_INVALID_ADDRESS 487L
#endif
#ifndef ERROR_MAPPED_ALIGNMENT
#define ERROR_MAPPED_ALIGNMENT 1132L
#endif
#ifndef ERROR_COMMITMENT_LIMIT
#define ERROR_COMMITMENT_LIMIT 1455L
#endif
#ifndef ERROR_RESOURCE_LANG_NOT_FOUND
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#endif

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#ifndef ERROR_HANDLE_EOF
#define ERROR_HANDLE_EOF 38L
#endif
#ifndef ERROR_SHARING_VIOLATION
#define ERROR_SHARING_VIOLATION 32L
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33L
#endif
#ifndef ERROR_HANDLE_DISK_FULL
#define ERROR_HANDLE_DISK_FULL 39L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif
#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif
#ifndef ERROR_FILE_INVALID
#define ERROR_FILE_INVALID 1006L
#endif

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_FONTDIR MAKEINTRESOURCEA(7)
#define RT_FONT MAKEINTRESOURCEA(8)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)
#define RT_DLGINCLUDE MAKEINTRESOURCEA(17)
#define RT_PLUGPLAY MAKEINTRESOURCEA(19)
#define RT_VXD MAKEINTRESOURCEA(20)
#define RT_ANICURSOR MAKEINTRESOURCEA(21)
#define RT_ANIICON MAKEINTRESOURCEA(22)
#define RT_HTML MAKEINTRESOURCEA(23)
#define RT_MANIFEST MAKEINTRESOURCEA(24)

#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define SEC_COMMIT 0x08000000
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_EXECUTE 0x0020
#define FILE_MAP_ALL_ACCESS 0x000F001F

#define SYNCHRONIZE 0x00100000L
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x001F0003
#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS 0x001F0001
#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define CREATE_NO_WINDOW 0x08000000
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESIZE 0x00000002
#define STARTF_USEPOSITION 0x00000004
#define STARTF_USECOUNTCHARS 0x00000008
#define STARTF_USEFILLATTRIBUTE 0x00000010
#define STARTF_FORCEONFEEDBACK 0x00000040
#define STARTF_FORCEOFFFEEDBACK 0x00000080
#define STARTF_USESTDHANDLES 0x00000100
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// Code pages (GetACP, MultiByteToWideChar, WideCharToMultiByte).
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif
typedef const CHAR* LPCCH;
typedef const WCHAR* LPCWCH;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

extern "C" {

WINPORT_API DWORD WINAPI GetLastError(void);
WINPORT_API void WINAPI SetLastError(DWORD dwErrCode);
WINPORT_API BOOL WINAPI CloseHandle(HANDLE hObject);

WINPORT_API HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                             DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
WINPORT_API LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                                        DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
WINPORT_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);

WINPORT_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                                       LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
WINPORT_API BOOL WINAPI SetEvent(HANDLE hEvent);
WINPORT_API BOOL WINAPI ResetEvent(HANDLE hEvent);
WINPORT_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
WINPORT_API BOOL WINAPI ReleaseMutex(HANDLE hMutex);

WINPORT_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
WINPORT_API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
WINPORT_API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                                DWORD dwMilliseconds);
WINPORT_API DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                                  DWORD dwMilliseconds, BOOL bAlertable);

WINPORT_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                       LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                                       LPDWORD lpThreadId);
WINPORT_API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
WINPORT_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
WINPORT_API DWORD WINAPI GetCurrentThreadId(void);
WINPORT_API DWORD WINAPI GetCurrentProcessId(void);
WINPORT_API HANDLE WINAPI GetCurrentProcess(void);

WINPORT_API BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                       LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                       LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                       DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                       LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation);
WINPORT_API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
WINPORT_API BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
WINPORT_API DWORD WINAPI GetProcessId(HANDLE Process);

WINPORT_API DWORD WINAPI GetTickCount(void);
WINPORT_API void WINAPI Sleep(DWORD dwMilliseconds);
WINPORT_API LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend);
WINPORT_API LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend);
WINPORT_API LONG WINAPI InterlockedExchange(LONG volatile* lpTarget, LONG lValue);
WINPORT_API LONG WINAPI InterlockedCompareExchange(LONG volatile* lpDestination, LONG lExchange, LONG lComparand);

WINPORT_API DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                        LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

WINPORT_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                      LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                      DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WINPORT_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                                 LPOVERLAPPED lpOverlapped);
WINPORT_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                  LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
WINPORT_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

WINPORT_API HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINPORT_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
WINPORT_API HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
WINPORT_API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
WINPORT_API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
WINPORT_API LPVOID WINAPI LockResource(HGLOBAL hResData);
WINPORT_API BOOL WINAPI FreeResource(HGLOBAL hResData);

WINPORT_API UINT WINAPI GetACP(void);
WINPORT_API UINT WINAPI GetOEMCP(void);
WINPORT_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                           LPWSTR lpWideCharStr, int cchWideChar);
WINPORT_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                           LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                           LPBOOL lpUsedDefaultChar);

}  // extern "C"

#endif
