// A newcomer's side of a game under way: the host's record put together
// and replayed under the rules before anything is shown, its place in the
// game (a seat back at a turn the host named, or watching), and from then
// on the game as the host relays it, seat by seat.  Only the host is heard
// here: a record that does not replay, a wrong seat or an oversize record
// is refused with a line in the log, and nothing changes.
//
// The remote seats are known by seat (player number seat + 1), since the
// host tags every step it relays with its seat.
#pragma once

#include "game_state.h"
#include "match.h"
#include "qmsg.h"
#include "running_game_protocol.h"
#include "saved_game.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>

// The game a newcomer takes up.
struct TTakenGame {
    SavedGame record;
    TurnRecord underWay;
    SeatKinds kinds{};
    std::array<PlayerId, kColours> players{};
    TRunningSeats seats;
};

class RunningGameGuest {
  public:
    struct Link {
        std::function<void(const QString& line)> log;
        // The game is taken: lay it out (Match::JoinRunningGame) and show it.
        std::function<void(const TTakenGame& game)> start;
    };

    explicit RunningGameGuest(Link link);

    // Joining a host: whatever came before is forgotten.
    void Reset();
    // The game the host's messages play into, once started.
    void SetMatch(Match* match) { match_ = match; }
    // A message from the host this program joined; false when it is none
    // of the running game's.
    bool Take(const TQMsg& msg);
    // The host sent a running game: this program's moves and ends of turn
    // come from the host's relays only.
    bool Taken() const { return taken_; }
    bool Watching() const { return taken_ && !seats_.playing; }
    bool Refused() const { return refused_; }
    int OwnSeat() const { return seats_.seatBack; }
    // The player number a relayed seat is known by.
    static PlayerId SeatPlayer(int seat) { return seat + 1; }
    // Reads a running game's record and checks that it replays; throws
    // LineError with what is wrong.
    static TTakenGame ReadGame(const std::string& text, const TRunningSeats& seats);

  private:
    void TakeSeats(const TQMsg& msg);
    void TakeRelay(const TQMsg& msg);
    void Refuse(const QString& why);

    Link link_;
    Match* match_ = nullptr;
    RecordAssembly assembly_;
    std::optional<std::string> record_;
    TRunningSeats seats_;
    bool taken_ = false;
    bool refused_ = false;
};
