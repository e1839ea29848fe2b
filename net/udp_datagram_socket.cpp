#include "udp_datagram_socket.h"

#include <QTimer>

namespace {

// Counts an event of the endpoint while it runs.
class Inside {
  public:
    explicit Inside(int& count) : count_(count) { ++count_; }
    ~Inside() { --count_; }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

  private:
    int& count_;
};

} // namespace

TUdpDatagramSocket::TUdpDatagramSocket(const std::string& localAddress, int port,
                                       TSocketEvents events)
    : shared_(std::make_shared<Shared>()), endpoint_(std::make_unique<TUDPEndpoint>()) {
    shared_->events = std::move(events);
    // The handlers hold what they use: the socket may be gone when they return.
    endpoint_->OnDataReceived = [shared = shared_](TUDPEndpoint& sender, int,
                                                   const std::string& fromIP, int sourcePort) {
        Inside inside(shared->inside);
        TMemoryStream datagram;
        sender.ReadStream(datagram);
        const auto received = shared->events.received;
        if (received)
            received(datagram.Bytes(), fromIP, sourcePort);
    };
    endpoint_->OnSendFailed = [shared = shared_](TUDPEndpoint&, const std::string& text) {
        Inside inside(shared->inside);
        const auto failed = shared->events.sendFailed;
        if (!failed)
            throw UDPSockError(text);
        failed(text);
    };
    Rebind(localAddress, port);
}

TUdpDatagramSocket::~TUdpDatagramSocket() {
    shared_->events = {};
    endpoint_->Close();
    if (shared_->inside == 0)
        return;
    // Released once the event that closed it has returned.
    std::shared_ptr<TUDPEndpoint> closed(std::move(endpoint_));
    QTimer::singleShot(0, [closed] {});
}

void TUdpDatagramSocket::SendTo(const std::string& address, int port, const std::string& bytes) {
    TMemoryStream datagram(bytes);
    endpoint_->setRemoteHost(address);
    endpoint_->setRemotePort(port);
    endpoint_->SendStream(datagram);
}

void TUdpDatagramSocket::Rebind(const std::string& localAddress, int port) {
    endpoint_->setLocalAddress(localAddress);
    endpoint_->setLocalPort(port);
    endpoint_->setRemotePort(port);
}
