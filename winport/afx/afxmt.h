// (filled in by the service that first needs it)
#ifndef WINPORT_AFXMT_H
#define WINPORT_AFXMT_H

#include <windows.h>

#include "LobbyKitExport.h"

#endif
