// White-box access to a CMapIPC for the channel's tests and fuzzer.
#ifndef LOBBYKIT_TESTS_IPC_MAPIPCTESTACCESS_H
#define LOBBYKIT_TESTS_IPC_MAPIPCTESTACCESS_H

#include "ipc/MapIPC.h"
#include "ipc/PacketQueue.h"
#include "ipc/SharedRecord.h"

struct CMapIPCTestAccess {
    // A closed end fitted around a record in this process's memory (see AttachInProcess).
    static void Attach(CMapIPC& c, IPC_MAP_BUF* pRecord, int nRole, int nConnectStatus)
    {
        c.AttachInProcess(pRecord, nRole, nConnectStatus);
    }

    // Before opening: an end without the alive mutexes, as an older build of the channel.
    static void WithoutAliveMutexes(CMapIPC& c) { c.m_bAliveMutexes = false; }
    static void SetWindow(CMapIPC& c, HWND hWnd) { c.m_hWnd.store(hWnd); }
    static IPC_MAP_BUF* Record(CMapIPC& c) { return c.m_pMapBuf; }
    // The record's connect count, read as the worker writes it (interlocked).
    static DWORD ConnectCount(CMapIPC& c)
    {
        return static_cast<DWORD>(::InterlockedCompareExchange(lobbykit::ipc::ConnectCount(c.m_pMapBuf), 0, 0));
    }
    static int ConnectStatus(CMapIPC& c) { return c.m_nConnectStatus.load(); }
    static void SetConnectStatus(CMapIPC& c, int n) { c.m_nConnectStatus.store(n); }
    static HANDLE Thread(CMapIPC& c) { return c.m_hThread.load(); }
    static HWND Window(CMapIPC& c) { return c.m_hWnd.load(); }
    static const char* Name(CMapIPC& c) { return c.m_szServerName; }
    static HANDLE ServerWriteEvent(CMapIPC& c) { return c.m_hServerWriteEvent; }
    static HANDLE ServerReadEvent(CMapIPC& c) { return c.m_hServerReadEvent; }
    static HANDLE ClientWriteEvent(CMapIPC& c) { return c.m_hClientWriteEvent; }
    static HANDLE ClientReadEvent(CMapIPC& c) { return c.m_hClientReadEvent; }
    static HANDLE ExitEvent(CMapIPC& c) { return c.m_hExitEvent; }
    static HANDLE ServerMutex(CMapIPC& c) { return c.m_hServerBufMutex; }
    static HANDLE ClientMutex(CMapIPC& c) { return c.m_hClientBufMutex; }
    static HANDLE ConnectedEvent(CMapIPC& c) { return c.m_evtConnected; }

    // Gives both queues of an end a bound of nChunks chunks, as if memory ran out there.
    static void BoundQueues(CMapIPC& c, std::size_t nChunks)
    {
        CSingleLock send(&c.m_lockSendList, TRUE);
        CSingleLock recv(&c.m_lockRecvList, TRUE);
        delete c.m_pSendList;
        delete c.m_pRecvList;
        c.m_pSendList = new lobbykit::ipc::CPacketQueue(nChunks);
        c.m_pRecvList = new lobbykit::ipc::CPacketQueue(nChunks);
    }

    static INT_PTR SendQueueLength(CMapIPC& c)
    {
        CSingleLock lock(&c.m_lockSendList, TRUE);
        return c.m_pSendList ? c.m_pSendList->GetCount() : -1;
    }
    // Bytes of storage the receive queue holds, in use and spare.
    static std::size_t RecvQueueStorage(CMapIPC& c)
    {
        CSingleLock lock(&c.m_lockRecvList, TRUE);
        return c.m_pRecvList ? c.m_pRecvList->ChunkCount() * lobbykit::ipc::CPacketQueue::kChunkBytes : 0;
    }
    static INT_PTR RecvQueueLength(CMapIPC& c)
    {
        CSingleLock lock(&c.m_lockRecvList, TRUE);
        return c.m_pRecvList ? c.m_pRecvList->GetCount() : -1;
    }
};

#endif
