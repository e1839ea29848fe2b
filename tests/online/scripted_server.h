// A TCP server on 127.0.0.1 (ephemeral port) for the HTTP client's tests.
// It plays a script: for each connection it accepts, one step per request
// (read the request up to its empty line, record it, answer canned bytes),
// then what the step says: keep the connection, close it, or stall until
// the client goes away.  A step may trickle its reply, one byte at a time
// with a pause before each.  "{port}" in a reply reads as the server's port.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class TAfterReply { KeepOpen, Close, Stall };

struct TServerStep {
    std::string reply;
    TAfterReply after = TAfterReply::Close;
    int trickleMs = 0; // pause before each byte of the reply
};

using TConnectionScript = std::vector<TServerStep>;

class TScriptedServer {
  public:
    explicit TScriptedServer(std::vector<TConnectionScript> connections);
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer&) = delete;
    TScriptedServer& operator=(const TScriptedServer&) = delete;

    int Port() const { return FPort; }
    // Every request received, in order, over all connections; requests the
    // script had no step for are recorded too.
    std::vector<std::string> Requests() const;
    int ConnectionsAccepted() const;

  private:
    void Run(std::vector<TConnectionScript> connections);
    void Serve(int fd, const TConnectionScript& steps);
    bool ReadRequest(int fd, std::string& pending, std::string& request);
    std::string WithPort(std::string reply) const;
    void SendAll(int fd, const std::string& bytes);
    void Trickle(int fd, const std::string& bytes, int pauseMs);
    bool WaitFor(int fd, short events);
    void Record(std::string request);

    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    mutable std::mutex FMutex;
    std::vector<std::string> FRequests;
    int FAccepted = 0;
    std::thread FThread;
};

// A loopback port on which nothing listens.
int UnusedPort();
