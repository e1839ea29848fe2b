// The reliable delivery extension between programs of this version, and
// the written protocol towards a peer that never announced it.
#include "net_test_support.h"
#include "qcomm.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace {

using Events = std::vector<std::string>;

// The cases run on an in-memory network.
std::string Address(int n) {
    return MemoryAddress(n);
}

// How long the network has run since `since`, in ms.
long long MsSince(const TMemoryNetwork& net, TMillis since) {
    return (net.Elapsed() - since).count();
}

constexpr int kCountedKind = 5; // an application kind that carries a running number

// What one program's OnGotMsg saw of kCountedKind, per sender.
using Received = std::map<std::string, std::vector<int>>;

void CountMessages(Member& member, Received& received) {
    const auto note = member.comm.OnGotMsg;
    member.comm.OnGotMsg = [note, &received](const TQMsg& m, const TpContact& c) {
        if (m.MsgType == kCountedKind)
            received[c->Name].push_back(m.IntAt(0));
        else
            note(m, c);
    };
}

std::vector<int> Numbers(int count) {
    std::vector<int> numbers(count);
    for (int i = 0; i < count; ++i)
        numbers[i] = i;
    return numbers;
}

// The message inside a datagram, and its trailer if it has one.
struct Seen {
    TQMsg msg;
    bool hasTrailer = false;
    TLinkTrailer trailer;
};

Seen Read(const std::string& datagram) {
    Seen seen;
    seen.msg.AppendReceived(datagram);
    EXPECT_EQ(seen.msg.Decode(false), 0) << ToHex(datagram);
    const int last = seen.msg.ItemCount() - 1;
    seen.hasTrailer = last >= 0 && DecodeTrailer(seen.msg.StrAt(last), seen.trailer);
    return seen;
}

// Datagrams a component put on the wire, by addressee.
struct Tap {
    explicit Tap(TQComm& tapped) : comm(tapped) {
        comm.setWireTap([this](const std::string& bytes, const std::string& to, int) {
            sent[to].push_back(bytes);
        });
    }
    ~Tap() { comm.setWireTap(nullptr); }
    Tap(const Tap&) = delete;
    Tap& operator=(const Tap&) = delete;

    TQComm& comm;
    std::map<std::string, std::vector<std::string>> sent;
};

TEST(QCommReliable, EveryMessageArrivesOnceAndInOrderThroughLossRepeatsAndReordering) {
    const struct {
        const char* what;
        int peers;
        double loss;
        int messages; // from each peer to all others
    } cases[] = {
        {"three peers, 10 % loss", 3, 0.10, 150},
        {"two peers, 25 % loss", 2, 0.25, 100},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        std::vector<std::unique_ptr<Member>> peers;
        const char* names[] = {"Host", "Ann", "Bob"};
        std::vector<Received> received(c.peers);
        for (int i = 0; i < c.peers; ++i) {
            peers.push_back(std::make_unique<Member>(net, names[i], Address(1 + i), c.peers - 1));
            TFaultSettings faults;
            faults.loss = c.loss;
            faults.duplicate = 0.05;
            faults.reorder = 0.10;
            faults.seed = 100 + i;
            peers[i]->comm.setFaults(faults);
            CountMessages(*peers[i], received[i]);
        }
        // The admission goes through the faults too.
        for (int i = 1; i < c.peers; ++i) {
            peers[i]->comm.Connect(peers[0]->comm.LocalAddress());
            ASSERT_TRUE(net.RunUntil([&] { return peers[i]->Count("success") == 1; }, 10000))
                << c.what;
        }
        ASSERT_TRUE(net.RunUntil(
            [&] {
                for (const auto& p : peers)
                    if (p->comm.ContactCount() != c.peers - 1)
                        return false;
                return true;
            },
            10000))
            << c.what;

        // Bursts of ten from everyone, every 20 ms.
        int next = 0;
        const auto pace = net.MakeTimer(
            [&] {
                for (int burst = 0; burst < 10 && next < c.messages; ++burst, ++next)
                    for (const auto& p : peers) {
                        p->comm.NewMsg(kCountedKind).AddInt(next);
                        p->comm.SendMsg(smAll, true);
                    }
            },
            false);
        pace->SetInterval(TMillis(20));
        pace->Start();
        const auto allArrived = [&] {
            for (const Received& r : received)
                for (const auto& [sender, numbers] : r)
                    if (numbers.size() < static_cast<size_t>(c.messages))
                        return false;
            for (const Received& r : received)
                if (static_cast<int>(r.size()) != c.peers - 1)
                    return false;
            return true;
        };
        EXPECT_TRUE(net.RunUntil(allArrived, 15000)) << c.what;
        pace->Stop();
        EXPECT_TRUE(net.RunUntil([&] {
            for (const auto& p : peers)
                if (p->comm.PendingCount() != 0)
                    return false;
            return true;
        })) << c.what;

        for (int i = 0; i < c.peers; ++i) {
            for (const auto& [sender, numbers] : received[i])
                EXPECT_EQ(numbers, Numbers(c.messages))
                    << c.what << ": " << sender << " to " << names[i];
            EXPECT_EQ(peers[i]->Count("timeout"), 0) << c.what;
            for (const std::string& e : peers[i]->events)
                EXPECT_EQ(e.rfind("disconnect", 0), std::string::npos) << c.what << ": " << e;
            // The network was as bad as asked.
            ASSERT_NE(peers[i]->comm.FaultSeam(), nullptr);
            const TFaultSeam::TCounts& counts = peers[i]->comm.FaultSeam()->Counts();
            EXPECT_GT(counts.lost, counts.passed * c.loss / 2) << c.what;
            EXPECT_GT(counts.repeated, 0) << c.what;
            EXPECT_GT(counts.held, 0) << c.what;
        }
    }
}

// A datagram of the extension: the message, then the trailer.
std::string Linked(int kind, const std::vector<std::variant<int, std::string>>& items,
                   const TLinkTrailer& trailer) {
    TQMsg msg;
    const std::string written = Datagram(kind, items);
    msg.AppendReceived(written);
    msg.Decode(false);
    return msg.EncodeWithTrailer(EncodeTrailer(trailer));
}

TLinkTrailer Trailer(uint8_t flags, uint32_t session, uint32_t sequence = 0, uint32_t ackNext = 0,
                     uint32_t ackBits = 0) {
    return {flags, session, sequence, ackNext, ackBits};
}

const std::string kVersion = "1.4.0.5";

TEST(QCommReliable, AJoinerOfTheWrittenProtocolSeesTheWrittenBytes) {
    TMemoryNetwork net;
    Member host(net, "Host", Address(20), 1);
    MemoryPeer joiner(net, Address(21));
    TLinkTiming timing;
    timing.keepAlive = TMillis(100);
    host.comm.setTiming(timing);
    host.comm.OnNewClient = [&](const TQMsg&, const TpContact& c) {
        host.events.push_back("newclient " + c->Name);
        TQMsg& seat = host.comm.NewMsg(3);
        seat.AddInt(3);
        seat.AddInt(1);
        host.comm.SendMsg(smSender, true);
    };
    joiner.SendTo(Datagram(mtConnectRequest, {std::string("Ann"), kPeerPort, kVersion, 0}),
                  Address(20));
    ASSERT_TRUE(net.RunUntil([&] { return joiner.received.size() == 3; }));
    for (const char* ack : {"0B 00 00 00 FF 01 00 FD 00 00 00", "0B 00 00 00 FF 01 00 03 00 00 00"})
        joiner.SendTo(Hex(ack), Address(20));
    TQMsg& move = host.comm.NewMsg(2);
    move.AddInt(7);
    move.AddInt(3);
    host.comm.SendMsg(smAll, true);
    host.comm.NewMsg(1);
    host.comm.SendMsg(smAll, true);
    ASSERT_TRUE(net.RunUntil([&] { return joiner.received.size() == 5; }));
    for (const char* ack : {"0B 00 00 00 FF 01 00 02 00 00 00", "0B 00 00 00 FF 01 00 01 00 00 00"})
        joiner.SendTo(Hex(ack), Address(20));
    joiner.SendTo(Hex("10 00 00 00 02 02 00 07 00 00 00 00 03 00 00 00"), Address(20));
    ASSERT_TRUE(
        net.RunUntil([&] { return joiner.received.size() == 6 && host.comm.PendingCount() == 0; }));
    net.RunFor(4 * 100); // four keep-alive intervals: nothing more comes

    std::vector<std::string> received;
    for (const std::string& d : joiner.received)
        received.push_back(ToHex(d));
    EXPECT_EQ(received, (std::vector<std::string>{
                            ToHex(Datagram(mtConnectReply, {1, 0, std::string("Host")})),
                            "0B 00 00 00 FF 01 00 FE 00 00 00",
                            "10 00 00 00 03 02 00 03 00 00 00 00 01 00 00 00",
                            "10 00 00 00 02 02 00 07 00 00 00 00 03 00 00 00",
                            "06 00 00 00 01 00",
                            "0B 00 00 00 FF 01 00 02 00 00 00",
                        }));
    EXPECT_FALSE(host.comm.SpeaksReliable(host.comm.Contacts(0)));
    EXPECT_EQ(host.EventsWithout("ack"), (Events{"newclient Ann", "msg 2 Ann"}));
}

TEST(QCommReliable, AHostOfTheWrittenProtocolSeesTheWrittenBytesAfterTheRequest) {
    TMemoryNetwork net;
    MemoryPeer host(net, Address(22));
    Member joiner(net, "Ann", Address(23));
    joiner.comm.setTavloNumber(12);
    joiner.comm.Connect(Address(22));
    ASSERT_TRUE(net.RunUntil([&] { return host.received.size() == 1; }));

    // The request is the written one with more items after the four
    // written ones: the key, the ticket (none), the host's cookie (none
    // yet) and the announcement.
    Seen request = Read(host.received[0]);
    ASSERT_TRUE(request.hasTrailer);
    EXPECT_TRUE(request.trailer.Offer());
    EXPECT_FALSE(request.trailer.Sequenced());
    ASSERT_EQ(request.msg.ItemCount(), 8);
    const TLinkPublicKey& key = joiner.comm.KeyPair().publicKey;
    EXPECT_EQ(request.msg.StrAt(4), std::string(key.begin(), key.end()));
    EXPECT_EQ(request.msg.StrAt(5), "");
    EXPECT_EQ(request.msg.StrAt(6), "");
    for (int i = 0; i < 4; ++i)
        request.msg.RemoveLastItem();
    EXPECT_EQ(ToHex(request.msg.Encode()),
              ToHex(Datagram(mtConnectRequest, {std::string("Ann"), kPeerPort, kVersion, 12})));

    host.SendTo(Datagram(mtConnectReply, {1, 0, std::string("Boss")}), Address(23));
    host.SendTo(Hex("0B 00 00 00 FF 01 00 FE 00 00 00"), Address(23));
    ASSERT_TRUE(net.RunUntil([&] { return joiner.Count("success") == 1; }));
    TQMsg& move = joiner.comm.NewMsg(2);
    move.AddInt(7);
    move.AddInt(3);
    joiner.comm.SendMsg(smAll, true);
    ASSERT_TRUE(net.RunUntil([&] { return host.received.size() == 3; }));
    host.SendTo(Hex("0B 00 00 00 FF 01 00 02 00 00 00"), Address(23));
    // Longer than the request's repeat interval and several keep-alives.
    net.RunFor(2 * kTestTimeout + 700);

    EXPECT_EQ(ToHex(host.received[1]), "0B 00 00 00 FF 01 00 FD 00 00 00");
    EXPECT_EQ(ToHex(host.received[2]), "10 00 00 00 02 02 00 07 00 00 00 00 03 00 00 00");
    EXPECT_EQ(host.received.size(), 3u);
    EXPECT_FALSE(joiner.comm.SpeaksReliable(joiner.comm.Contacts(0)));
    EXPECT_EQ(joiner.EventsWithout("ack"), (Events{"connected", "success"}));
    EXPECT_EQ(joiner.Count("ack 254 Dummy"), 1); // settled by the reply, once
    EXPECT_EQ(joiner.comm.PendingCount(), 0);
}

// A host of this version, Ann of this version, and Leo who speaks only the
// written protocol: Leo gets the written bytes from both, Host and Ann the
// extension from each other.
TEST(QCommReliable, AMixedGroupSpeaksToEachMemberAsItAnnounced) {
    TMemoryNetwork net;
    Member host(net, "Host", Address(30), 2);
    Member ann(net, "Ann", Address(31));
    Member leo(net, "Leo", Address(32));
    leo.comm.setReliable(false);
    Tap hostTap(host.comm), annTap(ann.comm);
    std::vector<Received> received(3);
    Member* all[] = {&host, &ann, &leo};
    for (int i = 0; i < 3; ++i)
        CountMessages(*all[i], received[i]);
    ann.comm.Connect(Address(30));
    ASSERT_TRUE(net.RunUntil([&] { return ann.Count("success") == 1; }));
    leo.comm.Connect(Address(30));
    ASSERT_TRUE(
        net.RunUntil([&] { return leo.Count("connected") == 1 && ann.comm.ContactCount() == 2; }));
    for (int n = 0; n < 3; ++n)
        for (Member* m : all) {
            m->comm.NewMsg(kCountedKind).AddInt(n);
            m->comm.SendMsg(smAll, true);
        }
    ASSERT_TRUE(net.RunUntil([&] {
        for (const Received& r : received)
            if (r.size() != 2 || r.begin()->second.size() != 3 || r.rbegin()->second.size() != 3)
                return false;
        return host.comm.PendingCount() + ann.comm.PendingCount() + leo.comm.PendingCount() == 0;
    }));

    EXPECT_TRUE(host.comm.SpeaksReliable(host.comm.Contacts(0)));
    EXPECT_FALSE(host.comm.SpeaksReliable(host.comm.Contacts(1)));
    EXPECT_TRUE(ann.comm.SpeaksReliable(ann.comm.Contacts(0)));
    EXPECT_FALSE(ann.comm.SpeaksReliable(ann.comm.Contacts(1)));
    for (Tap* tap : {&hostTap, &annTap}) {
        for (const std::string& d : tap->sent[Address(32)])
            EXPECT_FALSE(Read(d).hasTrailer) << ToHex(d);
        EXPECT_FALSE(tap->sent[Address(32)].empty());
    }
    for (const std::string& d : hostTap.sent[Address(31)])
        EXPECT_TRUE(Read(Plain(d, host.comm, ann.comm)).hasTrailer) << ToHex(d);
    for (const std::string& d : annTap.sent[Address(30)])
        EXPECT_TRUE(Read(Plain(d, ann.comm, host.comm)).hasTrailer) << ToHex(d);
    // Leo hears of Ann in the written words; Ann hears of Leo with session 0.
    const auto& toLeo = hostTap.sent[Address(32)];
    EXPECT_NE(std::find(toLeo.begin(), toLeo.end(),
                        Datagram(mtPeerInfo, {std::string("Ann"), Address(31), 0})),
              toLeo.end());
    bool annHeardOfLeo = false;
    for (const std::string& d : hostTap.sent[Address(31)]) {
        Seen seen = Read(Plain(d, host.comm, ann.comm));
        if (seen.msg.MsgType == mtPeerInfo && seen.msg.StrAt(0) == "Leo") {
            EXPECT_EQ(seen.msg.ItemCount(), 7); // with the session, a proof of nothing, the trailer
            EXPECT_EQ(seen.msg.IntAt(3), 0);
            annHeardOfLeo = true;
        }
    }
    EXPECT_TRUE(annHeardOfLeo);
    for (int i = 0; i < 3; ++i)
        for (const auto& [sender, numbers] : received[i])
            EXPECT_EQ(numbers, Numbers(3)) << sender << " to " << all[i]->comm.ClientName();
}

// Two programs of this version; Bob's datagrams stop reaching Ann (all
// lost), or Bob's handler of Ann's message runs for twice the silence.
TEST(QCommReliable, APeerIsGivenUpAfterTheSilenceAndNotBeforeNorWhenOnlySlow) {
    constexpr int kSilenceMs = 1000;
    const struct {
        const char* what;
        bool vanishes;
        Events annEvents;
    } cases[] = {
        {"vanished", true, {"timeout 5 Bob", "disconnect Bob 1"}},
        {"slow", false, {}},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        Member ann(net, "Ann", Address(40), 1);
        Member bob(net, "Bob", Address(41));
        TLinkTiming timing;
        timing.silence = TMillis(kSilenceMs);
        timing.keepAlive = TMillis(100);
        for (Member* m : {&ann, &bob})
            m->comm.setTiming(timing);
        bob.comm.Connect(ann.comm.LocalAddress());
        ASSERT_TRUE(net.RunUntil(
            [&] { return bob.Count("success") == 1 && ann.comm.PendingCount() == 0; }));
        ann.events.clear();
        const TMillis start = net.Elapsed();
        long long givenUpAt = -1;
        const auto note = ann.comm.OnClientDisconnection;
        ann.comm.OnClientDisconnection = [&](const TpContact& contact, int reason) {
            givenUpAt = MsSince(net, start);
            note(contact, reason);
        };
        bool handled = false;
        if (c.vanishes) {
            TFaultSettings silent;
            silent.loss = 1;
            bob.comm.setFaults(silent);
        } else {
            bob.comm.OnGotMsg = [&](const TQMsg&, const TpContact&) {
                net.RunFor(2 * kSilenceMs);
                handled = true;
            };
        }
        ann.comm.NewMsg(kCountedKind).AddInt(1);
        ann.comm.SendMsg(smAll, true);
        net.RunUntil([&] { return givenUpAt >= 0 || handled; }, 3 * kSilenceMs);
        net.RunFor(kQuietSpell);
        EXPECT_EQ(ann.EventsWithout("ack"), c.annEvents) << c.what;
        if (c.vanishes) {
            // Last heard just before the message went out.
            EXPECT_GE(givenUpAt, kSilenceMs * 9 / 10) << c.what;
            EXPECT_LE(givenUpAt, kSilenceMs + 300) << c.what;
        } else {
            EXPECT_EQ(ann.Count("ack 5 Bob"), 1) << c.what;
        }
        EXPECT_EQ(ann.comm.ContactCount(), c.vanishes ? 0 : 1) << c.what;
    }
}

TEST(QCommReliable, AKeepAliveGoesToAPeerOfTheExtensionWhenNothingElseDid) {
    TMemoryNetwork net;
    Member ann(net, "Ann", Address(60), 1);
    Member bob(net, "Bob", Address(61));
    MemoryPeer leo(net, Address(62));
    TLinkTiming timing;
    timing.keepAlive = TMillis(100);
    ann.comm.setTiming(timing);
    bob.comm.Connect(Address(60));
    ASSERT_TRUE(
        net.RunUntil([&] { return bob.Count("success") == 1 && ann.comm.PendingCount() == 0; }));
    ann.comm.AddContact("Leo", Address(62), 0);
    Tap tap(ann.comm);
    net.RunFor(550);
    const std::vector<std::string>& toBob = tap.sent[Address(61)];
    EXPECT_GE(toBob.size(), 4u);
    EXPECT_LE(toBob.size(), 6u);
    for (const std::string& d : toBob) {
        const Seen seen = Read(Plain(d, ann.comm, bob.comm));
        EXPECT_EQ(seen.msg.MsgType, mtAck);
        EXPECT_EQ(seen.msg.ItemCount(), 1); // the trailer alone
        EXPECT_TRUE(seen.hasTrailer);
        EXPECT_EQ(d.size(), kHeaderBytes + kTrailerItemBytes + kSealBytes); // sealed
    }
    EXPECT_TRUE(tap.sent[Address(62)].empty()) << "no keep-alive to the written protocol";
    EXPECT_TRUE(leo.received.empty());
}

// The host's admission handler waits for the lobby; joiners who come
// meanwhile, of this version (Bob) or of the written protocol (Leo), are
// answered at once all the same, and the introductions follow.
TEST(QCommReliable, AConnectRequestIsAnsweredWhileTheHostsHandlerRuns) {
    constexpr int kHandlerMs = 1500;
    constexpr int kPrompt = 300; // ms: an answer later than this would not be "at once"
    TMemoryNetwork net;
    Member host(net, "Host", Address(70), 3);
    Member ann(net, "Ann", Address(71)), bob(net, "Bob", Address(72)), leo(net, "Leo", Address(73));
    leo.comm.setReliable(false);
    TMillis start{0};
    long long bobAsked = -1, bobAnswered = -1, leoAsked = -1, leoAnswered = -1, annDone = -1;
    bob.comm.OnConnectionSuccess = [&] { bobAnswered = MsSince(net, start); };
    leo.comm.OnConnectionSuccess = [&] { leoAnswered = MsSince(net, start); };
    host.comm.OnNewClient = [&](const TQMsg&, const TpContact& c) {
        host.events.push_back("newclient " + c->Name);
        if (c->Name != "Ann")
            return;
        // Bob and Leo ask while this handler still runs.
        start = net.Elapsed();
        net.At(net.Now() + TMillis(100), [&] {
            bobAsked = MsSince(net, start);
            bob.comm.Connect(Address(70));
        });
        net.At(net.Now() + TMillis(200), [&] {
            leoAsked = MsSince(net, start);
            leo.comm.Connect(Address(70));
        });
        net.RunFor(kHandlerMs);
        annDone = MsSince(net, start);
    };
    ann.comm.Connect(Address(70));
    ASSERT_TRUE(net.RunUntil([&] { return host.Count("newclient Leo") == 1; }, 3 * kHandlerMs));
    ASSERT_TRUE(net.RunUntil([&] {
        return ann.comm.ContactCount() == 3 && bob.comm.ContactCount() == 3 &&
               leo.comm.ContactCount() == 3;
    }));
    EXPECT_GE(bobAnswered, bobAsked);
    EXPECT_LT(bobAnswered, bobAsked + kPrompt);
    EXPECT_GE(leoAnswered, leoAsked);
    EXPECT_LT(leoAnswered, leoAsked + kPrompt);
    EXPECT_GE(annDone, kHandlerMs);
    // Bob hears of Leo (who announces himself) before Ann (introduced once
    // Ann's handler is done): each table in the order its news came.
    const auto sorted = [](std::vector<std::string> table) {
        std::sort(table.begin(), table.end());
        return table;
    };
    const std::string h = "Host@" + Address(70), a = "Ann@" + Address(71), b = "Bob@" + Address(72),
                      l = "Leo@" + Address(73);
    EXPECT_EQ(sorted(Table(ann.comm)), (std::vector<std::string>{b, h, l}));
    EXPECT_EQ(sorted(Table(bob.comm)), (std::vector<std::string>{a, h, l}));
    EXPECT_EQ(sorted(Table(leo.comm)), (std::vector<std::string>{a, b, h}));
    EXPECT_EQ(host.EventsWithout("ack"),
              (Events{"newclient Ann", "newclient Bob", "newclient Leo"}));
}

// The written protocol empties the table at the first acknowledgement of a
// tracked leave notice; the other peers of the extension get it all the
// same, however many tries it takes.
TEST(QCommReliable, ATrackedLeaveNoticeReachesEveryPeerThoughTheTableEmptiesAtOnce) {
    TMemoryNetwork net;
    Member host(net, "Host", Address(90), 2), ann(net, "Ann", Address(91)),
        bob(net, "Bob", Address(92));
    for (Member* joiner : {&ann, &bob}) {
        joiner->comm.Connect(Address(90));
        ASSERT_TRUE(net.RunUntil([&] { return joiner->Count("success") == 1; }));
    }
    ASSERT_TRUE(
        net.RunUntil([&] { return ann.comm.ContactCount() == 2 && bob.comm.ContactCount() == 2; }));
    TFaultSettings lossy;
    lossy.loss = 0.5;
    lossy.seed = 3;
    ann.comm.setFaults(lossy);
    ann.comm.Disconnect(true);
    ASSERT_TRUE(net.RunUntil(
        [&] { return host.Count("disconnect Ann 0") == 1 && bob.Count("disconnect Ann 0") == 1; },
        8000));
    ASSERT_TRUE(net.RunUntil([&] { return ann.comm.PendingCount() == 0; }, 8000));
    EXPECT_EQ(ann.comm.ContactCount(), 0);
    EXPECT_EQ(ann.Count("ack 251 Host") + ann.Count("ack 251 Bob"), 1);
}

// Datagrams of the extension fed by hand to a host that admitted Ann with
// session 77: what is handed on, and what is acknowledged.  Only what Ann
// sealed counts; the seal is checked before the session and the numbers.
TEST(QCommReliable, NumberedMessagesArriveOnceInOrderFromTheirSessionOnly) {
    TMemoryNetwork net;
    Member host(net, "Host", Address(80), 1);
    Tap tap(host.comm);
    const std::string ann = Address(81);
    HandPeer annPeer(77);
    std::vector<int> delivered;
    host.comm.OnGotMsg = [&](const TQMsg& m, const TpContact&) { delivered.push_back(m.IntAt(0)); };
    // The first request is answered with the cookie alone; the second,
    // carrying it, is admitted, and the reply comes sealed.
    host.comm.HandleDatagram(annPeer.Request("Ann", kVersion), ann, kPeerPort);
    ASSERT_EQ(tap.sent[ann].size(), 1u);
    ASSERT_TRUE(annPeer.TakeCookie(tap.sent[ann][0]));
    EXPECT_EQ(host.comm.ContactCount(), 0);
    host.comm.HandleDatagram(annPeer.Request("Ann", kVersion), ann, kPeerPort);
    ASSERT_EQ(tap.sent[ann].size(), 2u);
    EXPECT_EQ(host.comm.ContactCount(), 1);
    const Seen reply = Read(annPeer.Open(tap.sent[ann][1]));
    EXPECT_EQ(reply.msg.MsgType, mtConnectReply);
    EXPECT_EQ(reply.trailer.flags, kTrailerOffer | kTrailerSequenced);
    EXPECT_EQ(reply.trailer.sequence, 0u);

    enum How { kSealed, kUnsealed, kReplayOfFirst, kAltered };
    const struct {
        const char* what;
        std::string from;
        TLinkTrailer trailer;
        How how;
        std::vector<int> delivered; // all so far
        bool acknowledged;
        uint32_t ackNext, ackBits;
    } steps[] = {
        {"first", ann, Trailer(kTrailerSequenced, 77, 0), kSealed, {0}, true, 1, 0},
        {"repeated", ann, Trailer(kTrailerSequenced, 77, 0), kSealed, {0}, true, 1, 0},
        {"replayed", ann, Trailer(kTrailerSequenced, 77, 0), kReplayOfFirst, {0}, false, 0, 0},
        {"unsealed", ann, Trailer(kTrailerSequenced, 77, 1), kUnsealed, {0}, false, 0, 0},
        {"altered", ann, Trailer(kTrailerSequenced, 77, 1), kAltered, {0}, false, 0, 0},
        {"early", ann, Trailer(kTrailerSequenced, 77, 2), kSealed, {0}, true, 1, 0b1},
        {"gap filled", ann, Trailer(kTrailerSequenced, 77, 1), kSealed, {0, 1, 2}, true, 3, 0},
        {"earlier session", ann, Trailer(kTrailerSequenced, 76, 3), kSealed, {0, 1, 2}, false, 0, 0},
        {"beyond the window",
         ann,
         Trailer(kTrailerSequenced, 77, 3 + kLinkWindow),
         kSealed,
         {0, 1, 2},
         false,
         0,
         0},
        {"unknown sender",
         Address(82),
         Trailer(kTrailerSequenced, 77, 3),
         kSealed,
         {0, 1, 2},
         false,
         0,
         0},
        {"untracked", ann, Trailer(0, 77), kSealed, {0, 1, 2, 3}, false, 0, 0},
    };
    std::string first;
    for (const auto& step : steps) {
        const std::size_t before = tap.sent[ann].size();
        const int number = step.trailer.Sequenced() ? static_cast<int>(step.trailer.sequence) : 3;
        const std::string plain = Linked(kCountedKind, {number}, step.trailer);
        std::string bytes;
        switch (step.how) {
        case kSealed:
            bytes = annPeer.Seal(plain);
            break;
        case kUnsealed:
            bytes = plain;
            break;
        case kReplayOfFirst:
            bytes = first;
            break;
        case kAltered:
            bytes = annPeer.Seal(plain);
            bytes[kHeaderBytes + 1] ^= 0x01; // inside the encrypted number
            break;
        }
        if (first.empty())
            first = bytes;
        host.comm.HandleDatagram(bytes, step.from, kPeerPort);
        EXPECT_EQ(delivered, step.delivered) << step.what;
        ASSERT_EQ(tap.sent[ann].size(), before + (step.acknowledged ? 1 : 0)) << step.what;
        if (step.acknowledged) {
            const Seen ack = Read(annPeer.Open(tap.sent[ann].back()));
            EXPECT_EQ(ack.msg.MsgType, mtAck) << step.what;
            EXPECT_EQ(ack.trailer.ackNext, step.ackNext) << step.what;
            EXPECT_EQ(ack.trailer.ackBits, step.ackBits) << step.what;
        }
        EXPECT_TRUE(tap.sent[Address(82)].empty()) << step.what;
    }
    const TDropCounts& dropped = host.comm.Dropped();
    EXPECT_EQ(dropped.replayed, 1);
    EXPECT_EQ(dropped.unsealed, 1);
    EXPECT_EQ(dropped.forged, 1);

    // An acknowledgement of what was never sent settles nothing, sealed or
    // not; Ann's acknowledgement of the reply settles it.
    EXPECT_EQ(host.comm.PendingCount(), 1);
    host.comm.HandleDatagram(annPeer.Seal(Linked(mtAck, {}, Trailer(0, 77, 0, 9))), ann, kPeerPort);
    EXPECT_EQ(dropped.lyingAcks, 1);
    EXPECT_EQ(host.comm.PendingCount(), 1);
    host.comm.HandleDatagram(annPeer.Seal(Linked(mtAck, {}, Trailer(0, 77, 0, 1))), ann, kPeerPort);
    EXPECT_EQ(host.Count("ack 253 Ann"), 1);
    EXPECT_EQ(host.comm.PendingCount(), 0);
}

} // namespace
