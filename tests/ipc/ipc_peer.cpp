// The other process of the channel tests: one channel end with a real window and message
// loop, driven by command lines on stdin, reporting by lines on stdout.
//
//   ipc_peer server NAME [MODE [old]]  open a server end ("ready" / "create-failed")
//   ipc_peer client NAME [MODE [old]]  open a client end ("connected MS" / "connect-failed MS")
//     old: the end is built without the alive mutexes, as an older build of the channel
//   ipc_peer fake-server NAME SIG    a bare record with signature SIG and no worker
//
// MODE says what the end does with each IPC_NOTIFY_DATA:
//   echo  take the waiting packets and send each back (default)
//   lazy  take nothing; report "notify-data N"
//   sink  take the waiting packets and drop them
//   soak  take the waiting packets and compare them with the expected stream
// Either way it reports "error not-queued" if a notification came before its packet.
//
// Commands: send SEED COUNT MAXLEN | sendsized SEED COUNT LEN | soak COUNT SENDSEED RECVSEED |
//   hold Server|Client [CMD LEN] | inject Server|Client STATUS LENFIELD HEX | state | close | quit
// and a hostile peer's (HALF: Server|Client):
//   fill SEED MAXLEN  queue packets of stream SEED until QueuePacket refuses ("filled N")
//   freeze HALF       take HALF's mutex, as a receive step does, and stop (SIGSTOP) there
//   flood HALF AREAS  refill HALF with 1,025 empty frames AREAS times, as soon as each is
//                     taken ("stalled N" once one waits 300 ms, "flooded AREAS")
//   storm MS          set the four named events over and over for MS ms ("stormed N")
//   scribble SEED     write over the data of every object file of the channel ("scribbled
//                     FILES files, N pointers" found): an odd SEED writes every word, an even one only the words
//                     that look like addresses (a mutex's list links), leaving its owner

#include <windows.h>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <random>
#include <thread>
#include <vector>

#include "HostWindow.h"
#include "IpcTestData.h"
#include "MapIPCTestAccess.h"

namespace {

const UINT WM_PEER_COMMAND = WM_APP + 1;  // lParam: new std::string
const UINT WM_PEER_SOAK = WM_APP + 2;     // queue the next chunk of the soak stream

void Say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* fmt, ...)
{
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    std::printf("%s\n", line);  // one call: the flood's thread says things too
    std::fflush(stdout);
}

std::vector<unsigned char> FromHex(const std::string& hex)
{
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

class Peer {
public:
    Peer(const std::string& name, const std::string& mode, bool old)
        : m_name(name), m_mode(mode), m_window([this](UINT m, WPARAM w, LPARAM l) { OnMessage(m, w, l); })
    {
        if (old) CMapIPCTestAccess::WithoutAliveMutexes(m_ipc);
    }

    bool OpenServer() { return m_ipc.CreateServerMapIPC(m_name.c_str(), m_window.Handle()) != nullptr; }
    bool OpenClient() { return m_ipc.ConnectServerMapIPC(m_name.c_str(), m_window.Handle()) != nullptr; }

    int Run()
    {
        HWND hWnd = m_window.Handle();
        std::thread reader([hWnd] {
            char line[16384];
            while (std::fgets(line, sizeof line, stdin)) {
                std::string s(line);
                while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
                ::PostMessageA(hWnd, WM_PEER_COMMAND, 0, reinterpret_cast<LPARAM>(new std::string(s)));
            }
            ::PostMessageA(hWnd, WM_PEER_COMMAND, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
        });
        reader.detach();
        return m_window.Run();
    }

private:
    void OnMessage(UINT uMsg, WPARAM, LPARAM lParam)
    {
        if (uMsg == WM_IPC_NOTIFY) OnNotify(lParam);
        else if (uMsg == WM_PEER_COMMAND) {
            std::string* line = reinterpret_cast<std::string*>(lParam);
            OnCommand(*line);
            delete line;
        } else if (uMsg == WM_PEER_SOAK) {
            SoakChunk();
        }
    }

    void OnNotify(LPARAM code)
    {
        if (code == IPC_NOTIFY_CONNECT) {
            Say("connect");
        } else if (code == IPC_NOTIFY_EXIT) {
            const int connected = m_ipc.IsConnected();
            int left = 0;
            BYTE cmd;
            int len;
            while (m_ipc.RecvPacket(cmd, m_buf, len) == 0) ++left;
            Say("exit connected=%d left=%d", connected, left);
        } else if (code == IPC_NOTIFY_DATA) {
            ++m_notified;
            if (m_mode == "lazy") {
                Say("notify-data %d", m_notified);
                return;
            }
            // Take packets until none is waiting, as a host should; by the k-th notification
            // at least k packets have arrived (each is posted after its packet is queued).
            BYTE cmd = 0;
            int len = -1;
            while (m_ipc.RecvPacket(cmd, m_buf, len) == 0) {
                ++m_taken;
                if (m_mode == "soak") {
                    const lktest::TestPacket want = lktest::MakePacket(m_recvSeed, m_received);
                    if (cmd != want.cmd || len != static_cast<int>(want.data.size()) ||
                        std::memcmp(m_buf, want.data.data(), want.data.size()) != 0)
                        Say("soak-error %llu cmd=%d/%d len=%d/%d", static_cast<unsigned long long>(m_received), cmd,
                            want.cmd, len, static_cast<int>(want.data.size()));
                    if (++m_received == m_soakCount)
                        Say("soak-recv-done %llu", static_cast<unsigned long long>(m_received));
                } else if (m_mode == "sink") {
                } else if (m_ipc.QueuePacket(cmd, m_buf, len) != 0) {
                    Say("error echo-refused %d", m_notified);
                }
            }
            if (m_taken < static_cast<unsigned long long>(m_notified)) Say("error not-queued %d", m_notified);
        }
    }

    void OnCommand(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        if (verb == "send" || verb == "sendsized") {
            unsigned long long seed = 0, count = 0;
            int n = 0;
            in >> seed >> count >> n;
            int ok = 0;
            for (unsigned long long i = 0; i < count; ++i) {
                const lktest::TestPacket p =
                    verb == "send" ? lktest::MakePacket(seed, i, n) : lktest::MakeSizedPacket(seed, i, n);
                if (m_ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())) == 0) ++ok;
            }
            Say("sent %d", ok);
        } else if (verb == "soak") {
            in >> m_soakCount >> m_sendSeed >> m_recvSeed;
            m_sent = 0;
            Say("soak-started");
            ::PostMessageA(m_window.Handle(), WM_PEER_SOAK, 0, 0);
        } else if (verb == "hold") {
            std::string half;
            int cmd = -1, len = 0;
            in >> half >> cmd >> len;
            Hold(half, cmd, len);
        } else if (verb == "inject") {
            std::string half, hex;
            int status = 0, lenField = 0;
            in >> half >> status >> lenField >> hex;
            Inject(half, status, lenField, FromHex(hex));
        } else if (verb == "fill") {
            unsigned long long seed = 0, n = 0;
            int maxLen = 0;
            in >> seed >> maxLen;
            for (;; ++n) {
                const lktest::TestPacket p = lktest::MakePacket(seed, n, maxLen);
                if (m_ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())) != 0) break;
            }
            Say("filled %llu", n);
        } else if (verb == "freeze") {
            std::string half;
            in >> half;
            ::WaitForSingleObject(NamedMutex(half), INFINITE);
            Say("frozen");
#ifndef _WIN32
            ::raise(SIGSTOP);
#endif
        } else if (verb == "flood") {
            std::string half;
            int areas = 0;
            in >> half >> areas;
            std::thread([this, half, areas] { Flood(half, areas); }).detach();
        } else if (verb == "storm") {
            DWORD ms = 0;
            in >> ms;
            HANDLE h[4];
            const char* suffix[4] = {"_ServerWrite", "_ServerRead", "_ClientWrite", "_ClientRead"};
            for (int i = 0; i < 4; ++i) h[i] = ::CreateEventA(nullptr, FALSE, FALSE, (m_name + suffix[i]).c_str());
            unsigned long long n = 0;
            for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms; ++n) ::SetEvent(h[n % 4]);
            for (HANDLE e : h) ::CloseHandle(e);
            Say("stormed %llu", n);
#ifndef _WIN32
        } else if (verb == "scribble") {
            unsigned seed = 0;
            in >> seed;
            int words = 0;
            const int files = Scribble(seed, words);
            Say("scribbled %d files, %d pointers", files, words);
#endif
        } else if (verb == "state") {
            IPC_MAP_BUF* rec = CMapIPCTestAccess::Record(m_ipc);
            Say("state connected=%d valid=%d worker=%d count=%u", m_ipc.IsConnected(), m_ipc.IsValid(),
                CMapIPCTestAccess::Thread(m_ipc) != nullptr,
                rec ? static_cast<unsigned>(CMapIPCTestAccess::ConnectCount(m_ipc)) : 0u);
        } else if (verb == "close") {
            const DWORD start = ::GetTickCount();
            m_ipc.CloseIPC();
            Say("closed %u", static_cast<unsigned>(::GetTickCount() - start));
        } else if (verb == "quit") {
            ::PostQuitMessage(0);
        }
    }

    // Queues the soak stream in chunks, so that received packets are handled in between.
    void SoakChunk()
    {
        for (int k = 0; k < 32 && m_sent < m_soakCount; ++k, ++m_sent) {
            const lktest::TestPacket p = lktest::MakePacket(m_sendSeed, m_sent);
            if (m_ipc.QueuePacket(p.cmd, p.data.data(), static_cast<int>(p.data.size())) != 0) {
                if (!m_ipc.IsConnected()) {
                    Say("soak-error send-refused %llu", static_cast<unsigned long long>(m_sent));
                    return;
                }
                ::Sleep(1);  // the send queue is full: let the worker drain it, then go on
                break;
            }
        }
        if (m_sent < m_soakCount) ::PostMessageA(m_window.Handle(), WM_PEER_SOAK, 0, 0);
        else Say("soak-sent %llu", static_cast<unsigned long long>(m_sent));
    }

    HANDLE NamedMutex(const std::string& half)
    {
        return ::CreateMutexA(nullptr, FALSE, (m_name + "_" + half + "BufMutex").c_str());
    }

    BYTE* HalfBase(const std::string& half)
    {
        IPC_MAP_BUF* rec = CMapIPCTestAccess::Record(m_ipc);
        return reinterpret_cast<BYTE*>(rec) + (half == "Server" ? offsetof(IPC_MAP_BUF, cbServerWriteStatus)
                                                                : offsetof(IPC_MAP_BUF, cbClientWriteStatus));
    }

    // Writes status, length field and area bytes of a half (caller holds its mutex).
    void WriteHalf(const std::string& half, int status, int lenField, const std::vector<unsigned char>& bytes)
    {
        BYTE* base = HalfBase(half);
        std::memcpy(base + 3, bytes.data(), bytes.size() < IPC_AREA_SIZE ? bytes.size() : IPC_AREA_SIZE);
        base[1] = static_cast<BYTE>(lenField & 0xFF);
        base[2] = static_cast<BYTE>((lenField >> 8) & 0xFF);
        base[0] = static_cast<BYTE>(status);
    }

    void SignalWrite(const std::string& half)
    {
        HANDLE h = ::CreateEventA(nullptr, FALSE, FALSE, (m_name + "_" + half + "Write").c_str());
        ::SetEvent(h);
        ::CloseHandle(h);
    }

    // Takes a half's named mutex and keeps it (until the process ends); with CMD, first puts a
    // data frame in that half and signals it, so that the reader blocks on the mutex.
    void Hold(const std::string& half, int cmd, int len)
    {
        HANDLE h = NamedMutex(half);
        const DWORD r = ::WaitForSingleObject(h, INFINITE);
        if (cmd >= 0) {
            const lktest::TestPacket p = lktest::MakeSizedPacket(99, 0, len);
            std::vector<unsigned char> frame(IPC_FRAME_HEADER + p.data.size());
            frame[0] = IPC_FRAME_MARKER;
            frame[1] = static_cast<unsigned char>(len & 0xFF);
            frame[2] = static_cast<unsigned char>(len >> 8);
            frame[3] = static_cast<unsigned char>(cmd);
            std::memcpy(frame.data() + IPC_FRAME_HEADER, p.data.data(), p.data.size());
            WriteHalf(half, 1, static_cast<int>(frame.size()), frame);
            SignalWrite(half);
        }
        Say("held %u", static_cast<unsigned>(r));
    }

    void Inject(const std::string& half, int status, int lenField, const std::vector<unsigned char>& bytes,
                bool say = true)
    {
        HANDLE h = NamedMutex(half);
        ::WaitForSingleObject(h, INFINITE);
        WriteHalf(half, status, lenField, bytes);
        ::ReleaseMutex(h);
        ::CloseHandle(h);
        SignalWrite(half);
        if (say) Say("injected");
    }

    void Flood(const std::string& half, int areas)
    {
        std::vector<unsigned char> frames(IPC_AREA_READ_MAX);
        for (size_t i = 0; i < frames.size(); i += IPC_FRAME_HEADER) frames[i] = IPC_FRAME_MARKER;
        const BYTE* status = HalfBase(half);
        for (int n = 0; n < areas; ++n) {
            bool said = false;
            for (const DWORD since = ::GetTickCount(); __atomic_load_n(status, __ATOMIC_ACQUIRE) != 0; ::Sleep(1)) {
                const bool late = ::GetTickCount() - since >= 300;
                if (late && !said) Say("stalled %d", n);
                said = said || late;
            }
            Inject(half, 1, static_cast<int>(frames.size()), frames, false);
        }
        Say("flooded %d", areas);
    }

#ifndef _WIN32
    // Each file's data (past its header, whose third word is the data's offset) gets, word by
    // word, a random value, 0 or ~0, or a pointer: one found in the file, one near it, one of
    // this process or one where nothing is mapped; with an even seed only the words that
    // look like addresses (a held mutex's list links) change, to where nothing is mapped.
    int Scribble(unsigned seed, int& pointers)
    {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string dir = runtime && runtime[0] == '/' ? std::string(runtime) + "/lobbykit"
                                                             : "/dev/shm/lobbykit-" + std::to_string(geteuid());
        std::mt19937_64 rng(seed);
        int files = 0;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = d ? readdir(d) : nullptr) {
            const std::string file = e->d_name, own = "o-" + m_name;
            if (file != own && file.rfind(own + "_", 0) != 0) continue;
            const int fd = open((dir + "/" + file).c_str(), O_RDWR);
            struct stat st;
            void* map = fd >= 0 && fstat(fd, &st) == 0
                            ? mmap(nullptr, st.st_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                            : MAP_FAILED;
            if (map != MAP_FAILED) {
                auto* words = static_cast<std::uint64_t*>(map);
                const size_t from = static_cast<const std::uint32_t*>(map)[2] / 8, to = st.st_size / 8;
                std::vector<std::uint64_t> found = {reinterpret_cast<std::uintptr_t>(&rng)};
                for (size_t i = from; i < to; ++i)
                    if (words[i] >> 44 >= 5 && words[i] >> 44 < 8) found.push_back(words[i]);
                const size_t looked = found.size();
                pointers += static_cast<int>(looked) - 1;
                for (size_t i = from; i < to; ++i) {
                    const std::uint64_t r = rng();
                    const std::uint64_t pick[] = {
                        found[r % looked], found[r % looked] + 8 * (r % 5) - 16, 0x1000, r, 0, ~0ull};
                    if (seed % 2 == 1) words[i] = pick[(r >> 56) % 6];
                    else if (words[i] >> 44 >= 5 && words[i] >> 44 < 8) words[i] = pick[2] + 8 * (r % 4);
                }
                munmap(map, st.st_size);
                ++files;
            }
            if (fd >= 0) close(fd);
        }
        if (d) closedir(d);
        return files;
    }
#endif

    std::string m_name;
    std::string m_mode;
    CMapIPC m_ipc;
    lktest::HostWindow m_window;
    char m_buf[IPC_RECV_BUF_SIZE];
    int m_notified = 0;
    unsigned long long m_soakCount = 0, m_sendSeed = 0, m_recvSeed = 0, m_sent = 0, m_received = 0, m_taken = 0;
};

int FakeServer(const std::string& name, unsigned signature)
{
    HANDLE hMap =
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(IPC_MAP_BUF), name.c_str());
    if (!hMap) {
        Say("create-failed");
        return 2;
    }
    auto* rec = static_cast<IPC_MAP_BUF*>(::MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(IPC_MAP_BUF)));
    rec->wSignature = static_cast<WORD>(signature);
    // Something in the server half, which a refused client must leave alone.
    rec->bufServerData[0] = IPC_FRAME_MARKER;
    rec->bufServerData[3] = 7;
    rec->wServerDataLen = 4;
    rec->cbServerWriteStatus = 1;
    Say("ready");
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "quit", 4) == 0) break;
        if (std::strncmp(line, "state", 5) == 0)
            Say("state server-status=%d client-status=%d count=%u", rec->cbServerWriteStatus, rec->cbClientWriteStatus,
                static_cast<unsigned>(rec->dwConnectCount));
    }
    ::UnmapViewOfFile(rec);
    ::CloseHandle(hMap);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: ipc_peer server|client|fake-server NAME [MODE|SIG]\n");
        return 64;
    }
    const std::string role = argv[1];
    const std::string name = argv[2];
    const std::string mode = argc > 3 ? argv[3] : "echo";
    if (role == "fake-server") return FakeServer(name, static_cast<unsigned>(std::strtoul(mode.c_str(), nullptr, 0)));

    Peer peer(name, mode, argc > 4 && std::strcmp(argv[4], "old") == 0);
    if (role == "server") {
        if (!peer.OpenServer()) {
            Say("create-failed");
            return 2;
        }
        Say("ready");
    } else {
        const DWORD start = ::GetTickCount();
        const bool ok = peer.OpenClient();
        Say("%s %u", ok ? "connected" : "connect-failed", static_cast<unsigned>(::GetTickCount() - start));
        if (!ok) return 2;
    }
    return peer.Run();
}
