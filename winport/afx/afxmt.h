// In-process synchronisation objects of the framework: a critical section, a mutex, an event
// and a lock helper, written over Win32 calls so that the same code serves Linux (through
// winport/posix) and Windows.
//
// Constructors that need a kernel object throw CResourceException* (as the framework does)
// when the system refuses it; the catcher calls Delete() on the exception.
#ifndef WINPORT_AFXMT_H
#define WINPORT_AFXMT_H

#include <windows.h>

#include <atomic>

#include "LobbyKitExport.h"

// The framework's exception base and its resource error. Other framework headers that throw
// (files, memory) derive from CException as well.
#ifndef WINPORT_AFX_CEXCEPTION_DEFINED
#define WINPORT_AFX_CEXCEPTION_DEFINED
class WINPORT_API CException {
public:
    CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
    virtual ~CException();
    // Frees an exception caught by pointer.
    void Delete();
};

class WINPORT_API CResourceException : public CException {
public:
    CResourceException() = default;
    ~CResourceException() override;
};

// Throws a new CResourceException* (the system refused a resource: a handle, an object).
[[noreturn]] WINPORT_API void AfxThrowResourceException();
#endif

// A waitable object; Lock waits (dwTimeout ms, INFINITE for no limit) and reports whether it
// got the object.
class WINPORT_API CSyncObject {
public:
    explicit CSyncObject(HANDLE hObject) : m_hObject(hObject) {}
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;
    virtual ~CSyncObject();

    virtual BOOL Lock(DWORD dwTimeout = INFINITE);
    virtual BOOL Unlock() = 0;
    operator HANDLE() const { return m_hObject; }

    HANDLE m_hObject;
};

// A recursive lock for the threads of one process. Uncontended Lock/Unlock are one interlocked
// operation each; a contended Lock sleeps on an auto-reset event (no spinning). The state word
// is 0 free, 1 held, 2 held with possible waiters, so that Unlock sets the event only when
// someone may be asleep. Timed Lock is not offered: only Lock() with no limit.
class WINPORT_API CCriticalSection : public CSyncObject {
public:
    CCriticalSection();  // throws CResourceException* if the wake event cannot be made
    ~CCriticalSection() override;

    BOOL Lock(DWORD dwTimeout = INFINITE) override;  // a dwTimeout other than INFINITE: FALSE
    BOOL Unlock() override;                          // FALSE (and nothing changes) if the caller does not hold it

private:
    HANDLE m_hWake;  // auto-reset; set by Unlock when a waiter may be asleep
    LONG volatile m_lState = 0;
    // Thread id of the holder, 0 when free. Only the holder writes it, and a thread compares
    // it only with its own id, so relaxed loads and stores suffice (no locked instruction).
    std::atomic<LONG> m_lOwner{0};
    LONG m_nRecursion = 0;  // touched only by the holder
};

// A kernel mutex, optionally named (then shared with other processes).
class WINPORT_API CMutex : public CSyncObject {
public:
    explicit CMutex(BOOL bInitiallyOwn = FALSE, LPCSTR lpszName = nullptr, LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);
    ~CMutex() override;
    BOOL Unlock() override;
};

// A kernel event, auto-reset unless bManualReset.
class WINPORT_API CEvent : public CSyncObject {
public:
    explicit CEvent(BOOL bInitiallyOwn = FALSE, BOOL bManualReset = FALSE, LPCSTR lpszName = nullptr,
                    LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);
    ~CEvent() override;

    BOOL SetEvent();
    BOOL ResetEvent();
    BOOL Unlock() override;  // an event has nothing to unlock: TRUE
};

// Scoped holder of one sync object: unlocks on destruction what it locked.
class WINPORT_API CSingleLock {
public:
    explicit CSingleLock(CSyncObject* pObject, BOOL bInitialLock = FALSE);
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;
    ~CSingleLock();

    BOOL Lock(DWORD dwTimeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired = FALSE;
};

#endif
