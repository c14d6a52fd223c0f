// Helper process of the registry tests: the other writers of the shared per-user store.
//   reg_worker counter MUTEX N     N increments of Software\szDomain\shared\counter, each a
//                                  read-modify-write holding the named mutex MUTEX: the lock
//                                  that the processes sharing that key agree on, as hosts
//                                  would use it on Windows too
//   reg_worker distinct ID N       N values "wID-i" = i in Software\szDomain\distinct
//   reg_worker acked N             values "vi" = i in Software\szDomain\killed; after each
//                                  write that returned 1, "i\n" on stdout
//   reg_worker fresh               one write, as the first user of a new store
//   reg_worker watch               a program that keeps the store open: "ready\n" once it
//                                  has read it; then per line on stdin, "read" answers the
//                                  value Software\szDomain\watch\n ("none" if missing),
//                                  "write N" sets Software\szDomain\watch\own to N ("ok")
// Exit 0 when every call succeeded, 1 otherwise, 2 for bad arguments.
#include <unistd.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "RegKey.h"

namespace {

int Counter(const char* mutexName, int n)
{
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName);
    if (!mutex) return 1;
    int rc = 0;
    for (int i = 0; i < n && rc == 0; ++i) {
        // WAIT_ABANDONED too: a holder died; the value it left is still consistent.
        const DWORD w = WaitForSingleObject(mutex, INFINITE);
        if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
            rc = 1;
            break;
        }
        unsigned long value = 0;
        if (!RegReadKeyInt("shared", nullptr, "counter", value)) value = 0;  // first writer
        if (!RegWriteKeyInt("shared", nullptr, "counter", int(value + 1))) rc = 1;
        if (!ReleaseMutex(mutex)) rc = 1;
    }
    CloseHandle(mutex);
    return rc;
}

int Distinct(const char* id, int n)
{
    for (int i = 0; i < n; ++i) {
        const std::string name = std::string("w") + id + "-" + std::to_string(i);
        if (!RegWriteKeyInt("distinct", nullptr, name.c_str(), i)) return 1;
    }
    return 0;
}

int Acked(int n)
{
    for (int i = 0; i < n; ++i) {
        const std::string name = "v" + std::to_string(i);
        if (!RegWriteKeyInt("killed", nullptr, name.c_str(), i)) return 1;
        const std::string line = std::to_string(i) + "\n";
        if (write(STDOUT_FILENO, line.data(), line.size()) != ssize_t(line.size())) return 1;
    }
    return 0;
}

int Watch()
{
    unsigned long n = 0;
    RegReadKeyInt("watch", nullptr, "n", n);
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "read", 4) == 0) {
            if (RegReadKeyInt("watch", nullptr, "n", n)) std::printf("%lu\n", n);
            else std::printf("none\n");
        } else if (std::strncmp(line, "write ", 6) == 0) {
            std::printf(RegWriteKeyInt("watch", nullptr, "own", std::atoi(line + 6)) ? "ok\n" : "failed\n");
        } else {
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "counter") == 0) return Counter(argv[2], std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "distinct") == 0) return Distinct(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "acked") == 0) return Acked(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "fresh") == 0) return RegWriteKeyInt("fresh", nullptr, "n", 1) ? 0 : 1;
    if (argc == 2 && std::strcmp(argv[1], "watch") == 0) return Watch();
    std::fprintf(stderr, "usage: reg_worker counter MUTEX N | distinct ID N | acked N | fresh | watch\n");
    return 2;
}
