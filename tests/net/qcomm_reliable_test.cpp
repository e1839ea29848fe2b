// The reliable delivery extension between programs of this version, and
// the written protocol towards a peer that never announced it.
#include "net_test_support.h"
#include "qcomm.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

namespace {

using Events = std::vector<std::string>;

// These cases bind 127.0.11.n.
std::string Address(int n) {
    return "127.0.11." + std::to_string(n);
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
    explicit Tap(TQComm& comm) {
        comm.setWireTap([this](const std::string& bytes, const std::string& to, int) {
            sent[to].push_back(bytes);
        });
    }
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
    int base = 1;
    for (const auto& c : cases) {
        std::vector<std::unique_ptr<Member>> peers;
        const char* names[] = {"Host", "Ann", "Bob"};
        std::vector<Received> received(c.peers);
        for (int i = 0; i < c.peers; ++i) {
            peers.push_back(std::make_unique<Member>(names[i], Address(base + i), c.peers - 1));
            TFaultSettings faults;
            faults.loss = c.loss;
            faults.duplicate = 0.05;
            faults.reorder = 0.10;
            faults.seed = 100 + i;
            peers[i]->comm.setFaults(faults);
            CountMessages(*peers[i], received[i]);
        }
        base += 10;
        // The admission goes through the faults too.
        for (int i = 1; i < c.peers; ++i) {
            peers[i]->comm.Connect(peers[0]->comm.LocalAddress());
            ASSERT_TRUE(WaitUntil([&] { return peers[i]->Count("success") == 1; }, 10000))
                << c.what;
        }
        ASSERT_TRUE(WaitUntil(
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
        QTimer pace;
        QObject::connect(&pace, &QTimer::timeout, [&] {
            for (int burst = 0; burst < 10 && next < c.messages; ++burst, ++next)
                for (const auto& p : peers) {
                    p->comm.NewMsg(kCountedKind).AddInt(next);
                    p->comm.SendMsg(smAll, true);
                }
        });
        pace.start(20);
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
        EXPECT_TRUE(WaitUntil(allArrived, 15000)) << c.what;
        pace.stop();
        EXPECT_TRUE(WaitUntil([&] {
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

} // namespace
