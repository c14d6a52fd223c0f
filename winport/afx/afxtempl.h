// (filled in by the service that first needs it)
#ifndef WINPORT_AFXTEMPL_H
#define WINPORT_AFXTEMPL_H

#include <windows.h>

#include "LobbyKitExport.h"

#endif
