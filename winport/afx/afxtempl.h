// The framework's doubly linked list. Nodes are carved from blocks of nBlockSize nodes (10 by
// default) and recycled through a free list, so a busy queue allocates once per ten elements;
// the blocks are returned when the list becomes empty. Allocation failure throws
// std::bad_alloc. One list serves one thread at a time (callers lock around it).
#ifndef WINPORT_AFXTEMPL_H
#define WINPORT_AFXTEMPL_H

#include <windows.h>

#include <cstddef>
#include <new>
#include <utility>

#include "LobbyKitExport.h"

#ifndef WINPORT_AFX_POSITION_DEFINED
#define WINPORT_AFX_POSITION_DEFINED
// An opaque iterator of the framework's collections; null past the end.
struct CPositionTag;
typedef CPositionTag* POSITION;
#endif

// A chain of raw blocks: each block is this header, padded to the strictest fundamental
// alignment, followed by its element storage.
struct WINPORT_API CPlex {
    CPlex* pNext;

    static constexpr UINT_PTR kHeaderSize =
        (sizeof(CPlex*) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
    void* data() { return reinterpret_cast<BYTE*>(this) + kHeaderSize; }
    // Allocates a block of nMax elements of cbElement bytes and links it in front of pHead.
    static CPlex* Create(CPlex*& pHead, UINT_PTR nMax, UINT_PTR cbElement);
    // Frees this block and every block after it.
    void FreeDataChain();
};

template <class TYPE, class ARG_TYPE = const TYPE&>
class CList {
protected:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        TYPE data;
    };

public:
    explicit CList(INT_PTR nBlockSize = 10) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    virtual ~CList() { RemoveAll(); }

    INT_PTR GetCount() const { return m_nCount; }
    INT_PTR GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    // Head and tail of a non-empty list.
    TYPE& GetHead() { return m_pNodeHead->data; }
    const TYPE& GetHead() const { return m_pNodeHead->data; }
    TYPE& GetTail() { return m_pNodeTail->data; }
    const TYPE& GetTail() const { return m_pNodeTail->data; }

    POSITION AddHead(ARG_TYPE newElement)
    {
        CNode* pNode = NewNode(nullptr, m_pNodeHead, newElement);
        if (m_pNodeHead) m_pNodeHead->pPrev = pNode;
        else m_pNodeTail = pNode;
        m_pNodeHead = pNode;
        return ToPosition(pNode);
    }

    POSITION AddTail(ARG_TYPE newElement)
    {
        CNode* pNode = NewNode(m_pNodeTail, nullptr, newElement);
        if (m_pNodeTail) m_pNodeTail->pNext = pNode;
        else m_pNodeHead = pNode;
        m_pNodeTail = pNode;
        return ToPosition(pNode);
    }

    // Removes and returns the head (tail) of a non-empty list.
    TYPE RemoveHead()
    {
        CNode* pOld = m_pNodeHead;
        TYPE ret(std::move(pOld->data));
        RemoveAt(ToPosition(pOld));
        return ret;
    }

    TYPE RemoveTail()
    {
        CNode* pOld = m_pNodeTail;
        TYPE ret(std::move(pOld->data));
        RemoveAt(ToPosition(pOld));
        return ret;
    }

    void RemoveAll()
    {
        for (CNode* p = m_pNodeHead; p; p = p->pNext) p->data.~TYPE();
        m_nCount = 0;
        m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
        if (m_pBlocks) m_pBlocks->FreeDataChain();
        m_pBlocks = nullptr;
    }

    POSITION GetHeadPosition() const { return ToPosition(m_pNodeHead); }
    POSITION GetTailPosition() const { return ToPosition(m_pNodeTail); }

    // Returns the element at rPosition and moves rPosition to the next (previous) one.
    TYPE& GetNext(POSITION& rPosition)
    {
        CNode* pNode = ToNode(rPosition);
        rPosition = ToPosition(pNode->pNext);
        return pNode->data;
    }
    const TYPE& GetNext(POSITION& rPosition) const
    {
        const CNode* pNode = ToNode(rPosition);
        rPosition = ToPosition(pNode->pNext);
        return pNode->data;
    }
    TYPE& GetPrev(POSITION& rPosition)
    {
        CNode* pNode = ToNode(rPosition);
        rPosition = ToPosition(pNode->pPrev);
        return pNode->data;
    }

    TYPE& GetAt(POSITION position) { return ToNode(position)->data; }
    const TYPE& GetAt(POSITION position) const { return ToNode(position)->data; }
    void SetAt(POSITION pos, ARG_TYPE newElement) { ToNode(pos)->data = newElement; }

    void RemoveAt(POSITION position)
    {
        CNode* pOld = ToNode(position);
        if (pOld == m_pNodeHead) m_pNodeHead = pOld->pNext;
        else pOld->pPrev->pNext = pOld->pNext;
        if (pOld == m_pNodeTail) m_pNodeTail = pOld->pPrev;
        else pOld->pNext->pPrev = pOld->pPrev;
        FreeNode(pOld);
    }

    // First position holding a value equal to searchValue, after startAfter if given.
    POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const
    {
        CNode* pNode = startAfter ? ToNode(startAfter)->pNext : m_pNodeHead;
        for (; pNode; pNode = pNode->pNext)
            if (pNode->data == searchValue) return ToPosition(pNode);
        return nullptr;
    }

    // Number of node blocks currently held (each of nBlockSize nodes).
    INT_PTR GetBlockCount() const
    {
        INT_PTR n = 0;
        for (CPlex* p = m_pBlocks; p; p = p->pNext) ++n;
        return n;
    }

private:
    static POSITION ToPosition(const CNode* p) { return reinterpret_cast<POSITION>(const_cast<CNode*>(p)); }
    static CNode* ToNode(POSITION pos) { return reinterpret_cast<CNode*>(pos); }

    CNode* NewNode(CNode* pPrev, CNode* pNext, ARG_TYPE newElement)
    {
        if (!m_pNodeFree) {
            // A new block: thread its nodes onto the free list, last node first out.
            CPlex* pNewBlock = CPlex::Create(m_pBlocks, static_cast<UINT_PTR>(m_nBlockSize), sizeof(CNode));
            CNode* pNode = static_cast<CNode*>(pNewBlock->data()) + m_nBlockSize - 1;
            for (INT_PTR i = m_nBlockSize - 1; i >= 0; --i, --pNode) {
                pNode->pNext = m_pNodeFree;
                m_pNodeFree = pNode;
            }
        }
        CNode* pNode = m_pNodeFree;
        // Construct first, so that a throwing copy leaves the node on the free list.
        new (&pNode->data) TYPE(newElement);
        m_pNodeFree = pNode->pNext;
        pNode->pPrev = pPrev;
        pNode->pNext = pNext;
        ++m_nCount;
        return pNode;
    }

    void FreeNode(CNode* pNode)
    {
        pNode->data.~TYPE();
        pNode->pNext = m_pNodeFree;
        m_pNodeFree = pNode;
        if (--m_nCount == 0) RemoveAll();
    }

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    CNode* m_pNodeFree = nullptr;
    INT_PTR m_nCount = 0;
    CPlex* m_pBlocks = nullptr;
    INT_PTR m_nBlockSize;
};

#endif
