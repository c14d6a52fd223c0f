// Access to the fields of the shared record that two threads or two processes touch.
//
// The status bytes are polled without the named mutex (by the host while the worker writes
// them, and across processes), so they are read and written as atomic bytes. The 16-bit
// lengths sit at odd offsets and are read and written byte by byte, little-endian, under the
// half's named mutex. dwConnectCount is changed with interlocked operations. The waits that
// poll them are here too.
#ifndef LOBBYKIT_IPC_SHAREDRECORD_H
#define LOBBYKIT_IPC_SHAREDRECORD_H

#include <windows.h>

#include <cstddef>

#include "ipc/MapIPCProtocol.h"

namespace lobbykit::ipc {

// One half of the record: its status byte, length field and area.
struct CRecordHalf {
    BYTE* pStatus;
    BYTE* pLen;
    BYTE* pArea;

    BYTE Status() const { return __atomic_load_n(pStatus, __ATOMIC_ACQUIRE); }
    void SetStatus(BYTE b) const { __atomic_store_n(pStatus, b, __ATOMIC_RELEASE); }
    WORD Length() const { return static_cast<WORD>(pLen[0] | (pLen[1] << 8)); }
    void SetLength(WORD w) const
    {
        pLen[0] = static_cast<BYTE>(w & 0xFF);
        pLen[1] = static_cast<BYTE>(w >> 8);
    }
};

inline CRecordHalf ServerHalf(IPC_MAP_BUF* p)
{
    BYTE* b = reinterpret_cast<BYTE*>(p);
    return {b + offsetof(IPC_MAP_BUF, cbServerWriteStatus), b + offsetof(IPC_MAP_BUF, wServerDataLen),
            b + offsetof(IPC_MAP_BUF, bufServerData)};
}

inline CRecordHalf ClientHalf(IPC_MAP_BUF* p)
{
    BYTE* b = reinterpret_cast<BYTE*>(p);
    return {b + offsetof(IPC_MAP_BUF, cbClientWriteStatus), b + offsetof(IPC_MAP_BUF, wClientDataLen),
            b + offsetof(IPC_MAP_BUF, bufClientData)};
}

// The half a role writes, and the half it reads.
inline CRecordHalf OwnHalf(IPC_MAP_BUF* p, bool bServer) { return bServer ? ServerHalf(p) : ClientHalf(p); }

inline CRecordHalf PeerHalf(IPC_MAP_BUF* p, bool bServer) { return bServer ? ClientHalf(p) : ServerHalf(p); }

// The connect count as an interlocked 32-bit word (it lies at offset 2, inside the first
// cache line of the page-aligned view).
inline LONG volatile* ConnectCount(IPC_MAP_BUF* p)
{
    return reinterpret_cast<LONG volatile*>(reinterpret_cast<BYTE*>(p) + offsetof(IPC_MAP_BUF, dwConnectCount));
}

// Holds a named mutex for a scope, if it can be had within dwTimeout ms. A mutex abandoned by a
// dead process is acquired all the same (the half it guards is then checked like any other
// peer data).
class CNamedMutexLock {
public:
    explicit CNamedMutexLock(HANDLE hMutex, DWORD dwTimeout = INFINITE) : m_hMutex(hMutex)
    {
        const DWORD r = hMutex ? ::WaitForSingleObject(hMutex, dwTimeout) : WAIT_FAILED;
        m_bHeld = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    }
    CNamedMutexLock(const CNamedMutexLock&) = delete;
    CNamedMutexLock& operator=(const CNamedMutexLock&) = delete;
    ~CNamedMutexLock() { Release(); }

    bool Held() const { return m_bHeld; }
    void Release()
    {
        if (m_bHeld) ::ReleaseMutex(m_hMutex);
        m_bHeld = false;
    }

private:
    HANDLE m_hMutex;
    bool m_bHeld;
};

// What is left of dwLimit ms counted from the tick dwStart (0 once they have passed).
inline DWORD TimeLeft(DWORD dwStart, DWORD dwLimit)
{
    const DWORD dwSpent = ::GetTickCount() - dwStart;
    return dwSpent < dwLimit ? dwLimit - dwSpent : 0;
}

// Looks at done() until it holds or dwLimit ms from dwStart have passed, sleeping on hWake in
// between: whoever changes what done() looks at sets hWake. The sleep is cut to kRecheckMs, so
// that a change that comes without its event (a peer that clears a status byte and signals
// nothing) is still seen. True if done() held.
template <class Done>
bool WaitUntil(Done done, HANDLE hWake, DWORD dwStart, DWORD dwLimit)
{
    constexpr DWORD kRecheckMs = 50;
    for (;;) {
        if (done()) return true;
        const DWORD dwLeft = TimeLeft(dwStart, dwLimit);
        if (dwLeft == 0) return false;
        const DWORD dwSleep = dwLeft < kRecheckMs ? dwLeft : kRecheckMs;
        if (!hWake || ::WaitForSingleObject(hWake, dwSleep) == WAIT_FAILED) ::Sleep(dwSleep);
    }
}

}  // namespace lobbykit::ipc

#endif
