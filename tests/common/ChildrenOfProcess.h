// Linux: the children of the calling process (of all its threads), read from /proc, so that
// a test can see what is left without reaping it as waitpid would. Sanitizer runtimes may
// keep a child of their own (a symbolizer): compare with the set taken before.
#ifndef LOBBYKIT_TESTS_CHILDRENOFPROCESS_H
#define LOBBYKIT_TESTS_CHILDRENOFPROCESS_H

#include <dirent.h>

#include <fstream>
#include <set>
#include <string>

namespace lktest {

inline std::set<long> ChildrenOfProcess()
{
    std::set<long> pids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* t = readdir(tasks)) {
            if (t->d_name[0] == '.') continue;
            std::ifstream in(std::string("/proc/self/task/") + t->d_name + "/children");
            for (long pid; in >> pid;) pids.insert(pid);
        }
        closedir(tasks);
    }
    return pids;
}

}  // namespace lktest

#endif
