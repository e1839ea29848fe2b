// A handler that runs a nested event loop for longer than the peers' time-out
// (the game does: a peer's end of turn starts several computer moves with
// delays between their steps).  Nobody may be given up meanwhile.
#include "net_test_support.h"
#include "qcomm.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;

const std::string kSenderAddress = MemoryAddress(8);
const std::string kBusyAddress = MemoryAddress(9);
constexpr int kBusyKind = 1;
constexpr int kLaterKind = 2;
constexpr int kSentWhileBusy = 3;

TEST(QCommBusy, MessagesAreAcknowledgedAtReceiptWhileAnEarlierOneIsStillHandled) {
    TMemoryNetwork net;
    Member sender(net, "Ann", kSenderAddress);
    Member busy(net, "Bob", kBusyAddress);
    sender.comm.AddContact("Bob", kBusyAddress, 0);
    busy.comm.AddContact("Ann", kSenderAddress, 0);
    const auto note = busy.comm.OnGotMsg;
    busy.comm.OnGotMsg = [&](const TQMsg& m, const TpContact& c) {
        note(m, c);
        if (m.MsgType != kBusyKind)
            return;
        // Sent from inside the long handler: Ann's acknowledgement of it
        // arrives while this handler still runs.
        busy.comm.NewMsg(kSentWhileBusy).AddStr("still here");
        busy.comm.SendMsg(smAll, true);
        net.RunFor(4 * kTestTimeout);
        busy.events.push_back("handler done");
    };

    sender.comm.NewMsg(kBusyKind);
    sender.comm.SendMsg(smAll, true);
    ASSERT_TRUE(net.RunUntil([&] { return busy.Count("msg 1 Ann") == 1; }));
    sender.comm.NewMsg(kLaterKind).AddInt(7);
    sender.comm.SendMsg(smAll, true);

    ASSERT_TRUE(net.RunUntil([&] { return busy.Count("msg 2 Ann") == 1; }, 5000));
    ASSERT_TRUE(net.RunUntil([&] { return sender.comm.PendingCount() == 0; }));
    ASSERT_TRUE(net.RunUntil([&] { return busy.comm.PendingCount() == 0; }));
    net.RunFor(2 * kTestTimeout);

    // In order: the later message only after the long handler.
    EXPECT_EQ(busy.EventsWithout("ack"), (Events{"msg 1 Ann", "handler done", "msg 2 Ann"}));
    EXPECT_EQ(busy.Count("ack 3 Ann"), 1);
    EXPECT_EQ(sender.EventsWithout("msg"), (Events{"ack 1 Bob", "ack 2 Bob"}));
    EXPECT_EQ(sender.Count("msg 3 Bob"), 1);
    EXPECT_EQ(Table(sender.comm), Events{"Bob@" + kBusyAddress});
    EXPECT_EQ(Table(busy.comm), Events{"Ann@" + kSenderAddress});
}

TEST(QCommBusy, AConnectRequestIsStillAnsweredBeforeItIsAcknowledged) {
    TMemoryNetwork net;
    Member host(net, "Host", kBusyAddress, 1);
    MemoryPeer joiner(net, kSenderAddress);
    joiner.SendTo(
        Datagram(mtConnectRequest, {std::string("Ann"), kPeerPort, host.comm.OwnVersion(), 0}),
        kBusyAddress);
    ASSERT_TRUE(net.RunUntil([&] { return joiner.received.size() >= 2; }));
    std::vector<int> kinds;
    for (const std::string& datagram : joiner.received) {
        TQMsg msg;
        msg.AppendReceived(datagram);
        ASSERT_EQ(msg.Decode(false), 0);
        kinds.push_back(msg.MsgType == mtAck ? 1000 + msg.IntAt(0) : msg.MsgType);
    }
    EXPECT_EQ(kinds, (std::vector<int>{mtConnectReply, 1000 + mtConnectRequest}));
}

} // namespace
