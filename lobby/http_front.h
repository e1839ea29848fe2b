#pragma once

#include "lobby_request.h"
#include "server_settings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The lobby's HTTP/1.1 side. One thread runs every connection as events
// (Boost.Asio), reading requests with Boost.Beast's parser; a waiting or
// trickling client costs a socket and a few kilobytes, never a thread.
// Complete requests go to a few worker threads that may block on the
// database. Limits: a deadline for each request counted from accept (or
// from the previous reply on a kept-alive connection), connections in all
// and per address, requests per second per address, requests waiting for a
// worker; what goes over is answered 503 or 429 with Retry-After at once.
// Replies are whole bodies: Range is not handled.
class HttpFront {
  public:
    // Called exactly once per request, from any thread.
    using Respond = std::function<void(LobbyReply)>;
    // Runs on the event thread, so it must be quick and never block: the
    // answer to a request that is turned away at once, or nullopt.
    using Screen = std::function<std::optional<LobbyReply>(const LobbyRequest&)>;
    // Runs on a worker thread, for what the screen let through.
    using Handler = std::function<void(const LobbyRequest&, Respond)>;
    using Log = std::function<void(const std::string&)>;

    HttpFront(const ServerSettings& settings, Screen screen, Handler handler, Log log);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Binds and serves on threads of its own; returns the port it listens
    // on. Throws when the address cannot be bound.
    int Start();
    // Stops accepting, lets the requests being answered finish, and closes
    // every connection.
    void Stop();

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};
