// The packet queues of a channel end: first in, first out, with the packets' bytes kept in the
// queue's own chunks instead of one heap block per packet.
//
// A packet is a small header and its data, stored back to back at the tail of the newest
// chunk; the head is read from the oldest. A chunk that has been read to its end goes to a
// spare list and is used again, so a queue in steady use (bursts no larger than earlier
// ones) never calls the allocator: not on the host's thread, not on the worker's, and no
// block travels from one thread's allocator cache to the other's. Spares are kept up to
// kMaxSpareBytes; a queue that once held more gives the rest back as it drains.
//
// Not thread-safe: the channel holds the queue's lock around every call.
#ifndef LOBBYKIT_IPC_PACKETQUEUE_H
#define LOBBYKIT_IPC_PACKETQUEUE_H

#include <windows.h>

#include <cstddef>

#include "ipc/MapIPCProtocol.h"

namespace lobbykit::ipc {

class CPacketQueue {
public:
    static constexpr std::size_t kChunkBytes = 64 * 1024;
    static constexpr std::size_t kMaxSpareBytes = 4 * 1024 * 1024;
    // nMaxChunks bounds the chunks in use and spare (0: no bound, as the system's memory).
    explicit CPacketQueue(std::size_t nMaxChunks = 0) : m_nMaxChunks(nMaxChunks) {}
    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;
    ~CPacketQueue();

    bool IsEmpty() const { return m_nCount == 0; }
    INT_PTR GetCount() const { return m_nCount; }

    // Appends a copy of the packet. False, and nothing changes, when no room can be had (or
    // the packet is larger than a chunk, which no frame can be).
    bool Push(DWORD dwTime, BYTE cCmdID, const void* pData, WORD wDataLen);
    // The head packet of a non-empty queue; its pData (null for no data) stays valid until
    // the next Pop or Clear.
    IPC_PACKET Head() const;
    void Pop();
    // Removes every packet; the chunks stay for reuse (within the spare bound).
    void Clear();

    // Whether the packets of one more area (at most IPC_AREA_READ_MAX bytes of frames, each
    // stored with its header and padding) fit without more than nMaxBytes of chunks in use.
    bool HasRoomForArea(std::size_t nMaxBytes) const;

    // Chunks held, in use and spare (for tests).
    std::size_t ChunkCount() const { return m_nChunks; }

private:
    struct Chunk;
    Chunk* TakeChunk();
    void ReleaseChunk(Chunk* pChunk);

    Chunk* m_pHead = nullptr;   // oldest chunk in use; packets are read from m_nRead on
    Chunk* m_pTail = nullptr;   // newest chunk in use; packets are appended at its end
    Chunk* m_pSpare = nullptr;  // chunks ready for reuse
    std::size_t m_nRead = 0;
    std::size_t m_nSpare = 0;
    std::size_t m_nChunks = 0;
    INT_PTR m_nCount = 0;
    const std::size_t m_nMaxChunks;
};

}  // namespace lobbykit::ipc

#endif
