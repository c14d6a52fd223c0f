// The wire contract of the shared-memory channel: the shared record, the frame layout, the
// command ids, the notification message and the limits. Both processes of a channel rely on
// every byte here; the static_asserts pin the layout.
#ifndef LOBBYKIT_IPC_MAPIPCPROTOCOL_H
#define LOBBYKIT_IPC_MAPIPCPROTOCOL_H

#include <windows.h>

#include <cstddef>

#include "IPCNotify.h"  // the notification message WM_IPC_NOTIFY and its codes

// --- Shared record -----------------------------------------------------------------------

#define IPC_SIGNATURE 0x0613
#define IPC_AREA_SIZE 4116  // bytes of one area in the record

#pragma pack(push, 1)
// Contents of the mapping named by the channel name; integers little-endian. Each half
// (status, length, area) belongs to its writer and is guarded by that half's named mutex.
struct IPC_MAP_BUF {
    WORD wSignature;           // IPC_SIGNATURE, written by the server
    DWORD dwConnectCount;      // clients the server has accepted
    BYTE cbServerWriteStatus;  // 1 while the server area holds untaken data
    WORD wServerDataLen;       // bytes of frames in bufServerData
    BYTE bufServerData[IPC_AREA_SIZE];
    BYTE cbClientWriteStatus;  // the same for the client half
    WORD wClientDataLen;
    BYTE bufClientData[IPC_AREA_SIZE];
};
#pragma pack(pop)

static_assert(sizeof(IPC_MAP_BUF) == 8244, "IPC_MAP_BUF is 8244 bytes");
static_assert(offsetof(IPC_MAP_BUF, wSignature) == 0, "wSignature at 0");
static_assert(offsetof(IPC_MAP_BUF, dwConnectCount) == 2, "dwConnectCount at 2");
static_assert(offsetof(IPC_MAP_BUF, cbServerWriteStatus) == 6, "cbServerWriteStatus at 6");
static_assert(offsetof(IPC_MAP_BUF, wServerDataLen) == 7, "wServerDataLen at 7");
static_assert(offsetof(IPC_MAP_BUF, bufServerData) == 9, "bufServerData at 9");
static_assert(offsetof(IPC_MAP_BUF, cbClientWriteStatus) == 4125, "cbClientWriteStatus at 4125");
static_assert(offsetof(IPC_MAP_BUF, wClientDataLen) == 4126, "wClientDataLen at 4126");
static_assert(offsetof(IPC_MAP_BUF, bufClientData) == 4128, "bufClientData at 4128");
static_assert(sizeof(WORD) == 2 && sizeof(DWORD) == 4, "16- and 32-bit record fields");

// --- Frames ------------------------------------------------------------------------------
// An area holds frames back to back: marker, data length (16-bit LE), command id, data.

#define IPC_FRAME_MARKER 0xAA
#define IPC_FRAME_HEADER 4      // marker + length + command id
#define IPC_MAX_DATA_LEN 4095   // data bytes of one packet
#define IPC_RECV_BUF_SIZE 4096  // room RecvPacket callers provide
#define IPC_AREA_READ_MAX 4100  // bytes a reader takes from an area, at most
// A writer never fills an area past what a reader takes, and a single frame of the largest
// packet (4099 bytes) always fits in an empty area.
#define IPC_BATCH_LIMIT IPC_AREA_READ_MAX
static_assert(IPC_FRAME_HEADER + IPC_MAX_DATA_LEN <= IPC_BATCH_LIMIT, "largest frame fits");
static_assert(IPC_BATCH_LIMIT <= IPC_AREA_SIZE, "batches fit the area");

// --- Command ids -------------------------------------------------------------------------

// The two bounds differ on purpose: this end queues ids below 240 only, but an arriving
// frame with id 240 is still delivered as data (only the ids above it are refused).
#define IPC_CMD_APP_LIMIT 240  // QueuePacket takes ids below this one
#define IPC_CMD_DATA_MAX 240   // an arriving frame with an id up to this one is data
#define IPC_CMD_CONNECT 0xF1   // client -> server: connect request
#define IPC_CMD_EXIT 0xF2      // either way: the sender leaves
#define IPC_CMD_PACKETS 0xF3   // SendBuf selector only: write a prepared run of frames

// --- Roles and states --------------------------------------------------------------------

#define IPC_CLOSE 0
#define IPC_SERVER 1
#define IPC_CLIENT 2

#define IPC_NOT_CONNECTED 1
#define IPC_CONNECTED 2

// --- Names and time limits --------------------------------------------------------------

#define IPC_NAME_BUF 264          // buffer of one object name
#define IPC_MAX_NAME_LEN 248      // leaves room for "_ServerBufMutex" and a terminator
#define IPC_DRAIN_TIMEOUT 1500    // ms for queued output to leave at close
#define IPC_CONNECT_TIMEOUT 4000  // ms for the server to take a connect request
#define IPC_STOP_TIMEOUT 9000     // ms for the worker to end before it is terminated
#define IPC_TERMINATED_EXIT_CODE 0xFFFFFFFDu

// --- Packet record (in memory only) ---------------------------------------------------

// A packet as a queue hands it out (ipc/PacketQueue.h): the data stays in the queue's own
// storage and is gone once the packet is removed.
struct IPC_PACKET {
    DWORD dwTime;  // tick count when received; 0 for outgoing packets
    BYTE cCmdID;
    WORD wDataLen;
    char* pData;  // wDataLen bytes, null when wDataLen is 0
};

#endif
