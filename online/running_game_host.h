// The host's side of a game under way for those who come into it late:
// who may come in (a player whose lobby account held a seat takes it back,
// anyone else watches, up to kMostWatchers), the game as they get it (the
// record, then their place in it), and every hop, end of turn, seat change
// and watcher's line relayed to them as the host's game plays it.  Players
// keep talking to each other as before; watchers hear the host alone.
//
// Plain of the messaging: what it sends goes through Link::send, to the
// contacts named, so the tests run it between two objects.
#pragma once

#include "contact.h"
#include "game_state.h"
#include "link_seal.h"
#include "match.h"
#include "qmsg.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr int kMostWatchers = 16;

class RunningGameHost {
  public:
    enum class Role { kRefused, kRejoin, kWatch };

    struct Link {
        // A tracked message to these contacts.
        std::function<void(const TQMsg& msg, const std::vector<TpContact>& to)> send;
        std::function<void(const QString& line)> log;
    };

    // Who asks to come in: his lobby account (0: none, a game without a
    // lobby), the name he gives and the key his program proved (null for a
    // program of the written protocol).
    struct Claim {
        int32_t account = 0;
        std::string name;
        const TLinkPublicKey* key = nullptr;
    };
    using Keys = std::array<std::optional<TLinkPublicKey>, kColours>;

    explicit RunningGameHost(Link link);

    // The game starts: the lobby account of each seat's player (0 for none,
    // or for a program that has no lobby account), the seats' names and the
    // keys their programs proved.  A seat is held by its account; in a game
    // without a lobby, by the same key under the same name (a program keeps
    // its key across restarts).
    void Start(Match& match, const std::array<int32_t, kColours>& accounts,
               const std::array<std::string, kColours>& names, const Keys& keys = {});
    void Stop();
    // The game it plays into is replaced (the window lays a started game out anew).
    void SetMatch(Match* match) {
        if (started_)
            match_ = match;
    }
    bool Running() const { return started_ && match_ != nullptr; }

    // The role a connect request past the table's room gets: a seat back
    // only for the one who held it and when every member can hear the
    // newcomer (`meshable`), else watching while there is room.
    Role Decide(const Claim& claim, bool meshable) const;
    Role Decide(int32_t account, bool meshable) const { return Decide(Claim{account, "", nullptr}, meshable); }
    // An admitted newcomer gets the game and its place in it.  `player` is
    // the number the host's game knows him by; `members` are those who play
    // with the host (they learn of a seat coming back).
    // `key`: the one his program proved.
    Role Welcome(const TpContact& newcomer, PlayerId player, bool meshable,
                 const std::vector<TpContact>& members, const TLinkPublicKey* key = nullptr);
    bool IsNewcomer(const TpContact& contact) const;
    bool IsWatcher(const TpContact& contact) const;
    int WatcherCount() const;
    std::vector<std::string> WatcherNames() const;
    // He left or was given up.
    void Gone(const TpContact& contact);

    // What the host's game played, passed on to the newcomers (not to the
    // one whose step it was).
    void MovePlayed(int seat, int number, int direction);
    void EndTurnPlayed(int seat);
    void SeatHandedOver(int seat, int reason);
    // A watcher's chat line: logged and passed to everybody else.  False
    // when the sender watches nothing here.
    bool WatcherChat(const TpContact& from, const std::string& text,
                     const std::vector<TpContact>& members);
    // A player's chat line, passed on to the watchers (they do not hear
    // the players); false when it is not a player's.
    bool PlayerChat(const TpContact& from, const std::string& text);

    // The record's text as a newcomer gets it: the saved game, then the
    // hops of the turn under way after kUnderWayMark.
    static std::string RecordText(const Match& match);

  private:
    struct Newcomer {
        TpContact contact;
        bool watching = true;
        int seat = kNoSeat;
    };
    void SendGame(const Newcomer& newcomer, int backAtTurn, SeatKind ownKind);
    int SeatOf(const Claim& claim) const;
    Match::TurnPlace ReturnPoint(int seat) const;
    void ToNewcomers(const TQMsg& msg, int exceptSeat);

    Link link_;
    Match* match_ = nullptr;
    bool started_ = false;
    std::array<int32_t, kColours> accounts_{};
    std::array<std::string, kColours> names_;
    Keys keys_;
    std::vector<Newcomer> newcomers_;
};

// The line before the turn under way in a running game's record.
inline constexpr const char* kUnderWayMark = "# under way";
