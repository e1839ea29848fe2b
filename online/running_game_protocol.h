// The messages that bring a program into a game that already runs, between
// programs of this version only (a program of the written protocol never
// sees one): the host's record of the game in parts, the newcomer's place
// in it, and what the host relays to those who hear the game from it alone
// (watchers, and a player back in the game): every hop and end of turn
// tagged with its seat, a seat handed to the computer or back to its
// player, a watcher's chat line, and a player's to the watchers.
//
// Items by position:
//   gmRecordPart   part index from 0, parts in all, the text of this part
//   gmRunningSeats role (0 watching, 1 playing), the six seat kinds as the
//                  newcomer plays them, the seat given back to him (-1 for
//                  none) and the turn it comes back at, then six names
//                  (the players of the seats, "" for none)
//   gmSeatMove     seat, marble number, direction
//   gmSeatEndTurn  seat
//   gmSeatLeft     seat, reason (the seat's player left or was given up)
//   gmSeatBack     seat, the turn it comes back at, the player's address
//                  (as the host's announcement named him; "" to a watcher)
//   gmWatcherChat  the watcher's name, the text
//   gmPlayerChat   the player's name, the text (watchers hear the players
//                  from the host only)
#pragma once

#include "game_state.h"
#include "qmsg.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr int gmRecordPart = 20;
inline constexpr int gmRunningSeats = 21;
inline constexpr int gmSeatMove = 22;
inline constexpr int gmSeatEndTurn = 23;
inline constexpr int gmSeatLeft = 24;
inline constexpr int gmSeatBack = 25;
inline constexpr int gmWatcherChat = 26;
inline constexpr int gmPlayerChat = 27;

// A record sent in parts: every part but the last this long.
inline constexpr std::size_t kRecordPartBytes = 1000;
// The largest record taken: a game of thousands of turns is far below it.
inline constexpr std::size_t kLargestRunningRecord = 256 * 1024;

// The record's text cut into parts of kRecordPartBytes.
std::vector<std::string> RecordParts(const std::string& text);
void WriteRecordPart(TQMsg& msg, int index, int count, const std::string& part);

// Puts the parts of a record back together as they come, in order.  The
// host is trusted no more than anyone: a part out of order, a count that
// changes, or a text over kLargestRunningRecord ends the assembly with a
// reason.
class RecordAssembly {
  public:
    enum class Outcome { kMore, kComplete, kRefused };
    Outcome Take(const TQMsg& msg);
    const std::string& Text() const { return text_; }
    const std::string& Refusal() const { return refusal_; }

  private:
    Outcome Refuse(const std::string& why);

    std::string text_;
    int next_ = 0;
    int count_ = -1;
    std::string refusal_;
};

struct TRunningSeats {
    bool playing = false; // a player back in the game, else a watcher
    SeatKinds kinds{};
    int seatBack = -1;
    int backAtTurn = 0;
    std::array<std::string, kColours> names;
};
void WriteRunningSeats(TQMsg& msg, const TRunningSeats& seats);
std::optional<TRunningSeats> ReadRunningSeats(const TQMsg& msg);

struct TSeatMove {
    int32_t seat = 0;
    int32_t number = 0;
    int32_t direction = 0;
};
void WriteSeatMove(TQMsg& msg, const TSeatMove& move);
std::optional<TSeatMove> ReadSeatMove(const TQMsg& msg);

// gmSeatEndTurn's seat, or gmSeatLeft's seat and reason.
void WriteSeatEvent(TQMsg& msg, int seat, int reason = 0);
std::optional<std::pair<int, int>> ReadSeatEvent(const TQMsg& msg);

struct TSeatBack {
    int32_t seat = 0;
    int32_t atTurn = 0;
    std::string address;
};
void WriteSeatBack(TQMsg& msg, const TSeatBack& back);
std::optional<TSeatBack> ReadSeatBack(const TQMsg& msg);

// A chat line with its speaker's name: gmWatcherChat and gmPlayerChat.
struct TWatcherChat {
    std::string name;
    std::string text;
};
void WriteWatcherChat(TQMsg& msg, const TWatcherChat& chat);
std::optional<TWatcherChat> ReadWatcherChat(const TQMsg& msg);
