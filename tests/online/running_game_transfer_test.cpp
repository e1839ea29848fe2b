// A long game's record carried to a watcher by the messaging itself, on the
// in-memory network with a tenth of the datagrams lost: every part arrives,
// in order, and the watcher's board is the host's.  Prints the record's size
// and the time it took on the network's clock.
#include "match.h"
#include "match_runner.h"
#include "memory_network.h"
#include "qcomm.h"
#include "running_game_guest.h"
#include "running_game_host.h"
#include "saved_game.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>

namespace {

// Six computer seats: about as long as such a game lasts before its win.
constexpr int kTurns = 280;
constexpr uint32_t kTimeout = 2000;

void Enable(TQComm& comm, const std::string& name, const std::string& address) {
    comm.setClientName(name);
    comm.setLocalAddress(address);
    comm.setPort(3237);
    comm.setTimeout(kTimeout);
    comm.setOwnVersion("1.4.0.5");
    comm.setFaults({.loss = 0.1, .duplicate = 0, .reorder = 0, .lateMs = 60, .delayMs = 2,
                    .seed = 7});
    comm.setEnabled(true);
}

// The host's part in `game` under way, sent over `host`'s messaging;
// every newcomer is taken as a watcher.
std::unique_ptr<RunningGameHost> WatchedGame(TQComm& host, Match& game) {
    auto late = std::make_unique<RunningGameHost>(RunningGameHost::Link{
        .send =
            [&host](const TQMsg& msg, const std::vector<TpContact>& to) {
                TQMsg& out = host.NewMsg(msg.MsgType);
                out = msg;
                out.Recipients = to;
                host.SendMsg(smResend, true);
            },
        .log = [](const QString&) {}});
    late->Start(game, {}, {});
    host.setLateJoinerRule([](const TLateJoiner&) { return TLateEntry::kWatcher; });
    return late;
}

TEST(RunningGameTransfer, ALongRecordReachesAWatcherWholeUnderLoss) {
    Match game;
    game.SetKinds({skComputer, skComputer, skComputer, skComputer, skComputer, skComputer});
    game.NewGame();
    game.NextTurn();
    MatchRunner(game).Run(kTurns);
    ASSERT_LT(game.winner(), 0);
    ASSERT_GE(static_cast<int>(game.record().size()), kTurns);

    TMemoryNetwork network;
    TQComm host(network);
    TQComm watcher(network);
    const std::unique_ptr<RunningGameHost> late = WatchedGame(host, game);
    auto welcomed = network.Elapsed();
    host.OnNewClient = [&](const TQMsg&, const TpContact& newcomer) {
        welcomed = network.Elapsed();
        late->Welcome(newcomer, kNoPlayer, true, {});
    };
    Match seen;
    bool started = false;
    QStringList log;
    RunningGameGuest guest({.log = [&log](const QString& line) { log << line; },
                            .start =
                                [&](const TTakenGame& taken) {
                                    seen.JoinRunningGame(taken.record, taken.underWay,
                                                         taken.kinds, taken.players);
                                    started = true;
                                }});
    guest.SetMatch(&seen);
    watcher.OnGotMsg = [&guest](const TQMsg& msg, const TpContact&) { guest.Take(msg); };
    Enable(host, "Host", "192.0.2.1");
    Enable(watcher, "Zoe", "192.0.2.2");

    const std::size_t bytes = RunningGameHost::RecordText(game).size();
    const auto from = network.Elapsed();
    watcher.Connect("192.0.2.1");
    ASSERT_TRUE(network.RunUntil([&] { return started || guest.Refused(); }, 120000))
        << log.join("\n").toStdString();
    const auto took = network.Elapsed() - from;
    const auto sent = network.Elapsed() - welcomed;
    EXPECT_TRUE(started) << log.join("\n").toStdString();
    // The computer's move under way on the host is the watcher's to play:
    // the same turns so far, and the same game to its win.
    EXPECT_EQ(SavedGameText(seen.Saved()), SavedGameText(game.Saved()));
    MatchRunner(game).Run();
    MatchRunner(seen).Run();
    EXPECT_GE(game.winner(), 0);
    EXPECT_EQ(SavedGameText(seen.Saved()), SavedGameText(game.Saved()));
    const int lost = host.FaultSeam()->Counts().lost + watcher.FaultSeam()->Counts().lost;
    EXPECT_GT(lost, 0) << "the seed loses none: take another";
    std::cout << kTurns << " turns: record " << bytes << " bytes in "
              << (bytes + kRecordPartBytes - 1) / kRecordPartBytes << " parts, "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
              << " ms from the connect request to the watcher's board, "
              << std::chrono::duration_cast<std::chrono::milliseconds>(sent).count()
              << " ms of it from the admission, under 10 % loss (" << lost
              << " datagrams lost)\n";
}

// What sixteen watchers cost the host: each hop and end of turn of a player
// goes to every watcher, who acknowledges it.  Counted on the wire (UDP
// payloads; 28 bytes of IPv4 and UDP headers come on top of each).
TEST(RunningGameTransfer, TheHostsTrafficWithSixteenWatchers) {
    constexpr int kRelayedTurns = 20;
    constexpr int kHopsPerTurn = 2;
    Match game;
    game.SetKinds({skComputer, skNone, skNone, skComputer, skNone, skNone});
    game.NewGame();
    game.NextTurn();
    MatchRunner(game).Run(10);

    TMemoryNetwork network;
    TQComm host(network);
    const std::unique_ptr<RunningGameHost> late = WatchedGame(host, game);
    host.OnNewClient = [&](const TQMsg&, const TpContact& newcomer) {
        late->Welcome(newcomer, kNoPlayer, true, {});
    };
    Enable(host, "Host", "192.0.2.1");
    host.setFaults({});
    std::vector<std::unique_ptr<TQComm>> watchers;
    int taken = 0;
    for (int i = 0; i < kMostWatchers; ++i) {
        watchers.push_back(std::make_unique<TQComm>(network));
        watchers.back()->OnGotMsg = [&taken](const TQMsg& msg, const TpContact&) {
            taken += msg.MsgType == gmSeatMove || msg.MsgType == gmSeatEndTurn;
        };
        Enable(*watchers.back(), "W" + std::to_string(i), "192.0.2." + std::to_string(10 + i));
        watchers.back()->setFaults({});
        watchers.back()->Connect("192.0.2.1");
    }
    ASSERT_TRUE(network.RunUntil([&] { return late->WatcherCount() == kMostWatchers; }, 60000));
    network.RunFor(3000);

    std::size_t out = 0, outDatagrams = 0, in = 0, inDatagrams = 0;
    host.setWireTap([&](const std::string& bytes, const std::string&, int) {
        out += bytes.size();
        ++outDatagrams;
    });
    for (auto& watcher : watchers)
        watcher->setWireTap([&](const std::string& bytes, const std::string& to, int) {
            if (to == "192.0.2.1") {
                in += bytes.size();
                ++inDatagrams;
            }
        });
    const auto from = network.Elapsed();
    for (int turn = 0; turn < kRelayedTurns; ++turn) {
        for (int hop = 0; hop < kHopsPerTurn; ++hop)
            late->MovePlayed(0, 2, 0);
        late->EndTurnPlayed(0);
        network.RunFor(1000);
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(network.Elapsed() - from).count() /
        1000.0;
    EXPECT_EQ(taken, kMostWatchers * kRelayedTurns * (kHopsPerTurn + 1));
    std::cout << kMostWatchers << " watchers, a turn of " << kHopsPerTurn
              << " hops a second: host sends " << out / seconds << " B/s in "
              << outDatagrams / seconds << " datagrams/s, receives " << in / seconds
              << " B/s in " << inDatagrams / seconds << " datagrams/s\n";
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
