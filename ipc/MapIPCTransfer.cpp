// CMapIPC: the packet queues, writing the own half, taking the peer half, and the handshake
// frames met while unpacking.
#include <cstring>
#include <new>

#include "afxtrace.h"
#include "ipc/FrameParser.h"
#include "ipc/MapIPC.h"
#include "ipc/PacketQueue.h"
#include "ipc/SharedRecord.h"

using lobbykit::ipc::CFrameReader;
using lobbykit::ipc::CNamedMutexLock;
using lobbykit::ipc::ConnectCount;
using lobbykit::ipc::CRecordHalf;
using lobbykit::ipc::IPC_FRAME;
using lobbykit::ipc::IsLoneControlFrame;
using lobbykit::ipc::OwnHalf;
using lobbykit::ipc::PeerHalf;
using lobbykit::ipc::PutFrame;

// --- Host side ---------------------------------------------------------------------------

int CMapIPC::QueuePacket(BYTE cCmdID, const char* data, int len)
{
    if (!IsValid() || !IsConnected()) return 1;
    if (len < 0 || len > IPC_MAX_DATA_LEN || (len > 0 && !data) || cCmdID >= IPC_CMD_APP_LIMIT) return 1;

    {
        CSingleLock lock(&m_lockSendList, TRUE);
        if (!m_pSendList->Push(0, cCmdID, data, static_cast<WORD>(len))) return 1;  // no memory
    }
#if defined(LOBBYKIT_TRACE)
    // Only the trace needs the time: a clock read per packet is not free.
    const DWORD dwNow = ::GetTickCount();
    TRACE("Send interval = %d\n", static_cast<int>(dwNow - m_dwLastQueueTick));
    m_dwLastQueueTick = dwNow;
#endif

    // Wake the own worker only if the own area is free; otherwise the peer's read event
    // wakes it when the peer takes the area (the packet is queued before this test).
    if (OwnHalf(m_pMapBuf, IsServer()).Status() == 0) ::SetEvent(WorkerWakeEvent());
    return 0;
}

int CMapIPC::RecvPacket(BYTE& cCmdID, char* data, int& len)
{
    if (!IsValid()) return 1;
    CSingleLock lock(&m_lockRecvList, TRUE);
    if (!m_pRecvList || m_pRecvList->IsEmpty()) return 2;
    const IPC_PACKET packet = m_pRecvList->Head();
    cCmdID = packet.cCmdID;
    len = packet.wDataLen;
    if (len > 0 && data) std::memcpy(data, packet.pData, static_cast<size_t>(len));
    m_pRecvList->Pop();
    // The worker has left the peer's area for want of room: tell it once there is room again.
    if (!m_bRecvFull.load(std::memory_order_relaxed) || !m_pRecvList->HasRoomForArea(kRecvQueueBytes)) return 0;
    m_bRecvFull.store(false, std::memory_order_relaxed);
    lock.Unlock();
    ::SetEvent(WorkerWakeEvent());
    return 0;
}

int CMapIPC::HasPendingOutput() { return PendingOutput(kHostMutexWait); }

int CMapIPC::PendingOutput(DWORD dwWait)
{
    if (!IsConnected() || !m_pSendList) return 0;
    {
        CSingleLock lock(&m_lockSendList, TRUE);
        if (!m_pSendList->IsEmpty()) return 1;
    }
    // The worker keeps the own mutex from taking packets off the queue until they are in the
    // area, so a batch on its way is seen here as set status. A mutex that the peer keeps
    // (and only the peer can keep it that long) hides no batch of ours.
    CNamedMutexLock lock(OwnMutex(), dwWait);
    return OwnHalf(m_pMapBuf, IsServer()).Status() ? 1 : 0;
}

// --- Writing the own half ----------------------------------------------------------------

int CMapIPC::SendBuf(BYTE cCmdID, const char* data, int len)
{
    if (!IsValid()) return 0;
    if (data && len == 0) {
        TRACE("Warning : CMapIPC::SendBuf() : no data to send?\n");
        return 1;
    }
    if (len < 0 || len > IPC_BATCH_LIMIT) {
        TRACE("Error : CMapIPC::SendBuf() : IPC is close or invalid param?\n");
        return 0;
    }
    if (cCmdID < IPC_CMD_APP_LIMIT) {
        TRACE("Error : CMapIPC::SendBuf() : cCmdID = %d\n", cCmdID);
        return 0;
    }
    CNamedMutexLock lock(OwnMutex(), kHostMutexWait);
    if (!lock.Held() || !WriteOwnHalf(cCmdID, data, len)) return 0;
    lock.Release();
    ::SetEvent(OwnWriteEvent());
    return 1;
}

int CMapIPC::WriteOwnHalf(BYTE cCmdID, const char* data, int len)
{
    const bool bServer = IsServer();
    const CRecordHalf own = OwnHalf(m_pMapBuf, bServer);
    if (own.Status()) {
        if (bServer) TRACE("Error : CMapIPC::SendBuf()(server) : last data has not been retrieved.\n");
        else TRACE("Error : CMapIPC::SendBuf()(client) : last data has not been retrieved.\n");
    }
    if (cCmdID != IPC_CMD_PACKETS) {
        // A control frame stands alone and replaces whatever the area holds.
        own.SetLength(static_cast<WORD>(PutFrame(own.pArea, IPC_AREA_SIZE, cCmdID, nullptr, 0)));
    } else {
        if (own.Status()) return 0;
        own.SetLength(static_cast<WORD>(len));
        if (data) std::memcpy(own.pArea, data, static_cast<size_t>(len));
    }
    own.SetStatus(1);
    return 1;
}

int CMapIPC::SendPacket()
{
    {
        CSingleLock lock(&m_lockSendList, TRUE);
        if (!m_pSendList || m_pSendList->IsEmpty()) return 2;
    }
    // The own mutex is held from taking the packets off the queue until they are in the
    // area: nothing else can fill the area meanwhile and refuse the batch (its packets
    // would be lost), and HasPendingOutput cannot miss them.
    CNamedMutexLock ownLock(OwnMutex());
    if (!ownLock.Held()) {
        EndSessionOnFault();
        return 1;
    }
    const CRecordHalf own = OwnHalf(m_pMapBuf, IsServer());
    const bool bAppend = own.Status() != 0;
    const int nPending = bAppend ? own.Length() : 0;

    BYTE batch[IPC_BATCH_LIMIT];
    int nBatch = 0;
    {
        CSingleLock lock(&m_lockSendList, TRUE);
        while (!m_pSendList->IsEmpty()) {
            const IPC_PACKET head = m_pSendList->Head();
            // The bound counts frame headers: the area never holds more than a reader takes.
            if (nPending + nBatch + IPC_FRAME_HEADER + head.wDataLen > IPC_BATCH_LIMIT) break;
            nBatch += PutFrame(batch + nBatch, IPC_BATCH_LIMIT - nBatch, head.cCmdID, head.pData, head.wDataLen);
            m_pSendList->Pop();
        }
    }
    if (nBatch == 0) return 0;  // nothing fitted after the pending data; sent once it is taken

    if (bAppend) {
        // The peer has not served the earlier write yet; it takes both together.
        std::memcpy(own.pArea + nPending, batch, static_cast<size_t>(nBatch));
        own.SetLength(static_cast<WORD>(nPending + nBatch));
        return 0;
    }
    const int nWritten = WriteOwnHalf(IPC_CMD_PACKETS, reinterpret_cast<const char*>(batch), nBatch);
    ownLock.Release();
    if (!nWritten) {
        // Only the peer can have set the status meanwhile: its batch is lost with the session.
        EndSessionOnFault();
        return 1;
    }
    ::SetEvent(OwnWriteEvent());
    return 0;
}

// --- Taking the peer half ----------------------------------------------------------------

int CMapIPC::RecvBuf()
{
    const int nResult = TakePeerArea(false);
    if (!nResult) EndSessionOnFault();
    return nResult;
}

int CMapIPC::TakePeerArea(bool bForce)
{
    m_bAreaWaiting = false;
    if (m_nIPCStatus.load() == IPC_CLOSE) {
        TRACE("Error : CMapIPC::RecvBuf()(server) : can not recv data(IPC_CLOSE).");
        return 0;
    }
    const bool bServer = IsServer();
    const CRecordHalf peer = PeerHalf(m_pMapBuf, bServer);
    BYTE buf[IPC_AREA_READ_MAX];
    int n = 0;
    {
        CNamedMutexLock lock(PeerMutex());
        if (!lock.Held()) return 0;
        const BYTE bStatus = peer.Status();
        if (bStatus != 1) {
            if (bServer) TRACE("Error : CMapIPC::RecvBuf()[server] : no data to retrieve?\n");
            else TRACE("Error : CMapIPC::RecvBuf()[client] : no data to retrieve?\n");
            // An empty area is a stale wake-up (left by a write that a control frame replaced
            // after this worker had been woken for it, or by an earlier client): nothing to
            // take, go on. Any other status value is a damaged record.
            return bStatus == 0 ? 1 : 0;
        }
        const WORD wLen = peer.Length();
        if (m_bRecvFull.load(std::memory_order_relaxed) && !bForce && !IsLoneControlFrame(peer.pArea, wLen)) {
            // No room for its packets: the area stays the peer's until the host has read
            // enough (RecvPacket wakes this worker then), and the peer's queue fills meanwhile.
            m_bAreaWaiting = true;
            return 1;
        }
        if (wLen > IPC_AREA_READ_MAX) {
            if (bServer) TRACE("Error : CMapIPC::RecvBuf(SERVER) : packet length = %d\n", wLen);
            else TRACE("Error : CMapIPC::RecvBuf(CLIENT) : packet length = %d\n", wLen);
        }
        n = lobbykit::ipc::AreaReadLength(wLen);
        std::memcpy(buf, peer.pArea, static_cast<size_t>(n));
        peer.SetStatus(0);
        peer.SetLength(0);
    }
    if (!::SetEvent(OwnReadEvent()) && bServer)
        TRACE("Warning : CMapIPC():RecvBuf() : SetEvent(m_hServerReadEvent) failed\n");
    return UnpackFrames(buf, n);
}

int CMapIPC::UnpackFrames(const BYTE* pBuf, int n)
{
    CFrameReader reader(pBuf, n);
    int nRun = 0;  // start of the data frames read but not yet queued
    for (;;) {
        const int nAt = reader.Position();
        IPC_FRAME frame;
        const CFrameReader::Result result = reader.Next(frame);
        // A data frame joins the run; the run is queued (under one lock) and announced before
        // anything else is done: a control frame, a faulty frame, the end of the area.
        if (result == CFrameReader::FRAME_OK && frame.cCmdID <= IPC_CMD_DATA_MAX) continue;
        if (!QueueReceived(pBuf, nRun, nAt)) {
            TRACE("Error : CMapIPC::RecvBuf() : no memory\n");
            return 0;
        }
        nRun = reader.Position();
        switch (result) {
        case CFrameReader::FRAME_OK: break;
        case CFrameReader::FRAME_END: return 1;
        case CFrameReader::FRAME_SHORT:
            TRACE("Error : CMapIPC::RecvBuf() : data len = %d\n", reader.Remaining());
            return 0;
        case CFrameReader::FRAME_BAD_MARKER:
            TRACE("Error : CMapIPC::RecvBuf() : packet header = %d\n",
                  static_cast<int>(static_cast<signed char>(reader.Current())));
            return 0;
        case CFrameReader::FRAME_BAD_LENGTH:
            TRACE("Error : CMapIPC::RecvBuf() : packet data len = %d\n", reader.Remaining() + 1);
            return 0;
        }
        if (frame.cCmdID == IPC_CMD_CONNECT) {
            switch (OnConnectFrame()) {
            case AfterConnect::ContinueWalk: break;
            case AfterConnect::EndWalk: return 1;
            case AfterConnect::StopWorker: return 0;
            }
        } else if (frame.cCmdID == IPC_CMD_EXIT) {
            OnExitFrame();
            return 1;  // frames after an exit are dropped
        } else {
            TRACE("Error : CMapIPC::RecvBuf() : Unknown command = %d.\n", frame.cCmdID);
            return 0;
        }
    }
}

bool CMapIPC::QueueReceived(const BYTE* pBuf, int nFrom, int nTo)
{
    if (nFrom >= nTo) return true;
    CFrameReader run(pBuf + nFrom, nTo - nFrom);  // frames already checked by the walk
    int nQueued = 0;
    bool bRoom = true;
    {
        const DWORD dwNow = ::GetTickCount();
        CSingleLock lock(&m_lockRecvList, TRUE);
        IPC_FRAME frame;
        while (run.Next(frame) == CFrameReader::FRAME_OK) {
            if (!m_pRecvList->Push(dwNow, frame.cCmdID, frame.pData, frame.wDataLen)) {
                bRoom = false;
                break;
            }
            ++nQueued;
        }
        if (!m_pRecvList->HasRoomForArea(kRecvQueueBytes)) m_bRecvFull.store(true, std::memory_order_relaxed);
    }
    // Posted after the packets are queued: the host finds each when its message arrives.
    for (int i = 0; i < nQueued; ++i) Notify(IPC_NOTIFY_DATA);
    return bRoom;
}

CMapIPC::AfterConnect CMapIPC::OnConnectFrame()
{
    if (!IsServer()) {
        TRACE("Error : CMapIPC::RecvBuf() : IPC_CMD_CONNECT should send by client\n");
        return AfterConnect::StopWorker;
    }
    if (m_nConnectStatus.load() == IPC_NOT_CONNECTED) {
        TRACE("%4d : SERVER : connect comes\n", static_cast<int>(::GetTickCount()));
        const BYTE bOwn = lobbykit::ipc::ServerHalf(m_pMapBuf).Status();
        if (bOwn)
            TRACE("%4d : SERVER : connect comes,m_pMapBuf->cbServerWriteStatus = %d\n",
                  static_cast<int>(::GetTickCount()), bOwn);
        // Whatever is still queued was meant for an earlier client.
        DiscardSendQueue();
        m_nSession.fetch_add(1);
        m_nConnectStatus.store(IPC_CONNECTED);
        if (m_hWatchEvent) ::SetEvent(m_hWatchEvent);
        ChangeConnectCount(true);
        m_evtConnected.SetEvent();
        ::SetEvent(m_hServerReadEvent);
        Notify(IPC_NOTIFY_CONNECT);
        return AfterConnect::ContinueWalk;
    }
    TRACE("Warning : CMapIPC()::RecvBuf() : IPC_CONNECT comes twice times? Force client to exit\n");
    SendBuf(IPC_CMD_EXIT, nullptr, 0);
    return AfterConnect::EndWalk;
}

void CMapIPC::OnExitFrame()
{
    if (m_nConnectStatus.load() <= IPC_NOT_CONNECTED) TRACE("Event : RecvBuf() : IPC_CMD_EXIT : not connected now\r\n");
    if (IsServer()) {
        TRACE("Event : RecvBuf() : client exit IPC()\r\n");
        if (lobbykit::ipc::ClientHalf(m_pMapBuf).Status()) TRACE("Event : RecvBuf()(SERVER) : last data exist?\r\n");
    } else if (lobbykit::ipc::ServerHalf(m_pMapBuf).Status()) {
        TRACE("Event : RecvBuf()(CLIENT) : last data exist?\r\n");
    }
    EndSession();
}

void CMapIPC::EndSession()
{
    m_nConnectStatus.store(IPC_NOT_CONNECTED);
    if (IsServer()) {
        m_evtConnected.ResetEvent();
        ChangeConnectCount(false);
        ::ResetEvent(m_hServerWriteEvent);
        ::ResetEvent(m_hServerReadEvent);
        ::ResetEvent(m_hClientWriteEvent);
        ::ResetEvent(m_hClientReadEvent);
        // Packets queued for the departed client can never reach it; the next client must
        // not receive them.
        DiscardSendQueue();
    } else {
        // A client that has left no longer stands for a live game.
        ReleaseOwnAlive();
    }
    Notify(IPC_NOTIFY_EXIT);
}

void CMapIPC::EndSessionOnFault()
{
    if (m_nConnectStatus.load() != IPC_CONNECTED) return;  // no session to end
    // The peer is told first: once a server's count is back to 0, the area may be a new
    // client's. The server's reset clears its write event, so the exit is signalled again.
    SendBuf(IPC_CMD_EXIT, nullptr, 0);
    EndSession();
    DiscardSendQueue();  // nothing more leaves in this session
    if (OwnHalf(m_pMapBuf, IsServer()).Status()) ::SetEvent(OwnWriteEvent());
}

void CMapIPC::ChangeConnectCount(bool bAccept)
{
    // The count shares an aligned 64-bit word with the server half's status byte and the
    // first byte of its length, and the interlocked update goes through that word; doing it
    // under the server half's mutex keeps it ordered with the host thread's writes there.
    CNamedMutexLock lock(m_hServerBufMutex);
    if (bAccept) ::InterlockedIncrement(ConnectCount(m_pMapBuf));
    else ::InterlockedExchange(ConnectCount(m_pMapBuf), 0);
}

void CMapIPC::Notify(LPARAM lCode)
{
    HWND hWnd = m_hWnd.load();
    if (hWnd) ::PostMessageA(hWnd, WM_IPC_NOTIFY, 0, lCode);
}
