// What the benchmark and its peer agree on.
#ifndef LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H
#define LOBBYKIT_BENCH_IPC_IPCBENCHCOMMON_H

#include <cstdint>

namespace ipcbench {

// Channel command ids.
const unsigned char kCmdEcho = 1;  // the peer sends the packet back
const unsigned char kCmdSink = 2;  // the peer takes it and counts it
const unsigned char kCmdSync = 3;  // the peer answers once everything before it is taken

// First byte of a socket connection: what the peer does with it.
const char kSockPingPong = 'P';  // echo every 16-byte message
const char kSockStream = 'S';    // repeatedly: 8-byte byte count, that many bytes, 1-byte ack

const int kPingSize = 16;

}  // namespace ipcbench

#endif
