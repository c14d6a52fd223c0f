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

#endif
