#include "multicast_receiver.h"

#include "socket_error.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kWsaInvalidArgument = 10022;
constexpr int kOn = 1;
constexpr int kOff = 0;
// Datagrams read at one wake-up; the notifier wakes again for the rest, so
// a flood cannot hold the event loop.
constexpr int kDatagramsPerWake = 32;

in_addr Address(const std::string& dotted) {
    in_addr address{};
    if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1)
        throw MulticastError(kWsaInvalidArgument);
    return address;
}

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// A socket bound to the group's own address and port, so that it takes
// nothing sent to other groups or to this machine alone, and joined on the
// interface of the local address.
int JoinedSocket(const TMulticastGroup& group) {
    const in_addr groupAddress = Address(group.group);
    const in_addr local = Address(group.localAddress);
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw MulticastError(WinsockErrorFromErrno(errno));
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr = groupAddress;
    bound.sin_port = htons(static_cast<uint16_t>(group.port));
    ip_mreq membership{};
    membership.imr_multiaddr = groupAddress;
    membership.imr_interface = local;
    // Without IP_MULTICAST_ALL off, Linux would also hand this socket the
    // groups that other sockets of the machine joined.
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &kOn, sizeof kOn) != 0 ||
        ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_ALL, &kOff, sizeof kOff) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        ::setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        const int err = errno;
        ::close(s);
        throw MulticastError(WinsockErrorFromErrno(err));
    }
    return s;
}

} // namespace

TMulticastReceiver::TMulticastReceiver(const TMulticastGroup& group, std::size_t maxBytes,
                                       OnDatagram onDatagram)
    : socket_(JoinedSocket(group)), buffer_(maxBytes), onDatagram_(std::move(onDatagram)) {
    notifier_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { ReadWaiting(); });
}

TMulticastReceiver::~TMulticastReceiver() {
    notifier_.reset();
    ::close(socket_);
}

void TMulticastReceiver::ReadWaiting() {
    for (int i = 0; i < kDatagramsPerWake; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC gives a longer datagram's whole length: it is dropped.
        const ssize_t n = ::recvfrom(socket_, buffer_.data(), buffer_.size(), MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            return; // nothing more waits, or a read error: the next wake tries again
        if (static_cast<std::size_t>(n) > buffer_.size() || fromLength != sizeof from)
            continue;
        if (onDatagram_)
            onDatagram_(std::string_view(buffer_.data(), static_cast<std::size_t>(n)),
                        Dotted(from.sin_addr));
    }
}
