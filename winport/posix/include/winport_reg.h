// Win32 reg API subset (declarations; implemented in winport/posix/reg*.cpp).
#ifndef WINPORT_REG_H
#define WINPORT_REG_H

#include "winport_types.h"

#endif
