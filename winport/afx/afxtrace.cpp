#include "afxtrace.h"

#include <cstdarg>
#include <cstdio>

void AfxTrace(const char* lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    std::vfprintf(stderr, lpszFormat, args);
    va_end(args);
    std::fflush(stderr);
}
