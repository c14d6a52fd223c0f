// The worker thread of a channel end: one blocking wait on three events, then take the peer's
// write, push the send queue, or stop.
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
    // The order is the priority: an exit is served before a peer write set at the same time.
    const HANDLE hEvents[3] = {m_hExitEvent, PeerWriteEvent(), WorkerWakeEvent()};
    const lobbykit::ipc::CRecordHalf own = lobbykit::ipc::OwnHalf(m_pMapBuf, bServer);

    for (;;) {
        const DWORD dwEvent = ::WaitForMultipleObjectsEx(3, hEvents, FALSE, INFINITE, FALSE);
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
        } else if (dwEvent != WAIT_OBJECT_0 + 2) {
            TRACE("Error : ICPThreadProc() : dwEvent = %d\n", static_cast<int>(dwEvent));
            if (dwEvent == WAIT_FAILED) break;
        }
        if (SendPacket() == 1) break;
    }

    if (bServer) TRACE("IPC Server(%s) : exit thread now.\n", m_szServerName);
    else TRACE("IPC Client(%s) : exit thread now.\n", m_szServerName);
    // Last act: after this exchange CloseIPC may release the object at once.
    HANDLE hSelf = m_hThread.exchange(nullptr);
    if (hSelf && hSelf != WorkerStartingMark()) ::CloseHandle(hSelf);
    return 0;
}
