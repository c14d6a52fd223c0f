// Diagnostic trace: printf-style, compiled out unless LOBBYKIT_TRACE is defined (debug
// builds). Output goes to stderr as raw bytes (the library's texts are GBK).
#ifndef WINPORT_AFXTRACE_H
#define WINPORT_AFXTRACE_H

#include "LobbyKitExport.h"

WINPORT_API void AfxTrace(const char* lpszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#if defined(LOBBYKIT_TRACE)
#define TRACE ::AfxTrace
#else
// Arguments are not evaluated, as in release builds of the framework.
#define TRACE(...) ((void)0)
#endif

#endif
