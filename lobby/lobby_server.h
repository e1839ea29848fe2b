#pragma once

#include "http_front.h"
#include "lobby_service.h"
#include "server_settings.h"

#include <string>

// The lobby on HTTP: hands every request to the service and its reply back.
class LobbyServer {
  public:
    using Log = HttpFront::Log;

    LobbyServer(LobbyService& service, const ServerSettings& settings, Log log = {});
    ~LobbyServer();
    LobbyServer(const LobbyServer&) = delete;
    LobbyServer& operator=(const LobbyServer&) = delete;

    // Binds and serves on threads of its own; returns the port it listens
    // on. Throws when the address cannot be bound.
    int Start();
    // Answers the requests under way, then closes every connection.
    void Stop();

  private:
    HttpFront front_;
};
