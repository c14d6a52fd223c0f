// Debug builds trace every packet; a long test keeps its own stderr quiet meanwhile.
#ifndef LOBBYKIT_TESTS_IPC_QUIETSTDERR_H
#define LOBBYKIT_TESTS_IPC_QUIETSTDERR_H

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace lktest {

class QuietStderr {
public:
    QuietStderr() : m_saved(dup(2))
    {
#ifdef _WIN32
        const int devnull = open("NUL", O_WRONLY);
#else
        const int devnull = open("/dev/null", O_WRONLY);
#endif
        if (devnull >= 0) {
            dup2(devnull, 2);
            close(devnull);
        }
    }
    ~QuietStderr()
    {
        if (m_saved >= 0) {
            dup2(m_saved, 2);
            close(m_saved);
        }
    }

private:
    int m_saved;
};

}  // namespace lktest

#endif
