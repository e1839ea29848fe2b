// The real lobby server (library `lobby`) in this process, on a free port of
// 127.0.0.1, with its database in a temporary folder.
#pragma once

#include "lobby_server.h"
#include "lobby_service.h"
#include "lobby_store.h"
#include "password_hasher.h"

#include <QTemporaryDir>
#include <memory>
#include <string>

class TestLobby {
  public:
    // signing: the lobby signs tickets, as a deployed one does (its key
    // made afresh): programs that log in with their key get the
    // extensions (running games, paths).
    explicit TestLobby(bool signing = false);
    ~TestLobby();
    TestLobby(const TestLobby&) = delete;
    TestLobby& operator=(const TestLobby&) = delete;

    // An account, as `zellhop-lobby add-user` makes one.
    void AddPlayer(const std::string& name, const std::string& password);
    int Port() const { return port_; }
    // What the game's LobbyHost setting says to reach it.
    std::string HostSetting() const { return "127.0.0.1:" + std::to_string(port_); }
    // What the lobby knows: the games and their winners.
    LobbyStore& Store() { return *store_; }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<LobbyStore> store_;
    PasswordHasher hasher_;
    std::unique_ptr<LobbyService> service_;
    std::unique_ptr<LobbyServer> server_;
    int port_ = 0;
};
