#include "tcp_connection.h"

#include "http_errors.h"
#include "http_text.h"
#include "socket_error.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kWsaInvalidArgument = 10022;
constexpr int kWsaAddressNotAvailable = 10049;
constexpr int kHighestPort = 65535;

[[noreturn]] void ThrowErrno(int err) {
    // A send to a connection the peer has reset reads as Windows reports it.
    throw ESocketError(WinsockErrorFromErrno(err == EPIPE ? ECONNRESET : err));
}

// Closes a socket unless it was handed on.
struct TSocketGuard {
    int fd;
    ~TSocketGuard() {
        if (fd >= 0)
            close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

in_addr ResolveHost(const std::string& host) {
    in_addr address{};
    if (SameText(host, "localhost")) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc == EAI_SYSTEM)
        ThrowErrno(errno);
    if (rc != 0)
        throw ESocketError(WinsockErrorFromResolver(rc));
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    return reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
}

sockaddr_in SocketAddress(in_addr address, int port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr = address;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    return socketAddress;
}

void BindLocal(int fd, const std::string& localAddress) {
    in_addr address{};
    if (inet_pton(AF_INET, localAddress.c_str(), &address) != 1)
        throw ESocketError(kWsaInvalidArgument);
    const sockaddr_in local = SocketAddress(address, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        ThrowErrno(errno);
}

// Waits until the socket is ready for `events`; false when the deadline
// passed first.  A readable cancelFd cancels the wait.
bool WaitFor(int fd, short events, TDeadline deadline, int cancelFd) {
    for (;;) {
        int waitMs = -1;
        if (deadline != TDeadline::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            waitMs = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        pollfd entries[] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        const int rc = poll(entries, cancelFd >= 0 ? 2 : 1, waitMs);
        if (rc > 0 && entries[1].revents != 0 && cancelFd >= 0)
            throw ERequestCancelled();
        if (rc > 0)
            return true;
        if (rc < 0 && errno != EINTR)
            ThrowErrno(errno);
    }
}

void WaitOrTimeOut(int fd, short events, TDeadline deadline, int cancelFd) {
    if (!WaitFor(fd, events, deadline, cancelFd))
        throw ESocketError(kWsaTimedOut);
}

void ConnectWithin(int fd, const sockaddr_in& remote, TDeadline deadline, int cancelFd) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0)
        return;
    if (errno != EINPROGRESS && errno != EINTR)
        ThrowErrno(errno);
    WaitOrTimeOut(fd, POLLOUT, deadline, cancelFd);
    int err = 0;
    socklen_t length = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) != 0)
        ThrowErrno(errno);
    if (err != 0)
        ThrowErrno(err);
}

} // namespace

TTcpConnection::TTcpConnection(const std::string& host, int port, const std::string& localAddress,
                               TDeadline deadline, int cancelFd)
    : FCancelFd(cancelFd) {
    if (port <= 0 || port > kHighestPort)
        throw ESocketError(kWsaAddressNotAvailable);
    const in_addr address = ResolveHost(host);
    TSocketGuard socket{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0)
        ThrowErrno(errno);
    if (!localAddress.empty())
        BindLocal(socket.fd, localAddress);
    ConnectWithin(socket.fd, SocketAddress(address, port), deadline, cancelFd);
    FSocket = socket.Release();
}

TTcpConnection::~TTcpConnection() {
    close(FSocket);
}

void TTcpConnection::Send(std::string_view bytes, TDeadline deadline) {
    while (!bytes.empty()) {
        const ssize_t sent = send(FSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitOrTimeOut(POLLOUT, deadline);
        else if (errno != EINTR)
            ThrowErrno(errno);
    }
}

size_t TTcpConnection::Receive(char* buffer, size_t size, TDeadline deadline) {
    for (;;) {
        const ssize_t received = recv(FSocket, buffer, size, 0);
        if (received >= 0)
            return static_cast<size_t>(received);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitOrTimeOut(POLLIN, deadline);
        else if (errno != EINTR)
            ThrowErrno(errno);
    }
}

void TTcpConnection::WaitOrTimeOut(short events, TDeadline deadline) const {
    ::WaitOrTimeOut(FSocket, events, deadline, FCancelFd);
}
