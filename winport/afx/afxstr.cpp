#include "afxstr.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <new>

CString::Nil CString::s_nil = {{0, 0}, '\0'};

char* CString::EmptyChars() { return &s_nil.chNil; }

namespace {

// Lengths are ints, as in the framework's interface; a longer text is an allocation failure.
int CheckedLength(std::size_t n)
{
    if (n > std::size_t(INT_MAX) - sizeof(int) * 4) throw std::bad_alloc();
    return int(n);
}

int Clamp(int n, int lo, int hi) { return n < lo ? lo : (n > hi ? hi : n); }

}  // namespace

// --- storage ------------------------------------------------------------------------------

char* CString::Allocate(int nLength)
{
    static_assert(offsetof(Nil, chNil) == sizeof(Data),
                  "an empty string's header must sit right before its terminator");
    char* block = new char[sizeof(Data) + std::size_t(nLength) + 1];
    new (block) Data{nLength, nLength};
    char* chars = block + sizeof(Data);
    chars[nLength] = '\0';
    return chars;
}

void CString::Release(char* pch)
{
    if (pch != EmptyChars()) delete[](pch - sizeof(Data));
}

// Makes room for nLength bytes of text, keeping the current text.
void CString::Reserve(int nLength)
{
    if (nLength <= GetData()->nAllocLength) return;
    const int nOld = GetLength();
    char* pNew = Allocate(nLength);
    std::memcpy(pNew, m_pchData, std::size_t(nOld) + 1);
    reinterpret_cast<Data*>(pNew - sizeof(Data))->nDataLength = nOld;
    Release(m_pchData);
    m_pchData = pNew;
}

void CString::Assign(const char* pch, int nLength)
{
    if (nLength <= 0) {
        Empty();
        return;
    }
    // The shared empty string is never written to: it always takes a block of its own (its
    // capacity 0 says so too, but the compiler cannot see that the shared header stays 0).
    if (m_pchData == EmptyChars() || nLength > GetData()->nAllocLength) {
        // pch may point into the old block: copy before releasing it.
        char* pNew = Allocate(nLength);
        std::memcpy(pNew, pch, std::size_t(nLength));
        Release(m_pchData);
        m_pchData = pNew;
        return;
    }
    std::memmove(m_pchData, pch, std::size_t(nLength));
    m_pchData[nLength] = '\0';
    GetData()->nDataLength = nLength;
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength <= 0) return;
    const int nOld = GetLength();
    const int nNew = CheckedLength(std::size_t(nOld) + std::size_t(nLength));
    if (nNew > GetData()->nAllocLength) {
        // Grow geometrically so that repeated appends stay linear; pch may point into the
        // old block, which lives until the copy is done.
        const int nGrow = GetData()->nAllocLength > INT_MAX / 4 ? nNew : GetData()->nAllocLength * 2;
        char* pNew = Allocate(nNew > nGrow ? nNew : nGrow);
        std::memcpy(pNew, m_pchData, std::size_t(nOld));
        std::memcpy(pNew + nOld, pch, std::size_t(nLength));
        Release(m_pchData);
        m_pchData = pNew;
    } else {
        std::memcpy(m_pchData + nOld, pch, std::size_t(nLength));
    }
    m_pchData[nNew] = '\0';
    GetData()->nDataLength = nNew;
}

// --- construction and assignment ----------------------------------------------------------

CString::CString() noexcept : m_pchData(EmptyChars()) {}

CString::CString(const CString& stringSrc) : m_pchData(EmptyChars())
{
    Assign(stringSrc.m_pchData, stringSrc.GetLength());
}

CString::CString(CString&& stringSrc) noexcept : m_pchData(stringSrc.m_pchData) { stringSrc.m_pchData = EmptyChars(); }

CString::CString(const char* psz) : m_pchData(EmptyChars())
{
    if (psz) Assign(psz, CheckedLength(std::strlen(psz)));
}

CString::CString(const char* pch, int nLength) : m_pchData(EmptyChars())
{
    if (pch) Assign(pch, nLength);
}

CString::CString(char ch, int nRepeat) : m_pchData(EmptyChars())
{
    if (nRepeat <= 0) return;
    m_pchData = Allocate(nRepeat);
    std::memset(m_pchData, ch, std::size_t(nRepeat));
}

CString::~CString() { Release(m_pchData); }

CString& CString::operator=(const CString& stringSrc)
{
    if (this != &stringSrc) Assign(stringSrc.m_pchData, stringSrc.GetLength());
    return *this;
}

CString& CString::operator=(CString&& stringSrc) noexcept
{
    if (this != &stringSrc) {
        Release(m_pchData);
        m_pchData = stringSrc.m_pchData;
        stringSrc.m_pchData = EmptyChars();
    }
    return *this;
}

CString& CString::operator=(const char* psz)
{
    Assign(psz, psz ? CheckedLength(std::strlen(psz)) : 0);
    return *this;
}

CString& CString::operator=(char ch)
{
    Assign(&ch, 1);
    return *this;
}

void CString::Empty()
{
    Release(m_pchData);
    m_pchData = EmptyChars();
}

// --- access -------------------------------------------------------------------------------

char CString::GetAt(int nIndex) const { return (nIndex >= 0 && nIndex < GetLength()) ? m_pchData[nIndex] : '\0'; }

void CString::SetAt(int nIndex, char ch)
{
    if (nIndex >= 0 && nIndex < GetLength()) m_pchData[nIndex] = ch;
}

char* CString::GetBuffer(int nMinBufLength)
{
    if (m_pchData == EmptyChars()) {
        // Even a zero-length request needs a writable terminator.
        m_pchData = Allocate(nMinBufLength > 0 ? nMinBufLength : 0);
        m_pchData[0] = '\0';
        GetData()->nDataLength = 0;
    } else {
        Reserve(nMinBufLength);
    }
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == EmptyChars()) return;
    Data* d = GetData();
    if (nNewLength < 0) {
        // Up to the first NUL, but never past the buffer.
        const void* nul = std::memchr(m_pchData, '\0', std::size_t(d->nAllocLength));
        nNewLength = nul ? int(static_cast<const char*>(nul) - m_pchData) : d->nAllocLength;
    }
    nNewLength = Clamp(nNewLength, 0, d->nAllocLength);
    d->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

// --- concatenation ------------------------------------------------------------------------

CString& CString::operator+=(const CString& string)
{
    Append(string.m_pchData, string.GetLength());
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    if (psz) Append(psz, CheckedLength(std::strlen(psz)));
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

namespace {

CString Concat(const char* a, int na, const char* b, int nb)
{
    const int n = CheckedLength(std::size_t(na) + std::size_t(nb));
    CString s;
    char* p = s.GetBuffer(n);
    std::memcpy(p, a, std::size_t(na));
    std::memcpy(p + na, b, std::size_t(nb));
    s.ReleaseBuffer(n);
    return s;
}

int Length(const char* psz) { return psz ? CheckedLength(std::strlen(psz)) : 0; }

}  // namespace

CString operator+(const CString& a, const CString& b) { return Concat(a, a.GetLength(), b, b.GetLength()); }

CString operator+(const CString& a, const char* b) { return Concat(a, a.GetLength(), b, Length(b)); }

CString operator+(const char* a, const CString& b) { return Concat(a, Length(a), b, b.GetLength()); }

CString operator+(const CString& a, char b) { return Concat(a, a.GetLength(), &b, 1); }

CString operator+(char a, const CString& b) { return Concat(&a, 1, b, b.GetLength()); }

int CString::Compare(const char* psz) const { return std::strcmp(m_pchData, psz ? psz : ""); }

// --- substrings ---------------------------------------------------------------------------

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const
{
    nFirst = Clamp(nFirst, 0, GetLength());
    nCount = Clamp(nCount, 0, GetLength() - nFirst);
    return CString(m_pchData + nFirst, nCount);
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const
{
    nCount = Clamp(nCount, 0, GetLength());
    return CString(m_pchData + GetLength() - nCount, nCount);
}

// --- scanning -----------------------------------------------------------------------------

// The first character boundary at or after nStart (GetLength() at most).
int CString::Boundary(int nStart) const
{
    const int nLength = GetLength();
    int i = 0;
    while (i < nStart && i < nLength) i += AfxCharSize(m_pchData + i);
    return i;
}

int CString::Find(char ch, int nStart) const
{
    const int nLength = GetLength();
    if (nStart > nLength) return -1;
    if (static_cast<unsigned char>(ch) < 0x40) {
        // No double-byte character holds a byte below 0x40 (trail bytes start at 0x40): every
        // such byte is a character of its own, and a start inside a character finds the same.
        if (nStart < 0) nStart = 0;
        const void* p = std::memchr(m_pchData + nStart, ch, std::size_t(nLength - nStart));
        return p ? int(static_cast<const char*>(p) - m_pchData) : -1;
    }
    for (int i = Boundary(nStart); i < nLength;) {
        const int n = AfxCharSize(m_pchData + i);
        if (n == 1 && m_pchData[i] == ch) return i;
        i += n;
    }
    return -1;
}

// The first match of pszSub (nSub > 0 bytes) at or after the boundary i.
int CString::FindAt(const char* pszSub, int nSub, int i) const
{
    const int nLength = GetLength();
    for (; i + nSub <= nLength; i += AfxCharSize(m_pchData + i)) {
        if (std::memcmp(m_pchData + i, pszSub, std::size_t(nSub)) != 0) continue;
        // The match must not end inside a double-byte character.
        int end = i;
        while (end < i + nSub) end += AfxCharSize(m_pchData + end);
        if (end == i + nSub) return i;
    }
    return -1;
}

int CString::Find(const char* pszSub, int nStart) const
{
    if (nStart > GetLength()) return -1;
    const int i = Boundary(nStart);
    const int nSub = Length(pszSub);
    return nSub == 0 ? i : FindAt(pszSub, nSub, i);
}

void CString::TrimLeft()
{
    int i = 0;
    const int nLength = GetLength();
    while (i < nLength && AfxIsWhiteSpace(m_pchData[i])) ++i;
    if (i > 0) Assign(m_pchData + i, nLength - i);
}

void CString::TrimRight()
{
    // White space bytes are never part of a double-byte character, so the white space
    // characters at the end are exactly the white space bytes at the end.
    int nKeep = GetLength();
    while (nKeep > 0 && AfxIsWhiteSpace(m_pchData[nKeep - 1])) --nKeep;
    if (nKeep == GetLength()) return;
    if (nKeep == 0) {
        Empty();
    } else {
        m_pchData[nKeep] = '\0';
        GetData()->nDataLength = nKeep;
    }
}

void CString::MakeUpper() { AfxForEachSingleByte(m_pchData, GetLength(), AfxToUpper); }

void CString::MakeLower() { AfxForEachSingleByte(m_pchData, GetLength(), AfxToLower); }

int CString::Replace(char chOld, char chNew)
{
    int nCount = 0;
    AfxForEachSingleByte(m_pchData, GetLength(), [&](char c) {
        if (c != chOld) return c;
        ++nCount;
        return chNew;
    });
    return nCount;
}

int CString::Replace(const char* pszOld, const char* pszNew)
{
    const int nOld = Length(pszOld);
    if (nOld == 0) return 0;
    const int nNew = Length(pszNew);

    int nCount = 0;
    for (int i = FindAt(pszOld, nOld, 0); i >= 0; i = FindAt(pszOld, nOld, i + nOld)) ++nCount;
    if (nCount == 0) return 0;

    CString result;
    const long long nResult = GetLength() + (long long)nCount * (nNew - nOld);
    result.Reserve(CheckedLength(std::size_t(nResult)));
    int from = 0;
    for (int i = FindAt(pszOld, nOld, 0); i >= 0; i = FindAt(pszOld, nOld, i + nOld)) {
        result.Append(m_pchData + from, i - from);
        result.Append(pszNew, nNew);
        from = i + nOld;
    }
    result.Append(m_pchData + from, GetLength() - from);
    *this = static_cast<CString&&>(result);
    return nCount;
}
