#include "afx.h"

// The framework's object address test. Whether arbitrary memory is readable cannot be asked
// portably without faults, so this is the null test the callers are allowed to reduce it to.
// The call is out of line so that the compiler cannot assume a member function's `this`
// is non-null and drop the test.
BOOL AfxIsValidAddress(const void* lp, UINT nBytes, BOOL bReadWrite)
{
    (void)nBytes;
    (void)bReadWrite;
    return lp != nullptr;
}
