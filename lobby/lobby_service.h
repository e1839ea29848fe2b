#pragma once

#include "lobby_request.h"
#include "lobby_settings.h"
#include "lobby_store.h"
#include "password_hasher.h"
#include "query_params.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The lobby's answers: the four scripts under /tavlo/ that the game calls
// (log-in, publish, list, refresh) and the two account pages its login
// dialog links to. It knows nothing of sockets, so each request can be
// answered and checked on its own.
class LobbyService {
  public:
    using Clock = std::function<std::int64_t()>; // milliseconds since 1970

    LobbyService(LobbyStore& store, PasswordHasher& hasher, LobbySettings settings,
                 Clock clock = SystemClock());

    // Store failures leave as exceptions; the server turns them into a 500.
    LobbyReply Handle(const LobbyRequest& request);

    static Clock SystemClock();

  private:
    LobbyReply Login(const QueryParams& query);
    LobbyReply CreateGame(const QueryParams& query, const std::string& peerAddress);
    LobbyReply GetGames(const QueryParams& query);
    LobbyReply RefreshGame(const QueryParams& query);
    LobbyReply MainPage(const LobbyRequest& request);
    LobbyReply CreateAccount(const QueryParams& form);

    std::optional<std::int32_t> SessionPlayer(const QueryParams& query);
    bool IsAcceptedVersion(const std::string& version) const;

    LobbyStore& store_;
    PasswordHasher& hasher_;
    LobbySettings settings_;
    Clock clock_;
};
