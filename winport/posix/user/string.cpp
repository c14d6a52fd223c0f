// The lstr* string helpers. Comparisons are by bytes (ASCII letters folded for lstrcmpiA),
// not by the locale's collation as on Windows; see winport_user.h.
#include <cstring>

#include <windows.h>

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

extern "C" {

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength)
{
    if (!lpString1 || !lpString2) return nullptr;
    if (iMaxLength <= 0) return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2)
{
    if (!lpString1 || !lpString2) return nullptr;
    return std::strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2)
{
    if (!lpString1 || !lpString2) return nullptr;
    return std::strcat(lpString1, lpString2);
}

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(std::strlen(lpString)) : 0; }

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    return Sign(std::strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : ""));
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 ? lpString1 : "");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 ? lpString2 : "");
    for (;; ++a, ++b) {
        // The trail byte of a double-byte character may be an ASCII letter: compare it exactly.
        if (*a >= 0x81 && *a <= 0xFE && *a == *b && a[1] && b[1]) {
            ++a;
            ++b;
            if (*a != *b) return Sign(*a - *b);
            continue;
        }
        const int d = FoldAscii(*a) - FoldAscii(*b);
        if (d != 0 || !*a) return Sign(d);
    }
}

}  // extern "C"
