#include "TempStore.h"

#include <cstdlib>
#include <filesystem>

#include "winport/posix/registry/store.h"

namespace regtest {

TempConfigHome::TempConfigHome()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/lobbykit-reg-XXXXXX";
    if (mkdtemp(&templ[0])) m_dir = templ;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        m_hadValue = true;
        m_oldValue = old;
    }
    // An empty value would fall back to the user's own store: never do that in a test.
    setenv("XDG_CONFIG_HOME", m_dir.empty() ? "/nonexistent/lobbykit-test" : m_dir.c_str(), 1);
    winport::reg::StoreCloseForTesting();
}

TempConfigHome::~TempConfigHome()
{
    winport::reg::StoreCloseForTesting();
    if (m_hadValue) setenv("XDG_CONFIG_HOME", m_oldValue.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
}

}  // namespace regtest
