// Any speaker name and any typed lines, one object in turn: every reply is terminated within
// the caller's 1,024 bytes, a call that returns 0 writes nothing, and nothing is read or
// written outside the buffers (ASan).
//
// Input: a flags byte, then the name (its length in the flags' low 6 bits), then lines
// separated by NUL bytes. Flag 0x40: store the name with SetMyName first. Flag 0x80: repeat
// each line to 3,000 bytes or more, to reach the 1,024-byte cut.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Emotion.h"

namespace {

constexpr std::size_t kReply = 1024;

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    std::size_t nName = flags & 0x3F;
    if (nName > size) nName = size;
    const std::string name(reinterpret_cast<const char*>(data), nName);
    data += nName;
    size -= nName;

    CGetEmotion e;
    if (flags & 0x40) e.SetMyName(name.c_str());

    int round = 0;
    for (std::size_t start = 0; start <= size; ++round) {
        std::size_t end = start;
        while (end < size && data[end] != 0) ++end;
        std::string line(reinterpret_cast<const char*>(data + start), end - start);
        if ((flags & 0x80) && !line.empty())
            while (line.size() < 3000) line += line;
        start = end + 1;

        // Exactly 1,024 bytes on the heap, so that ASan sees a write past them.
        static const std::vector<char> untouched(kReply, '\xA5');
        std::vector<char> reply(untouched);
        const char* sName = (round % 2 == 0) ? name.c_str() : "";
        const int result = e.GetEmotion(sName, line.c_str(), reply.data());
        Check(result == 0 || result == 1);
        if (result == 1) {
            Check(std::memchr(reply.data(), '\0', kReply) != nullptr);
        } else {
            Check(std::memcmp(reply.data(), untouched.data(), kReply) == 0);
        }
        Check(e.IsLocalMessage() == 0 || e.IsLocalMessage() == 1);

        // Copies carry the state on.
        CGetEmotion copy(e);
        e = copy;
    }
    return 0;
}
