#include "GameLink.h"

// The first process to load the library gives the shared record this content; later ones
// see whatever the record holds then.
LOBBYKIT_SHARED_DATA IPC_LINK_CONFIG g_ipcConfig = {0x0613, 0, 1, {0}};

static_assert(offsetof(IPC_LINK_CONFIG, wConfigSignature) == 0);
static_assert(offsetof(IPC_LINK_CONFIG, dwConfigReserved) == 2);
static_assert(offsetof(IPC_LINK_CONFIG, bMultChanel) == 6);
static_assert(offsetof(IPC_LINK_CONFIG, szServerName) == 10);
