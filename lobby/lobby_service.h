#pragma once

#include "extension_scripts.h"
#include "lobby_request.h"
#include "lobby_settings.h"
#include "lobby_store.h"
#include "password_hasher.h"
#include "query_params.h"
#include "rate_limiter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

// The lobby's answers: the four scripts under /tavlo/ that the game calls
// (log-in, publish, list, refresh) with what programs of this version add
// to them, our scripts beside them (ExtensionScripts), the two account
// pages its login dialog links to, and the public front page. It knows nothing of sockets, so each
// request can be answered and checked on its own.
class LobbyService {
  public:
    using Clock = std::function<std::int64_t()>; // milliseconds since 1970
    using Done = std::function<void(LobbyReply)>;

    LobbyService(LobbyStore& store, PasswordHasher& hasher, LobbySettings settings,
                 Clock clock = SystemClock());

    // A first look, cheap and without the database, for the server to take
    // on its own thread: the answer to a log-in or a new account that the
    // limits or the rules turn away, so that a flood of them is refused
    // before it waits for a worker; nullopt for everything else.
    std::optional<LobbyReply> Screen(const LobbyRequest& request);
    // Answers a request that Screen let through, via `done`, exactly once:
    // on the calling thread, or, for a log-in or a new account, on a
    // hashing thread once the password's hash is done. Failures inside the
    // lobby answer 500.
    void HandleScreened(const LobbyRequest& request, Done done);
    // Both steps; and both, waiting for the answer.
    void Handle(const LobbyRequest& request, Done done);
    LobbyReply Handle(const LobbyRequest& request);

    static Clock SystemClock();

  private:
    void Route(const LobbyRequest& request, Done& done);
    std::optional<LobbyReply> ScreenLogin(const QueryParams& query,
                                          const std::string& clientAddress);
    std::optional<LobbyReply> ScreenNewAccount(const QueryParams& form,
                                               const std::string& clientAddress);
    void Login(const QueryParams& query, Done& done);
    LobbyReply CreateGame(const QueryParams& query, const std::string& clientAddress);
    LobbyReply GetGames(const QueryParams& query);
    std::string ListedEntry(const ListedGame& game, bool details) const;
    LobbyReply RefreshGame(const QueryParams& query);
    void MainPage(const LobbyRequest& request, Done& done);
    void CreateAccount(const QueryParams& form, Done& done);
    LobbyReply FrontPage();

    std::optional<std::int32_t> SessionPlayer(const QueryParams& query);
    bool IsAcceptedVersion(const std::string& version) const;
    std::int64_t ListedAfterMs() const;

    LobbyStore& store_;
    PasswordHasher& hasher_;
    const LobbySettings settings_;
    const Clock clock_;
    RateLimiter hashesPerAddress_;
    RateLimiter loginsPerAccount_;
    ExtensionScripts extensions_;

    // The front page is made at most once a second, and again at once after
    // a change made through this lobby.
    std::atomic<std::uint64_t> changes_{0};
    std::mutex frontPageMutex_;
    std::string frontPage_;
    std::uint64_t frontPageChanges_ = 0;
    std::int64_t frontPageMadeMs_ = 0;
};
