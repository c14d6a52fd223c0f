// Linked into the test programs whose sources use only Win32 calls: the whole process gets
// a temporary store before main() and loses it after.
#include "TempStore.h"

namespace {
regtest::TempConfigHome g_processStore;
}
