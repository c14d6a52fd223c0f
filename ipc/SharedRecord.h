// Access to the fields of the shared record that two threads or two processes touch.
//
// The status bytes are polled without the named mutex (by the host while the worker writes
// them, and across processes), so they are read and written as atomic bytes. The 16-bit
// lengths sit at odd offsets and are read and written byte by byte, little-endian, under the
// half's named mutex. dwConnectCount is changed with interlocked operations.
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
inline CRecordHalf OwnHalf(IPC_MAP_BUF* p, bool bServer)
{
    return bServer ? ServerHalf(p) : ClientHalf(p);
}

inline CRecordHalf PeerHalf(IPC_MAP_BUF* p, bool bServer)
{
    return bServer ? ClientHalf(p) : ServerHalf(p);
}

// The connect count as an interlocked 32-bit word (it lies at offset 2, inside the first
// cache line of the page-aligned view).
inline LONG volatile* ConnectCount(IPC_MAP_BUF* p)
{
    return reinterpret_cast<LONG volatile*>(reinterpret_cast<BYTE*>(p) +
                                            offsetof(IPC_MAP_BUF, dwConnectCount));
}

// Holds a named mutex for a scope. A mutex abandoned by a dead process is acquired all the
// same (the half it guards is then checked like any other peer data).
class CNamedMutexLock {
public:
    explicit CNamedMutexLock(HANDLE hMutex) : m_hMutex(hMutex)
    {
        const DWORD r = hMutex ? ::WaitForSingleObject(hMutex, INFINITE) : WAIT_FAILED;
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

}  // namespace lobbykit::ipc

#endif
