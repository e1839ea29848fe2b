#include "multicast_sender.h"

#include "socket_error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr unsigned char kLinkOnly = 1; // hops: the datagram never passes a router
constexpr unsigned char kLoopBack = 1; // this machine's own listeners hear it
constexpr int kWsaInvalidArgument = 10022;

in_addr Address(const std::string& dotted) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1)
        throw MulticastError(kWsaInvalidArgument);
    return address;
}

} // namespace

TMulticastSender::TMulticastSender(const TMulticastGroup& group)
    : groupAddress_(Address(group.group).s_addr), port_(group.port) {
    const in_addr local = Address(group.localAddress);
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        throw MulticastError(WinsockErrorFromErrno(errno));
    auto fail = [this] {
        const int err = errno;
        ::close(socket_);
        throw MulticastError(WinsockErrorFromErrno(err));
    };
    if (::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, &kLinkOnly, sizeof kLinkOnly) != 0 ||
        ::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_LOOP, &kLoopBack, sizeof kLoopBack) != 0)
        fail();
    if (local.s_addr == htonl(INADDR_ANY))
        return;
    // The interface of that address carries the datagrams, and the address
    // is their source: a receiver reaches our game there.
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr = local;
    if (::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) != 0 ||
        ::bind(socket_, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
        fail();
}

TMulticastSender::~TMulticastSender() {
    if (socket_ >= 0)
        ::close(socket_);
}

bool TMulticastSender::Send(std::string_view bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = groupAddress_;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    if (::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) < 0) {
        lastError_ = WinsockErrorFromErrno(errno);
        return false;
    }
    return true;
}
