// Terminal output for the demo programs: the library speaks GBK, terminals UTF-8.
#ifndef LOBBYKIT_DEMO_TEXT_H
#define LOBBYKIT_DEMO_TEXT_H

#include <string>

namespace demo {

// GBK bytes -> UTF-8 for display (MultiByteToWideChar / WideCharToMultiByte); bytes that
// are not GBK are shown as '?'.
std::string ToUtf8(const std::string& gbk);
// UTF-8 -> GBK, for text the demo sends through the library; what GBK lacks becomes '?'.
std::string ToGbk(const std::string& utf8);
// Prints UTF-8 text under a speaker's column, one line at a time (replies may span lines).
void Print(const std::string& who, const std::string& utf8);

}  // namespace demo

#endif
