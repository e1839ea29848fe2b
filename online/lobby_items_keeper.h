// What the lobby gave this program at log-in beyond the written reply (its
// ticket, the relay's credentials), kept for the session and renewed
// before either runs out, so that a long game still has both.  A lobby
// that gave neither is one of the written protocol: nothing is ever asked
// of it.  Plain C++: the request goes out through the function it is given
// and the time is passed in.
#pragma once

#include "lobby_extensions.h"
#include "lobby_items.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TLobbyItemsKeeper {
  public:
    // The lobby's answer, or nothing when the request failed.
    using TAnswer = std::function<void(const std::optional<std::string>& reply)>;
    using TAsk = std::function<void(const std::string& target, TAnswer answer)>;

    // After a renewal that failed or was refused, the next try waits this
    // long (the lobby allows one in ten seconds; the margin is an hour).
    static constexpr std::int64_t kRetrySeconds = 60;

    explicit TLobbyItemsKeeper(TAsk ask) : ask_(std::move(ask)) {}

    // A log-in's items, replacing whatever was kept (a renewal under way
    // is then disregarded).
    void Take(TLobbyItems items);
    void Forget() { Take({}); }
    const TLobbyItems& Items() const { return items_; }
    // The lobby speaks our extensions: it gave a ticket or relay credentials.
    bool Extended() const { return !items_.ticket.empty() || items_.turn.has_value(); }

    // Asks for a renewal when one is due and none is under way.
    void Tick(const std::string& sessionId, std::int64_t nowSeconds);

    // A line for the log: a renewal refused or failed.
    std::function<void(const std::string& line)> OnLog;

  private:
    void Renewed(const std::optional<std::string>& reply, unsigned generation,
                 std::int64_t askedAt);

    TAsk ask_;
    TLobbyItems items_;
    unsigned generation_ = 0; // counts Take: an answer to an older one is dropped
    bool renewing_ = false;
    bool sessionGone_ = false; // the lobby no longer knows the session
    std::int64_t notBefore_ = 0;
};
