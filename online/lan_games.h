// The games announced on this network, as a receiver has heard them: each
// entry lives while its host keeps announcing it and leaves at its
// withdrawal or a few seconds after its last announcement.  Plain C++: the
// datagrams and the clock come from outside.
//
// Every datagram is untrusted.  Its sender is the address it came from
// (never one written inside), its texts are made plain, each sender may
// send only so many per second, and the list and the table of senders
// both have a ceiling, the longest silent entry making room for a new one,
// so no flood of datagrams from however many addresses grows memory
// without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How long an entry stays after its last announcement (the host announces
// every second).
inline constexpr std::int64_t kLanEntryLifetimeMs = 3500;
inline constexpr std::size_t kMaxLanGames = 32;
inline constexpr std::size_t kMaxLanGamesPerHost = 4;
inline constexpr std::size_t kMaxLanSenders = 256;
// Each sender's allowance: a burst of this many datagrams, refilled at this
// many a second.
inline constexpr double kLanSenderBurst = 8;
inline constexpr double kLanSenderRate = 4;
// New entries taken from all senders together, likewise.
inline constexpr double kLanNewGameBurst = 16;
inline constexpr double kLanNewGameRate = 8;

struct TLanGameEntry {
    std::string address; // the host, as the datagrams came from it
    std::uint64_t gameId = 0;
    std::string name;    // plain text
    std::string players; // plain text
    bool running = false; // under way: one may come back into it or watch
    bool operator==(const TLanGameEntry&) const = default;
};

class TLanGames {
  public:
    // One datagram from `from` (dotted IPv4); true when the list changed.
    bool Take(std::string_view datagram, const std::string& from, std::int64_t nowMs);
    // Drops the games not announced for kLanEntryLifetimeMs; true when the
    // list changed.
    bool Expire(std::int64_t nowMs);
    // In the order they were first heard.
    const std::vector<TLanGameEntry>& Games() const { return games_; }
    // The senders whose allowance is kept, for the tests of the ceiling.
    std::size_t SendersTracked() const { return senders_.size(); }

  private:
    struct Allowance {
        double tokens = 0;
        std::int64_t lastMs = 0;
        bool Spend(double burst, double perSecond, std::int64_t nowMs);
    };
    struct Sender {
        std::string address;
        Allowance allowance;
    };

    bool Admitted(const std::string& from, std::int64_t nowMs);
    bool Open(TLanGameEntry entry, std::int64_t nowMs);
    bool Withdraw(const std::string& from, std::uint64_t gameId);
    std::size_t GamesOf(const std::string& address) const;
    void MakeRoom();

    std::vector<TLanGameEntry> games_;
    std::vector<std::int64_t> heardMs_; // beside games_: when each was last announced
    std::vector<Sender> senders_;       // most recently heard last
    Allowance newGames_{kLanNewGameBurst, 0};
};
