// (filled in by the service that first needs it)
#ifndef WINPORT_AFXSTR_H
#define WINPORT_AFXSTR_H

#include <windows.h>

#include "LobbyKitExport.h"

#endif
