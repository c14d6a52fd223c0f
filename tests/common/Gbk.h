// Test helpers for GBK text: expectations are written in UTF-8 and converted here.
#ifndef LOBBYKIT_TESTS_GBK_H
#define LOBBYKIT_TESTS_GBK_H

#include <string>

namespace lktest {

// UTF-8 -> GBK bytes. Fails the current test (and returns "") if the text has no GBK form.
std::string Gbk(const std::string& utf8);
// GBK -> UTF-8, for readable failure messages.
std::string Utf8(const std::string& gbk);

}  // namespace lktest

#endif
