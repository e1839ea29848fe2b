#pragma once

#include "lobby_service.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class LimitedHttpServer;
namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// How the server treats connections: where it listens and how much it
// takes from any client.
struct ServerSettings {
    std::string address = "0.0.0.0";
    int port = 80; // 0: any free port
    std::size_t threads = 8;
    std::size_t maxConnections = 64;                  // served plus waiting for a thread
    std::chrono::milliseconds readTimeout{5000};      // for each read of a request
    std::chrono::milliseconds writeTimeout{5000};     // for each write of a reply
    std::chrono::milliseconds requestDeadline{10000}; // for the whole exchange
    std::size_t maxRequestBytes = 32768; // request line, header lines and body together
    std::size_t maxPayload = 8192;       // a form of three short fields
    std::size_t maxTargetLength = 2048;  // the game's longest request is a few hundred
};

// The lobby on HTTP: hands every request to the service and its reply back.
class LobbyServer {
  public:
    using Log = std::function<void(const std::string&)>;

    LobbyServer(LobbyService& service, ServerSettings settings, Log log = {});
    ~LobbyServer();
    LobbyServer(const LobbyServer&) = delete;
    LobbyServer& operator=(const LobbyServer&) = delete;

    // Binds and serves on a thread of its own; returns the port it listens
    // on. Throws when the address cannot be bound.
    int Start();
    void Stop();

  private:
    void Configure();
    void ConfigureLimits();
    void ConfigureHandlers();
    void Route(const httplib::Request& request, httplib::Response& response);
    int Bind();

    LobbyService& service_;
    ServerSettings settings_;
    Log log_;
    std::unique_ptr<LimitedHttpServer> http_;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};
};
