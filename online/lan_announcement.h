// A game announced on the local network without a lobby: what the host
// sends to the group every second while it waits for players and, once it
// runs, for those who come back into it or watch it, and the withdrawal it
// sends when the game ends.  Plain C++; the group,
// the port and every limit of the format are here.
//
// One datagram, all integers little-endian:
//   "ZHLN"        4 bytes
//   version       1 byte, kLanVersion
//   kind          1 byte, 1 open (waiting for players), 2 withdrawn,
//                 3 running (under way: a player may come back or watch)
//   game id       8 bytes, drawn by the host for each game
//   name length   1 byte, at most kLanMaxNameBytes, then the UTF-8 name
//   players len.  1 byte, at most kLanMaxPlayersBytes, then the text
// Nothing may follow.  The datagram carries no address: a receiver takes
// the host's from the datagram itself, and joins it on the messaging port.
#pragma once

#include "game_state.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An administratively scoped group (RFC 2365), which routers keep inside
// the site, on a port beside the messaging port, never on it.
inline constexpr const char* kLanGroup = "239.255.32.37";
inline constexpr int kLanPort = 3238;

inline constexpr std::uint8_t kLanVersion = 1;
inline constexpr std::size_t kLanMaxNameBytes = 64;
inline constexpr std::size_t kLanMaxPlayersBytes = 16;
inline constexpr std::size_t kLanHeaderBytes = 4 + 1 + 1 + 8;
inline constexpr std::size_t kLanMaxDatagramBytes =
    kLanHeaderBytes + 1 + kLanMaxNameBytes + 1 + kLanMaxPlayersBytes;

enum class TLanKind : std::uint8_t { Open = 1, Withdrawn = 2, Running = 3 };

struct TLanAnnouncement {
    TLanKind kind = TLanKind::Open;
    std::uint64_t gameId = 0;
    std::string name;    // UTF-8, as the host typed it
    std::string players; // "taken/seats", shown as it comes
    bool operator==(const TLanAnnouncement&) const = default;
};

// The datagram; a name or players text over its limit is cut there, never
// inside a character.
std::string EncodeLanAnnouncement(const TLanAnnouncement& announcement);
// The announcement, or nothing for a datagram of another version or kind,
// a length that points past the end, or bytes left over.
std::optional<TLanAnnouncement> DecodeLanAnnouncement(std::string_view datagram);

// The players text of a game waiting for players, as the lobby shows one:
// the seats taken (every seat in play but the Open ones; a player who
// joined holds a Remote seat) over the seats in play.
std::string LanPlayersText(const SeatKinds& kinds);
