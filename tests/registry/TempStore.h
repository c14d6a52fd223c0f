// Points the registry store of this process at a fresh temporary folder (XDG_CONFIG_HOME),
// so that tests never touch the user's own store. POSIX only.
#ifndef LOBBYKIT_TESTS_TEMPSTORE_H
#define LOBBYKIT_TESTS_TEMPSTORE_H

#include <string>

namespace regtest {

class TempConfigHome {
public:
    TempConfigHome();
    ~TempConfigHome();
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    const std::string& Dir() const { return m_dir; }
    std::string StoreFile() const { return m_dir + "/lobbykit/registry.db"; }

private:
    std::string m_dir;
    std::string m_oldValue;
    bool m_hadValue = false;
};

}  // namespace regtest

#endif
