#include "ipc/FrameParser.h"

#include <cstring>

namespace lobbykit::ipc {

int PutFrame(BYTE* pDst, int nRoom, BYTE cCmdID, const void* pData, int nDataLen)
{
    if (nDataLen < 0 || nDataLen > IPC_MAX_DATA_LEN) return 0;
    const int nFrame = IPC_FRAME_HEADER + nDataLen;
    if (nFrame > nRoom) return 0;
    pDst[0] = IPC_FRAME_MARKER;
    pDst[1] = static_cast<BYTE>(nDataLen & 0xFF);
    pDst[2] = static_cast<BYTE>(nDataLen >> 8);
    pDst[3] = cCmdID;
    if (nDataLen > 0) std::memcpy(pDst + IPC_FRAME_HEADER, pData, static_cast<size_t>(nDataLen));
    return nFrame;
}

CFrameReader::Result CFrameReader::Next(IPC_FRAME& f)
{
    const int nLeft = m_n - m_nPos;
    if (nLeft <= 0) return FRAME_END;
    if (nLeft < IPC_FRAME_HEADER) return FRAME_SHORT;
    const BYTE* p = m_pBuf + m_nPos;
    if (p[0] != IPC_FRAME_MARKER) return FRAME_BAD_MARKER;
    const int nLen = p[1] | (p[2] << 8);
    // The id and the data must lie within what follows the length field.
    if (nLen + 1 > nLeft - 3) return FRAME_BAD_LENGTH;
    f.cCmdID = p[3];
    f.wDataLen = static_cast<WORD>(nLen);
    f.pData = nLen > 0 ? p + IPC_FRAME_HEADER : nullptr;
    m_nPos += IPC_FRAME_HEADER + nLen;
    return FRAME_OK;
}

}  // namespace lobbykit::ipc
