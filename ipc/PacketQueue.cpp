#include "ipc/PacketQueue.h"

#include <cstring>
#include <new>

namespace lobbykit::ipc {

namespace {

// What precedes a packet's data in a chunk; records start at multiples of its alignment.
struct Record {
    DWORD dwTime;
    WORD wDataLen;
    BYTE cCmdID;
};

constexpr std::size_t kAlign = alignof(Record);

constexpr std::size_t RecordSize(WORD wDataLen) { return (sizeof(Record) + wDataLen + kAlign - 1) / kAlign * kAlign; }

}  // namespace

struct CPacketQueue::Chunk {
    Chunk* pNext;
    std::size_t nEnd;  // bytes of records written
    alignas(Record) BYTE data[kChunkBytes];
};

static_assert(RecordSize(IPC_MAX_DATA_LEN) <= CPacketQueue::kChunkBytes, "the largest packet fits a chunk");

// The most storage the frames of one area can take: every frame is at least a header, and its
// record adds at most the record's own size and the padding to it.
constexpr std::size_t kAreaStorage =
    IPC_AREA_READ_MAX + IPC_AREA_READ_MAX / IPC_FRAME_HEADER * (sizeof(Record) + kAlign - 1 - IPC_FRAME_HEADER);
// So one area needs at most one chunk more than the tail.
static_assert(kAreaStorage <= CPacketQueue::kChunkBytes, "an area's packets fit a chunk");

CPacketQueue::~CPacketQueue()
{
    Clear();
    if (m_pHead) ReleaseChunk(m_pHead);  // Clear leaves one chunk in use
    m_pHead = m_pTail = nullptr;
    while (Chunk* p = m_pSpare) {
        m_pSpare = p->pNext;
        delete p;
    }
}

CPacketQueue::Chunk* CPacketQueue::TakeChunk()
{
    Chunk* p = m_pSpare;
    if (p) {
        m_pSpare = p->pNext;
        --m_nSpare;
    } else {
        if (m_nMaxChunks != 0 && m_nChunks >= m_nMaxChunks) return nullptr;
        p = new (std::nothrow) Chunk;
        if (!p) return nullptr;
        ++m_nChunks;
    }
    p->pNext = nullptr;
    p->nEnd = 0;
    return p;
}

void CPacketQueue::ReleaseChunk(Chunk* pChunk)
{
    if ((m_nSpare + 1) * sizeof(Chunk) > kMaxSpareBytes) {
        delete pChunk;
        --m_nChunks;
        return;
    }
    pChunk->pNext = m_pSpare;
    m_pSpare = pChunk;
    ++m_nSpare;
}

bool CPacketQueue::Push(DWORD dwTime, BYTE cCmdID, const void* pData, WORD wDataLen)
{
    const std::size_t nSize = RecordSize(wDataLen);
    if (nSize > kChunkBytes) return false;  // never from a frame (at most 4096 data bytes)
    if (!m_pTail || m_pTail->nEnd + nSize > kChunkBytes) {
        Chunk* p = TakeChunk();
        if (!p) return false;
        if (m_pTail) m_pTail->pNext = p;
        else m_pHead = p;
        m_pTail = p;
    }
    BYTE* pAt = m_pTail->data + m_pTail->nEnd;
    const Record r = {dwTime, wDataLen, cCmdID};
    std::memcpy(pAt, &r, sizeof r);
    if (wDataLen > 0) std::memcpy(pAt + sizeof(Record), pData, wDataLen);
    m_pTail->nEnd += nSize;
    ++m_nCount;
    return true;
}

bool CPacketQueue::HasRoomForArea(std::size_t nMaxBytes) const
{
    if (m_pTail && kChunkBytes - m_pTail->nEnd >= kAreaStorage) return true;
    return m_nChunks - m_nSpare < nMaxBytes / kChunkBytes;
}

IPC_PACKET CPacketQueue::Head() const
{
    Record r;
    const BYTE* pAt = m_pHead->data + m_nRead;
    std::memcpy(&r, pAt, sizeof r);
    IPC_PACKET packet = {r.dwTime, r.cCmdID, r.wDataLen, nullptr};
    if (r.wDataLen > 0) packet.pData = const_cast<char*>(reinterpret_cast<const char*>(pAt + sizeof(Record)));
    return packet;
}

void CPacketQueue::Pop()
{
    Record r;
    std::memcpy(&r, m_pHead->data + m_nRead, sizeof r);
    m_nRead += RecordSize(r.wDataLen);
    --m_nCount;
    if (m_nRead < m_pHead->nEnd) return;
    m_nRead = 0;
    if (m_pHead == m_pTail) {
        m_pHead->nEnd = 0;  // empty: the one chunk starts over
        return;
    }
    Chunk* pDone = m_pHead;
    m_pHead = pDone->pNext;
    ReleaseChunk(pDone);
}

void CPacketQueue::Clear()
{
    while (m_pHead && m_pHead != m_pTail) {
        Chunk* pDone = m_pHead;
        m_pHead = pDone->pNext;
        ReleaseChunk(pDone);
    }
    if (m_pHead) m_pHead->nEnd = 0;
    m_nRead = 0;
    m_nCount = 0;
}

}  // namespace lobbykit::ipc
