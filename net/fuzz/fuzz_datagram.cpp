// Feeds arbitrary datagrams from a few senders, interleaved with ticks of
// the retry timer, through the connection manager's decoding and
// processing.  No socket is opened: what the component sends goes nowhere.
//
// Input: a sequence of records.  A control byte with the top bit set is
// one tick: of the retry timer when its low bit is 0, of the extension's
// timer when it is 1.  Otherwise its low two bits choose the sender, bit 2
// a wrong source port, and two little-endian length bytes and that many
// bytes of datagram follow (cut at the end of the input).
//
// Sender 10.0.0.3 was admitted as a program of the reliable delivery
// extension with session kFuzzSession, so datagrams from it with that
// session in their trailer reach the numbered delivery; 10.0.0.1 is the
// host this component asked to join, so its replies reach the joiner's side.
#include "qcomm.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

constexpr int kPort = 3237;
constexpr uint8_t kTickFlag = 0x80;
constexpr uint8_t kSenderBits = 0x03;
constexpr uint8_t kWrongPortFlag = 0x04;
constexpr uint8_t kLinkTickFlag = 0x01;
constexpr uint32_t kFuzzSession = 0x01020304;
const std::string kSenders[] = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};

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
    TQMsg request;
    request.MsgType = mtConnectRequest;
    request.AddStr("Linked");
    request.AddInt(kPort);
    request.AddStr("1.4.0.5");
    request.AddInt(0);
    TLinkTrailer offer;
    offer.flags = kTrailerOffer;
    offer.session = kFuzzSession;
    comm.HandleDatagram(request.EncodeWithTrailer(EncodeTrailer(offer)), kSenders[2], kPort);
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
        comm.HandleDatagram(datagram, kSenders[control & kSenderBits],
                            (control & kWrongPortFlag) ? kPort + 1 : kPort);
    }
    return 0;
}
