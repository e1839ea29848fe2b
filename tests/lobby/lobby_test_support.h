#pragma once

#include "lobby_server.h"
#include "lobby_service.h"
#include "lobby_store.h"
#include "password_hasher.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A fresh directory under the system's temporary folder, removed afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

struct HttpReply {
    int status = -1; // -1: no reply at all
    std::string body;
};

struct LoginResult {
    char outcome = '?';
    std::string session;
    std::int32_t playerNumber = 0;
};

// The game's requests, built as the game builds them: values inserted
// unencoded, a game name already with "%20" for its spaces.
namespace game_requests {
std::string Login(const std::string& name, const std::string& password,
                  const std::string& version = "1.4.0.5");
std::string CreateGame(const std::string& session, const std::string& encodedName,
                       const std::string& seats);
std::string ListGames(const std::string& session);
std::string Refresh(const std::string& session, std::int32_t gameNumber, std::int32_t newPlayer = 0,
                    std::int32_t newGameState = 0, std::int32_t winner = 0);
} // namespace game_requests

// Reads a login reply as the game does, more strictly: the number must be
// plain decimal.
LoginResult ParseLogin(const std::string& body);

// What a raw connection got back: everything read until the server closed
// or went quiet.
struct RawReply {
    std::string bytes;
    bool closed = false; // the server closed the connection
};
// Sends `bytes` on a new connection to 127.0.0.1:port (from `sourceAddress`
// when given) and reads until the server closes or says nothing for `quiet`.
RawReply RawExchange(int port, const std::string& bytes,
                     std::chrono::milliseconds quiet = std::chrono::milliseconds(1000),
                     const std::string& sourceAddress = {});
// A connected socket to 127.0.0.1:port that sends nothing; -1 on failure.
int OpenConnection(int port, const std::string& sourceAddress = {});

// A lobby server on a free loopback port, in this process, with a clock
// that only moves when a test moves it.
class RunningLobby {
  public:
    explicit RunningLobby(LobbySettings lobby = TestLobbySettings(),
                          ServerSettings server = TestServerSettings(), LobbyServer::Log log = {});
    ~RunningLobby();

    // Without the limits per address and per account, which the tests of
    // those limits switch on: other tests make many requests from one address.
    static LobbySettings TestLobbySettings();
    static ServerSettings TestServerSettings();

    // A request the way the game sends it: the target goes out unencoded.
    // With a source address the connection comes from that address.
    HttpReply Get(const std::string& target, const std::string& sourceAddress = {}) const;
    HttpReply PostForm(const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& fields) const;

    // Through the account page; the player's number.
    std::int32_t AddAccount(const std::string& name, const std::string& password) const;
    LoginResult Login(const std::string& name, const std::string& password) const;
    // A new account, logged in.
    LoginResult NewPlayer(const std::string& name) const;

    void AdvanceClock(std::chrono::seconds step) { nowMs_ += step.count() * 1000; }
    LobbyStore& Store() { return *store_; }
    PasswordHasher& Hasher() { return hasher_; }
    std::string DatabasePath() const { return (dir_.Path() / "lobby.db").string(); }
    int Port() const { return port_; }

  private:
    TempDir dir_;
    std::atomic<std::int64_t> nowMs_{1'700'000'000'000};
    std::unique_ptr<LobbyStore> store_;
    PasswordHasher hasher_;
    std::unique_ptr<LobbyService> service_;
    std::unique_ptr<LobbyServer> server_;
    int port_ = 0;
};

// The games a list reply holds, three lines each; the "1" and LF first.
struct ListedEntry {
    std::string name;
    std::string players;
    std::string address;
    bool operator==(const ListedEntry&) const = default;
};
std::vector<ListedEntry> ParseGameList(const std::string& body);
