// Another process that loads the library, for the shared-configuration tests.
//   link_peer write MULT NAME   sets g_ipcConfig, says "ready", keeps it until stdin closes
//   link_peer read              says "config MULT SIG NAME" and ends
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "GameLink.h"

int main(int argc, char** argv)
{
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "write" && argc > 3) {
        g_ipcConfig.bMultChanel = std::atoi(argv[2]);
        lstrcpynA(g_ipcConfig.szServerName, argv[3], sizeof g_ipcConfig.szServerName);
        std::printf("ready\n");
        std::fflush(stdout);
        char line[64];
        while (std::fgets(line, sizeof line, stdin)) {
        }
        return 0;
    }
    if (verb == "read") {
        std::printf("config %d %04x %s\n", int(g_ipcConfig.bMultChanel), unsigned(g_ipcConfig.wConfigSignature),
                    g_ipcConfig.szServerName);
        return 0;
    }
    return 2;
}
