// A third party on a game's network segment that forges datagrams with a
// member's source address: it captures what that member sends to another
// (the segment floods it everything) and sends, every few milliseconds,
// one forgery after another to the other member's port: a move without
// the trailer, a connect request of another session with a key of its own,
// a datagram that looks sealed under the member's session, a replay of a
// captured datagram, a captured datagram altered, and an acknowledgement
// that lies.  Needs root (raw sockets).
//
//   forger_probe --as 10.27.1.3 --to 10.27.1.2 --port 3237 --seconds 30 --every 20
//
// --port 0 takes any ports: the forgeries go between the ports of the last
// datagram captured (a path's ports, which its ends chose), and none goes
// before one is captured.  Run on a router, it stands on the path: it
// captures what comes in for the router's outside address (--to) and
// delivers its forgeries to the machine behind (--deliver), as the router
// forwards what comes in on a mapping.
//
// Prints "capturing", then at the end "forged N captured M".
#include "link_seal.h"
#include "qmsg.h"
#include "wire_format.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kMaxCaptured = 256;
constexpr int kForgeries = 6;

struct TOptions {
    std::string as, to, deliver; // deliver: where forgeries go, `to` unless given
    int port = 3237;
    int seconds = 30;
    int everyMs = 20;
};

bool Read(int argc, char** argv, TOptions& o) {
    std::map<std::string, std::string> given;
    for (int i = 1; i + 1 < argc; i += 2)
        given[argv[i]] = argv[i + 1];
    if (!given.contains("--as") || !given.contains("--to"))
        return false;
    o.as = given["--as"];
    o.to = given["--to"];
    o.deliver = given.contains("--deliver") ? given["--deliver"] : o.to;
    if (given.contains("--port"))
        o.port = std::atoi(given["--port"].c_str());
    if (given.contains("--seconds"))
        o.seconds = std::atoi(given["--seconds"].c_str());
    if (given.contains("--every"))
        o.everyMs = std::atoi(given["--every"].c_str());
    return true;
}

std::string Datagram(int kind, const std::vector<int>& ints) {
    TQMsg msg;
    msg.MsgType = kind;
    for (int value : ints)
        msg.AddInt(value);
    return msg.Encode();
}

// A message with the trailer item, unsealed.
std::string WithTrailer(TQMsg msg, const TLinkTrailer& trailer) {
    return msg.EncodeWithTrailer(EncodeTrailer(trailer));
}

class TForger {
  public:
    explicit TForger(const TOptions& o)
        : o_(o), random_(std::random_device{}()), fromPort_(o.port), toPort_(o.port) {}

    void Open() {
        send_ = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
        capture_ = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
        if (send_ < 0 || capture_ < 0) {
            std::perror("socket");
            std::exit(1);
        }
    }

    // Datagrams from `as` to `to` on the port, as the segment floods them.
    void Capture() {
        char buffer[65536];
        for (;;) {
            pollfd p{capture_, POLLIN, 0};
            if (poll(&p, 1, 0) <= 0)
                return;
            const ssize_t n = recv(capture_, buffer, sizeof buffer, 0);
            if (n < static_cast<ssize_t>(sizeof(iphdr) + sizeof(udphdr)))
                continue;
            const auto* ip = reinterpret_cast<const iphdr*>(buffer);
            const std::size_t ipBytes = ip->ihl * 4u;
            if (ip->protocol != IPPROTO_UDP || ip->saddr != Address(o_.as) ||
                ip->daddr != Address(o_.to) || static_cast<std::size_t>(n) < ipBytes + 8)
                continue;
            const auto* udp = reinterpret_cast<const udphdr*>(buffer + ipBytes);
            if (o_.port != 0 && (ntohs(udp->dest) != o_.port || ntohs(udp->source) != o_.port))
                continue;
            fromPort_ = ntohs(udp->source);
            toPort_ = ntohs(udp->dest);
            const std::string payload(buffer + ipBytes + 8, n - ipBytes - 8);
            if (captured_.size() == kMaxCaptured)
                captured_.erase(captured_.begin());
            captured_.push_back(payload);
            ++capturedCount_;
        }
    }

    void ForgeOne() {
        const int what = forged_ % kForgeries;
        std::string bytes;
        TLinkTrailer seen;
        const bool known = LastSealed(seen);
        switch (what) {
        case 0: // a move of the written protocol
            bytes = Datagram(2, {static_cast<int>(random_() % 100), 3});
            break;
        case 1: { // a request of another session, with a key of its own
            TQMsg request;
            request.MsgType = mtConnectRequest;
            request.AddStr("Eve");
            request.AddInt(o_.port);
            request.AddStr("1.0");
            request.AddInt(0);
            request.AddStr(std::string(kLinkKeyBytes, 'e'));
            request.AddStr("");
            request.AddStr("");
            bytes = WithTrailer(request, {kTrailerOffer, static_cast<uint32_t>(random_() | 1)});
            break;
        }
        case 2: // looks sealed, under the member's session: the tag cannot hold
            if (!known)
                break;
            bytes = Garbled(WithTrailer(Move(), {kTrailerSequenced, seen.session, 1}));
            break;
        case 3: // a replay
            if (!captured_.empty())
                bytes = captured_[random_() % captured_.size()];
            break;
        case 4: // altered, under a number not taken yet
            if (!captured_.empty()) {
                bytes = captured_.back();
                if (bytes.size() > kHeaderBytes + kSealTagBytes + kSealNumberBytes) {
                    bytes[kHeaderBytes] ^= 0x01;
                    bytes[bytes.size() - kSealTagBytes - 1] = 0x7F;
                }
            }
            break;
        case 5: // an acknowledgement that lies, unsealed
            if (known) {
                TQMsg ack;
                ack.MsgType = mtAck;
                bytes = WithTrailer(ack, {0, seen.session, 0, seen.ackNext + 1000, 0});
            }
            break;
        }
        ++forged_;
        if (!bytes.empty())
            Send(bytes);
    }

    int Forged() const { return sent_; }
    long long Captured() const { return capturedCount_; }

  private:
    static in_addr_t Address(const std::string& dotted) { return inet_addr(dotted.c_str()); }

    static TQMsg Move() {
        TQMsg move;
        move.MsgType = 2;
        move.AddInt(7);
        move.AddInt(3);
        return move;
    }

    // A plain datagram of the extension grown into a sealed one's shape
    // with a number not taken and a tag of noise.
    std::string Garbled(const std::string& plain) {
        const std::size_t itemsEnd = plain.size() - kStringItemOverhead - kTrailerBytes;
        std::string out = plain.substr(0, itemsEnd);
        out.push_back(static_cast<char>(ikString));
        PutLittleEndian(out, kSealedTrailerBytes, kStringLengthBytes);
        std::string trailer = plain.substr(itemsEnd + kStringItemOverhead);
        trailer[kTrailerMagic.size()] = static_cast<char>(trailer[kTrailerMagic.size()] | kTrailerSealed);
        out += trailer;
        // The number: its high half 0x7F, far above any the member used.
        PutLittleEndian(out, static_cast<uint32_t>(forged_), 4);
        PutLittleEndian(out, 0x7F, 4);
        for (std::size_t i = 0; i < kSealTagBytes; ++i)
            out.push_back(static_cast<char>(random_()));
        std::string length;
        PutLittleEndian(length, static_cast<uint32_t>(out.size()), kLengthFieldBytes);
        out.replace(0, kLengthFieldBytes, length);
        return out;
    }

    bool LastSealed(TLinkTrailer& trailer) const {
        for (auto it = captured_.rbegin(); it != captured_.rend(); ++it)
            if (TLinkSeal::LooksSealed(*it, trailer))
                return true;
        return false;
    }

    void Send(const std::string& payload) {
        if (fromPort_ == 0)
            return; // no ports to forge between yet
        std::string packet(sizeof(iphdr) + sizeof(udphdr) + payload.size(), '\0');
        auto* ip = reinterpret_cast<iphdr*>(packet.data());
        ip->version = 4;
        ip->ihl = 5;
        ip->ttl = 64;
        ip->protocol = IPPROTO_UDP;
        ip->saddr = Address(o_.as);
        ip->daddr = Address(o_.deliver);
        ip->tot_len = htons(static_cast<uint16_t>(packet.size()));
        auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
        udp->source = htons(static_cast<uint16_t>(fromPort_));
        udp->dest = htons(static_cast<uint16_t>(toPort_));
        udp->len = htons(static_cast<uint16_t>(sizeof(udphdr) + payload.size()));
        udp->check = 0; // none: allowed in IPv4
        std::memcpy(packet.data() + sizeof(iphdr) + sizeof(udphdr), payload.data(),
                    payload.size());
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ip->daddr;
        if (sendto(send_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) == static_cast<ssize_t>(packet.size()))
            ++sent_;
    }

    TOptions o_;
    std::mt19937 random_;
    int send_ = -1, capture_ = -1;
    int fromPort_, toPort_; // 0: not learnt yet
    std::vector<std::string> captured_;
    long long capturedCount_ = 0;
    int forged_ = 0, sent_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!Read(argc, argv, options)) {
        std::cerr << "usage: forger_probe --as A --to B [--deliver C] [--port P] [--seconds S] "
                     "[--every MS]\n";
        return 2;
    }
    TForger forger(options);
    forger.Open();
    std::cout << "capturing" << std::endl;
    const TClock::time_point end = TClock::now() + std::chrono::seconds(options.seconds);
    TClock::time_point next = TClock::now();
    while (TClock::now() < end) {
        forger.Capture();
        if (TClock::now() >= next) {
            forger.ForgeOne();
            next += std::chrono::milliseconds(options.everyMs);
        }
        usleep(1000);
    }
    std::cout << "forged " << forger.Forged() << " captured " << forger.Captured() << std::endl;
    return 0;
}
