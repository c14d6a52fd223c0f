// Internal: the tables of code page 936 (codepage_936.cpp, written by
// scripts/gen-codepage-936.py) and the conversions over them (codepage.cpp), which
// MultiByteToWideChar and WideCharToMultiByte expose.
#ifndef WINPORT_POSIX_KERNEL_CODEPAGE_H
#define WINPORT_POSIX_KERNEL_CODEPAGE_H

#include <cstdint>

namespace winport {

// Double-byte codes: lead bytes 0x81..0xFE, second bytes 0x40..0x7E and 0x80..0xFE. Every
// one of them is a character (GBK's unassigned codes are private-use characters).
constexpr int kCodePage936Leads = 0xFE - 0x81 + 1;
constexpr int kCodePage936Trails = (0x7E - 0x40 + 1) + (0xFE - 0x80 + 1);
extern const char16_t kCodePage936Double[kCodePage936Leads * kCodePage936Trails + 1];

// A character without a code of its own that Windows writes as a similar one (WCToMB only).
struct CodePageBestFit {
    std::uint16_t unit;
    std::uint16_t code;  // a byte, or lead << 8 | second byte
};
extern const CodePageBestFit kCodePage936BestFit[412];

// The character of one double-byte code; 0 when `trail` is not a second byte.
char16_t CodePage936Unit(unsigned char lead, unsigned char trail);

}  // namespace winport

#endif
