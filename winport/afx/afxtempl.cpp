#include "afxtempl.h"

CPlex* CPlex::Create(CPlex*& pHead, UINT_PTR nMax, UINT_PTR cbElement)
{
    // operator new aligns for any fundamental type, and so does the header's size.
    auto* p = static_cast<CPlex*>(::operator new(kHeaderSize + nMax * cbElement));
    p->pNext = pHead;
    pHead = p;
    return p;
}

void CPlex::FreeDataChain()
{
    CPlex* p = this;
    while (p) {
        CPlex* pNext = p->pNext;
        ::operator delete(p);
        p = pNext;
    }
}
