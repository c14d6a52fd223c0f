#include "WineCheck.h"

namespace regtest {

std::string StoredSz(const std::string& written)
{
    if (UnderWine() && !written.empty() && written.back() != '\0') return written + '\0';
    return written;
}

bool ExistingKeysKeepTheirClass() { return !UnderWine(); }

}  // namespace regtest
