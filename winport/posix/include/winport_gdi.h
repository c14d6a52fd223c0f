// Win32 gdi API subset (declarations; implemented in winport/posix/gdi*.cpp).
#ifndef WINPORT_GDI_H
#define WINPORT_GDI_H

#include "winport_types.h"

#endif
