// CreateProcessA with any command line, environment block and folder, all the way to the
// exec: the program is a file that may not be executed, so every call must fail cleanly
// (ERROR_ACCESS_DENIED, or the code of an overlong line or a bad folder), leaving no handle
// and no child behind. Input: a selector byte, the command line, NUL, the environment block.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include <windows.h>

#include "../common/ChildrenOfProcess.h"
#include "winport/posix/kernel/kernel.h"

namespace {

std::string g_program;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static char dir[] = "/tmp/lobbykit-processfuzz-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    g_program = std::string(dir) + "/not-executable";
    const int fd = open(g_program.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, "#!/bin/sh\n", 10) != 10) return 1;
    close(fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::uint8_t selector = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nul = rest.find('\0');
    std::string line = rest.substr(0, nul);
    std::string env = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
    env.append(2, '\0');  // a block always ends

    const std::size_t handles = winport::LiveHandleCount();
    const std::set<long> children = lktest::ChildrenOfProcess();
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const char* folder = (selector & 2) ? "/" : (selector & 4) ? env.c_str() : nullptr;
    SetLastError(0);
    const BOOL ok = CreateProcessA(g_program.c_str(), (selector & 1) ? &line[0] : nullptr, nullptr, nullptr, FALSE, 0,
                                   (selector & 8) ? &env[0] : nullptr, folder, &si, &pi);
    const DWORD error = GetLastError();
    if (ok) __builtin_trap();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_INVALID_PARAMETER && error != ERROR_DIRECTORY) {
        std::fprintf(stderr, "CreateProcessA failed with %u\n", static_cast<unsigned>(error));
        __builtin_trap();
    }
    if (winport::LiveHandleCount() != handles) __builtin_trap();
    // Nothing started is left, not even as a zombie.
    for (long pid : lktest::ChildrenOfProcess())
        if (!children.count(pid)) __builtin_trap();
    return 0;
}
