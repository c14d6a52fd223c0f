// Win32 gdi API subset: the types it shares with the rest of the layer; no calls yet.
#ifndef WINPORT_GDI_H
#define WINPORT_GDI_H

#include "winport_types.h"

#endif
