// How long a move takes from its click to its replay on the other programs:
// three main windows off screen in this process (127.0.0.2 hosting,
// 127.0.0.3 and 127.0.0.4 joining) meet in a lobby of their own and play
// whole games, each player clicking the move the computer would choose.
// For every hop the clock runs from the click on its pin until both other
// programs show the marble in its new hole; the next hop is clicked only
// then.  Every program's datagrams pass through the fault seam as the
// options set it (a different seed each).  The three windows share one
// thread, so a figure includes the time the others' handlers take, as on a
// loaded computer; the event loop is polled every millisecond at most.
// Run by hand (UDP port 3237 of 127.0.0.2..4 must be free):
//
//   build/bench/online_move_latency --loss 0.02 --games 3
//   tools/lossy_loopback.sh 0.10 build/bench/online_move_latency
//
// Options: --loss --duplicate --reorder (shares), --late MS, --seed N,
// --games N (default 2).
#include "computer_player.h"
#include "latency_figures.h"
#include "marble.h"
#include "online_players.h"
#include "picture_widget.h"
#include "test_lobby.h"
#include "window_parts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kReplayLimitMs = 30000; // longer than any wait of a peer that is alive
constexpr int kTurnLimit = 1000;
constexpr std::array<SeatKind, kColours> kThreeSeats = {skHuman, skNone, skNone,
                                                        skOpen,  skOpen, skNone};

struct Options {
    TFaultSettings faults;
    int games = 2;
};

bool ReadOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (ReadFaultOption(name, value, o.faults))
            continue;
        if (name == "--games")
            o.games = std::atoi(value);
        else
            return false;
    }
    return argc % 2 == 1 && o.games > 0;
}

// Runs the event loop until cond holds or limitMs has passed; cond().
bool Spin(const std::function<bool()>& cond, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!cond() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 1);
    return cond();
}

bool MarbleAt(const TfMain& window, int colour, int number, const LatticePoint& at) {
    for (const auto& marble : window.game().marbles())
        if (marble->colour == colour && marble->number == number)
            return marble->pos && marble->pos->at == at;
    return false;
}

// Every program waits at the same turn for its player (or the game is won)
// and shows the same board.
bool Settled(const std::vector<TfMain*>& windows) {
    const int seat = windows[0]->game().state().currentSeat;
    for (const TfMain* w : windows) {
        if (w->game().state().currentSeat != seat)
            return false;
        if (seat == kNoSeat)
            continue;
        const SeatKind kind = w->game().seats()[seat].kind;
        const int phase = w->game().state().phase;
        const bool waiting = (kind == skHuman && phase == kPhaseTurnStart) ||
                             (kind == skRemote && phase == kPhaseRemote);
        if (!waiting || Board(*w) != Board(*windows[0]))
            return false;
    }
    return true;
}

// One turn of the player whose seat is to play; each hop's time goes to
// `latencies`.  False when a replay did not come.
bool PlayTurn(const std::vector<TfMain*>& windows, std::vector<double>& latencies) {
    const int seat = windows[0]->game().state().currentSeat;
    TfMain* owner = nullptr;
    for (TfMain* w : windows)
        if (w->game().seats()[seat].kind == skHuman)
            owner = w;
    if (!owner)
        return false;
    const ComputerChoice choice =
        ChooseComputerMove(owner->game().marbles(), owner->game().state().homeHoles, seat);
    if (!choice.marble)
        return false;
    TZellhopBall& marble = *choice.marble;
    const int colour = marble.colour;
    const int number = marble.number;
    for (size_t i = 1; i < choice.path.size(); ++i) {
        QTest::mouseClick(owner->MarblePicture(marble), Qt::LeftButton);
        int marker = -1;
        for (int k = 0; k < kTargetMarkers && marker < 0; ++k)
            if (owner->TargetMarker(k)->isVisible() && owner->MarkerHole(k) == choice.path[i])
                marker = k;
        if (marker < 0)
            break; // a hop a player may not make: the move ends here
        const LatticePoint to = choice.path[i]->at;
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(owner->TargetMarker(marker), Qt::LeftButton);
        const bool replayed = Spin(
            [&] {
                for (const TfMain* w : windows)
                    if (w != owner && !MarbleAt(*w, colour, number, to) &&
                        w->game().state().currentSeat != kNoSeat) // the winning hop
                        return false;
                return true;
            },
            kReplayLimitMs);
        if (!replayed)
            return false;
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (owner->game().state().currentSeat != seat)
            return true;
    }
    if (owner->game().state().currentSeat == seat && ActionOf(*owner, "aEndTurn")->isEnabled())
        ActionOf(*owner, "aEndTurn")->trigger();
    return owner->game().state().currentSeat != seat;
}

// One game to a win; false when it stalled.
bool PlayGame(TestLobby& lobby, const Options& options, int game, std::vector<double>& latencies) {
    Player host("Host-nick", "127.0.0.2", lobby.HostSetting());
    Player ann("Ann-nick", "127.0.0.3", lobby.HostSetting());
    Player bob("Bob-nick", "127.0.0.4", lobby.HostSetting());
    const std::vector<TfMain*> windows = {host.window.get(), ann.window.get(), bob.window.get()};
    uint32_t seed = options.faults.seed + static_cast<uint32_t>(game) * 3;
    for (TfMain* w : windows) {
        TFaultSettings faults = options.faults;
        faults.seed = seed++;
        w->Messaging().setFaults(faults);
    }
    Publish(host, kThreeSeats, "Latency", "Host", "Host-secret");
    Join(ann, "Ann", "Ann-secret", "Latency");
    if (!WaitUntil([&] { return ann.LogCount("1 more players needed to start.") == 1; }))
        return false;
    Join(bob, "Bob", "Bob-secret", "Latency");
    const auto started = [&] {
        return std::none_of(windows.begin(), windows.end(),
                            [](const TfMain* w) { return w->game().marbles().empty(); });
    };
    if (!Spin(started, kReplayLimitMs))
        return false;
    for (int turn = 0; turn < kTurnLimit; ++turn) {
        if (!Spin([&] { return Settled(windows); }, kReplayLimitMs))
            return false;
        if (windows[0]->game().state().currentSeat == kNoSeat)
            return true;
        if (!PlayTurn(windows, latencies))
            return false;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--loss P] [--duplicate P] [--reorder P] [--late MS] "
                     "[--seed N] [--games N]\n",
                     argv[0]);
        return 2;
    }
    TestLobby lobby;
    for (const char* name : {"Host", "Ann", "Bob"})
        lobby.AddPlayer(name, std::string(name) + "-secret");

    std::vector<double> latencies;
    int won = 0;
    for (int game = 0; game < options.games; ++game)
        if (PlayGame(lobby, options, game, latencies))
            ++won;
    std::printf("seam loss %.3f duplicate %.3f reorder %.3f: %d of %d games to a win, %zu hops\n",
                options.faults.loss, options.faults.duplicate, options.faults.reorder, won,
                options.games, latencies.size());
    if (latencies.empty())
        return 1;
    PrintLatencies("click to replay", latencies);
    return won == options.games ? 0 : 1;
}
