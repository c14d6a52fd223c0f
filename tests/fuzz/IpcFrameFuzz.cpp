// The peer's half of a channel record is untrusted: any status byte, length field and area
// bytes go through the same RecvBuf the worker runs (take the area, walk its frames, queue
// packets, handle the handshake frames), on a record in this process. Nothing may read past
// the area or the copy, and every packet that comes out must be a well-formed one.
//
// Input: byte 0 bit 0 role (0 server, 1 client), bit 1 connected; byte 1 the peer status;
// bytes 2-3 the peer length field (little-endian); the rest the peer area (up to 4116 bytes).
#include <cstdint>
#include <cstring>

#include "../ipc/MapIPCTestAccess.h"

namespace {

struct Harness {
    IPC_MAP_BUF record;
    CMapIPC ipc[2];  // [0] server end, [1] client end

    Harness()
    {
        std::memset(&record, 0, sizeof record);
        CMapIPCTestAccess::Attach(ipc[0], &record, IPC_SERVER, IPC_NOT_CONNECTED);
        CMapIPCTestAccess::Attach(ipc[1], &record, IPC_CLIENT, IPC_CONNECTED);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Harness* h = new Harness;  // kept for the whole run
    if (size < 4) return 0;
    const bool bClient = data[0] & 1;
    CMapIPC& ipc = h->ipc[bClient ? 1 : 0];
    CMapIPCTestAccess::SetConnectStatus(ipc, (data[0] & 2) ? IPC_CONNECTED : IPC_NOT_CONNECTED);

    std::memset(&h->record, 0, sizeof h->record);
    BYTE* pStatus = bClient ? &h->record.cbServerWriteStatus : &h->record.cbClientWriteStatus;
    BYTE* pArea = bClient ? h->record.bufServerData : h->record.bufClientData;
    BYTE* pLen = reinterpret_cast<BYTE*>(&h->record) +
                 (bClient ? offsetof(IPC_MAP_BUF, wServerDataLen) : offsetof(IPC_MAP_BUF, wClientDataLen));
    *pStatus = data[1];
    pLen[0] = data[2];
    pLen[1] = data[3];
    std::size_t nArea = size - 4;
    if (nArea > IPC_AREA_SIZE) nArea = IPC_AREA_SIZE;
    std::memcpy(pArea, data + 4, nArea);

    const int nResult = ipc.RecvBuf();
    if (nResult != 0 && nResult != 1) __builtin_trap();
    // A taken area is cleared; an area with any status other than 1 is left alone.
    if (data[1] == 1 && (*pStatus != 0 || pLen[0] != 0 || pLen[1] != 0)) __builtin_trap();
    if (data[1] != 1 && *pStatus != data[1]) __builtin_trap();

    // A frame can carry at most 4096 data bytes within the 4100 a reader takes (one more than
    // a sender may put in a packet): exactly the room RecvPacket callers provide.
    char buf[IPC_RECV_BUF_SIZE];
    BYTE cCmdID = 0;
    int len = -1;
    while (ipc.RecvPacket(cCmdID, buf, len) == 0) {
        if (len < 0 || len > IPC_RECV_BUF_SIZE || cCmdID > IPC_CMD_DATA_MAX) __builtin_trap();
    }
    return 0;
}
