// The commands the demo lobby and game exchange over the channel (application ids 0-239).
#ifndef LOBBYKIT_DEMO_PROTOCOL_H
#define LOBBYKIT_DEMO_PROTOCOL_H

#include <cstdint>
#include <cstring>
#include <string>

namespace demo {

enum Command : unsigned char {
    CMD_HELLO = 1,       // game -> lobby: the player's name
    CMD_WELCOME = 2,     // lobby -> game: a greeting
    CMD_SCORE = 3,       // game -> lobby: game id, score (two little-endian int32)
    CMD_TITLE = 4,       // lobby -> game: level (int32) + GBK title
    CMD_CHAT = 5,        // game -> lobby: a typed chat line
    CMD_CHAT_REPLY = 6,  // lobby -> game: local flag (1 byte) + the interpreted line
};

inline std::string PackInts(std::int32_t a, std::int32_t b)
{
    std::string s(8, '\0');
    for (int i = 0; i < 4; ++i) {
        s[i] = char(std::uint32_t(a) >> (8 * i));
        s[4 + i] = char(std::uint32_t(b) >> (8 * i));
    }
    return s;
}

inline std::int32_t ReadInt(const char* p)
{
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= std::uint32_t(static_cast<unsigned char>(p[i])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

// Command names for the transcript.
inline const char* CommandName(unsigned char id)
{
    switch (id) {
    case CMD_HELLO: return "HELLO";
    case CMD_WELCOME: return "WELCOME";
    case CMD_SCORE: return "SCORE";
    case CMD_TITLE: return "TITLE";
    case CMD_CHAT: return "CHAT";
    case CMD_CHAT_REPLY: return "CHAT_REPLY";
    default: return "?";
    }
}

}  // namespace demo

#endif
