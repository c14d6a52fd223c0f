// Windows build: Wine's ntdll exports wine_get_version; Windows' does not.
#include <windows.h>

#include "WineCheck.h"

namespace regtest {

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace regtest
