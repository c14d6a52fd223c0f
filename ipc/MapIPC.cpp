// CMapIPC: opening, attaching, waiting for a client, and closing a channel end.
#include "ipc/MapIPC.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "afxtrace.h"
#include "ipc/FrameParser.h"
#include "ipc/PacketQueue.h"
#include "ipc/SharedRecord.h"

using lobbykit::ipc::ClientHalf;
using lobbykit::ipc::CNamedMutexLock;
using lobbykit::ipc::ConnectCount;
using lobbykit::ipc::CPacketQueue;
using lobbykit::ipc::CRecordHalf;
using lobbykit::ipc::ServerHalf;
using lobbykit::ipc::TimeLeft;
using lobbykit::ipc::WaitUntil;

namespace {

bool NameAcceptable(const char* name) { return name && ::lstrlenA(name) <= IPC_MAX_NAME_LEN; }

// Creates or opens a named object; a null handle is reported with the message box and
// opening goes on without it.
HANDLE CheckedObject(HANDLE h)
{
    if (!h) ::MessageBoxA(nullptr, "Error : InitIPc() : error occur 0", nullptr, MB_OK);
    return h;
}

void CloseAndClear(HANDLE& h)
{
    if (h) ::CloseHandle(h);
    h = nullptr;
}

// Marks the host's thread as waiting on the worker for a scope: the worker then sets the host's
// wake event after each of its steps.
class CHostWaits {
public:
    explicit CHostWaits(std::atomic<bool>& bWaits) : m_bWaits(bWaits) { m_bWaits.store(true); }
    ~CHostWaits() { m_bWaits.store(false); }
    CHostWaits(const CHostWaits&) = delete;
    CHostWaits& operator=(const CHostWaits&) = delete;

private:
    std::atomic<bool>& m_bWaits;
};

}  // namespace

CMapIPC::CMapIPC()
    : m_hWnd(nullptr),
      m_hServerWriteEvent(nullptr),
      m_hServerReadEvent(nullptr),
      m_hClientWriteEvent(nullptr),
      m_hClientReadEvent(nullptr),
      m_hExitEvent(nullptr),
      m_nConnectStatus(IPC_NOT_CONNECTED),
      m_nIPCStatus(IPC_CLOSE),
      m_hThread(nullptr),
      m_hWorker(nullptr),
      m_hHostWake(nullptr),
      m_bHostWaits(false),
      m_bRecvFull(false),
      m_bAreaWaiting(false),
      m_pMapBuf(nullptr),
      m_pMapView(nullptr),
      m_hMapFile(nullptr),
      m_hServerBufMutex(nullptr),
      m_hClientBufMutex(nullptr),
      m_hServerAlive(nullptr),
      m_hClientAlive(nullptr),
      m_bHoldsOwnAlive(false),
      m_bWorkerStarted(false),
      m_hWatcher(nullptr),
      m_hWatchEvent(nullptr),
      m_nSession(0),
      m_nDeadSession(0),
      m_bAliveMutexes(true),
      m_pRecvList(nullptr),
      m_pSendList(nullptr),
      m_evtConnected(FALSE, FALSE),
      m_dwLastQueueTick(0),
      m_dwLastRecvTick(0)
{
    m_szServerName[0] = '\0';
}

CMapIPC::~CMapIPC()
{
    m_hWnd.store(nullptr);  // nothing is posted during teardown
    CloseIPC();
}

void* CMapIPC::CreateServerMapIPC(const char* name, HWND hWnd)
{
    if (m_nIPCStatus.load() != IPC_CLOSE) return nullptr;
    if (!NameAcceptable(name)) {
        TRACE("Error : CMapIPC::CreateServerMapIPC() : channel name refused\n");
        return nullptr;
    }
    HANDLE hMap =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, sizeof(IPC_MAP_BUF), name);
    if (!hMap) {
        const DWORD dwError = ::GetLastError();
        char szSystem[1024] = "";
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, szSystem,
                         sizeof szSystem, nullptr);
        // The whole text must stay within 1024 bytes: cut the system text if it is that long.
        szSystem[sizeof szSystem - 128] = '\0';
        char szText[1024];
        ::wsprintfA(szText, "创建客户端连接失败,失败代码为 %d,错误信息: %s ", static_cast<int>(dwError), szSystem);
        ::MessageBoxA(nullptr, szText, "IPC错误", MB_OK);
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {  // another server holds the name
        ::CloseHandle(hMap);
        return nullptr;
    }
    m_hMapFile = hMap;
    m_nIPCStatus.store(IPC_SERVER);
    m_hWnd.store(hWnd);
    if (!InitIPc(name)) {
        CloseIPC();
        return nullptr;
    }
    return m_pMapView;
}

void* CMapIPC::ConnectServerMapIPC(const char* name, HWND hWnd)
{
    if (m_nIPCStatus.load() != IPC_CLOSE) return nullptr;
    if (!NameAcceptable(name)) {
        TRACE("Error : CMapIPC::ConnectServerMapIPC() : channel name refused\n");
        return nullptr;
    }
    m_hMapFile = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!m_hMapFile) return nullptr;
    m_nIPCStatus.store(IPC_CLIENT);
    m_hWnd.store(hWnd);
    if (!InitIPc(name)) {
        CloseIPC();
        return nullptr;
    }
    return m_pMapView;
}

int CMapIPC::InitIPc(const char* name)
{
    // Only once per open: a second call would map the record again and leak the first set.
    if (!name || !m_hMapFile || m_pMapView || !NameAcceptable(name)) return 0;
    ::lstrcpynA(m_szServerName, name, MAX_PATH);
    if (!MapRecord()) return 0;
    const ObjectNames names = NameObjects(m_szServerName);
    if (!OpenObjects(&names) || !StartWorker()) return 0;
    return IsServer() ? 1 : Handshake();
}

bool CMapIPC::MapRecord()
{
    m_pMapView = ::MapViewOfFile(m_hMapFile, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(IPC_MAP_BUF));
    if (!m_pMapView) return false;
    m_pMapBuf = static_cast<IPC_MAP_BUF*>(m_pMapView);

    if (IsServer()) {
        m_pMapBuf->wSignature = IPC_SIGNATURE;
    } else {
        // A client checks the record before it touches it: a refused client (wrong record,
        // or a client already attached) must not wipe the halves of a live session.
        if (m_pMapBuf->wSignature != IPC_SIGNATURE) return false;
        if (::InterlockedCompareExchange(ConnectCount(m_pMapBuf), 0, 0) != 0) return false;
    }
    // Both roles start from empty halves; a client discards whatever either half held.
    for (const CRecordHalf& half : {ServerHalf(m_pMapBuf), ClientHalf(m_pMapBuf)}) {
        half.SetStatus(0);
        half.SetLength(0);
    }
    return true;
}

CMapIPC::ObjectNames CMapIPC::NameObjects(const char* name)
{
    ObjectNames names;
    ::wsprintfA(names.szServerWrite, "%s_ServerWrite", name);
    ::wsprintfA(names.szServerRead, "%s_ServerRead", name);
    ::wsprintfA(names.szClientWrite, "%s_ClientWrite", name);
    ::wsprintfA(names.szClientRead, "%s_ClientRead", name);
    ::wsprintfA(names.szServerMutex, "%s_ServerBufMutex", name);
    ::wsprintfA(names.szClientMutex, "%s_ClientBufMutex", name);
    ::wsprintfA(names.szServerAlive, "%s_ServerAlive", name);
    ::wsprintfA(names.szClientAlive, "%s_ClientAlive", name);
    return names;
}

bool CMapIPC::OpenObjects(const ObjectNames* pNames)
{
    m_hServerWriteEvent = CheckedObject(::CreateEventA(nullptr, FALSE, FALSE, pNames ? pNames->szServerWrite : nullptr));
    m_hServerReadEvent = CheckedObject(::CreateEventA(nullptr, FALSE, FALSE, pNames ? pNames->szServerRead : nullptr));
    m_hClientWriteEvent = CheckedObject(::CreateEventA(nullptr, FALSE, FALSE, pNames ? pNames->szClientWrite : nullptr));
    m_hClientReadEvent = CheckedObject(::CreateEventA(nullptr, FALSE, FALSE, pNames ? pNames->szClientRead : nullptr));
    m_hExitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hExitEvent) ::ResetEvent(m_hExitEvent);
    m_hServerBufMutex = CheckedObject(::CreateMutexA(nullptr, FALSE, pNames ? pNames->szServerMutex : nullptr));
    m_hClientBufMutex = CheckedObject(::CreateMutexA(nullptr, FALSE, pNames ? pNames->szClientMutex : nullptr));
    if (pNames && m_bAliveMutexes) {
        // Not one of the channel's own objects: without them the end works as before, so a
        // failure here says nothing.
        m_hServerAlive = ::CreateMutexA(nullptr, FALSE, pNames->szServerAlive);
        m_hClientAlive = ::CreateMutexA(nullptr, FALSE, pNames->szClientAlive);
        if (PeerAlive()) m_hWatchEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    m_hHostWake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_nDeadSession.store(0);
    m_bRecvFull.store(false);
    m_bAreaWaiting = false;
    m_evtConnected.ResetEvent();

    // One chunk above the bound: room for the area a dead peer leaves while the queue is full.
    m_pRecvList = new (std::nothrow) CPacketQueue(kRecvQueueBytes / CPacketQueue::kChunkBytes + 1);
    m_pSendList = new (std::nothrow) CPacketQueue(kSendQueueBytes / CPacketQueue::kChunkBytes);
    return m_pRecvList && m_pSendList;
}

bool CMapIPC::StartWorker()
{
    m_bWorkerStarted.store(false);
    m_hThread.store(WorkerStartingMark());
    CHostWaits waits(m_bHostWaits);
    m_hWorker = ::CreateThread(nullptr, 0, IPCThreadProc, this, 0, nullptr);
    if (!m_hWorker) {
        m_hThread.store(nullptr);
        return false;
    }
    HANDLE hExpected = WorkerStartingMark();
    m_hThread.compare_exchange_strong(hExpected, m_hWorker);  // fails if the worker has ended
    // A client's peer starts watching with the connect request: the worker must hold the
    // alive mutex by then. Its wait for it is bounded, so this one is too.
    WaitUntil([this] { return m_bWorkerStarted.load() || !m_hThread.load(); }, m_hHostWake, ::GetTickCount(),
              2 * kAliveTakeTimeout);
    // Without its watcher the end works as before: peer deaths go unnoticed.
    if (m_hWatchEvent) m_hWatcher = ::CreateThread(nullptr, 0, WatcherProc, this, 0, nullptr);
    return true;
}

int CMapIPC::Handshake()
{
    if (!SendBuf(IPC_CMD_CONNECT, nullptr, 0)) return 0;
    const CRecordHalf own = ClientHalf(m_pMapBuf);
    {
        // The server's take wakes this end's worker (its read event), which wakes this wait.
        CHostWaits waits(m_bHostWaits);
        WaitUntil([&own] { return own.Status() == 0; }, m_hHostWake, ::GetTickCount(), IPC_CONNECT_TIMEOUT);
    }
    if (own.Status() != 0) {
        // Withdraw the request, so that a server that wakes later does not accept a client
        // that has gone (it would stay "connected" and refuse every later client). If the
        // server took it meanwhile, the connect has happened after all.
        CNamedMutexLock lock(m_hClientBufMutex, kHostMutexWait);
        if (lock.Held() && own.Status() != 0) {
            own.SetStatus(0);
            own.SetLength(0);
            return 0;
        }
        if (!lock.Held()) return 0;
    }
    m_nSession.fetch_add(1);
    m_nConnectStatus.store(IPC_CONNECTED);
    if (m_hWatchEvent) ::SetEvent(m_hWatchEvent);
    return 1;
}

void CMapIPC::AttachInProcess(IPC_MAP_BUF* pRecord, int nRole, int nConnectStatus)
{
    m_pMapBuf = pRecord;
    m_nIPCStatus.store(nRole);
    m_nConnectStatus.store(nConnectStatus);
    OpenObjects(nullptr);
}

int CMapIPC::ServerWaitForClient(DWORD dwTimeout)
{
    if (m_nIPCStatus.load() != IPC_SERVER) return 0;
    if (IsConnected()) {
        m_evtConnected.ResetEvent();
        TRACE("Event : CMapIPC::ServerWaitForClient : the IPC is connected already!\r\n");
        return 1;
    }
    return ::WaitForSingleObject(m_evtConnected, dwTimeout ? dwTimeout : INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}

int CMapIPC::IsValid()
{
    // The object test reduces to this object existing, which a member call implies.
    const int nStatus = m_nIPCStatus.load();
    return nStatus == IPC_SERVER || nStatus == IPC_CLIENT;
}

int CMapIPC::IsConnected()
{
    return IsValid() && m_nIPCStatus.load() != IPC_CLOSE && m_nConnectStatus.load() > IPC_NOT_CONNECTED;
}

void CMapIPC::CloseIPC()
{
    StopWorker();
    StopWatcher();

    CloseAndClear(m_hServerWriteEvent);
    CloseAndClear(m_hServerReadEvent);
    CloseAndClear(m_hClientWriteEvent);
    CloseAndClear(m_hClientReadEvent);
    CloseAndClear(m_hExitEvent);
    CloseAndClear(m_hServerBufMutex);
    CloseAndClear(m_hClientBufMutex);
    CloseAndClear(m_hServerAlive);
    CloseAndClear(m_hClientAlive);
    CloseAndClear(m_hWatchEvent);
    CloseAndClear(m_hHostWake);
    if (m_pMapView) ::UnmapViewOfFile(m_pMapView);
    m_pMapView = nullptr;
    m_pMapBuf = nullptr;
    CloseAndClear(m_hMapFile);
    m_nIPCStatus.store(IPC_CLOSE);
    m_nConnectStatus.store(IPC_NOT_CONNECTED);

    FreeQueue(m_pRecvList, m_lockRecvList);
    FreeQueue(m_pSendList, m_lockSendList);
}

void CMapIPC::StopWorker()
{
    if (!m_hWorker) return;
    DWORD dwStop = ::GetTickCount();
    if (m_hThread.load()) {
        const DWORD dwDrain = dwStop;
        {
            // Each take by the peer wakes the worker, which sends more and then wakes this wait.
            CHostWaits waits(m_bHostWaits);
            WaitUntil(
                [this, dwDrain] { return !m_hThread.load() || !PendingOutput(TimeLeft(dwDrain, IPC_DRAIN_TIMEOUT)); },
                m_hHostWake, dwDrain, IPC_DRAIN_TIMEOUT);
        }
        TRACE("Event : now set exit event\r\n");
        // The stop bound counts from here: a peer that keeps the own mutex delays the exit
        // frame (up to kHostMutexWait) at the worker's expense, not beyond it.
        dwStop = ::GetTickCount();
        if (IsConnected()) SendBuf(IPC_CMD_EXIT, nullptr, 0);
    }
    ::SetEvent(m_hExitEvent);
    if (::WaitForSingleObject(m_hWorker, TimeLeft(dwStop, IPC_STOP_TIMEOUT)) != WAIT_OBJECT_0) {
        // The worker is stuck (in a wait on a mutex that the peer keeps). Terminating unwinds
        // it out of that wait; give the unwind a moment before its objects go.
        ::TerminateThread(m_hWorker, IPC_TERMINATED_EXIT_CODE);
        ::WaitForSingleObject(m_hWorker, 1000);
    }
    CloseAndClear(m_hWorker);
    m_hThread.store(nullptr);
}

void CMapIPC::FreeQueue(CPacketQueue*& pList, CCriticalSection& lock)
{
    CSingleLock guard(&lock, TRUE);
    if (!pList) return;
    delete pList;
    pList = nullptr;
}

void CMapIPC::DiscardSendQueue()
{
    CSingleLock guard(&m_lockSendList, TRUE);
    if (m_pSendList) m_pSendList->Clear();
}
