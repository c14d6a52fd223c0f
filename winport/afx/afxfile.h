// The framework's file class, written over Win32 calls so that the same code serves Linux
// (through winport/posix) and Windows. Binary, unbuffered; sizes up to 4 GiB - 1 (DWORD).
//
// Errors: Open reports failure by its result (and fills *pError when given); Read, Close and
// the opening constructor throw CFileException* as the framework does (GetLength also for a
// file of 4 GiB or more, whose length a DWORD cannot hold); the catcher calls Delete() on it.
#ifndef WINPORT_AFXFILE_H
#define WINPORT_AFXFILE_H

#include <windows.h>

#include "afx.h"

class WINPORT_API CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };
    explicit CFileException(int cause = none, LONG lOsError = -1, LPCSTR lpszFileName = nullptr);
    ~CFileException() override;

    // The framework's cause for a system error code.
    static int OsErrorToException(LONG lOsError);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

// Throws a new CFileException*.
[[noreturn]] WINPORT_API void AfxThrowFileException(int cause, LONG lOsError = -1, LPCSTR lpszFileName = nullptr);

class WINPORT_API CFile {
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };

    CFile() noexcept;
    CFile(LPCSTR lpszFileName, UINT nOpenFlags);  // throws CFileException* on failure
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();  // closes without throwing

    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Reads up to nCount bytes; returns how many arrived (0 at the end of the file).
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual DWORD GetLength() const;
    virtual void Close();
    // Closes, ignoring errors.
    virtual void Abort() noexcept;

    HANDLE m_hFile;  // INVALID_HANDLE_VALUE when no file is open
    CString m_strFileName;
};

#endif
