// The framework classes that lobbykit's interface and services use, written over Win32 calls
// so that the same code serves Linux (through winport/posix) and Windows.
#ifndef WINPORT_AFX_H
#define WINPORT_AFX_H

#include <windows.h>

#include "LobbyKitExport.h"
#include "afxtrace.h"
#include "afxstr.h"
#include "afxmt.h"
#include "afxtempl.h"

// The object address test: non-zero if [lp, lp + nBytes) may be used (see afxvalid.cpp).
WINPORT_API BOOL AfxIsValidAddress(const void* lp, UINT nBytes, BOOL bReadWrite = TRUE);

#endif
