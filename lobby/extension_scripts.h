#pragma once

#include "lobby_request.h"
#include "lobby_settings.h"
#include "lobby_store.h"
#include "query_params.h"
#include "rate_limiter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What the lobby answers only to programs of this version: the items
// after a log-in that carried the program's key (its ticket, the lobby's
// key, the relay's credentials), the renewal of those, and the ICE
// candidates that members of one game hand each other. Every answer is the
// outcome character and a line end, then either the items or, on a
// refusal, one word of lobby_protocol::refusal; a refusal stores nothing.
class ExtensionScripts {
  public:
    using Clock = std::function<std::int64_t()>; // milliseconds since 1970

    ExtensionScripts(LobbyStore& store, const LobbySettings& settings, Clock clock);

    // The program key of a log-in, decoded; nullopt when it is not one.
    static std::optional<std::string> ReadPeerKey(const std::string& text);
    // The lines that follow the written log-in reply, each ending in LF.
    std::string LoginItems(std::int32_t player, const std::string& playerName,
                           const std::optional<std::string>& peerKey) const;

    LobbyReply Renew(const QueryParams& query);
    LobbyReply PostCandidates(const QueryParams& query);
    LobbyReply GetCandidates(const QueryParams& query);

  private:
    std::optional<SessionInfo> Session(const QueryParams& query);
    std::int64_t ListedAfterMs() const;

    LobbyStore& store_;
    const LobbySettings& settings_;
    const Clock clock_;
    RateLimiter postsPerSession_;
    RateLimiter readsPerSession_;
    RateLimiter renewalsPerSession_;
};
