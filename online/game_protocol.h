// The five messages the programs of an online game exchange through the
// connection manager: chat, end of turn, a hop of a human move, the seat the
// host gives a joiner, and the host's start with the seat table.  Writing
// them, and reading them back from a peer, whose messages are checked item
// by item before anything is taken from them.
//
// Items by position:
//   gmChat     the text (string, UTF-8)
//   gmEndTurn  none
//   gmMove     marble number, direction 0..5 (integers)
//   gmSeat     seat index 0..5, the host's MaxConnections (integers)
//   gmStart    six seat kinds, Blue to Yellow, the host's humans sent as
//              Remote; then one string per Remote seat in colour order:
//              "0" for a seat of the host's own, else its player's address
#pragma once

#include "game_state.h"
#include "qmsg.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr int gmChat = 0;
inline constexpr int gmEndTurn = 1;
inline constexpr int gmMove = 2;
inline constexpr int gmSeat = 3;
inline constexpr int gmStart = 4;

// The seat table's address of a seat whose player sits at the host.
inline constexpr const char* kHostSeatAddress = "0";

struct TGameMove {
    int32_t number = 0;
    int32_t direction = 0;
};

struct TSeatGrant {
    int32_t seat = 0;
    int32_t maxConnections = 0;
};

// The seat table of gmStart: each seat's kind as the joiners take it, and
// for every Remote seat where its player sits ("0" for the host).
struct TStartTable {
    SeatKinds kinds{};
    std::array<std::string, kColours> addresses; // empty for seats that are not Remote
    bool operator==(const TStartTable&) const = default;
};

// The host's table: its humans become Remote with the address "0", its
// remote players keep their addresses, every other seat its kind.
TStartTable HostStartTable(const SeatKinds& kinds,
                           const std::array<std::string, kColours>& contactAddresses);

// The chat line as it travels: the text's UTF-8 bytes, cut to what one
// string item may still take, never in the middle of a character.
void WriteChat(TQMsg& msg, const std::string& text);
void WriteMove(TQMsg& msg, const TGameMove& move);
void WriteSeat(TQMsg& msg, const TSeatGrant& grant);
void WriteStart(TQMsg& msg, const TStartTable& table);

// Nothing when the message does not hold what its kind needs.
std::optional<std::string> ReadChat(const TQMsg& msg);
// The direction must be one of the six.
std::optional<TGameMove> ReadMove(const TQMsg& msg);
// The seat must be one of the six.
std::optional<TSeatGrant> ReadSeat(const TQMsg& msg);
// Six seat kinds 0..4; a missing address reads as empty.
std::optional<TStartTable> ReadStart(const TQMsg& msg);
