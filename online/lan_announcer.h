// The host's side of a game on this network: it announces the game while
// the game waits for players and while it runs, at once at each change and
// then every second, and withdraws it once when the game ends.  Plain C++: the sending
// and the clock come from outside (TLanHostAnnouncement drives it).
#pragma once

#include "lan_announcement.h"

#include <cstdint>
#include <functional>
#include <string>

inline constexpr std::int64_t kLanAnnounceIntervalMs = 1000;

class TLanAnnouncer {
  public:
    using Send = std::function<void(const std::string& datagram)>;

    explicit TLanAnnouncer(Send send) : send_(std::move(send)) {}

    // Announces this game at once, or the change of an announced one
    // (players joined, the game started).  A new id is a new game.
    void Announce(const TLanAnnouncement& game, std::int64_t nowMs);
    // Announces again when the interval has passed since the last time.
    void Tick(std::int64_t nowMs);
    // Sends the withdrawal once; nothing more is sent until the next
    // Announce.  Nothing happens when no game is announced.
    void Withdraw();
    bool Announcing() const { return announcing_; }

  private:
    void SendNow(std::int64_t nowMs);

    Send send_;
    TLanAnnouncement game_;
    bool announcing_ = false;
    std::int64_t lastSentMs_ = 0;
};
