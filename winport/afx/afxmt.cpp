#include "afxmt.h"

CException::~CException() = default;

void CException::Delete() { delete this; }

CResourceException::~CResourceException() = default;

void AfxThrowResourceException() { throw new CResourceException; }

// --- CSyncObject -------------------------------------------------------------------------

CSyncObject::~CSyncObject()
{
    if (m_hObject) {
        ::CloseHandle(m_hObject);
        m_hObject = nullptr;
    }
}

BOOL CSyncObject::Lock(DWORD dwTimeout)
{
    // An abandoned mutex is acquired all the same; its owner died while holding it.
    const DWORD r = ::WaitForSingleObject(m_hObject, dwTimeout);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

// --- CCriticalSection --------------------------------------------------------------------

namespace {

// The holder is recognised by its thread id. (It is not kept in a thread_local: after fork()
// the child's thread has a new id, and only the system's own answer follows that.)
LONG CurrentThreadTag() { return static_cast<LONG>(::GetCurrentThreadId()); }

}  // namespace

CCriticalSection::CCriticalSection() : CSyncObject(nullptr)
{
    m_hWake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_hWake) AfxThrowResourceException();
}

CCriticalSection::~CCriticalSection() { ::CloseHandle(m_hWake); }

BOOL CCriticalSection::Lock(DWORD dwTimeout)
{
    const LONG me = CurrentThreadTag();
    if (m_lOwner.load(std::memory_order_relaxed) == me) {
        ++m_nRecursion;
        return TRUE;
    }
    if (::InterlockedCompareExchange(&m_lState, 1, 0) != 0) {
        // Contended: mark the word "held with waiters" and sleep until an unlock sets the
        // event. Each acquisition is an exchange that reads the releasing exchange's 0.
        const DWORD dwStart = ::GetTickCount();
        while (::InterlockedExchange(&m_lState, 2) != 0) {
            DWORD dwWait = INFINITE;
            if (dwTimeout != INFINITE) {
                const DWORD dwElapsed = ::GetTickCount() - dwStart;
                if (dwElapsed >= dwTimeout) return FALSE;
                dwWait = dwTimeout - dwElapsed;
            }
            if (::WaitForSingleObject(m_hWake, dwWait) == WAIT_FAILED) return FALSE;
        }
    }
    m_lOwner.store(me, std::memory_order_relaxed);
    m_nRecursion = 0;
    return TRUE;
}

BOOL CCriticalSection::Unlock()
{
    const LONG me = CurrentThreadTag();
    if (m_lOwner.load(std::memory_order_relaxed) != me) return FALSE;
    if (m_nRecursion > 0) {
        --m_nRecursion;
        return TRUE;
    }
    m_lOwner.store(0, std::memory_order_relaxed);
    if (::InterlockedExchange(&m_lState, 0) == 2) ::SetEvent(m_hWake);
    return TRUE;
}

// --- CMutex, CEvent ----------------------------------------------------------------------

CMutex::CMutex(BOOL bInitiallyOwn, LPCSTR lpszName, LPSECURITY_ATTRIBUTES lpsaAttribute)
    : CSyncObject(::CreateMutexA(lpsaAttribute, bInitiallyOwn, lpszName))
{
    if (!m_hObject) AfxThrowResourceException();
}

CMutex::~CMutex() = default;

BOOL CMutex::Unlock() { return ::ReleaseMutex(m_hObject); }

CEvent::CEvent(BOOL bInitiallyOwn, BOOL bManualReset, LPCSTR lpszName, LPSECURITY_ATTRIBUTES lpsaAttribute)
    : CSyncObject(::CreateEventA(lpsaAttribute, bManualReset, bInitiallyOwn, lpszName))
{
    if (!m_hObject) AfxThrowResourceException();
}

CEvent::~CEvent() = default;

BOOL CEvent::SetEvent() { return ::SetEvent(m_hObject); }

BOOL CEvent::ResetEvent() { return ::ResetEvent(m_hObject); }

BOOL CEvent::Unlock() { return TRUE; }

// --- CSingleLock -------------------------------------------------------------------------

CSingleLock::CSingleLock(CSyncObject* pObject, BOOL bInitialLock) : m_pObject(pObject)
{
    if (bInitialLock) Lock();
}

CSingleLock::~CSingleLock() { Unlock(); }

BOOL CSingleLock::Lock(DWORD dwTimeout)
{
    if (!m_bAcquired) m_bAcquired = m_pObject->Lock(dwTimeout);
    return m_bAcquired;
}

BOOL CSingleLock::Unlock()
{
    if (m_bAcquired) m_bAcquired = !m_pObject->Unlock();
    return !m_bAcquired;
}
