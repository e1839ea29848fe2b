// Games on this network over real multicast on the loopback interface:
// hosts and watchers on addresses 127.0.41.x, on test ports of their own
// so that nothing else on the machine is heard.
#include "lan_announcement.h"
#include "lan_game_watch.h"
#include "lan_host_announcement.h"
#include "multicast_receiver.h"
#include "multicast_sender.h"
#include "plain_text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

constexpr int kTestPort = 32381;
constexpr int kOtherTestPort = 32382;

std::string Loopback(int n) {
    return "127.0.41." + std::to_string(n);
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!cond() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return cond();
}

void RunFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

std::vector<std::string> Shown(const std::vector<TLanGameEntry>& games) {
    std::vector<std::string> lines;
    for (const TLanGameEntry& g : games)
        lines.push_back(g.address + " " + g.name + " " + g.players);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LanNetwork, AGameIsSeenFromItsHostUpdatedRunningAndWithdrawnWhenItEnds) {
    int changes = 0;
    const auto counted = [&](const std::vector<TLanGameEntry>&) { ++changes; };
    TLanGameWatch here(Loopback(3), counted, kTestPort);
    TLanGameWatch alsoHere(Loopback(4), nullptr, kTestPort);
    TLanGameWatch otherPort(Loopback(5), nullptr, kOtherTestPort);
    TLanHostAnnouncement host(Loopback(2), kTestPort);
    host.Start("Friday", "1/2");
    ASSERT_TRUE(
        WaitUntil([&] { return !here.Games().empty() && !alsoHere.Games().empty(); }, 2000));
    EXPECT_EQ(Shown(here.Games()), Lines{"127.0.41.2 Friday 1/2"});
    EXPECT_EQ(Shown(alsoHere.Games()), Lines{"127.0.41.2 Friday 1/2"});
    EXPECT_EQ(changes, 1);

    // Announced again every second, the game outlives an entry's lifetime.
    RunFor(static_cast<int>(kLanEntryLifetimeMs) + 1000);
    EXPECT_EQ(Shown(here.Games()), Lines{"127.0.41.2 Friday 1/2"});
    EXPECT_EQ(changes, 1);

    host.SetPlayers("2/2");
    ASSERT_TRUE(
        WaitUntil([&] { return Shown(here.Games()) == Lines{"127.0.41.2 Friday 2/2"}; }, 1000));
    // The game starts: it stays, under way, for players coming back.
    host.SetRunning("2/2");
    ASSERT_TRUE(WaitUntil([&] { return !here.Games().empty() && here.Games()[0].running; }, 1000));
    EXPECT_EQ(Shown(here.Games()), Lines{"127.0.41.2 Friday 2/2"});
    // It ends: its withdrawal takes it off at once, not seconds later.
    QElapsedTimer clock;
    clock.start();
    host.Stop();
    ASSERT_TRUE(WaitUntil([&] { return here.Games().empty() && alsoHere.Games().empty(); }, 2000));
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(host.Announcing());

    // A game whose host program goes away is withdrawn as well.
    {
        TLanHostAnnouncement next(Loopback(6), kTestPort);
        next.Start("Saturday", "1/3");
        ASSERT_TRUE(WaitUntil([&] { return here.Games().size() == 1; }, 2000));
        EXPECT_EQ(Shown(here.Games()), Lines{"127.0.41.6 Saturday 1/3"});
    }
    clock.restart();
    ASSERT_TRUE(WaitUntil([&] { return here.Games().empty(); }, 2000));
    EXPECT_LT(clock.elapsed(), 500);

    EXPECT_TRUE(otherPort.Games().empty()) << "another port hears none of it";
    EXPECT_EQ(host.LastError(), 0);
}

TEST(LanNetwork, AHostThatFallsSilentLeavesTheListWithinSeconds) {
    TLanGameWatch watch(Loopback(11), nullptr, kTestPort + 2);
    TMulticastSender silent({kLanGroup, kTestPort + 2, Loopback(10)});
    ASSERT_TRUE(silent.Send(EncodeLanAnnouncement({TLanKind::Open, 77, "Gone", "1/2"})));
    ASSERT_TRUE(WaitUntil([&] { return !watch.Games().empty(); }, 1000));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(WaitUntil([&] { return watch.Games().empty(); }, 6000));
    EXPECT_GE(clock.elapsed(), kLanEntryLifetimeMs - 100);
    EXPECT_LE(clock.elapsed(), kLanEntryLifetimeMs + 1000);
}

// Two hundred addresses of this machine send a storm of announcements
// with hostile names, broken and oversized datagrams, while one real host
// announces its game.
TEST(LanNetwork, AStormOfHostileAnnouncementsStaysBoundedAndPlain) {
    const int port = kTestPort + 3;
    TLanGameWatch watch(Loopback(20), nullptr, port);
    TLanHostAnnouncement real(Loopback(21), port);
    real.Start("Real game", "1/2");
    std::vector<std::unique_ptr<TMulticastSender>> storm;
    for (int n = 50; n < 250; ++n)
        storm.push_back(
            std::make_unique<TMulticastSender>(TMulticastGroup{kLanGroup, port, Loopback(n)}));
    std::mt19937 random(11);
    const auto hostile = [&] {
        std::string name = "\xe2\x80\xae<b>evil</b>\r\n";
        while (name.size() < kLanMaxNameBytes)
            name.push_back(static_cast<char>(random() % 256));
        return name;
    };
    std::size_t most = 0;
    for (int round = 0; round < 20; ++round) {
        for (auto& sender : storm) {
            sender->Send(EncodeLanAnnouncement({TLanKind::Open, random(), hostile(), "\n6/6"}));
            sender->Send(std::string(2000, 'x'));
            std::string broken = EncodeLanAnnouncement({TLanKind::Open, random(), "b", "1/2"});
            broken[static_cast<std::size_t>(random() % broken.size())] ^= 0x21;
            sender->Send(broken);
        }
        RunFor(50);
        most = std::max(most, watch.Games().size());
    }
    RunFor(1200); // the real host's next announcement
    most = std::max(most, watch.Games().size());
    EXPECT_LE(most, kMaxLanGames);
    EXPECT_GT(most, 1u) << "some of the storm was heard";
    bool realSeen = false;
    for (const TLanGameEntry& g : watch.Games()) {
        realSeen = realSeen || (g.address == Loopback(21) && g.name == "Real game");
        EXPECT_EQ(PlainText(g.name), g.name);
        EXPECT_EQ(g.name.find('\n'), std::string::npos);
        EXPECT_EQ(g.name.find("\xe2\x80\xae"), std::string::npos);
        EXPECT_TRUE(g.players == "6/6" || g.players == "1/2") << g.players;
    }
    EXPECT_TRUE(realSeen);
}

TEST(LanNetwork, ASocketThatCannotJoinOrSendSaysWhy) {
    const struct {
        const char* what;
        bool sender; // or a receiver
        std::string group, local;
        const char* error;
    } cases[] = {
        {"receiver, not a group address", false, "not an address", Loopback(30),
         "Socket Error # 10022\r\nInvalid argument."},
        {"receiver, an address of no interface here", false, kLanGroup, "198.51.100.99",
         "Socket Error # 19\r\nNo such device"},
        {"sender, not a local address", true, kLanGroup, "not an address",
         "Socket Error # 10022\r\nInvalid argument."},
        {"sender, an address of no interface here", true, kLanGroup, "198.51.100.99",
         "Socket Error # 10049\r\nCannot assign requested address."},
    };
    for (const auto& c : cases) {
        const TMulticastGroup group{c.group, kTestPort + 4, c.local};
        try {
            if (c.sender)
                TMulticastSender sender(group);
            else
                TMulticastReceiver receiver(group, 10, nullptr);
            ADD_FAILURE() << c.what << ": made";
        } catch (const MulticastError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.what;
        }
    }
}

} // namespace
