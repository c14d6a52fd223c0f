// CString: the framework's narrow string class, and the GBK character helpers it scans with.
//
// Text is GBK (code page 936). A double-byte character is a lead byte 0x81-0xFE followed by a
// trail byte 0x40-0x7E or 0x80-0xFE. Trail bytes overlap ASCII ('@', 'A'-'Z', '[', '\\', 'a'-'z',
// '|' ...), so every scan that looks for an ASCII byte steps over whole characters: Find,
// Replace, TrimLeft/TrimRight and MakeUpper/MakeLower never match, split or change a trail byte.
// A lead byte without a valid trail after it (malformed text, or the last byte of a string)
// counts as a one-byte character, so a scan never steps over the terminator and never hides a
// control, space or punctuation byte inside a pair.
//
// Lengths, positions and counts are in bytes. Left, Mid and Right cut where they are told, as
// the framework's do; AfxCharPrefix gives a cut that keeps whole characters.
//
// Storage: one heap block per non-empty string (a small header, then the bytes and a NUL);
// empty strings share a static block and allocate nothing. Copies are deep, moves steal the
// block. A CString serves one thread at a time; separate CStrings are independent.
#ifndef WINPORT_AFXSTR_H
#define WINPORT_AFXSTR_H

#include <windows.h>

#include "LobbyKitExport.h"

inline bool AfxIsGbkLeadByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x81 && u <= 0xFE;
}

inline bool AfxIsGbkTrailByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x40 && u <= 0xFE && u != 0x7F;
}

// Size (1 or 2) of the character at p. p must lie before the terminator of a NUL-terminated
// buffer, so that p[1] can be read.
inline int AfxCharSize(const char* p) { return AfxIsGbkLeadByte(p[0]) && AfxIsGbkTrailByte(p[1]) ? 2 : 1; }

// Length of the longest prefix of the NUL-terminated psz that has at most nMax bytes and ends
// on a character boundary. Reads no further than the terminator or psz[nMax].
inline int AfxCharPrefix(const char* psz, int nMax)
{
    int i = 0;
    while (i < nMax && psz[i] != '\0') {
        const int n = AfxCharSize(psz + i);
        if (i + n > nMax) break;
        i += n;
    }
    return i;
}

// Space, tab, line feed, vertical tab, form feed, carriage return.
inline bool AfxIsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Replaces each one-byte character among the first nLength bytes of psz by f(character);
// double-byte characters are left whole. psz must be NUL-terminated at or after nLength.
template <typename F>
inline void AfxForEachSingleByte(char* psz, int nLength, F f)
{
    for (int i = 0; i < nLength;) {
        const int n = AfxCharSize(psz + i);
        if (n == 1) psz[i] = f(psz[i]);
        i += n;
    }
}

inline char AfxToUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char AfxToLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

class WINPORT_API CString {
public:
    CString() noexcept;
    CString(const CString& stringSrc);
    CString(CString&& stringSrc) noexcept;
    CString(const char* psz);               // null gives an empty string
    CString(const char* pch, int nLength);  // nLength bytes (a negative count gives "")
    CString(char ch, int nRepeat = 1);
    ~CString();

    CString& operator=(const CString& stringSrc);
    CString& operator=(CString&& stringSrc) noexcept;
    CString& operator=(const char* psz);
    CString& operator=(char ch);

    int GetLength() const { return GetData()->nDataLength; }
    BOOL IsEmpty() const { return GetData()->nDataLength == 0; }
    void Empty();

    // Byte access; an index outside 0..GetLength()-1 reads '\0' and writes nothing.
    char GetAt(int nIndex) const;
    char operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, char ch);

    operator const char*() const { return m_pchData; }

    CString& operator+=(const CString& string);
    CString& operator+=(const char* psz);
    CString& operator+=(char ch);

    friend WINPORT_API CString operator+(const CString& a, const CString& b);
    friend WINPORT_API CString operator+(const CString& a, const char* b);
    friend WINPORT_API CString operator+(const char* a, const CString& b);
    friend WINPORT_API CString operator+(const CString& a, char b);
    friend WINPORT_API CString operator+(char a, const CString& b);

    // Byte order (unsigned), as strcmp: < 0, 0 or > 0. A null psz compares as "".
    int Compare(const char* psz) const;

    // Counts and positions are clamped to the string.
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;

    // Position of the first character equal to ch (or of the first match of the substring)
    // that starts at or after nStart, or -1. Matches begin and end on character boundaries.
    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int nStart) const;
    int Find(const char* pszSub) const { return Find(pszSub, 0); }
    int Find(const char* pszSub, int nStart) const;

    void TrimLeft();
    void TrimRight();
    void MakeUpper();  // ASCII a-z only
    void MakeLower();  // ASCII A-Z only

    // Replace every one-byte character chOld / every match of pszOld; returns the count.
    int Replace(char chOld, char chNew);
    int Replace(const char* pszOld, const char* pszNew);

    // A writable buffer of at least nMinBufLength bytes plus a terminator, holding the current
    // text. ReleaseBuffer sets the length (-1: up to the first NUL) and terminates it.
    char* GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    struct Data {
        int nDataLength;
        int nAllocLength;
    };
    // The block that every empty string points into; it is never written.
    struct Nil {
        Data hdr;
        char chNil;
    };
    static Nil s_nil;
    static char* EmptyChars();

    Data* GetData() const { return reinterpret_cast<Data*>(m_pchData - sizeof(Data)); }
    static char* Allocate(int nLength);
    static void Release(char* pch);
    void Assign(const char* pch, int nLength);
    void Append(const char* pch, int nLength);
    void Reserve(int nLength);
    int Boundary(int nStart) const;
    int FindAt(const char* pszSub, int nSub, int i) const;

    char* m_pchData;
};

// Comparisons in byte order, through Compare.
#define WINPORT_CSTRING_COMPARISON(op)                                                        \
    inline bool operator op(const CString& a, const CString& b) { return a.Compare(b) op 0; } \
    inline bool operator op(const CString& a, const char* b) { return a.Compare(b) op 0; }    \
    inline bool operator op(const char* a, const CString& b) { return 0 op b.Compare(a); }
WINPORT_CSTRING_COMPARISON(==)
WINPORT_CSTRING_COMPARISON(!=)
WINPORT_CSTRING_COMPARISON(<)
WINPORT_CSTRING_COMPARISON(>)
WINPORT_CSTRING_COMPARISON(<=)
WINPORT_CSTRING_COMPARISON(>=)
#undef WINPORT_CSTRING_COMPARISON

#endif
