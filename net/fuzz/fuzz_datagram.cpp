// Feeds arbitrary datagrams from a few senders, interleaved with ticks of
// the retry timer, through the connection manager's decoding and
// processing.  No socket is opened: what the component sends goes nowhere.
//
// Input: a sequence of records.  A control byte with the top bit set is
// one tick: of the retry timer when its low bit is 0, of the extension's
// timer when it is 1.  Otherwise its low two bits choose the sender, bit 2
// a wrong source port, bit 3 sealing with the linked peer's seal (when
// the datagram ends with a trailer item), and two little-endian length
// bytes and that many bytes of datagram follow (cut at the end of the
// input).
//
// Sender 10.0.0.3 was admitted, through the host's cookie, as a program of
// the reliable delivery extension with session kFuzzSession, so datagrams
// sealed as its own with that session in their trailer reach the numbered
// delivery; 10.0.0.1 is the host this component asked to join, so its
// replies reach the joiner's side.
#include "link_seal.h"
#include "qcomm.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kPort = 3237;
constexpr uint8_t kTickFlag = 0x80;
constexpr uint8_t kSenderBits = 0x03;
constexpr uint8_t kWrongPortFlag = 0x04;
constexpr uint8_t kSealFlag = 0x08;
constexpr uint8_t kLinkTickFlag = 0x01;
constexpr uint32_t kFuzzSession = 0x01020304;
const std::string kSenders[] = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};

// What the component sends on a path.
struct TCapture : TDatagramPath {
    void Send(const std::string& bytes) override { sent.push_back(bytes); }
    std::vector<std::string> sent;
};

const TLinkKeyPair& Peer() {
    static const TLinkKeyPair pair = TLinkKeyPair::FromSeed({7});
    return pair;
}

// The cookie in the last cookie answer sent, if any.
std::string CookieIn(const std::vector<std::string>& sent) {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
        TQMsg answer;
        answer.AppendReceived(*it);
        try {
            if (answer.Decode(false) == 0 && answer.MsgType == mtConnectReply &&
                answer.IntAt(0) == kReplyCookie)
                return answer.StrAt(5);
        } catch (const std::exception&) {
        }
    }
    return "";
}

// The linked peer's seal, agreed once it is admitted.
std::optional<TLinkSeal> seal;

// A host that also has a request of its own pending, with handlers that
// answer the way the game does, so that processing reaches its sending paths.
void Prepare(TQComm& comm) {
    comm.setPort(kPort);
    comm.setClientName("Fuzz");
    comm.setOwnVersion("1.4.0.5");
    comm.setMaxConnections(2);
    comm.setPacketRetries(2);
    comm.AddContact("Known", kSenders[1], 0);
    comm.Connect(kSenders[0]);
    comm.OnNewClient = [&comm](const TQMsg&, const TpContact&) {
        comm.NewMsg(3).AddInt(1);
        comm.SendMsg(smSender, true);
    };
    comm.OnGotMsg = [&comm](const TQMsg& msg, const TpContact&) {
        TQMsg& echo = comm.NewMsg(msg.MsgType);
        echo.AddStr(msg.StrAt(0).substr(0, echo.StrRoom()));
        comm.SendMsg(smAll, true);
    };
    comm.OnConnectionFailed = [&comm](const TpContact&, int) { comm.Disconnect(false); };
    comm.OnClientDisconnection = [&comm](const TpContact& contact, int) {
        if (contact)
            comm.RemoveContact(contact);
    };
    // The linked peer asks twice: the host's cookie comes back on a path
    // of its own, since no socket is open.
    const int linked = comm.AddContact("Linked", kSenders[2], 0);
    const auto path = std::make_shared<TCapture>();
    comm.SetPath(comm.Contacts(linked), path);
    TQMsg request;
    request.MsgType = mtConnectRequest;
    request.AddStr("Linked");
    request.AddInt(kPort);
    request.AddStr("1.4.0.5");
    request.AddInt(0);
    AddProof(request, {Peer().publicKey, ""});
    TLinkTrailer offer;
    offer.flags = kTrailerOffer;
    offer.session = kFuzzSession;
    for (int ask = 0; ask < 2; ++ask) {
        TQMsg withCookie = request;
        withCookie.AddStr(CookieIn(path->sent));
        comm.HandleDatagram(withCookie.EncodeWithTrailer(EncodeTrailer(offer)), kSenders[2], kPort);
    }
    seal = TLinkSeal::Agree(Peer(), kFuzzSession, comm.KeyPair().publicKey, comm.Session());
}

// Whether a datagram ends with a plain trailer item, which Seal takes.
bool EndsWithTrailer(const std::string& datagram) {
    constexpr std::size_t kItem = kStringItemOverhead + kTrailerBytes;
    if (datagram.size() < kHeaderBytes + kItem ||
        GetLittleEndian(datagram, kLengthFieldBytes) != datagram.size())
        return false;
    const std::string_view item = std::string_view(datagram).substr(datagram.size() - kItem);
    TLinkTrailer trailer;
    return static_cast<unsigned char>(item[0]) == ikString &&
           GetLittleEndian(item.substr(1), kStringLengthBytes) == kTrailerBytes &&
           DecodeTrailer(item.substr(kStringItemOverhead), trailer);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQComm comm;
    Prepare(comm);
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        if (control & kTickFlag) {
            if (control & kLinkTickFlag)
                comm.LinkTick();
            else
                comm.TimerTick();
            continue;
        }
        size_t length = 0;
        if (at + 2 <= size)
            length = data[at] | size_t{data[at + 1]} << 8;
        at = std::min(size, at + 2);
        length = std::min(length, size - at);
        const std::string datagram(reinterpret_cast<const char*>(data + at), length);
        at += length;
        const bool sealIt = (control & kSealFlag) && seal && EndsWithTrailer(datagram);
        comm.HandleDatagram(sealIt ? seal->Seal(datagram) : datagram,
                            kSenders[control & kSenderBits],
                            (control & kWrongPortFlag) ? kPort + 1 : kPort);
    }
    return 0;
}
