// Linux build: the registry is lobbykit's own store, never Wine's.
#include "WineCheck.h"

namespace regtest {

bool UnderWine() { return false; }

}  // namespace regtest
