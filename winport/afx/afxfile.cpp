#include "afxfile.h"

CFileException::CFileException(int cause, LONG lOsError, LPCSTR lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName ? lpszFileName : "")
{
}

CFileException::~CFileException() = default;

int CFileException::OsErrorToException(LONG lOsError)
{
    switch (lOsError) {
    case NO_ERROR: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED: return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case ERROR_HANDLE_EOF: return endOfFile;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return diskFull;
    default: return genericException;
    }
}

void AfxThrowFileException(int cause, LONG lOsError, LPCSTR lpszFileName)
{
    throw new CFileException(cause, lOsError, lpszFileName);
}

CFile::CFile() noexcept : m_hFile(INVALID_HANDLE_VALUE) {}

CFile::CFile(LPCSTR lpszFileName, UINT nOpenFlags) : m_hFile(INVALID_HANDLE_VALUE)
{
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e)) AfxThrowFileException(e.m_cause, e.m_lOsError, lpszFileName);
}

CFile::~CFile() { Abort(); }

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != INVALID_HANDLE_VALUE || !lpszFileName) {
        if (pError) {
            pError->m_cause = CFileException::genericException;
            pError->m_lOsError = -1;
        }
        return FALSE;
    }
    DWORD access = GENERIC_READ;
    switch (nOpenFlags & 3) {
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: break;
    }
    // Compatibility mode shares like "deny none" for reading and "deny write" otherwise, as
    // most programs expect from a file opened to be read.
    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
    case shareExclusive: share = 0; break;
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: share = (nOpenFlags & 3) == modeRead ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ; break;
    }
    DWORD create = OPEN_EXISTING;
    if (nOpenFlags & modeCreate) create = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h = ::CreateFileA(lpszFileName, access, share, nullptr, create, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (pError) {
            const LONG err = static_cast<LONG>(::GetLastError());
            pError->m_lOsError = err;
            pError->m_cause = CFileException::OsErrorToException(err);
            pError->m_strFileName = lpszFileName;
        }
        return FALSE;
    }
    m_hFile = h;
    m_strFileName = lpszFileName;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0) return 0;
    DWORD got = 0;
    if (!lpBuf || !::ReadFile(m_hFile, lpBuf, nCount, &got, nullptr)) {
        const LONG err = lpBuf ? static_cast<LONG>(::GetLastError()) : ERROR_INVALID_PARAMETER;
        AfxThrowFileException(CFileException::OsErrorToException(err), err, m_strFileName);
    }
    return got;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0) return;
    DWORD put = 0;
    if (!lpBuf || !::WriteFile(m_hFile, lpBuf, nCount, &put, nullptr)) {
        const LONG err = lpBuf ? static_cast<LONG>(::GetLastError()) : ERROR_INVALID_PARAMETER;
        AfxThrowFileException(CFileException::OsErrorToException(err), err, m_strFileName);
    }
    if (put != nCount) AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

DWORD CFile::GetLength() const
{
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
        const LONG err = static_cast<LONG>(::GetLastError());
        AfxThrowFileException(CFileException::OsErrorToException(err), err, m_strFileName);
    }
    // Larger files do not fit the framework's DWORD length.
    if (high != 0) AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER, m_strFileName);
    return low;
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    HANDLE h = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(h)) {
        const LONG err = static_cast<LONG>(::GetLastError());
        AfxThrowFileException(CFileException::OsErrorToException(err), err, m_strFileName);
    }
}

void CFile::Abort() noexcept
{
    if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
