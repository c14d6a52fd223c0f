// CMapIPC: one end of a shared-memory channel between a lobby (server end) and one game it
// started (client end). A game normally uses CGameLink (GameLink.h), which owns a client end;
// a lobby uses this class directly, as the server end. Installed as <lobbykit>/ipc/MapIPC.h
// (include it as "ipc/MapIPC.h"); the wire contract is in ipc/MapIPCProtocol.h.
//
// A lobby's contract:
// - Open: CreateServerMapIPC(name, hWnd) on a name of at most IPC_MAX_NAME_LEN (248) bytes;
//   the view address on success, null when the name is held by another server (or refused,
//   or the channel's objects cannot be made). One end serves one game at a time, then the
//   next on the same name. Hand the name to the game (g_ipcConfig, or its command line).
// - Accept: the worker accepts a game's connect request by itself and posts WM_IPC_NOTIFY
//   with IPC_NOTIFY_CONNECT; ServerWaitForClient(ms) waits for it instead (1 connected).
// - Send: QueuePacket(id, data, len): 0 queued, 1 refused (not connected, id 240 or above,
//   len outside 0..4095, null data with len > 0, or 8 MiB of packets already waiting).
// - Receive: on IPC_NOTIFY_DATA (one per packet) call RecvPacket(id, data, len) with room for
//   IPC_RECV_BUF_SIZE (4096) bytes until it returns 2 (nothing waiting); 0 a packet, 1 not open.
//   Unread packets are held up to 8 MiB; past that the game's packets wait in the game (its
//   QueuePacket refuses once its own 8 MiB are full) until the lobby reads again.
// - The game leaves, its process ends without leaving, or it writes what the protocol does
//   not allow (it is told to leave): IPC_NOTIFY_EXIT; packets still queued for it are dropped
//   and the end waits for the next game (IsConnected() is 0).
//   A game that dies before it connects sends nothing: watch its process handle too
//   (MsgWaitForMultipleObjects).
// - Close: CloseIPC() gives queued packets up to 1500 ms to leave, tells a connected game
//   (it gets IPC_NOTIFY_EXIT), stops the worker and releases everything; the end can be
//   opened again. It returns within 10.5 s whatever the game does (a frozen game costs the
//   whole bound, a game that just does not read 3 s). The destructor closes too, and posts
//   nothing more. No call on the host's thread waits on the game beyond these bounds.
// - Threads: call the operations above on one thread, the host's (the one whose window gets
//   the notifications is the natural one). The end runs a worker thread and a watcher thread
//   of its own; neither calls into the host: they only post WM_IPC_NOTIFY (wParam 0) to
//   hWnd, which may be null (no notifications; poll RecvPacket). The constructor throws
//   CResourceException* when its locks cannot be made.
// SendBuf, SendPacket and RecvBuf are the worker's steps, public for the protocol's tests;
// a host never calls them.
//
// How it works: the ends share a named 8244-byte record (IPC_MAP_BUF), four named
// auto-reset events and two named mutexes; each end's worker moves packets between its two
// in-process queues and the record, and posts WM_IPC_NOTIFY to the host window.
//
// Host thread: the open operations, ServerWaitForClient, QueuePacket, RecvPacket, CloseIPC.
// Worker thread: SendPacket, RecvBuf (and SendBuf for replies inside the handshake).
// Watcher thread (while an alive mutex of the peer can be had): RunWatcher.
//
// What the channel chooses where the protocol leaves room, and how a peer's death is
// noticed: docs/behaviour.md, "Channel".
#ifndef LOBBYKIT_IPC_MAPIPC_H
#define LOBBYKIT_IPC_MAPIPC_H

#include <windows.h>

#include <atomic>
#include <cstddef>

#include "LobbyKitExport.h"
#include "afxmt.h"
#include "ipc/MapIPCProtocol.h"

namespace lobbykit::ipc {
class CPacketQueue;  // ipc/PacketQueue.h, inside the library
}

// Thread procedure of a channel end's worker; pipc is the CMapIPC. Returns 0, or 0xFFFFFFFF
// when pipc is null.
DWORD WINAPI IPCThreadProc(void* pipc);

class LOBBYKIT_API CMapIPC {
public:
    CMapIPC();  // throws CResourceException* if a lock or the connected event cannot be made
    CMapIPC(const CMapIPC&) = delete;
    CMapIPC& operator=(const CMapIPC&) = delete;
    virtual ~CMapIPC();

    // Open as server / as client; the view address on success, null on failure.
    void* CreateServerMapIPC(const char* name, HWND hWnd);
    void* ConnectServerMapIPC(const char* name, HWND hWnd);
    // The attach step of both open operations: 1 success, 0 failure.
    int InitIPc(const char* name);
    // Server: 1 once a client is connected (dwTimeout ms, 0 for no limit), else 0.
    int ServerWaitForClient(DWORD dwTimeout);
    int IsValid();
    int IsConnected();
    // Stops the worker and releases everything; the end can be opened again.
    void CloseIPC();

    // Host side. 0 queued / returned, 1 refused or not open, 2 nothing waiting.
    int QueuePacket(BYTE cCmdID, const char* data, int len);
    int RecvPacket(BYTE& cCmdID, char* data, int& len);  // data: room for 4096 bytes
    int HasPendingOutput();

    // Worker side. SendBuf: 1 written (or nothing to write), 0 refused.
    int SendBuf(BYTE cCmdID, const char* data, int len);
    // 2 nothing queued, 0 placed (or none fitted), 1 the batch write was refused (which has
    // ended the peer's session).
    int SendPacket();
    // 1 taken (or left for want of room), 0 a fault, which has ended the peer's session.
    int RecvBuf();

private:
    friend DWORD WINAPI IPCThreadProc(void* pipc);
    friend struct CMapIPCTestAccess;  // white-box access for tests and the fuzzer

    static constexpr std::size_t kSendQueueBytes = 8 * 1024 * 1024;
    static constexpr std::size_t kRecvQueueBytes = kSendQueueBytes;
    // The longest the host's thread waits for a named mutex that the peer may keep.
    static constexpr DWORD kHostMutexWait = IPC_DRAIN_TIMEOUT;
    // How long a worker waits for its own alive mutex at start (held only for a moment by a
    // peer's watcher that has just found it free or abandoned); past it the end goes on
    // without, as an older peer would.
    static constexpr DWORD kAliveTakeTimeout = 1000;

    // m_hThread while InitIPc starts the worker: a worker that ends before InitIPc has stored
    // its handle clears this mark instead, and the handle is not stored there.
    static HANDLE WorkerStartingMark() { return INVALID_HANDLE_VALUE; }

    // The steps of InitIPc, in order.
    // Maps the record; the server marks it, a client checks it is free; both empty the halves.
    bool MapRecord();
    // The names of the channel's events and mutexes, made from the channel's name.
    struct ObjectNames {
        char szServerWrite[IPC_NAME_BUF];
        char szServerRead[IPC_NAME_BUF];
        char szClientWrite[IPC_NAME_BUF];
        char szClientRead[IPC_NAME_BUF];
        char szServerMutex[IPC_NAME_BUF];
        char szClientMutex[IPC_NAME_BUF];
        char szServerAlive[IPC_NAME_BUF];
        char szClientAlive[IPC_NAME_BUF];
    };
    static ObjectNames NameObjects(const char* name);
    // Creates or opens the events and mutexes (unnamed in-process ones when pNames is null)
    // and makes the packet queues. False when a queue could not be made.
    bool OpenObjects(const ObjectNames* pNames);
    bool StartWorker();
    // Client: asks the server to accept it. 1 connected, 0 refused or no answer in time.
    int Handshake();

    // For tests: an end of the given role and connect state around a record in this
    // process's memory, with unnamed in-process objects and no worker, so that each step
    // of the transfer can be driven by hand. CloseIPC releases it (the record stays the
    // caller's).
    void AttachInProcess(IPC_MAP_BUF* pRecord, int nRole, int nConnectStatus);
    DWORD RunWorker();
    // HasPendingOutput with the own mutex waited for up to dwWait ms (past it, the status byte
    // as it reads).
    int PendingOutput(DWORD dwWait);
    // RecvBuf's work; bForce takes the area even while the receive queue is full.
    int TakePeerArea(bool bForce);
    int UnpackFrames(const BYTE* pBuf, int n);
    // Queues the data frames [nFrom, nTo) of an area under one lock of the receive queue, then
    // announces each; false (after announcing those queued) when the queue had no room.
    bool QueueReceived(const BYTE* pBuf, int nFrom, int nTo);
    // What the frame walk does after a connect frame: go on with the next frame, end the
    // walk with the worker going on, or stop the worker.
    enum class AfterConnect { ContinueWalk, EndWalk, StopWorker };
    AfterConnect OnConnectFrame();
    void OnExitFrame();
    // The end of the peer's session (connect state, a server's reset, IPC_NOTIFY_EXIT), for an
    // exit frame, a death or a fault.
    void EndSession();
    void EndSessionOnFault();
    // CloseIPC: the exit frame, the exit event, and the worker's end (forced past the bound).
    void StopWorker();
    // The worker's own alive mutex: taken as it starts, released when it can no longer be
    // connected. Worker thread only.
    void TakeOwnAlive();
    void ReleaseOwnAlive();
    // The watcher thread: from each connect on, waits for the peer's alive mutex.
    static DWORD WINAPI WatcherProc(void* pipc);
    DWORD RunWatcher();
    void StopWatcher();
    // On the worker: the watcher found the peer dead.
    void OnPeerDied();
    // Writes into the own half; the caller holds the own named mutex.
    int WriteOwnHalf(BYTE cCmdID, const char* data, int len);
    void ChangeConnectCount(bool bAccept);  // raise by one, or back to 0
    void Notify(LPARAM lCode);
    void FreeQueue(lobbykit::ipc::CPacketQueue*& pList, CCriticalSection& lock);
    void DiscardSendQueue();
    bool IsServer() const { return m_nIPCStatus.load() == IPC_SERVER; }
    HANDLE OwnMutex() const { return IsServer() ? m_hServerBufMutex : m_hClientBufMutex; }
    HANDLE PeerMutex() const { return IsServer() ? m_hClientBufMutex : m_hServerBufMutex; }
    HANDLE OwnWriteEvent() const { return IsServer() ? m_hServerWriteEvent : m_hClientWriteEvent; }
    HANDLE OwnReadEvent() const { return IsServer() ? m_hServerReadEvent : m_hClientReadEvent; }
    // The peer's read event, which the own worker waits on; the host sets it to wake the worker.
    HANDLE WorkerWakeEvent() const { return IsServer() ? m_hClientReadEvent : m_hServerReadEvent; }
    HANDLE PeerWriteEvent() const { return IsServer() ? m_hClientWriteEvent : m_hServerWriteEvent; }
    HANDLE OwnAlive() const { return IsServer() ? m_hServerAlive : m_hClientAlive; }
    HANDLE PeerAlive() const { return IsServer() ? m_hClientAlive : m_hServerAlive; }

    char m_szServerName[MAX_PATH];
    std::atomic<HWND> m_hWnd;  // read by the worker, cleared by the destructor
    HANDLE m_hServerWriteEvent;
    HANDLE m_hServerReadEvent;
    HANDLE m_hClientWriteEvent;
    HANDLE m_hClientReadEvent;
    HANDLE m_hExitEvent;
    std::atomic<int> m_nConnectStatus;  // written by the worker, read by the host
    std::atomic<int> m_nIPCStatus;
    // The worker's handle while it runs; the worker clears it as its last act.
    std::atomic<HANDLE> m_hThread;
    HANDLE m_hWorker;    // the same handle, CloseIPC's: it waits on it and closes it
    HANDLE m_hHostWake;  // set by the worker after each step while the host waits (m_bHostWaits)
    std::atomic<bool> m_bHostWaits;
    // Set by the worker when the receive queue has no room for another area, cleared by the
    // host when it has read enough (both under the queue's lock); read by the worker unlocked.
    std::atomic<bool> m_bRecvFull;
    bool m_bAreaWaiting;  // worker only: the peer's area was left untaken for want of room
    IPC_MAP_BUF* m_pMapBuf;
    void* m_pMapView;
    HANDLE m_hMapFile;
    HANDLE m_hServerBufMutex;
    HANDLE m_hClientBufMutex;
    HANDLE m_hServerAlive;
    HANDLE m_hClientAlive;
    bool m_bHoldsOwnAlive;               // worker only
    std::atomic<bool> m_bWorkerStarted;  // the worker has tried for its alive mutex
    HANDLE m_hWatcher;
    HANDLE m_hWatchEvent;  // set at each connect: the watcher starts watching the peer
    // Sessions: raised at each connect. The watcher stamps a death with the session it ended,
    // so that a death found late never ends the next peer's session.
    std::atomic<unsigned> m_nSession;
    std::atomic<unsigned> m_nDeadSession;  // 0: none; set by the watcher, taken by the worker
    bool m_bAliveMutexes;                  // false: an end built without them, as an older peer (for tests)
    lobbykit::ipc::CPacketQueue* m_pRecvList;
    lobbykit::ipc::CPacketQueue* m_pSendList;
    CCriticalSection m_lockRecvList;
    CCriticalSection m_lockSendList;
    CEvent m_evtConnected;
    DWORD m_dwLastQueueTick;  // for the "Send interval" trace
    DWORD m_dwLastRecvTick;   // for the "icp interval" trace
};

#endif
