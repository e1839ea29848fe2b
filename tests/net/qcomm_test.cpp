#include "loopback_addresses.h"
#include "net_test_support.h"
#include "qcomm.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;
using Table_ = std::vector<std::string>;

// The cases run on an in-memory network (192.0.2.n), each on its own,
// unless they are about the socket or the event loop themselves.

bool NothingPending(std::initializer_list<const Member*> members) {
    for (const Member* m : members)
        if (m->comm.PendingCount() != 0)
            return false;
    return true;
}

// Where the components of a case meet: an in-memory network, or real
// loopback addresses of this process's own with the Qt event loop.
class Meeting {
  public:
    explicit Meeting(bool inMemory) : inMemory_(inMemory) {}
    TCommEnvironment* Environment() { return inMemory_ ? &network_ : nullptr; }
    std::string Address(int n) { return inMemory_ ? MemoryAddress(n) : NewLoopbackAddress(); }
    bool Until(const std::function<bool()>& cond, int ms = 3000) {
        return inMemory_ ? network_.RunUntil(cond, ms) : WaitUntil(cond, ms);
    }
    std::unique_ptr<Member> NewMember(const std::string& name, int n, int maxConnections = 0) {
        if (inMemory_)
            return std::make_unique<Member>(network_, name, Address(n), maxConnections);
        return std::make_unique<Member>(name, Address(n), maxConnections);
    }

    TMemoryNetwork network_;

  private:
    bool inMemory_;
};

// A host that admits two and its joiners Ann and Bob, all of one version.
struct Mesh {
    explicit Mesh(Meeting& meeting)
        : at(meeting), hostOwned(at.NewMember("Host", 1, 2)), annOwned(at.NewMember("Ann", 2)),
          bobOwned(at.NewMember("Bob", 3)), host(*hostOwned), ann(*annOwned), bob(*bobOwned) {}

    void Join() {
        ann.comm.Connect(host.comm.LocalAddress());
        ASSERT_TRUE(at.Until([&] { return ann.Count("success") == 1 && Settled(); }));
        bob.comm.Connect(host.comm.LocalAddress());
        ASSERT_TRUE(at.Until([&] { return bob.Count("connected") == 1 && Settled(); }));
    }
    bool Settled() const { return NothingPending({&host, &ann, &bob}); }
    std::string Entry(const Member& m) const {
        return m.comm.ClientName() + "@" + m.comm.LocalAddress();
    }

    Meeting& at;
    std::unique_ptr<Member> hostOwned, annOwned, bobOwned;
    Member &host, &ann, &bob;
};

// The same exchange in memory and over real loopback sockets.
class QCommAdmissionOn : public ::testing::TestWithParam<bool> {};

TEST_P(QCommAdmissionOn, WorkedExchangeGivesEveryoneATableOfTheOthers) {
    Meeting meeting(GetParam());
    Mesh mesh(meeting);
    mesh.Join();
    const std::string h = mesh.Entry(mesh.host), a = mesh.Entry(mesh.ann), b = mesh.Entry(mesh.bob);
    EXPECT_EQ(Table(mesh.host.comm), (Table_{a, b}));
    EXPECT_EQ(Table(mesh.ann.comm), (Table_{h, b}));
    EXPECT_EQ(Table(mesh.bob.comm), (Table_{h, a}));

    EXPECT_EQ(mesh.host.EventsWithout("ack"), (Events{"newclient Ann", "newclient Bob"}));
    EXPECT_EQ(mesh.ann.EventsWithout("ack"),
              (Events{"connected", "success", "connected", "newclient Bob"}));
    EXPECT_EQ(mesh.bob.EventsWithout("ack"), (Events{"success", "connected"}));
    // Each joiner's request was settled through the outsider contact.
    EXPECT_EQ(mesh.ann.Count("ack 254 Dummy"), 1);
    EXPECT_EQ(mesh.bob.Count("ack 254 Dummy"), 1);
    EXPECT_EQ(mesh.host.Count("ack 252 Ann"), 1);
    EXPECT_EQ(mesh.host.Count("ack 252 Bob"), 1);
}

INSTANTIATE_TEST_SUITE_P(Both, QCommAdmissionOn, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "InMemory" : "Loopback"; });

TEST(QCommAdmission, RequestCarriesNameVersionAndLobbyNumber) {
    TMemoryNetwork net;
    MemoryPeer host(net, MemoryAddress(11));
    Member joiner(net, "Ann", MemoryAddress(10));
    joiner.comm.setTavloNumber(4711);
    joiner.comm.Connect(MemoryAddress(11));
    ASSERT_TRUE(net.RunUntil([&] { return !host.received.empty(); }));
    TQMsg request;
    request.AppendReceived(host.received[0]);
    ASSERT_EQ(request.Decode(false), 0);
    EXPECT_EQ(request.MsgType, mtConnectRequest);
    EXPECT_EQ(request.StrAt(0), "Ann");
    EXPECT_EQ(request.IntAt(1), kPeerPort);
    EXPECT_EQ(request.StrAt(2), "1.4.0.5"); // the running program's FileVersion
    EXPECT_EQ(request.IntAt(3), 4711);
}

TEST(QCommAdmission, HostRefusesWhenFullOrOfAnotherVersion) {
    const struct {
        const char* what;
        int maxConnections;
        const char* hostVersion;
        bool joinerAlreadyKnown;
        Events joinerEvents;
        int hostContacts;
        bool written = false; // the joiner speaks only the written protocol
    } cases[] = {
        {"full", 0, "1.4.0.5", false, {"failed - 0"}, 0},
        {"another version", 5, "1.4.0.6", false, {"failed - 1"}, 0},
        {"full and another version", 0, "1.4.0.6", false, {"failed - 1"}, 0},
        // The host announces the joiner to everyone in its table, a
        // written joiner included; one of the extension is not told of
        // itself.
        {"full, but the address is known (written)",
         0,
         "1.4.0.5",
         true,
         {"connected", "newclient Ann", "success"},
         1,
         true},
        {"full, but the address is known", 0, "1.4.0.5", true, {"connected", "success"}, 1},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        Member host(net, "Host", MemoryAddress(1), c.maxConnections);
        Member joiner(net, "Ann", MemoryAddress(2));
        joiner.comm.setReliable(!c.written);
        host.comm.setOwnVersion(c.hostVersion);
        if (c.joinerAlreadyKnown)
            host.comm.AddContact("Ann", joiner.comm.LocalAddress(), 0);
        joiner.comm.Connect(host.comm.LocalAddress());
        EXPECT_TRUE(net.RunUntil([&] {
            return !joiner.EventsWithout("ack").empty() && NothingPending({&host, &joiner});
        })) << c.what;
        net.RunFor(kQuietSpell); // nothing more comes
        EXPECT_EQ(joiner.EventsWithout("ack"), c.joinerEvents) << c.what;
        EXPECT_EQ(host.comm.ContactCount(), c.hostContacts) << c.what;
    }
}

// Past the table's room (a game under way) the host's rule decides: a
// member is announced to the others and meets them, a watcher talks with
// the host alone.
TEST(QCommAdmission, ALateJoinerIsAdmittedAsTheHostsRuleSays) {
    const struct {
        TLateEntry entry;
        Events zoeEvents;
        Table_ annTable;
        Table_ zoeTable;
    } cases[] = {
        {TLateEntry::kRefused, {"failed - 0"}, {"Host@192.0.2.1"}, {}},
        {TLateEntry::kMember,
         {"success", "connected"},
         {"Host@192.0.2.1", "Zoe@192.0.2.3"},
         {"Host@192.0.2.1", "Ann@192.0.2.2"}},
        {TLateEntry::kWatcher, {"connected", "success"}, {"Host@192.0.2.1"}, {"Host@192.0.2.1"}},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        Member host(net, "Host", MemoryAddress(1), 1);
        Member ann(net, "Ann", MemoryAddress(2));
        Member zoe(net, "Zoe", MemoryAddress(3));
        ann.comm.Connect(host.comm.LocalAddress());
        ASSERT_TRUE(net.RunUntil([&] { return ann.Count("success") == 1; }));
        std::vector<std::string> asked;
        host.comm.setLateJoinerRule([&](const TLateJoiner& joiner) {
            const bool zoesKey = joiner.key && *joiner.key == zoe.comm.KeyPair().publicKey;
            asked.push_back(joiner.name + " " + std::to_string(joiner.tavloNumber) +
                            (zoesKey ? " with her key" : joiner.Offered() ? " offered" : ""));
            return c.entry;
        });
        zoe.comm.setTavloNumber(77);
        zoe.comm.Connect(host.comm.LocalAddress());
        EXPECT_TRUE(net.RunUntil([&] {
            return !zoe.EventsWithout("ack").empty() && NothingPending({&host, &ann, &zoe});
        }));
        net.RunFor(kQuietSpell);
        const int entry = static_cast<int>(c.entry);
        EXPECT_EQ(asked.size() >= 1 ? asked[0] : "", "Zoe 77 with her key") << entry;
        EXPECT_EQ(zoe.EventsWithout("ack"), c.zoeEvents) << entry;
        EXPECT_EQ(Table(ann.comm), c.annTable) << entry;
        EXPECT_EQ(Table(zoe.comm), c.zoeTable) << entry;
        EXPECT_EQ(host.comm.ContactCount(), c.entry == TLateEntry::kRefused ? 1 : 2) << entry;
    }
}

TEST(QCommAdmission, AdmissionHandlerAnswersTheJoinerAsSender) {
    TMemoryNetwork net;
    Member host(net, "Host", MemoryAddress(1), 1);
    Member joiner(net, "Ann", MemoryAddress(2));
    host.comm.OnNewClient = [&](const TQMsg&, const TpContact&) {
        host.comm.NewMsg(3).AddInt(3);
        host.comm.SendMsg(smSender, true);
    };
    joiner.comm.Connect(host.comm.LocalAddress());
    ASSERT_TRUE(net.RunUntil([&] { return joiner.Count("msg 3 Host") == 1; }));
}

TEST(QCommAdmission, JoinerIsConnectedOnceTheAnnouncedMembersAreKnown) { // no sockets
    TQComm joiner;
    joiner.setPort(kPeerPort);
    joiner.Connect("192.0.2.1"); // disabled: nothing goes out, but the reply is awaited
    Events events;
    joiner.OnConnected = [&] { events.push_back("connected"); };
    joiner.OnConnectionSuccess = [&] { events.push_back("success"); };
    joiner.OnNewClient = [&](const TQMsg&, const TpContact& c) {
        events.push_back("newclient " + c->Name);
    };
    const struct {
        std::string datagram;
        Events expected;
    } steps[] = {
        {Datagram(mtConnectReply, {1, 2, std::string("Host")}), {"success"}},
        {Datagram(mtPeerInfo, {std::string("Ann"), std::string("192.0.2.2"), 0}), {}},
        {Datagram(mtPeerInfo, {std::string("Bob"), std::string("192.0.2.3"), 0}), {"connected"}},
        {Datagram(mtPeerInfo, {std::string("Cid"), std::string("192.0.2.4"), 1}),
         {"connected", "newclient Cid"}},
    };
    for (const auto& step : steps) {
        events.clear();
        joiner.HandleDatagram(step.datagram, "192.0.2.1", kPeerPort);
        EXPECT_EQ(events, step.expected) << ToHex(step.datagram);
    }
    EXPECT_EQ(Table(joiner),
              (Table_{"Host@192.0.2.1", "Ann@192.0.2.2", "Bob@192.0.2.3", "Cid@192.0.2.4"}));
}

// Connect returns at once; the request goes when the host's name has been
// looked up, and a name that does not resolve is reported at every try.
TEST(QCommAdmission, AHostNameIsLookedUpAndOneThatDoesNotResolveIsReported) {
    const std::string lost = std::string("error ") + kLookupCancelledText;
    const struct {
        const char* what;
        bool reliable;
        const char* host;
        bool handled; // OnError set
        Events events;
        int escaped;
    } cases[] = {
        {"a name that resolves", true, "host.example", true, {"connected", "success"}, 0},
        {"written protocol, a name that resolves",
         false,
         "host.example",
         true,
         {"connected", "success"},
         0},
        {"written protocol, no such name",
         false,
         "nowhere.example",
         true,
         {lost, "timeout 254 Dummy", "failed Dummy -1"},
         0},
        // Four tries of the request, each one looked up.
        {"no such name",
         true,
         "nowhere.example",
         true,
         {lost, lost, lost, lost, "timeout 254 Dummy", "failed Dummy -1"},
         0},
        {"no such name, nobody to tell",
         true,
         "nowhere.example",
         false,
         {"timeout 254 Dummy", "failed Dummy -1"},
         4},
    };
    constexpr int kLookupMs = 50;
    for (const auto& c : cases) {
        TMemoryNetwork net;
        net.SetLookupTime(TMillis(kLookupMs));
        net.AddHost("host.example", MemoryAddress(1));
        Member host(net, "Host", MemoryAddress(1), 1);
        Member ann(net, "Ann", MemoryAddress(2));
        ann.comm.setReliable(c.reliable);
        ann.comm.setTimeout(kFastTimeout);
        if (!c.handled)
            ann.comm.OnError = nullptr;
        ann.comm.Connect(c.host);
        net.RunFor(kLookupMs - 1);
        EXPECT_EQ(host.comm.ContactCount(), 0) << c.what << ": sent before the name resolved";
        EXPECT_TRUE(net.RunUntil([&] { return ann.comm.PendingCount() == 0; })) << c.what;
        net.RunFor(kQuietSpell);
        EXPECT_EQ(ann.EventsWithout("ack"), c.events) << c.what;
        EXPECT_EQ(static_cast<int>(net.Escaped().size()), c.escaped) << c.what;
        for (const std::string& e : net.Escaped())
            EXPECT_EQ(e, kLookupCancelledText) << c.what;
    }
}

TEST(QCommRetries, AbsentPeerIsSentToRetriesTimesThenGivenUp) {
    const struct {
        const char* what;
        bool reliable;
        bool connectRequest;
        uint32_t retries;
        int transmissions;
        Events events;
    } cases[] = {
        {"connect request, written protocol, 3 retries",
         false,
         true,
         3,
         3,
         {"timeout 254 Dummy", "timeout 254 Dummy", "timeout 254 Dummy", "failed Dummy -1"}},
        // Sent every 2 Timeout + 0.5 s (0.6 s here), three times in all.
        {"connect request, extension", true, true, 0, 4, {"timeout 254 Dummy", "failed Dummy -1"}},
        // The absent peer never announced the extension: the written rule.
        {"move, 3 retries",
         true,
         false,
         3,
         3,
         {"timeout 2 Ann", "timeout 2 Ann", "timeout 2 Ann", "disconnect Ann 1"}},
        {"move, no retries", true, false, 0, 1, {"timeout 2 Ann", "disconnect Ann 1"}},
    };
    for (const auto& c : cases) {
        TMemoryNetwork net;
        Member sender(net, "Host", MemoryAddress(1));
        MemoryPeer absent(net, MemoryAddress(2)); // receives, never answers
        sender.comm.setReliable(c.reliable);
        sender.comm.setTimeout(kFastTimeout);
        sender.comm.setPacketRetries(c.retries);
        if (c.connectRequest) {
            sender.comm.Connect(absent.Address());
        } else {
            sender.comm.AddContact("Ann", absent.Address(), 0);
            sender.comm.NewMsg(2).AddInt(7);
            sender.comm.SendMsg(smAll, true);
        }
        EXPECT_TRUE(net.RunUntil([&] { return sender.comm.PendingCount() == 0; })) << c.what;
        net.RunFor(2 * kFastTimeout);
        EXPECT_EQ(sender.events, c.events) << c.what;
        EXPECT_EQ(static_cast<int>(absent.received.size()), c.transmissions) << c.what;
        EXPECT_EQ(sender.comm.ContactCount(), 0) << c.what;
    }
}

TEST(QCommRetries, TimeoutZeroNeverTimesOut) {
    TMemoryNetwork net;
    Member sender(net, "Host", MemoryAddress(1));
    MemoryPeer absent(net, MemoryAddress(2));
    sender.comm.setTimeout(0);
    sender.comm.AddContact("Ann", absent.Address(), 0);
    sender.comm.NewMsg(2).AddInt(7);
    sender.comm.SendMsg(smAll, true);
    for (int tick = 0; tick < 5; ++tick)
        sender.comm.TimerTick();
    net.RunFor(10 * kIdleTickInterval); // the timer's own ticks too
    EXPECT_TRUE(sender.events.empty());
    EXPECT_EQ(sender.comm.PendingCount(), 1);
    EXPECT_EQ(absent.received.size(), 1u);
}

TEST(QCommAcks, SettleTheOldestPendingMessageOfTheirKindFirst) {
    TMemoryNetwork net;
    Member sender(net, "Host", MemoryAddress(1));
    sender.comm.setTimeout(0); // the test ticks by hand
    MemoryPeer ann(net, MemoryAddress(2));
    sender.comm.AddContact("Ann", ann.Address(), 0);
    std::vector<int> settled;
    sender.comm.OnGotAck = [&](const TQMsg& m, const TpContact&) { settled.push_back(m.IntAt(0)); };
    for (int n : {1, 2}) {
        sender.comm.NewMsg(7).AddInt(n);
        sender.comm.SendMsg(smAll, true);
    }
    const std::string ackOf7 = Hex("0B 00 00 00 FF 01 00 07 00 00 00");
    const std::string ackOf8 = Hex("0B 00 00 00 FF 01 00 08 00 00 00");
    ann.SendTo(ackOf8, sender.comm.LocalAddress()); // matches nothing
    ann.SendTo(ackOf7, sender.comm.LocalAddress());
    ASSERT_TRUE(net.RunUntil([&] { return settled.size() == 1; }));
    EXPECT_EQ(settled, std::vector<int>{1});
    ann.SendTo(ackOf7, sender.comm.LocalAddress());
    ASSERT_TRUE(net.RunUntil([&] { return settled.size() == 2; }));
    EXPECT_EQ(settled, (std::vector<int>{1, 2}));

    // Settled messages are freed by the first examination after it.
    EXPECT_EQ(sender.comm.PendingCount(), 2);
    sender.comm.TimerTick();
    sender.comm.TimerTick();
    EXPECT_EQ(sender.comm.PendingCount(), 0);
}

TEST(QCommAcks, OneMessageToThreeContactsIsAcknowledgedThreeTimes) {
    TMemoryNetwork net;
    Member host(net, "Host", MemoryAddress(1));
    Member a(net, "A", MemoryAddress(2)), b(net, "B", MemoryAddress(3)),
        c(net, "C", MemoryAddress(4));
    for (Member* m : {&a, &b, &c})
        host.comm.AddContact(m->comm.ClientName(), m->comm.LocalAddress(), 0);
    host.comm.NewMsg(0).AddStr("hello");
    host.comm.SendMsg(smAll, true);
    ASSERT_TRUE(net.RunUntil([&] { return host.events.size() == 3; }));
    EXPECT_EQ(host.Count("ack 0 A") + host.Count("ack 0 B") + host.Count("ack 0 C"), 3);
    for (Member* m : {&a, &b, &c})
        EXPECT_EQ(m->events, Events{"msg 0 Dummy"}); // the host is not in their tables
    ASSERT_TRUE(net.RunUntil([&] { return host.comm.PendingCount() == 0; }));
}

TEST(QCommLeaving, TrackedLeaveNoticeEmptiesTheTableWithoutTimeouts) {
    Meeting meeting(true);
    Mesh mesh(meeting);
    mesh.Join();
    mesh.ann.events.clear();
    mesh.ann.comm.Disconnect(true);
    ASSERT_TRUE(meeting.Until([&] {
        return mesh.host.Count("disconnect Ann 0") == 1 && mesh.bob.Count("disconnect Ann 0") == 1;
    }));
    ASSERT_TRUE(meeting.Until([&] { return mesh.ann.comm.ContactCount() == 0 && mesh.Settled(); }));
    meeting.network_.RunFor(kQuietSpell);
    ASSERT_EQ(mesh.ann.events.size(), 1u); // one acknowledgement, then nobody is left
    EXPECT_TRUE(mesh.ann.events[0] == "ack 251 Host" || mesh.ann.events[0] == "ack 251 Bob");
    EXPECT_EQ(Table(mesh.host.comm), Table_{mesh.Entry(mesh.bob)});
    EXPECT_EQ(Table(mesh.bob.comm), Table_{mesh.Entry(mesh.host)});
}

TEST(QCommLeaving, DisablingAndEnablingKeepsTheContacts) {
    TMemoryNetwork net;
    Member host(net, "Host", MemoryAddress(1), 1);
    Member ann(net, "Ann", MemoryAddress(2));
    ann.comm.Connect(host.comm.LocalAddress());
    ASSERT_TRUE(net.RunUntil([&] { return ann.Count("success") == 1; }));

    host.comm.setEnabled(false); // an untracked leave notice
    ASSERT_TRUE(net.RunUntil([&] { return ann.Count("disconnect Host 0") == 1; }));
    host.comm.setEnabled(true);
    EXPECT_EQ(Table(host.comm), Table_{"Ann@" + MemoryAddress(2)});

    host.comm.NewMsg(3).AddInt(1);
    host.comm.SendMsg(smAll, true);
    ASSERT_TRUE(net.RunUntil([&] { return host.Count("ack 3 Ann") == 1; }));
    EXPECT_EQ(ann.Count("msg 3 Dummy"), 1); // Ann no longer knows the host
}

// The real socket closed from inside its own receive event.
TEST(QCommLeaving, CanBeDisabledFromItsOwnEvent) {
    Member host("Host", NewLoopbackAddress());
    RawPeer ann(NewLoopbackAddress());
    host.comm.OnGotMsg = [&](const TQMsg&, const TpContact&) { host.comm.setEnabled(false); };
    ann.SendTo(Datagram(4, {}), host.comm.LocalAddress());
    ASSERT_TRUE(WaitUntil([&] { return !host.comm.Enabled(); }));
    RunEventsFor(20); // the closed endpoint is released from the event loop

    host.comm.OnGotMsg = [&](const TQMsg& m, const TpContact&) {
        host.events.push_back("msg " + std::to_string(m.MsgType));
    };
    host.comm.setEnabled(true);
    ann.SendTo(Datagram(5, {}), host.comm.LocalAddress());
    ASSERT_TRUE(WaitUntil([&] { return host.Count("msg 5") == 1; }));
}

TEST(QCommReceiving, IgnoresDatagramsFromAnotherSourcePort) {
    TMemoryNetwork net;
    Member host(net, "Host", MemoryAddress(1));
    MemoryPeer ann(net, MemoryAddress(2));
    MemoryPeer annElsewhere(net, MemoryAddress(2), kPeerPort + 1);
    annElsewhere.SendTo(Datagram(0, {std::string("hi")}), host.comm.LocalAddress());
    net.RunFor(kQuietSpell);
    EXPECT_TRUE(host.events.empty());
    EXPECT_TRUE(ann.received.empty()); // not even acknowledged

    ann.SendTo(Datagram(0, {std::string("hi")}), host.comm.LocalAddress());
    ASSERT_TRUE(net.RunUntil([&] { return !ann.received.empty(); }));
    EXPECT_EQ(host.events, Events{"msg 0 Dummy"});
    EXPECT_EQ(ToHex(ann.received[0]), "0B 00 00 00 FF 01 00 00 00 00 00");
}

TEST(QCommReceiving, DropsMalformedDatagramsAndGoesOnWorking) { // no sockets
    const struct {
        const char* what;
        std::vector<std::string> datagrams; // from 192.0.2.1 unless marked "B:"
        Events events;
    } cases[] = {
        {"cut inside an item", {Hex("0A 00 00 00 02 01 00 07 00 00")}, {}},
        {"negative string length", {Hex("0B 00 00 00 00 01 01 FF FF 61 62")}, {}},
        {"more items than bytes", {Hex("0B 00 00 00 02 03 00 07 00 00 00")}, {}},
        {"shorter than a header", {Hex("06 00 00")}, {}},
        {"empty", {""}, {}},
        {"declared over 2048", {Hex("00 10 00 00 02 00")}, {}},
        {"bytes behind the message", {Datagram(2, {7}) + "junk!!!"}, {"msg 2"}},
        {"two datagrams of one message",
         {Datagram(5, {std::string("twenty-one characters")}).substr(0, 20),
          Datagram(5, {std::string("twenty-one characters")}).substr(20)},
         {"msg 5"}},
        {"a partial message given up for another sender",
         {Datagram(5, {std::string("twenty-one characters")}).substr(0, 20),
          "B:" + Datagram(6, {})},
         {"msg 6"}},
    };
    for (const auto& c : cases) {
        TQComm comm;
        comm.setPort(kPeerPort);
        Events events;
        comm.OnGotMsg = [&](const TQMsg& m, const TpContact&) {
            events.push_back("msg " + std::to_string(m.MsgType));
        };
        for (const std::string& d : c.datagrams) {
            if (d.rfind("B:", 0) == 0)
                comm.HandleDatagram(d.substr(2), "192.0.2.2", kPeerPort);
            else
                comm.HandleDatagram(d, "192.0.2.1", kPeerPort);
        }
        EXPECT_EQ(events, c.events) << c.what;
        events.clear();
        comm.HandleDatagram(Datagram(3, {1}), "192.0.2.3", kPeerPort); // still working
        EXPECT_EQ(events, Events{"msg 3"}) << c.what;
    }
}

TEST(QCommReceiving, AnErrorInAHandlerDoesNotStopLaterMessages) { // no sockets
    TQComm comm;
    comm.setPort(kPeerPort);
    Events events;
    comm.OnGotMsg = [&](const TQMsg& m, const TpContact&) {
        events.push_back("msg " + std::to_string(m.MsgType));
        if (m.MsgType == 1)
            throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(comm.HandleDatagram(Datagram(1, {}), "192.0.2.1", kPeerPort), std::runtime_error);
    comm.HandleDatagram(Datagram(2, {}), "192.0.2.1", kPeerPort);
    EXPECT_EQ(events, (Events{"msg 1", "msg 2"}));
}

// Through the real event loop to the application's notify.
TEST(QCommReceiving, AnErrorEscapingAnEventReachesTheApplication) {
    Member host("Host", NewLoopbackAddress());
    RawPeer ann(NewLoopbackAddress());
    host.comm.OnGotMsg = [&](const TQMsg& m, const TpContact&) {
        host.events.push_back("msg " + std::to_string(m.MsgType));
        if (m.MsgType == 1)
            throw std::runtime_error("handler failed");
    };
    EscapedErrors().clear();
    ann.SendTo(Datagram(1, {}), host.comm.LocalAddress());
    ASSERT_TRUE(WaitUntil([&] { return !EscapedErrors().empty(); }));
    EXPECT_EQ(EscapedErrors(), std::vector<std::string>{"handler failed"});
    ann.SendTo(Datagram(2, {}), host.comm.LocalAddress());
    ASSERT_TRUE(WaitUntil([&] { return host.Count("msg 2") == 1; }));
    EXPECT_EQ(ann.received.size(), 2u); // both were acknowledged first
}

TEST(QCommContacts, OutOfRangeIsTheOutsiderAndDeletingStrikesPendingAddressees) { // no sockets
    TQComm comm;
    EXPECT_EQ(comm.Contacts(-1)->Name, "Dummy");
    EXPECT_EQ(comm.Contacts(0)->Name, "Dummy");
    comm.AddContact("Ann", "192.0.2.1", 7);
    comm.AddContact("Bob", "192.0.2.2", 0);
    EXPECT_EQ(comm.Contacts(2)->Name, "Dummy");
    EXPECT_EQ(comm.IndexOfAddress("192.0.2.2"), 1);
    EXPECT_EQ(comm.IndexOfAddress("192.0.2.9"), -1);
    comm.DeleteContact(5); // nothing

    Events events;
    comm.OnTimeout = [&](const TQMsg&, const TpContact& c) { events.push_back(c->Name); };
    comm.NewMsg(2).AddInt(1);
    comm.SendMsg(smAll, true); // disabled: nothing goes out, but it is pending
    const TpContact ann = comm.Contacts(0);
    comm.DeleteContact(0);
    EXPECT_EQ(ann->Name, "Ann"); // still a valid record for whoever holds it
    comm.TimerTick();
    comm.TimerTick();
    EXPECT_EQ(events, Events{"Bob"}); // Ann was struck, Bob times out
}

// Carries one program's datagrams to another as if they came from `from`:
// a route that is not the socket.
struct Relay : TDatagramPath {
    Relay(TMemoryNetwork& n, TQComm& t, std::string f) : net(n), to(t), from(std::move(f)) {}
    void Send(const std::string& bytes) override {
        ++carried;
        net.At(net.Now() + TMillis(1),
               [this, bytes] { to.HandleDatagram(bytes, from, to.Port()); });
    }
    TMemoryNetwork& net;
    TQComm& to;
    std::string from;
    int carried = 0;
};

// Every datagram between two contacts, acknowledgements and keep-alives
// included, goes on their paths while they are set, and through the
// socket again once they are cleared.
TEST(QCommPaths, AContactsDatagramsGoOnItsPathUntilCleared) {
    for (const bool reliable : {false, true}) {
        SCOPED_TRACE(reliable ? "extension" : "written protocol");
        TMemoryNetwork net;
        Member host(net, "Host", MemoryAddress(1), 1);
        Member ann(net, "Ann", MemoryAddress(2));
        for (Member* m : {&host, &ann})
            m->comm.setReliable(reliable);
        ann.comm.Connect(host.comm.LocalAddress());
        ASSERT_TRUE(net.RunUntil([&] {
            return ann.Count("success") == 1 && NothingPending({&host, &ann});
        }));
        int onSockets = 0;
        for (Member* m : {&host, &ann})
            m->comm.setWireTap([&](const std::string&, const std::string&, int) { ++onSockets; });

        const auto toAnn = std::make_shared<Relay>(net, ann.comm, host.comm.LocalAddress());
        const auto toHost = std::make_shared<Relay>(net, host.comm, ann.comm.LocalAddress());
        host.comm.SetPath(host.comm.Contacts(0), toAnn);
        ann.comm.SetPath(ann.comm.Contacts(0), toHost);
        const auto exchange = [&](int hostKind, int annKind) {
            host.comm.NewMsg(hostKind).AddInt(1);
            host.comm.SendMsg(smAll, true);
            ann.comm.NewMsg(annKind).AddInt(2);
            ann.comm.SendMsg(smAll, true);
            const std::string ackOfHost = "ack " + std::to_string(hostKind) + " Ann";
            const std::string ackOfAnn = "ack " + std::to_string(annKind) + " Host";
            return net.RunUntil([&] {
                return host.Count(ackOfHost) == 1 && ann.Count(ackOfAnn) == 1 &&
                       NothingPending({&host, &ann});
            });
        };
        ASSERT_TRUE(exchange(3, 4));
        net.RunFor(3 * kQuietSpell);
        EXPECT_EQ(onSockets, 0);
        EXPECT_GE(toAnn->carried, 2); // the message and the acknowledgement
        EXPECT_GE(toHost->carried, 2);
        EXPECT_EQ(host.Count("msg 4 Ann"), 1);
        EXPECT_EQ(ann.Count("msg 3 Host"), 1);

        host.comm.ClearPath(host.comm.Contacts(0));
        ann.comm.ClearPath(ann.comm.Contacts(0));
        const int carried = toAnn->carried + toHost->carried;
        ASSERT_TRUE(exchange(5, 6));
        EXPECT_GE(onSockets, 4);
        EXPECT_EQ(toAnn->carried + toHost->carried, carried);
        EXPECT_EQ(host.Count("msg 6 Ann"), 1);
        EXPECT_EQ(ann.Count("msg 5 Host"), 1);

        // A contact that leaves the table takes its path along, though its
        // record lives on elsewhere: a later contact at the address is not
        // sent down it.
        const TpContact held = host.comm.Contacts(0);
        host.comm.SetPath(held, toAnn);
        host.comm.RemoveContact(held);
        host.comm.AddContact("Ann", ann.comm.LocalAddress(), 0);
        const int before = toAnn->carried;
        host.comm.NewMsg(7).AddInt(3);
        host.comm.SendMsg(smAll, false);
        net.RunFor(kQuietSpell);
        EXPECT_EQ(toAnn->carried, before);
    }
}

} // namespace
