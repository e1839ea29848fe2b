#include "udp_endpoint.h"

#include "host_lookup.h"
#include "socket_error.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kMaxPort = 65535;
constexpr int kWsaInvalidArgument = 10022;
constexpr int kWsaMessageTooLong = 10040;

// The sender as the players have always seen it: "%d.%d.%d.%d".
std::string FormatAddress(in_addr address) {
    const auto* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return text;
}

bool ValidPort(int port) {
    return port >= 0 && port <= kMaxPort;
}

} // namespace

TUDPEndpoint::TUDPEndpoint() {
    ReportStatus(kStatusCreate, kTextCreate);
    OpenSocket();
}

TUDPEndpoint::~TUDPEndpoint() {
    CancelLookup();
    CloseSocket();
}

void TUDPEndpoint::setLocalPort(int port) {
    CloseSocket();
    OpenSocket();
    localPort_ = port;
    Bind();
}

void TUDPEndpoint::OpenSocket() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        CheckError();
}

void TUDPEndpoint::CloseSocket() {
    if (notifier_) {
        notifier_->setEnabled(false);
        oldNotifiers_.push_back(std::move(notifier_));
    }
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
}

void TUDPEndpoint::Bind() {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(localPort_));
    if (!ValidPort(localPort_) ||
        ::inet_pton(AF_INET, localAddress_.c_str(), &local.sin_addr) != 1) {
        lastError_ = kWsaInvalidArgument;
    } else if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        lastError_ = WinsockErrorFromErrno(errno);
    }
    // Notification is asked for whether or not the bind worked, as it always
    // was: an unbound socket simply never reports anything.
    notifier_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { DatagramReady(); });
}

void TUDPEndpoint::Close() {
    CancelLookup();
    CloseSocket();
}

// One datagram per notification; the notifier fires again while more wait.
// A read that fails, or a datagram too long for the receive area, is
// skipped: it never reaches OnDataReceived.
void TUDPEndpoint::DatagramReady() {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = ::recvfrom(socket_, received_.data(), received_.size(), MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
        lastError_ = WinsockErrorFromErrno(errno);
        return;
    }
    if (static_cast<std::size_t>(n) > received_.size()) {
        lastError_ = kWsaMessageTooLong;
        return;
    }
    receivedCount_ = static_cast<std::size_t>(n);
    if (OnDataReceived)
        OnDataReceived(*this, static_cast<int>(n), FormatAddress(from.sin_addr),
                       ntohs(from.sin_port));
}

void TUDPEndpoint::ReadStream(TMemoryStream& stream) const {
    stream.Write(std::string_view(received_.data(), receivedCount_));
    stream.Seek(0);
}

void TUDPEndpoint::SendStream(TMemoryStream& stream) {
    if (stream.Size() == 0) {
        bool handled = false;
        if (OnStreamInvalid)
            OnStreamInvalid(handled, stream);
        if (!handled || stream.Size() == 0)
            throw std::runtime_error(kStreamInvalidText);
    }
    // Cutting a longer stream to the send area would put a broken message
    // on the wire; refuse it instead.
    if (stream.Size() > kMaxDatagramBytes)
        throw std::length_error(kMessageTooLongText);

    in_addr dotted{};
    if (::inet_pton(AF_INET, remoteHost_.c_str(), &dotted) == 1) {
        SendResolved(stream.Bytes(), dotted.s_addr, remotePort_);
        return;
    }
    if (remoteHost_.size() > kMaxHostNameLength) {
        lastError_ = kWsaHostNotFound;
        throw UDPSockError(kLookupCancelledText);
    }
    LookUp(stream.Bytes(), remotePort_, false);
}

void TUDPEndpoint::SendResolved(const std::string& bytes, uint32_t address, int port) {
    if (address == 0)
        throw UDPSockError(kNullAddressText);
    ReportStatus(kStatusSend, kTextSend);
    // Whether the network takes it is for the acknowledgements to tell.
    if (!ValidPort(port)) {
        lastError_ = kWsaInvalidArgument;
    } else if (seam_) {
        seam_->Pass(bytes,
                    [this, address, port](const std::string& b) { PutOnWire(b, address, port); });
    } else {
        PutOnWire(bytes, address, port);
    }
    if (OnDataSend)
        OnDataSend(*this);
}

// Looks RemoteHost up as it is now; the datagram goes when the answer is in.
void TUDPEndpoint::LookUp(std::string bytes, int port, bool secondTry) {
    const auto send =
        named_.insert(named_.end(), TNamedSend{std::move(bytes), port, secondTry, {}});
    send->lookup = std::make_unique<THostLookup>(
        remoteHost_, [this, send](const THostLookup::Answer& answer) { LookedUp(send, answer); });
}

// A name that does not resolve is tried once more when OnInvalidHost says
// so (with RemoteHost as the handler leaves it); a second failure is final.
void TUDPEndpoint::LookedUp(std::list<TNamedSend>::iterator send,
                            const THostLookup::Answer& answer) {
    const std::string bytes = std::move(send->bytes);
    const int port = send->port;
    const bool secondTry = send->secondTry;
    named_.erase(send);
    if (!answer.found) {
        lastError_ = answer.error;
        bool handled = false;
        if (!secondTry && OnInvalidHost)
            OnInvalidHost(handled);
        if (handled)
            LookUp(bytes, port, true);
        else
            SendFailed(kLookupCancelledText);
        return;
    }
    try {
        SendResolved(bytes, answer.address, port);
    } catch (const UDPSockError& e) {
        SendFailed(e.what());
    }
}

void TUDPEndpoint::SendFailed(const std::string& text) {
    if (!OnSendFailed)
        throw UDPSockError(text);
    OnSendFailed(*this, text);
}

void TUDPEndpoint::PutOnWire(const std::string& bytes, uint32_t address, int port) {
    if (socket_ < 0)
        return; // closed while the seam held the datagram
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    if (::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&remote),
                 sizeof remote) < 0)
        lastError_ = WinsockErrorFromErrno(errno);
    if (OnWire)
        OnWire(bytes, FormatAddress(remote.sin_addr), port);
}

void TUDPEndpoint::setFaults(const TFaultSettings& settings) {
    if (settings.Active())
        seam_ = std::make_unique<TFaultSeam>(settings);
    else
        seam_.reset();
}

void TUDPEndpoint::CancelLookup() {
    named_.clear();
}

void TUDPEndpoint::ReportStatus(int level, const std::string& text) {
    if (reportLevel_ < level)
        return;
    statusText_ = text;
    if (OnStatus)
        OnStatus(*this, text);
}

void TUDPEndpoint::CheckError() {
    const int err = errno;
    ReportStatus(kStatusCheckError, kTextCheckError);
    lastError_ = WinsockErrorFromErrno(err);
    if (lastError_ == kWsaWouldBlock)
        return;
    const std::string text = kUnknownErrorText + std::to_string(lastError_);
    ReportStatus(kStatusErrorText, kTextErrorLookup + text);
    throw UDPSockError(text);
}
