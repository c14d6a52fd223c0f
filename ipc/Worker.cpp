// The worker thread of a channel end: one blocking wait on three events (and, while
// connected, the peer's alive mutex), then take the peer's write, push the send queue, notice
// a peer that died, or stop.
#include "afxtrace.h"
#include "ipc/MapIPC.h"
#include "ipc/SharedRecord.h"

DWORD WINAPI IPCThreadProc(void* pipc)
{
    if (!pipc) {
        TRACE("Warning : ICPThreadProc() : pipc == NULL?\n");
        return 0xFFFFFFFFu;
    }
    return static_cast<CMapIPC*>(pipc)->RunWorker();
}

DWORD CMapIPC::RunWorker()
{
    const bool bServer = IsServer();
    TakeOwnAlive();
    m_bWorkerStarted.store(true);
    // The order is the priority: an exit is served before a peer write set at the same time,
    // and the peer's alive mutex comes last, after anything the peer wrote before it died.
    const HANDLE hEvents[4] = {m_hExitEvent, PeerWriteEvent(), WorkerWakeEvent(), PeerAlive()};
    const lobbykit::ipc::CRecordHalf own = lobbykit::ipc::OwnHalf(m_pMapBuf, bServer);

    for (;;) {
        const DWORD dwEvent = ::WaitForMultipleObjectsEx(WatchesPeer() ? 4 : 3, hEvents, FALSE, INFINITE, FALSE);
        if (dwEvent == WAIT_OBJECT_0) {
            if (m_nConnectStatus.load() > IPC_NOT_CONNECTED) {
                // Let the peer take the last write (normally the exit frame).
                const DWORD dwStart = ::GetTickCount();
                while (own.Status() != 0 && ::GetTickCount() - dwStart < IPC_DRAIN_TIMEOUT) {
                }
                if (own.Status() != 0) TRACE("Warn : IPCThreadProc() : EVENT_EXIT : time out\r\n");
            }
            break;
        }
        if (dwEvent == WAIT_OBJECT_0 + 1) {
            const DWORD dwNow = ::GetTickCount();
            TRACE("\nicp interval = %d\n", static_cast<int>(dwNow - m_dwLastRecvTick));
            m_dwLastRecvTick = dwNow;
            if (!RecvBuf()) break;
        } else if (dwEvent == WAIT_OBJECT_0 + 3 || dwEvent == WAIT_ABANDONED_0 + 3) {
            OnPeerAliveSignalled(dwEvent == WAIT_ABANDONED_0 + 3);
        } else if (dwEvent != WAIT_OBJECT_0 + 2) {
            TRACE("Error : ICPThreadProc() : dwEvent = %d\n", static_cast<int>(dwEvent));
            if (dwEvent == WAIT_FAILED) break;
        }
        if (SendPacket() == 1) break;
    }

    ReleaseOwnAlive();
    if (bServer) TRACE("IPC Server(%s) : exit thread now.\n", m_szServerName);
    else TRACE("IPC Client(%s) : exit thread now.\n", m_szServerName);
    // Last act: after this exchange CloseIPC may release the object at once.
    HANDLE hSelf = m_hThread.exchange(nullptr);
    if (hSelf && hSelf != WorkerStartingMark()) ::CloseHandle(hSelf);
    return 0;
}

void CMapIPC::TakeOwnAlive()
{
    if (!OwnAlive()) return;
    const DWORD r = ::WaitForSingleObject(OwnAlive(), kAliveTakeTimeout);
    // Abandoned: by an earlier end of this role that died and that no peer was watching.
    m_bHoldsOwnAlive = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void CMapIPC::ReleaseOwnAlive()
{
    if (m_bHoldsOwnAlive) ::ReleaseMutex(OwnAlive());
    m_bHoldsOwnAlive = false;
}

void CMapIPC::OnPeerAliveSignalled(bool bDied)
{
    // The wait has taken the mutex: give it back at once, for the peer's successor.
    ::ReleaseMutex(PeerAlive());
    m_bWatchPeer = false;
    // Found free: the peer never held it (an older build) or is leaving as usual, and its
    // exit frame says so; nothing to do.
    if (!bDied) return;
    if (IsServer()) TRACE("Event : IPC Server(%s) : the client has ended without exit\r\n", m_szServerName);
    else TRACE("Event : IPC Client(%s) : the server has ended without exit\r\n", m_szServerName);
    OnExitFrame();
    DiscardSendQueue();  // nobody will take it
}
