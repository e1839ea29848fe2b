#include "test_lobby.h"

#include "lobby_key.h"

#include <stdexcept>

TestLobby::TestLobby(bool signing) {
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder for the lobby");
    store_ = std::make_unique<LobbyStore>(dir_.filePath("lobby.db").toStdString());
    LobbySettings settings;
    if (signing)
        settings.signingKey = LobbyKey::Generate();
    service_ = std::make_unique<LobbyService>(*store_, hasher_, settings);
    ServerSettings server;
    server.address = "127.0.0.1";
    server.port = 0;
    server_ = std::make_unique<LobbyServer>(*service_, server);
    port_ = server_->Start();
}

TestLobby::~TestLobby() {
    server_->Stop();
}

void TestLobby::AddPlayer(const std::string& name, const std::string& password) {
    if (!store_->AddPlayer(name, hasher_.Hash(password), LobbyService::SystemClock()()))
        throw std::runtime_error("the lobby refused the account " + name);
}
