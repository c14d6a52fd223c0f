// Linux: points the namespace of named objects at a fresh directory ($XDG_RUNTIME_DIR, which
// child processes inherit) for as long as the object lives, then restores the variable and
// removes the directory. Lets a test start from a namespace nobody holds and list what is
// left in it.
#ifndef LOBBYKIT_TESTS_OWNNAMESPACE_H
#define LOBBYKIT_TESTS_OWNNAMESPACE_H

#ifndef _WIN32
#include <dirent.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace lktest {

class OwnNamespace {
public:
    explicit OwnNamespace(const char* tag = "ns")
    {
        std::string tmpl = std::string("/tmp/lkt-") + tag + "-XXXXXX";
        if (mkdtemp(&tmpl[0])) m_root = tmpl;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadOld = old != nullptr;
        if (old) m_old = old;
        if (Ok()) setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
    }
    ~OwnNamespace()
    {
        if (m_hadOld) setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
        if (Ok()) std::system(("rm -rf '" + m_root + "'").c_str());
    }
    OwnNamespace(const OwnNamespace&) = delete;
    OwnNamespace& operator=(const OwnNamespace&) = delete;

    bool Ok() const { return !m_root.empty(); }
    const std::string& Root() const { return m_root; }
    std::string Dir() const { return m_root + "/lobbykit"; }  // where the objects' files go
    std::vector<std::string> Files() const
    {
        std::vector<std::string> out;
        if (DIR* d = opendir(Dir().c_str())) {
            while (const dirent* e = readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
            closedir(d);
        }
        return out;
    }

private:
    std::string m_root, m_old;
    bool m_hadOld = false;
};

}  // namespace lktest

#endif
#endif
