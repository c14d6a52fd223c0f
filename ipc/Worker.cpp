// The worker thread of a channel end: one blocking wait on three events, then take the peer's
// write, push the send queue, or stop; and the watcher thread, which waits for the peer's
// death while connected.
#include "afxtrace.h"
#include "ipc/MapIPC.h"
#include "ipc/SharedRecord.h"

using lobbykit::ipc::WaitUntil;

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
    ::SetEvent(m_hHostWake);  // StartWorker waits for this
    // The order is the priority: an exit is served before a peer write set at the same time.
    const HANDLE hEvents[3] = {m_hExitEvent, PeerWriteEvent(), WorkerWakeEvent()};
    const lobbykit::ipc::CRecordHalf own = lobbykit::ipc::OwnHalf(m_pMapBuf, bServer);

    for (;;) {
        const DWORD dwEvent = ::WaitForMultipleObjectsEx(3, hEvents, FALSE, INFINITE, FALSE);
        if (dwEvent == WAIT_OBJECT_0) {
            if (m_nConnectStatus.load() > IPC_NOT_CONNECTED) {
                // Let the peer take the last write (normally the exit frame); its take sets
                // the peer's read event.
                WaitUntil([&own] { return own.Status() == 0; }, WorkerWakeEvent(), ::GetTickCount(), IPC_DRAIN_TIMEOUT);
                if (own.Status() != 0) TRACE("Warn : IPCThreadProc() : EVENT_EXIT : time out\r\n");
            }
            break;
        }
        if (dwEvent == WAIT_OBJECT_0 + 1) {
            const DWORD dwNow = ::GetTickCount();
            TRACE("\nicp interval = %d\n", static_cast<int>(dwNow - m_dwLastRecvTick));
            m_dwLastRecvTick = dwNow;
            RecvBuf();  // a fault ends the session, not the worker
        } else if (dwEvent == WAIT_OBJECT_0 + 2) {
            // Among the wakes here: the host has read enough to make room for an area left.
            if (m_bAreaWaiting) RecvBuf();
        } else {
            TRACE("Error : ICPThreadProc() : dwEvent = %d\n", static_cast<int>(dwEvent));
            if (dwEvent == WAIT_FAILED) {
                EndSessionOnFault();  // nothing can be exchanged any more
                break;
            }
        }
        // After the peer's last write, which its write event has brought in first.
        const unsigned nDead = m_nDeadSession.exchange(0);
        if (nDead != 0 && nDead == m_nSession.load()) OnPeerDied();
        SendPacket();
        if (m_bHostWaits.load()) ::SetEvent(m_hHostWake);
    }

    ReleaseOwnAlive();
    if (bServer) TRACE("IPC Server(%s) : exit thread now.\n", m_szServerName);
    else TRACE("IPC Client(%s) : exit thread now.\n", m_szServerName);
    // CloseIPC waits for the thread itself, so the object stays until this returns.
    m_hThread.store(nullptr);
    if (m_bHostWaits.load()) ::SetEvent(m_hHostWake);
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

DWORD WINAPI CMapIPC::WatcherProc(void* pipc) { return static_cast<CMapIPC*>(pipc)->RunWatcher(); }

DWORD CMapIPC::RunWatcher()
{
    // The end's exit event (manual reset) stops the watcher as it stops the worker.
    const HANDLE hConnect[2] = {m_hExitEvent, m_hWatchEvent};
    const HANDLE hPeer[2] = {m_hExitEvent, PeerAlive()};
    for (;;) {
        if (::WaitForMultipleObjects(2, hConnect, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
        const DWORD r = ::WaitForMultipleObjects(2, hPeer, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1 && r != WAIT_ABANDONED_0 + 1) break;
        // Found free, the mutex belongs to a peer without it (an older build) or to one that
        // is leaving as usual, and its exit frame says so. Abandoned, the peer has died: the
        // death is stamped while the mutex is still taken, so before any successor can have
        // connected, and the mutex goes back at once for that successor.
        const bool bDied = r == WAIT_ABANDONED_0 + 1;
        if (bDied) m_nDeadSession.store(m_nSession.load());
        ::ReleaseMutex(PeerAlive());
        if (bDied) ::SetEvent(WorkerWakeEvent());
    }
    return 0;
}

void CMapIPC::StopWatcher()
{
    if (!m_hWatcher) return;
    ::SetEvent(m_hExitEvent);  // set already unless the worker had stopped on its own
    if (::WaitForSingleObject(m_hWatcher, IPC_STOP_TIMEOUT) != WAIT_OBJECT_0)
        ::TerminateThread(m_hWatcher, IPC_TERMINATED_EXIT_CODE);
    ::CloseHandle(m_hWatcher);
    m_hWatcher = nullptr;
}

void CMapIPC::OnPeerDied()
{
    if (m_nConnectStatus.load() != IPC_CONNECTED) return;  // it had left as usual meanwhile
    if (m_bAreaWaiting) {
        // Its last write, left for want of room: nobody else will ever take it.
        TakePeerArea(true);
        if (m_nConnectStatus.load() != IPC_CONNECTED) return;  // it held the exit frame
    }
    if (IsServer()) TRACE("Event : IPC Server(%s) : the client has ended without exit\r\n", m_szServerName);
    else TRACE("Event : IPC Client(%s) : the server has ended without exit\r\n", m_szServerName);
    OnExitFrame();
    DiscardSendQueue();  // nobody will take it
}
