// Win32 kernel subset: handles, named objects (file mappings, events, mutexes), waits,
// threads, tick count, interlocked operations, last error, system error texts.
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

#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define SEC_COMMIT 0x08000000
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

#define SYNCHRONIZE 0x00100000L
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x001F0003
#define MUTEX_ALL_ACCESS 0x001F0001
#define CREATE_SUSPENDED 0x00000004

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

extern "C" {

WINPORT_API DWORD WINAPI GetLastError(void);
WINPORT_API void WINAPI SetLastError(DWORD dwErrCode);
WINPORT_API BOOL WINAPI CloseHandle(HANDLE hObject);

WINPORT_API HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes,
                                             DWORD flProtect, DWORD dwMaximumSizeHigh,
                                             DWORD dwMaximumSizeLow, LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle,
                                           LPCSTR lpName);
WINPORT_API LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                                        DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                                        SIZE_T dwNumberOfBytesToMap);
WINPORT_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);

WINPORT_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                       BOOL bInitialState, LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
WINPORT_API BOOL WINAPI SetEvent(HANDLE hEvent);
WINPORT_API BOOL WINAPI ResetEvent(HANDLE hEvent);
WINPORT_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                                       LPCSTR lpName);
WINPORT_API HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
WINPORT_API BOOL WINAPI ReleaseMutex(HANDLE hMutex);

WINPORT_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
WINPORT_API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds,
                                               BOOL bAlertable);
WINPORT_API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles,
                                                BOOL bWaitAll, DWORD dwMilliseconds);
WINPORT_API DWORD WINAPI WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles,
                                                  BOOL bWaitAll, DWORD dwMilliseconds,
                                                  BOOL bAlertable);

WINPORT_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                       SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                                       LPVOID lpParameter, DWORD dwCreationFlags,
                                       LPDWORD lpThreadId);
WINPORT_API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
WINPORT_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
WINPORT_API DWORD WINAPI GetCurrentThreadId(void);
WINPORT_API DWORD WINAPI GetCurrentProcessId(void);
WINPORT_API HANDLE WINAPI GetCurrentProcess(void);

WINPORT_API DWORD WINAPI GetTickCount(void);
WINPORT_API void WINAPI Sleep(DWORD dwMilliseconds);
WINPORT_API LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend);
WINPORT_API LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend);
WINPORT_API LONG WINAPI InterlockedExchange(LONG volatile* lpTarget, LONG lValue);
WINPORT_API LONG WINAPI InterlockedCompareExchange(LONG volatile* lpDestination, LONG lExchange,
                                                   LONG lComparand);

WINPORT_API DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                        DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                        va_list* Arguments);
WINPORT_API HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);

}  // extern "C"

#endif
