// Terminal output for the demo programs: the library speaks GBK, terminals UTF-8.
#ifndef LOBBYKIT_DEMO_TEXT_H
#define LOBBYKIT_DEMO_TEXT_H

#include <string>

namespace demo {

// GBK bytes -> UTF-8 for display; bytes that are not GBK are shown as '?'.
std::string ToUtf8(const std::string& gbk);

}  // namespace demo

#endif
