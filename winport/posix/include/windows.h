// The Win32 subset that lobbykit uses, for systems without Win32. Real names, signatures,
// constants and error codes; each part of the API has its own header below.
#ifndef WINPORT_WINDOWS_H
#define WINPORT_WINDOWS_H

#include "winport_types.h"
#include "winport_kernel.h"
#include "winport_user.h"
#include "winport_reg.h"
#include "winport_gdi.h"

#endif
