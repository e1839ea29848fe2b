// The extension against a third party on the network and against peers
// that do not play fair: datagrams forged with a member's address, lying
// acknowledgements, a member that never acknowledges, a program that
// restarts mid-game, and paths slower than the first time-out.
#include "net_test_support.h"
#include "qcomm.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

using Events = std::vector<std::string>;
constexpr int kMove = 5; // an application kind that carries a running number

// The trailer of a sealed datagram of the extension, if it is one.
bool TrailerOf(const std::string& datagram, TLinkTrailer& trailer) {
    return TLinkSeal::LooksSealed(datagram, trailer);
}

std::string Linked(int kind, const std::vector<std::variant<int, std::string>>& items,
                   const TLinkTrailer& trailer) {
    TQMsg msg;
    msg.AppendReceived(Datagram(kind, items));
    msg.Decode(false);
    return msg.EncodeWithTrailer(EncodeTrailer(trailer));
}

// Programs of this version on one in-memory network: the first hosts, the
// others join it one after the other.
struct Group {
    // own: timings of single members, by index, in place of timing.
    explicit Group(int count, const TLinkTiming& timing = {}, TMillis latency = TMillis(1),
                   const std::map<int, TLinkTiming>& own = {}) {
        net.SetLatency(latency);
        for (int i = 0; i < count; ++i) {
            const std::string name = i == 0 ? "Host" : "M" + std::to_string(i);
            members.push_back(
                std::make_unique<Member>(net, name, MemoryAddress(100 + i), count - 1));
            members.back()->comm.setTiming(own.contains(i) ? own.at(i) : timing);
        }
        for (int i = 1; i < count; ++i) {
            Member& joiner = *members[i];
            joiner.comm.Connect(members[0]->comm.LocalAddress());
            EXPECT_TRUE(net.RunUntil([&] {
                return joiner.Count("connected") >= 1 && Settled() &&
                       AllKnow(static_cast<int>(i) + 1);
            })) << "joining "
                << i;
        }
        for (auto& m : members)
            m->events.clear();
    }
    // The members' leave notices at the end go past no filter of a case
    // whose captures are gone by then.
    ~Group() { net.SetFilter(nullptr); }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    bool Settled() const {
        return std::all_of(members.begin(), members.end(),
                           [](const auto& m) { return m->comm.PendingCount() == 0; });
    }
    bool AllKnow(int present) const {
        for (int i = 0; i < present; ++i)
            if (members[i]->comm.ContactCount() != present - 1)
                return false;
        return true;
    }
    Member& operator[](int i) { return *members[i]; }
    std::string Address(int i) const { return MemoryAddress(100 + i); }

    TMemoryNetwork net;
    std::vector<std::unique_ptr<Member>> members;
};

// The numbers of kMove that one member received, by sender.
using Received = std::map<std::string, std::vector<int>>;
void CountMoves(Member& member, Received& received) {
    const auto note = member.comm.OnGotMsg;
    member.comm.OnGotMsg = [note, &received](const TQMsg& m, const TpContact& c) {
        if (m.MsgType == kMove)
            received[c->Name].push_back(m.IntAt(0));
        else
            note(m, c);
    };
}

void SendMove(Member& from, int number) {
    from.comm.NewMsg(kMove).AddInt(number);
    from.comm.SendMsg(smAll, true);
}

std::vector<int> Numbers(int count) {
    std::vector<int> numbers(count);
    for (int i = 0; i < count; ++i)
        numbers[i] = i;
    return numbers;
}

bool NoDisconnection(const Member& m) {
    return std::none_of(m.events.begin(), m.events.end(),
                        [](const std::string& e) { return e.rfind("disconnect", 0) == 0; });
}

// A third party sends datagrams with M1's address to the host all through
// a stream of moves both ways.  Nothing it sends is taken: every move
// arrives once and in order, nobody is given up, and the drop is counted.
// It sees nothing of the session but what it captures of M1's datagrams.
TEST(QCommHostile, ForgedDatagramsWithAMembersAddressChangeNothing) {
    enum Forgery {
        kRequest,
        kWrittenMove,
        kOtherSession,
        kReplay,
        kLyingAck,
        kOwnSeal,
        kAltered
    };
    const struct {
        const char* what;
        Forgery forgery;
        int TDropCounts::*counter;
    } cases[] = {
        {"connect request of another session", kRequest, &TDropCounts::refusedRequests},
        {"move without the trailer", kWrittenMove, &TDropCounts::unsealed},
        {"unsealed move with another session", kOtherSession, &TDropCounts::unsealed},
        {"replay of the member's datagrams", kReplay, &TDropCounts::replayed},
        // Without the seal a lying acknowledgement goes no further than any
        // other unsealed datagram.
        {"unsealed acknowledgement of what was never sent", kLyingAck, &TDropCounts::unsealed},
        {"move sealed with a key of its own", kOwnSeal, &TDropCounts::forged},
        {"member's datagram altered", kAltered, &TDropCounts::forged},
    };
    constexpr int kMoves = 200;
    for (const auto& c : cases) {
        Group group(3);
        Member& host = group[0];
        const std::string member = group.Address(1);
        Received atHost, atMember;
        CountMoves(host, atHost);
        CountMoves(group[1], atMember);
        std::vector<std::string> captured; // M1's datagrams to the host
        group.net.SetFilter(
            [&](const std::string& bytes, const std::string& from, const std::string& to) {
                if (from == member && to == group.Address(0))
                    captured.push_back(bytes);
                return true;
            });
        const TLinkKeyPair eve = TLinkKeyPair::Generate();
        auto forge = [&](int n) {
            TLinkTrailer real;
            const bool known = !captured.empty() && TrailerOf(captured.back(), real);
            const uint32_t session = known ? real.session : 1;
            std::string bytes;
            switch (c.forgery) {
            case kRequest:
                bytes = Linked(mtConnectRequest,
                               {std::string("Eve"), kPeerPort, host.comm.OwnVersion(), 0,
                                std::string(kLinkKeyBytes, 'e'), std::string(), std::string()},
                               {kTrailerOffer, session + 1});
                break;
            case kWrittenMove:
                bytes = Datagram(kMove, {1000 + n});
                break;
            case kOtherSession:
                bytes = Linked(kMove, {1000 + n}, {kTrailerSequenced, session + 1, 0});
                break;
            case kReplay:
                if (captured.empty())
                    return;
                bytes = captured[n % captured.size()];
                break;
            case kLyingAck:
                bytes = Linked(mtAck, {}, {0, session, 0, real.ackNext + 1000, 0});
                break;
            case kOwnSeal:
                bytes = TLinkSeal::Agree(eve, session, host.comm.KeyPair().publicKey,
                                         host.comm.Session())
                            ->Seal(Linked(kMove, {1000 + n},
                                          {kTrailerSequenced, session, real.ackNext + 1}));
                bytes[bytes.size() - kSealTagBytes - 1] = 0x7F; // a number not taken yet
                break;
            case kAltered:
                if (captured.empty())
                    return;
                bytes = captured.back();
                bytes[kHeaderBytes] ^= 0x01;
                // A number not taken yet, so that only the tag can refuse it.
                bytes[bytes.size() - kSealTagBytes - 1] = 0x7F;
                break;
            }
            group.net.Forge(bytes, member, kPeerPort, group.Address(0), kPeerPort);
        };
        for (int n = 0; n < kMoves; ++n) {
            SendMove(host, n);
            SendMove(group[1], n);
            forge(n);
            group.net.RunFor(20);
        }
        ASSERT_TRUE(group.net.RunUntil([&] { return group.Settled(); })) << c.what;
        EXPECT_EQ(atHost["M1"], Numbers(kMoves)) << c.what;
        EXPECT_EQ(atMember["Host"], Numbers(kMoves)) << c.what;
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(NoDisconnection(group[i])) << c.what << ", member " << i;
            EXPECT_EQ(group[i].comm.ContactCount(), 2) << c.what << ", member " << i;
        }
        if (c.counter) {
            EXPECT_GT(host.comm.Dropped().*(c.counter), 0) << c.what;
        }
    }
}

// M1 hears the host no more but goes on sending its keep-alives, so it is
// never silent; it is given up all the same, when our oldest message has
// waited the silence or when its queue is full, whichever comes first, and
// what waits for it stays bounded meanwhile.
TEST(QCommHostile, APeerThatNeverAcknowledgesIsGivenUpAndItsQueueBounded) {
    const struct {
        const char* what;
        int silenceMs;
        int moveEveryMs;
        const char* why;
    } cases[] = {
        {"a move every 20 ms", 2000, 20, "our oldest message unacknowledged for 2 s"},
        {"a move every ms", 20000, 1, "1024 messages wait for its acknowledgement"},
    };
    for (const auto& c : cases) {
        TLinkTiming timing;
        timing.silence = TMillis(c.silenceMs);
        timing.keepAlive = TMillis(100);
        Group group(2, timing);
        Member& host = group[0];
        std::vector<std::string> log;
        host.comm.OnLog = [&](const std::string& line) { log.push_back(line); };
        group.net.SetFilter([&](const std::string&, const std::string& from, const std::string&) {
            return from != group.Address(0);
        });
        const auto before = group.net.Elapsed();
        int mostPending = 0, sent = 0;
        while (host.comm.ContactCount() == 1 && (group.net.Elapsed() - before).count() < 30000) {
            SendMove(host, sent++);
            mostPending = std::max(mostPending, host.comm.PendingCount());
            group.net.RunFor(c.moveEveryMs);
        }
        const long long givenUpAfter = (group.net.Elapsed() - before).count();
        EXPECT_EQ(host.comm.ContactCount(), 0) << c.what;
        EXPECT_EQ(host.Count("disconnect M1 1"), 1) << c.what;
        ASSERT_EQ(log.size(), 1u) << c.what;
        EXPECT_EQ(log[0], "Gave up M1 at " + group.Address(1) + ": " + c.why) << c.what;
        EXPECT_LE(mostPending, static_cast<int>(kMaxQueuedPerPeer)) << c.what;
        EXPECT_LE(givenUpAfter, c.silenceMs + 500) << c.what;
        group.net.RunFor(100);
        EXPECT_EQ(host.comm.PendingCount(), 0) << c.what << ": nothing kept for it";
    }
}

// M1 crashes and starts again at its address while the others still hold
// its link.  Its new requests do not cut anyone off; once the host has
// given the old link up it is admitted afresh, and M2, told of it by the
// host, keeps one contact for it and hears its moves.
TEST(QCommHostile, AMemberThatRestartsMidGameBreaksNoLiveLinkAndKeepsOneContact) {
    TLinkTiming hostTiming;
    hostTiming.silence = TMillis(2000);
    hostTiming.keepAlive = TMillis(100);
    TLinkTiming patient = hostTiming;
    patient.silence = TMillis(20000); // M2 still holds the old link when the host admits it
    Group group(3, hostTiming, TMillis(1), {{2, patient}});
    Received atHost, atM2;
    CountMoves(group[0], atHost);
    CountMoves(group[2], atM2);

    TFaultSettings cut;
    cut.loss = 1; // it crashes: not even its leave notice gets out
    group[1].comm.setFaults(cut);
    group.members[1].reset();
    group.members[1] = std::make_unique<Member>(group.net, "M1", group.Address(1));
    Member& again = group[1];
    again.comm.setTiming(hostTiming);
    again.comm.Connect(group.Address(0));

    // Meanwhile the host and M2 go on playing.
    for (int n = 0; n < 50; ++n) {
        SendMove(group[0], n);
        group.net.RunFor(20);
    }
    EXPECT_GT(group[0].comm.Dropped().refusedRequests, 0);
    EXPECT_EQ(atM2["Host"], Numbers(50));
    ASSERT_TRUE(group.net.RunUntil([&] { return again.Count("connected") >= 1; }, 15000));
    ASSERT_TRUE(group.net.RunUntil([&] { return group.Settled(); }));

    SendMove(again, 0);
    ASSERT_TRUE(
        group.net.RunUntil([&] { return atM2["M1"].size() == 1 && atHost["M1"].size() == 1; }));
    const Events m2Table = Table(group[2].comm);
    EXPECT_EQ(std::count(m2Table.begin(), m2Table.end(), "M1@" + group.Address(1)), 1);
    EXPECT_EQ(group[2].comm.ContactCount(), 2);
    EXPECT_EQ(Table(again.comm).size(), 2u);
    EXPECT_TRUE(NoDisconnection(group[2]));
    EXPECT_EQ(group[2].Count("newclient M1"), 1);
}

// Round trips from short to longer than the first time-out: after the
// first ten moves the path is known and each move costs about one
// datagram; nobody is given up.
TEST(QCommHostile, MovesCostOneDatagramEachOnceTheRoundTripIsKnown) {
    constexpr int kMoves = 80, kLearning = 10, kMoveEveryMs = 20;
    for (int roundTripMs : {100, 300, 400, 800}) {
        Group group(2, TLinkTiming{}, TMillis(roundTripMs / 2));
        Received atMember;
        CountMoves(group[1], atMember);
        int datagrams = 0;
        bool counting = false;
        group.net.SetFilter([&](const std::string&, const std::string& from, const std::string&) {
            datagrams += counting && from == group.Address(0);
            return true;
        });
        for (int n = 0; n < kMoves; ++n) {
            counting = counting || n == kLearning;
            SendMove(group[0], n);
            group.net.RunFor(kMoveEveryMs);
        }
        ASSERT_TRUE(group.net.RunUntil([&] { return group.Settled(); })) << roundTripMs;
        EXPECT_EQ(atMember["Host"], Numbers(kMoves)) << roundTripMs;
        const double perMove = static_cast<double>(datagrams) / (kMoves - kLearning);
        EXPECT_LE(perMove, 1.1) << roundTripMs << " ms: " << datagrams << " datagrams";
        EXPECT_TRUE(NoDisconnection(group[0]) && NoDisconnection(group[1])) << roundTripMs;
    }
}

} // namespace
