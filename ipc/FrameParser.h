// Frames inside an area of the shared record: writing one, and walking a copy of an area that
// the peer wrote. The walk trusts nothing in the bytes: every frame is checked against the
// copied length before any of it is read.
#ifndef LOBBYKIT_IPC_FRAMEPARSER_H
#define LOBBYKIT_IPC_FRAMEPARSER_H

#include <windows.h>

#include "ipc/MapIPCProtocol.h"

namespace lobbykit::ipc {

// Writes the frame (marker, length, id, data) at pDst, which has nRoom bytes. Returns the
// frame's size, or 0 (nothing written) if nDataLen is outside 0..IPC_MAX_DATA_LEN or the frame
// does not fit.
int PutFrame(BYTE* pDst, int nRoom, BYTE cCmdID, const void* pData, int nDataLen);

// Bytes of an area a reader takes: the length field, capped at IPC_AREA_READ_MAX.
inline int AreaReadLength(WORD wDataLen) { return wDataLen > IPC_AREA_READ_MAX ? IPC_AREA_READ_MAX : wDataLen; }

// Whether an area of wLen bytes is one control frame alone (the connect request, the exit, or
// an unknown id), which brings no packet.
inline bool IsLoneControlFrame(const BYTE* pArea, WORD wLen)
{
    return wLen == IPC_FRAME_HEADER && pArea[0] == IPC_FRAME_MARKER && pArea[1] == 0 && pArea[2] == 0 &&
           pArea[3] > IPC_CMD_DATA_MAX;
}

struct IPC_FRAME {
    BYTE cCmdID;
    WORD wDataLen;
    const BYTE* pData;  // inside the walked buffer; null when wDataLen is 0
};

// Walks the frames of a buffer of n bytes (0 <= n <= IPC_AREA_READ_MAX), front to back.
class CFrameReader {
public:
    enum Result {
        FRAME_OK,          // f holds the next frame
        FRAME_END,         // no bytes left
        FRAME_SHORT,       // fewer than IPC_FRAME_HEADER bytes left
        FRAME_BAD_MARKER,  // the frame does not start with IPC_FRAME_MARKER
        FRAME_BAD_LENGTH,  // the frame's data runs past the end of the buffer
    };

    CFrameReader(const BYTE* pBuf, int n) : m_pBuf(pBuf), m_n(n < 0 ? 0 : n) {}

    // On any result other than FRAME_OK the reader stays where it is.
    Result Next(IPC_FRAME& f);

    int Position() const { return m_nPos; }
    int Remaining() const { return m_n - m_nPos; }
    // The byte at the current position (the faulty marker after FRAME_BAD_MARKER).
    BYTE Current() const { return m_nPos < m_n ? m_pBuf[m_nPos] : 0; }

private:
    const BYTE* m_pBuf;
    int m_n;
    int m_nPos = 0;
};

}  // namespace lobbykit::ipc

#endif
