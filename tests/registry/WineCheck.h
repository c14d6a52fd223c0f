// Where Wine's registry departs from Windows. The registry tests expect Windows' behaviour
// (which the Linux store follows) and, when they run in the Windows build under Wine, Wine's
// instead, for the departures named here and only for them. Seen with Wine 8.0.
#ifndef LOBBYKIT_TESTS_WINECHECK_H
#define LOBBYKIT_TESTS_WINECHECK_H

#include <string>

namespace regtest {

// True in a Windows program that runs under Wine.
bool UnderWine();

// The bytes a REG_SZ value holds after RegSetValueExA stored `written`. Windows keeps the
// bytes as given (the count written comes back); Wine adds a NUL to data that has none.
std::string StoredSz(const std::string& written);

// Whether RegCreateKeyExA leaves the class of a key that already exists alone. Windows gives
// the class only to the keys it creates; Wine gives it to existing keys too.
bool ExistingKeysKeepTheirClass();

}  // namespace regtest

#endif
