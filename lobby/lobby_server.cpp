#include "lobby_server.h"

LobbyServer::LobbyServer(LobbyService& service, const ServerSettings& settings, Log log)
    : front_(
          settings, [&service](const LobbyRequest& request) { return service.Screen(request); },
          [&service](const LobbyRequest& request, HttpFront::Respond respond) {
              service.HandleScreened(request, std::move(respond));
          },
          std::move(log)) {}

LobbyServer::~LobbyServer() {
    Stop();
}

int LobbyServer::Start() {
    return front_.Start();
}

void LobbyServer::Stop() {
    front_.Stop();
}
