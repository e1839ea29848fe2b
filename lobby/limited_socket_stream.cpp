#include "limited_socket_stream.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

using Clock = std::chrono::steady_clock;

// The numeric address and port of one end of the connection.
void DescribeEnd(socket_t socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(socket, raw, &length) : getsockname(socket, raw, &length)) != 0)
        return;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

} // namespace

LimitedSocketStream::LimitedSocketStream(socket_t socket, const Limits& limits)
    : socket_(socket), bytesLeft_(limits.maxBytesIn), readTimeout_(limits.readTimeout),
      writeTimeout_(limits.writeTimeout), deadline_(Clock::now() + limits.deadline) {}

bool LimitedSocketStream::WaitFor(short events, std::chrono::milliseconds timeout) const {
    for (;;) {
        const auto untilDeadline =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        const auto wait = std::min(timeout, untilDeadline);
        if (wait.count() <= 0)
            return false;
        pollfd ready{socket_, events, 0};
        const int result = poll(&ready, 1, static_cast<int>(wait.count()));
        if (result > 0)
            return (ready.revents & (events | POLLHUP | POLLERR)) != 0;
        if (result == 0 || errno != EINTR)
            return false;
    }
}

bool LimitedSocketStream::is_readable() const {
    return WaitFor(POLLIN, readTimeout_);
}

bool LimitedSocketStream::is_writable() const {
    return WaitFor(POLLOUT, writeTimeout_);
}

ssize_t LimitedSocketStream::read(char* data, size_t size) {
    if (bytesLeft_ == 0 || !is_readable())
        return -1;
    ssize_t got;
    do
        got = recv(socket_, data, std::min(size, bytesLeft_), 0);
    while (got < 0 && errno == EINTR);
    if (got > 0)
        bytesLeft_ -= static_cast<std::size_t>(got);
    return got;
}

ssize_t LimitedSocketStream::write(const char* data, size_t size) {
    if (!is_writable())
        return -1;
    ssize_t sent;
    do
        sent = send(socket_, data, size, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

void LimitedSocketStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    DescribeEnd(socket_, true, ip, port);
}

void LimitedSocketStream::get_local_ip_and_port(std::string& ip, int& port) const {
    DescribeEnd(socket_, false, ip, port);
}

socket_t LimitedSocketStream::socket() const {
    return socket_;
}
