#include "net_test_support.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>

std::vector<std::string>& EscapedErrors() {
    static std::vector<std::string> errors;
    return errors;
}

namespace {

constexpr int kPollInterval = 5; // ms

} // namespace

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
    if (cond())
        return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cond() || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start(kPollInterval);
    loop.exec();
    return cond();
}

void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string Hex(std::string_view text) {
    std::string bytes;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        if (c == ' ')
            continue;
        value = value * 16 + static_cast<unsigned>(std::stoi(std::string(1, c), nullptr, 16));
        if (++digits == 2) {
            bytes.push_back(static_cast<char>(value));
            value = 0;
            digits = 0;
        }
    }
    return bytes;
}

std::string ToHex(std::string_view bytes) {
    std::string text;
    char part[4];
    for (unsigned char b : bytes) {
        std::snprintf(part, sizeof part, text.empty() ? "%02X" : " %02X", b);
        text += part;
    }
    return text;
}

RawPeer::RawPeer(const std::string& address, int port) {
    endpoint.setLocalAddress(address);
    endpoint.setLocalPort(port);
    endpoint.OnDataReceived = [this](TUDPEndpoint& sender, int, const std::string&, int) {
        TMemoryStream datagram;
        sender.ReadStream(datagram);
        received.push_back(datagram.Bytes());
    };
}

void RawPeer::SendTo(const std::string& bytes, const std::string& address, int port) {
    TMemoryStream datagram(bytes);
    endpoint.setRemoteHost(address);
    endpoint.setRemotePort(port);
    endpoint.SendStream(datagram);
}

MemoryPeer::MemoryPeer(TMemoryNetwork& network, const std::string& address, int port)
    : address_(address) {
    TSocketEvents events;
    events.received = [this](std::string_view bytes, const std::string&, int) {
        received.emplace_back(bytes);
    };
    socket_ = network.OpenSocket(address, port, std::move(events));
}

void MemoryPeer::SendTo(const std::string& bytes, const std::string& address, int port) {
    socket_->SendTo(address, port, bytes);
}

std::string MemoryAddress(int n) {
    return "192.0.2." + std::to_string(n);
}

namespace {

std::string NameOf(const TpContact& contact) {
    return contact ? contact->Name : "-";
}

} // namespace

Member::Member(const std::string& name, const std::string& address, int maxConnections) {
    Start(name, address, maxConnections);
}

Member::Member(TCommEnvironment& environment, const std::string& name, const std::string& address,
               int maxConnections)
    : comm(environment) {
    Start(name, address, maxConnections);
}

void Member::Start(const std::string& name, const std::string& address, int maxConnections) {
    comm.setClientName(name);
    comm.setMaxConnections(maxConnections);
    comm.setLocalAddress(address);
    comm.setPort(kPeerPort);
    comm.setTimeout(kTestTimeout);
    auto note = [this](const std::string& what) { events.push_back(what); };
    comm.OnGotAck = [note](const TQMsg& m, const TpContact& c) {
        note("ack " + std::to_string(m.MsgType) + " " + NameOf(c));
    };
    comm.OnGotMsg = [note](const TQMsg& m, const TpContact& c) {
        note("msg " + std::to_string(m.MsgType) + " " + NameOf(c));
    };
    comm.OnConnectionFailed = [note](const TpContact& c, int reason) {
        note("failed " + NameOf(c) + " " + std::to_string(reason));
    };
    comm.OnConnectionSuccess = [note] { note("success"); };
    comm.OnConnected = [note] { note("connected"); };
    comm.OnNewClient = [note](const TQMsg&, const TpContact& c) { note("newclient " + NameOf(c)); };
    comm.OnTimeout = [note](const TQMsg& m, const TpContact& c) {
        note("timeout " + std::to_string(m.MsgType) + " " + NameOf(c));
    };
    comm.OnClientDisconnection = [note](const TpContact& c, int reason) {
        note("disconnect " + NameOf(c) + " " + std::to_string(reason));
    };
    comm.OnError = [note](const std::string& text) { note("error " + text); };
    comm.setEnabled(true);
}

std::vector<std::string> Member::EventsWithout(const std::string& prefix) const {
    std::vector<std::string> kept;
    std::copy_if(events.begin(), events.end(), std::back_inserter(kept),
                 [&](const std::string& e) { return e.rfind(prefix, 0) != 0; });
    return kept;
}

int Member::Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

std::vector<std::string> Table(const TQComm& comm) {
    std::vector<std::string> table;
    for (int i = 0; i < comm.ContactCount(); ++i)
        table.push_back(comm.Contacts(i)->Name + "@" + comm.Contacts(i)->Address);
    return table;
}

std::string Datagram(int kind, const std::vector<std::variant<int, std::string>>& items) {
    TQMsg msg;
    msg.MsgType = kind;
    for (const auto& item : items) {
        if (std::holds_alternative<int>(item))
            msg.AddInt(std::get<int>(item));
        else
            msg.AddStr(std::get<std::string>(item));
    }
    return msg.Encode();
}

std::string Plain(const std::string& datagram, const TQComm& from, const TQComm& to) {
    TLinkTrailer trailer;
    if (!TLinkSeal::LooksSealed(datagram, trailer))
        return datagram;
    std::optional<TLinkSeal> seal =
        TLinkSeal::Agree(to.KeyPair(), to.Session(), from.KeyPair().publicKey, trailer.session);
    std::string plain;
    if (!seal || seal->Open(datagram, plain) != TLinkSeal::TOpened::Fresh)
        return "";
    return plain;
}

HandPeer::HandPeer(uint32_t session, unsigned char seed) : session(session) {
    std::array<unsigned char, kLinkKeyBytes> bytes{};
    bytes.fill(seed);
    pair = TLinkKeyPair::FromSeed(bytes);
}

std::string HandPeer::Request(const std::string& name, const std::string& version) const {
    TQMsg request;
    request.MsgType = mtConnectRequest;
    request.AddStr(name);
    request.AddInt(kPeerPort);
    request.AddStr(version);
    request.AddInt(0);
    AddProof(request, {pair.publicKey, ""});
    request.AddStr(cookie);
    return request.EncodeWithTrailer(EncodeTrailer({kTrailerOffer, session}));
}

bool HandPeer::TakeCookie(const std::string& answer) {
    TQMsg msg;
    msg.AppendReceived(answer);
    TLinkTrailer trailer;
    if (msg.Decode(false) != 0 || msg.MsgType != mtConnectReply || msg.IntAt(0) != kReplyCookie ||
        !DecodeTrailer(msg.StrAt(msg.ItemCount() - 1), trailer))
        return false;
    const std::optional<TLinkProof> host = ReadProof(msg, 3);
    if (!host)
        return false;
    cookie = msg.StrAt(5);
    seal = TLinkSeal::Agree(pair, session, host->key, trailer.session);
    return seal.has_value();
}

std::string HandPeer::Seal(const std::string& plain) {
    return seal->Seal(plain);
}

std::string HandPeer::Open(const std::string& sealed) {
    std::string plain;
    if (!seal || seal->Open(sealed, plain) != TLinkSeal::TOpened::Fresh)
        return "";
    return plain;
}
