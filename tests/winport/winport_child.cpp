// The program the process tests start with CreateProcessA. What it does is its first
// argument; it reports through its exit code.
//   exit N      exits with N
//   sleep       sleeps until killed
//   fds         exits with the number of open descriptors above 2
//   signals     exits with the number of signals that are blocked or not at their default
//   crash | abort | term   dies of SIGSEGV, SIGABRT or SIGTERM
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int OpenDescriptorsAbove2()
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return 100;
    int count = 0;
    while (dirent* e = readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] != '.' && fd > 2 && fd != dirfd(dir)) ++count;
    }
    closedir(dir);
    return count;
}

int SignalsNotAsNew()
{
    sigset_t blocked;
    sigprocmask(SIG_SETMASK, nullptr, &blocked);
    int count = 0;
    for (int sig = 1; sig < SIGRTMIN; ++sig) {
        if (sig == SIGKILL || sig == SIGSTOP) continue;
        struct sigaction action;
        sigaction(sig, nullptr, &action);
        if (action.sa_handler != SIG_DFL || sigismember(&blocked, sig)) ++count;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "exit" && argc > 2) return std::atoi(argv[2]);
    if (what == "sleep") {
        for (;;) pause();
    }
    if (what == "fds") return OpenDescriptorsAbove2();
    if (what == "signals") return SignalsNotAsNew();
    if (what == "crash") raise(SIGSEGV);
    if (what == "abort") raise(SIGABRT);
    if (what == "term") raise(SIGTERM);
    return 99;
}
