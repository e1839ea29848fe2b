// The sealed links of the extension: the host's cookie before anything is
// kept, the keys a restarted program may take its link back with, and the
// lobby tickets that bind a key to a player's name.
#include "net_test_support.h"
#include "qcomm.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using Events = std::vector<std::string>;
constexpr int kMove = 5;

TLinkKeyPair Pair(unsigned char seed) {
    std::array<unsigned char, kLinkKeyBytes> bytes{};
    bytes.fill(seed);
    return TLinkKeyPair::FromSeed(bytes);
}

// A verifier as a lobby would have it, with tickets spelled out: "ticket
// of <name>" holds for that name, whatever the key (the key's part is the
// lobby's signature, checked in online/).
std::string TestVerifier(const std::string& ticket, const TLinkPublicKey&,
                         const std::string& name) {
    return ticket == "ticket of " + name ? "" : "the lobby does not vouch for it";
}

void Moves(Member& member, std::map<std::string, std::vector<int>>& into) {
    member.comm.OnGotMsg = [&into, &member](const TQMsg& m, const TpContact& c) {
        member.events.push_back("msg " + std::to_string(m.MsgType) + " " + c->Name);
        if (m.MsgType == kMove)
            into[c->Name].push_back(m.IntAt(0));
    };
}

void SendMove(Member& from, int number) {
    from.comm.NewMsg(kMove).AddInt(number);
    from.comm.SendMsg(smAll, true);
}

// A request that does not carry back a cookie the host made for its very
// address, session and key costs the host one datagram, the cookie
// answer, and changes nothing; the right one is admitted.
TEST(QCommSeal, ARequestWithoutItsCookieChangesNothing) {
    TMemoryNetwork net;
    std::vector<std::pair<std::string, std::string>> sent; // addressee, bytes; outlives the tap
    Member host(net, "Host", MemoryAddress(1), 2);
    host.comm.setWireTap([&](const std::string& bytes, const std::string& to, int) {
        sent.emplace_back(to, bytes);
    });
    const std::string ann = MemoryAddress(2), eve = MemoryAddress(3);
    HandPeer annPeer(41, 1);
    host.comm.HandleDatagram(annPeer.Request("Ann", host.comm.OwnVersion()), ann, kPeerPort);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_TRUE(annPeer.TakeCookie(sent[0].second));
    const std::string annCookie = annPeer.cookie;

    const struct {
        const char* what;
        std::string from;
        uint32_t session;
        unsigned char seed;
        std::string cookie;
    } cases[] = {
        {"no cookie", ann, 41, 1, ""},
        {"a cookie that is not one", ann, 41, 1, std::string(kCookieBytes, 'c')},
        {"Ann's cookie from another address", eve, 41, 1, annCookie},
        {"Ann's cookie with another session", ann, 42, 1, annCookie},
        {"Ann's cookie with another key", ann, 41, 2, annCookie},
        {"a cookie cut short", ann, 41, 1, annCookie.substr(1)},
    };
    for (const auto& c : cases) {
        sent.clear();
        HandPeer peer(c.session, c.seed);
        peer.cookie = c.cookie;
        host.comm.HandleDatagram(peer.Request("Ann", host.comm.OwnVersion()), c.from, kPeerPort);
        ASSERT_EQ(sent.size(), 1u) << c.what;
        EXPECT_EQ(sent[0].first, c.from) << c.what;
        EXPECT_TRUE(HandPeer(1).TakeCookie(sent[0].second)) << c.what << ": a cookie answer";
        EXPECT_EQ(host.comm.ContactCount(), 0) << c.what;
        EXPECT_EQ(host.comm.PendingCount(), 0) << c.what;
    }
    sent.clear();
    host.comm.HandleDatagram(annPeer.Request("Ann", host.comm.OwnVersion()), ann, kPeerPort);
    EXPECT_EQ(Table(host.comm), (Events{"Ann@" + ann}));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(annPeer.Open(sent[0].second).empty()) << "the reply, sealed";
}

// Three programs of this version join and play: between any two of them
// every datagram is sealed, the mesh links between joiners from their
// first datagram, but for the requests and the host's cookie answers; and
// each opens with the seal of that pair only.
TEST(QCommSeal, EveryDatagramBetweenMembersIsSealedButTheHandshakes) {
    TMemoryNetwork net;
    struct Seen {
        std::string bytes, from, to;
    };
    std::vector<Seen> seen; // outlives the members
    net.SetFilter([&](const std::string& bytes, const std::string& from, const std::string& to) {
        seen.push_back({bytes, from, to});
        return true;
    });
    Member host(net, "Host", MemoryAddress(40), 2);
    Member ann(net, "Ann", MemoryAddress(41)), bob(net, "Bob", MemoryAddress(42));
    std::map<std::string, const Member*> at = {
        {MemoryAddress(40), &host}, {MemoryAddress(41), &ann}, {MemoryAddress(42), &bob}};
    for (Member* joiner : {&ann, &bob}) {
        joiner->comm.Connect(MemoryAddress(40));
        ASSERT_TRUE(net.RunUntil([&] { return joiner->Count("connected") == 1; }));
    }
    ASSERT_TRUE(net.RunUntil([&] { return ann.comm.ContactCount() == 2; }));
    for (int n = 0; n < 3; ++n)
        for (Member* m : {&host, &ann, &bob})
            SendMove(*m, n);
    ASSERT_TRUE(net.RunUntil([&] {
        return host.comm.PendingCount() + ann.comm.PendingCount() + bob.comm.PendingCount() == 0;
    }));
    net.SetFilter(nullptr);

    std::map<std::string, int> sealedBetween; // "from>to"
    for (const Seen& d : seen) {
        const int kind = static_cast<unsigned char>(d.bytes[kLengthFieldBytes]);
        TLinkTrailer trailer;
        const bool sealed = TLinkSeal::LooksSealed(d.bytes, trailer);
        TQMsg plain;
        plain.AppendReceived(d.bytes);
        const bool cookieAnswer = !sealed && kind == mtConnectReply && plain.Decode(false) == 0 &&
                                  plain.IntAt(0) == kReplyCookie;
        const bool handshake = kind == mtConnectRequest || cookieAnswer;
        if (handshake)
            continue;
        EXPECT_TRUE(sealed) << d.from << " to " << d.to << ", kind " << kind;
        const TQComm& from = at.at(d.from)->comm;
        const TQComm& to = at.at(d.to)->comm;
        EXPECT_FALSE(Plain(d.bytes, from, to).empty()) << d.from << " to " << d.to;
        const TQComm* third = nullptr;
        for (const auto& [address, member] : at)
            if (address != d.from && address != d.to)
                third = &member->comm;
        EXPECT_TRUE(Plain(d.bytes, from, *third).empty())
            << "the third opens " << d.from << " to " << d.to;
        ++sealedBetween[d.from + ">" + d.to];
    }
    EXPECT_EQ(sealedBetween.size(), 6u) << "every direction of the three links";
}

// A joiner takes no unsealed reply of the extension from its host's
// address once it asked: a forged refusal (or acceptance) does not end its
// request, and the real host's admits it.
TEST(QCommSeal, AJoinerTakesOnlyItsHostsSealedReply) {
    TMemoryNetwork net;
    Member host(net, "Host", MemoryAddress(1), 1);
    Member ann(net, "Ann", MemoryAddress(2));
    net.SetLatency(TMillis(50));
    ann.comm.Connect(MemoryAddress(1));
    net.RunFor(10); // asked; the host has not answered yet
    for (int verdict : {0, kReplyAccepted}) {
        TQMsg reply;
        reply.MsgType = mtConnectReply;
        reply.AddInt(verdict);
        reply.AddInt(verdict == 0 ? kReasonFull : 0);
        reply.AddStr("Eve");
        net.Forge(reply.EncodeWithTrailer(
                      EncodeTrailer({kTrailerOffer | kTrailerSequenced, 99, 0, 0, 0})),
                  MemoryAddress(1), kPeerPort, MemoryAddress(2), kPeerPort);
    }
    ASSERT_TRUE(net.RunUntil([&] { return ann.Count("success") == 1; }));
    EXPECT_EQ(ann.Count("failed Dummy 0"), 0);
    EXPECT_EQ(Table(ann.comm), (Events{"Host@" + MemoryAddress(1)}));
    EXPECT_TRUE(ann.comm.SpeaksReliable(ann.comm.Contacts(0)));
}

// Once the host gave its cookie it is known to be ours, or from the start
// when it announced its game on this network: a refusal or an
// acknowledgement of the written protocol from its address (a forger made
// the host refuse a request in the joiner's name, or wrote one) does not
// end the request.  An acknowledgement taken would leave the joiner
// waiting for nothing, its host's admission ignored.
TEST(QCommSeal, AJoinerTakesNoWrittenAnswerFromAHostKnownToBeOurs) {
    TQMsg refusal;
    refusal.MsgType = mtConnectReply;
    refusal.AddInt(0);
    refusal.AddInt(kReasonVersion);
    refusal.AddStr("Host");
    TQMsg acknowledgement;
    acknowledgement.MsgType = mtAck;
    acknowledgement.AddInt(mtConnectRequest);
    const struct {
        const char* when;
        bool announced; // the host is known to be ours from the start
        int forgedAtMs;
    } cases[] = {
        {"the cookie came back; the repeated request is on its way", false, 110},
        {"asked a host announced here; it has not answered yet", true, 10},
    };
    for (const auto& c : cases) {
        for (const TQMsg* written : {&refusal, &acknowledgement}) {
            TMemoryNetwork net;
            Member host(net, "Host", MemoryAddress(1), 1);
            Member ann(net, "Ann", MemoryAddress(2));
            net.SetLatency(TMillis(50));
            ann.comm.Connect(MemoryAddress(1), c.announced);
            net.RunFor(c.forgedAtMs);
            net.Forge(written->Encode(), MemoryAddress(1), kPeerPort, MemoryAddress(2), kPeerPort);
            ASSERT_TRUE(net.RunUntil([&] { return ann.Count("success") == 1; }))
                << c.when << ", kind " << written->MsgType;
            EXPECT_EQ(ann.Count("failed Dummy " + std::to_string(kReasonVersion)), 0);
            EXPECT_EQ(ann.comm.Dropped().unsealed, 1) << c.when << ", kind " << written->MsgType;
        }
    }
}

// M1 crashes and starts again at its address while the host and M2 still
// hold its link.  With the key it kept (or, tickets checked, the same
// account) it takes its link back at once and play goes on; with another
// key its requests are refused as long as the old link lives.
TEST(QCommSeal, ARestartedProgramTakesItsLinkBackOnlyWithItsKeyOrAccount) {
    const struct {
        const char* what;
        unsigned char seedAgain; // M1's key after the restart
        bool tickets;
        bool takesItBack;
    } cases[] = {
        {"the key it kept", 11, false, true},
        {"another key", 12, false, false},
        {"another key, a ticket of the same account", 12, true, true},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        std::map<std::string, std::vector<int>> atHost, atM2, atM1; // outlive the members
        std::vector<std::unique_ptr<Member>> m;
        for (int i = 0; i < 3; ++i) {
            const std::string name = i == 0 ? "Host" : "M" + std::to_string(i);
            m.push_back(std::make_unique<Member>(net, name, MemoryAddress(10 + i), 2));
            m[i]->comm.setKeyPair(Pair(static_cast<unsigned char>(10 + i)));
            if (c.tickets) {
                m[i]->comm.setOwnTicket("ticket of " + name);
                m[i]->comm.setTicketVerifier(TestVerifier);
            }
        }
        Moves(*m[0], atHost);
        Moves(*m[2], atM2);
        for (int i = 1; i < 3; ++i) {
            m[i]->comm.Connect(MemoryAddress(10));
            ASSERT_TRUE(net.RunUntil([&] { return m[i]->Count("connected") == 1; })) << c.what;
        }
        ASSERT_TRUE(net.RunUntil([&] {
            return m[1]->comm.ContactCount() == 2 && m[2]->comm.ContactCount() == 2 &&
                   m[0]->comm.PendingCount() + m[1]->comm.PendingCount() +
                           m[2]->comm.PendingCount() ==
                       0;
        })) << c.what;

        TFaultSettings cut;
        cut.loss = 1; // not even its leave notice gets out
        m[1]->comm.setFaults(cut);
        m[1].reset();
        m[1] = std::make_unique<Member>(net, "M1", MemoryAddress(11));
        Member& again = *m[1];
        again.comm.setKeyPair(Pair(c.seedAgain));
        if (c.tickets) {
            again.comm.setOwnTicket("ticket of M1");
            again.comm.setTicketVerifier(TestVerifier);
        }
        Moves(again, atM1);
        again.comm.Connect(MemoryAddress(10));
        // Well within the 20 s after which the old link would be given up.
        const bool back = net.RunUntil([&] { return again.Count("connected") >= 1; }, 3000);
        EXPECT_EQ(back, c.takesItBack) << c.what;
        if (!c.takesItBack) {
            EXPECT_GT(m[0]->comm.Dropped().refusedRequests, 0) << c.what;
            EXPECT_EQ(m[0]->comm.ContactCount(), 2) << c.what;
            continue;
        }
        ASSERT_TRUE(net.RunUntil([&] { return again.comm.ContactCount() == 2; })) << c.what;
        for (int n = 0; n < 5; ++n)
            for (Member* sender : {m[0].get(), m[1].get(), m[2].get()})
                SendMove(*sender, n);
        ASSERT_TRUE(net.RunUntil([&] {
            return atHost["M1"].size() == 5 && atM2["M1"].size() == 5 &&
                   atM1["Host"].size() == 5 && atM1["M2"].size() == 5 &&
                   atHost["M2"].size() == 5 && atM2["Host"].size() == 5;
        })) << c.what;
        const Events m2Table = Table(m[2]->comm);
        EXPECT_EQ(std::count(m2Table.begin(), m2Table.end(), "M1@" + MemoryAddress(11)), 1)
            << c.what;
        EXPECT_EQ(m[0]->comm.ContactCount(), 2) << c.what;
        for (int i : {0, 2})
            EXPECT_EQ(m[i]->Count("disconnect M1 1"), 0) << c.what << ", member " << i;
    }
}

// Every member checks the ticket of everyone it links with: the host the
// joiner's, the joiner the host's, and each member those of the members
// the host announces.  Whoever shows a ticket that does not hold is not
// linked, and the one who refused it says so in its log.
TEST(QCommSeal, APeerWhoseTicketDoesNotHoldIsRefused) {
    const struct {
        const char* what;
        std::map<std::string, std::string> tickets; // by name; the rest hold
        Events annTable, bobTable;
        Events hostLog, annLog, bobLog;
    } cases[] = {
        {"every ticket holds", {}, {"Host", "Bob"}, {"Host", "Ann"}, {}, {}, {}},
        {"Bob's is another's",
         {{"Bob", "ticket of Ann"}},
         {"Host"},
         {},
         {"Refused Bob at 192.0.2.32: the lobby does not vouch for it"},
         {},
         {}},
        {"Bob has none",
         {{"Bob", ""}},
         {"Host"},
         {},
         {"Refused Bob at 192.0.2.32: the lobby does not vouch for it"},
         {},
         {}},
        {"the host's does not hold",
         {{"Host", "forged"}},
         {},
         {},
         {},
         {"Refused Host at 192.0.2.30: the lobby does not vouch for it"},
         {"Refused Host at 192.0.2.30: the lobby does not vouch for it"}},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        std::map<std::string, Events> logs; // outlives the members
        Member host(net, "Host", MemoryAddress(30), 2);
        Member ann(net, "Ann", MemoryAddress(31)), bob(net, "Bob", MemoryAddress(32));
        for (Member* member : {&host, &ann, &bob}) {
            const std::string name = member->comm.ClientName();
            member->comm.setOwnTicket(c.tickets.contains(name) ? c.tickets.at(name)
                                                                : "ticket of " + name);
            member->comm.setTicketVerifier(TestVerifier);
            member->comm.OnLog = [&logs, name](const std::string& line) {
                logs[name].push_back(line);
            };
        }
        for (Member* joiner : {&ann, &bob})
            joiner->comm.Connect(MemoryAddress(30));
        net.RunFor(20000); // every request answered or run out
        const auto names = [](const TQComm& comm) {
            Events table;
            for (int i = 0; i < comm.ContactCount(); ++i)
                table.push_back(comm.Contacts(i)->Name);
            return table;
        };
        EXPECT_EQ(names(ann.comm), c.annTable) << c.what;
        EXPECT_EQ(names(bob.comm), c.bobTable) << c.what;
        EXPECT_EQ(logs["Host"], c.hostLog) << c.what;
        EXPECT_EQ(logs["Ann"], c.annLog) << c.what;
        EXPECT_EQ(logs["Bob"], c.bobLog) << c.what;
        for (Member* member : {&ann, &bob}) {
            if (member->comm.ContactCount() == 0) {
                EXPECT_EQ(member->Count("failed Dummy -1"), 1) << c.what;
            }
        }
    }
}

} // namespace
