#include "scripted_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPollSliceMs = 20; // how often a wait looks at the stop flag
constexpr char kEndOfHead[] = "\r\n\r\n";
constexpr char kPortMark[] = "{port}";

int BoundLoopbackSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("test server: bind failed");
    return fd;
}

int LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

TScriptedServer::TScriptedServer(std::vector<TConnectionScript> connections) {
    FListener = BoundLoopbackSocket();
    if (listen(FListener, SOMAXCONN) != 0)
        throw std::runtime_error("test server: listen failed");
    FPort = LocalPort(FListener);
    FThread = std::thread(&TScriptedServer::Run, this, std::move(connections));
}

TScriptedServer::~TScriptedServer() {
    FStop = true;
    FThread.join();
    close(FListener);
}

std::vector<std::string> TScriptedServer::Requests() const {
    std::lock_guard lock(FMutex);
    return FRequests;
}

int TScriptedServer::ConnectionsAccepted() const {
    std::lock_guard lock(FMutex);
    return FAccepted;
}

void TScriptedServer::Run(std::vector<TConnectionScript> connections) {
    for (const TConnectionScript& steps : connections) {
        if (!WaitFor(FListener, POLLIN))
            return;
        const int fd = accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        {
            std::lock_guard lock(FMutex);
            ++FAccepted;
        }
        Serve(fd, steps);
        close(fd);
    }
}

void TScriptedServer::Serve(int fd, const TConnectionScript& steps) {
    std::string pending;
    std::string request;
    for (const TServerStep& step : steps) {
        if (!ReadRequest(fd, pending, request))
            return;
        Record(request);
        if (step.trickleMs > 0)
            Trickle(fd, WithPort(step.reply), step.trickleMs);
        else
            SendAll(fd, WithPort(step.reply));
        if (step.after == TAfterReply::Close)
            return;
        if (step.after == TAfterReply::Stall)
            break;
    }
    // Out of script: record whatever else comes, answer nothing, and wait
    // for the client to close.
    while (ReadRequest(fd, pending, request))
        Record(request);
    if (!pending.empty())
        Record(pending);
}

// Reads up to the empty line that ends a request's head; false when the
// client closed first (or the test ended).
bool TScriptedServer::ReadRequest(int fd, std::string& pending, std::string& request) {
    for (;;) {
        const size_t end = pending.find(kEndOfHead);
        if (end != std::string::npos) {
            request = pending.substr(0, end + 4);
            pending.erase(0, end + 4);
            return true;
        }
        if (!WaitFor(fd, POLLIN))
            return false;
        char chunk[4096];
        const ssize_t received = recv(fd, chunk, sizeof chunk, 0);
        if (received == 0 || (received < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (received > 0)
            pending.append(chunk, static_cast<size_t>(received));
    }
}

std::string TScriptedServer::WithPort(std::string reply) const {
    const std::string port = std::to_string(FPort);
    for (size_t at = reply.find(kPortMark); at != std::string::npos;
         at = reply.find(kPortMark, at + port.size()))
        reply.replace(at, std::strlen(kPortMark), port);
    return reply;
}

void TScriptedServer::SendAll(int fd, const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (sent > 0)
            at += static_cast<size_t>(sent);
        else if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return; // the client has gone
        else if (!WaitFor(fd, POLLOUT))
            return;
    }
}

void TScriptedServer::Trickle(int fd, const std::string& bytes, int pauseMs) {
    for (const char byte : bytes) {
        for (int waited = 0; waited < pauseMs && !FStop; waited += kPollSliceMs)
            poll(nullptr, 0, std::min(kPollSliceMs, pauseMs - waited));
        SendAll(fd, std::string(1, byte));
    }
}

bool TScriptedServer::WaitFor(int fd, short events) {
    while (!FStop) {
        pollfd entry{fd, events, 0};
        if (poll(&entry, 1, kPollSliceMs) > 0)
            return true;
    }
    return false;
}

void TScriptedServer::Record(std::string request) {
    std::lock_guard lock(FMutex);
    FRequests.push_back(std::move(request));
}

int UnusedPort() {
    const int fd = BoundLoopbackSocket();
    const int port = LocalPort(fd);
    close(fd);
    return port;
}
