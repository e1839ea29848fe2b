// How long a tracked message takes from SendMsg on one program to OnGotMsg
// on another, over real UDP on loopback, with the fault seam (or whatever
// the network namespace around it drops): the median, the 99th percentile
// and the worst.  Two components in this process, 127.0.13.1 hosting and
// 127.0.13.2 joining, both of this version, so they speak the reliable
// delivery extension unless --written is given.  Run by hand:
//
//   build/bench/net_latency --loss 0.02 --messages 2000
//   tools/lossy_loopback.sh 0.02 build/bench/net_latency --messages 2000
//
// Options: --loss --duplicate --reorder (shares), --late MS, --seed N,
// --messages N (default 1000), --interval MS between messages (default 20,
// a fast player's hops), --written (both speak only the written protocol),
// --round-trip MS (each datagram held back half of it on its way).  It also
// tells how many datagrams the sender put on the wire per message after
// the first ten, while the link learns the path.
#include "latency_figures.h"
#include "qcomm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 3237;
constexpr int kKind = 2; // a move
constexpr int kJoinLimitMs = 60000;

struct TOptions {
    TFaultSettings faults;
    int messages = 1000;
    int intervalMs = 20;
    bool written = false;
};

constexpr int kLearningMessages = 10;

bool ReadOptions(int argc, char** argv, TOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--written") {
            o.written = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (ReadFaultOption(name, value, o.faults))
            continue;
        if (name == "--messages")
            o.messages = std::atoi(value);
        else if (name == "--round-trip")
            o.faults.delayMs = std::atoi(value) / 2;
        else if (name == "--interval")
            o.intervalMs = std::atoi(value);
        else
            return false;
    }
    return o.messages > 0 && o.intervalMs >= 0;
}

void Prepare(TQComm& comm, const char* name, const char* address, const TOptions& o,
             uint32_t seedOffset) {
    comm.setClientName(name);
    comm.setLocalAddress(address);
    comm.setPort(kPort);
    comm.setTimeout(2000);
    comm.setMaxConnections(1);
    comm.setReliable(!o.written);
    TFaultSettings faults = o.faults;
    faults.seed += seedOffset;
    comm.setFaults(faults);
    comm.setEnabled(true);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--loss P] [--duplicate P] [--reorder P] [--late MS] "
                     "[--seed N] [--messages N] [--interval MS] [--round-trip MS] [--written]\n",
                     argv[0]);
        return 2;
    }
    TQComm host, joiner;
    Prepare(host, "Host", "127.0.13.1", options, 0);
    Prepare(joiner, "Ann", "127.0.13.2", options, 1);

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt(options.messages, -1);
    std::vector<double> latencies;
    int repeats = 0, outOfOrder = 0, next = 0, expected = 0;
    bool gaveUp = false;
    joiner.OnGotMsg = [&](const TQMsg& msg, const TpContact&) {
        const int n = msg.IntAt(0);
        if (msg.MsgType != kKind || n < 0 || n >= options.messages)
            return;
        if (n < expected) {
            ++repeats;
            return;
        }
        if (n != expected)
            ++outOfOrder;
        expected = n + 1;
        latencies.push_back(static_cast<double>(clock.nsecsElapsed() / 1000 - sentAt[n]) / 1000.0);
    };
    host.OnClientDisconnection = [&](const TpContact&, int) { gaveUp = true; };
    joiner.OnConnectionFailed = [&](const TpContact&, int) { gaveUp = true; };

    // The host's datagrams counted as they leave it, before any delay.
    int passedBeforeLearnt = -1;
    const auto passed = [&] { return host.FaultSeam() ? host.FaultSeam()->Counts().passed : 0; };
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (next >= options.messages) {
            pace.stop();
            return;
        }
        TQMsg& move = host.NewMsg(kKind);
        move.AddInt(next);
        move.AddInt(3);
        if (next == kLearningMessages)
            passedBeforeLearnt = passed();
        sentAt[next++] = clock.nsecsElapsed() / 1000;
        host.SendMsg(smAll, true);
    });
    joiner.OnConnectionSuccess = [&] { pace.start(options.intervalMs); };
    joiner.Connect("127.0.13.1");

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool done = static_cast<int>(latencies.size()) == options.messages;
        const bool stuck = clock.elapsed() > kJoinLimitMs && latencies.empty();
        if (done || gaveUp || stuck)
            app.quit();
    });
    watch.start(50);
    app.exec();

    std::printf("%s, loss %.3f duplicate %.3f reorder %.3f: %zu of %d delivered",
                options.written ? "written protocol" : "extension", options.faults.loss,
                options.faults.duplicate, options.faults.reorder, latencies.size(),
                options.messages);
    std::printf(", %d repeated, %d out of order%s\n", repeats, outOfOrder,
                gaveUp ? ", a peer was given up" : "");
    if (latencies.empty())
        return 1;
    PrintLatencies("latency", latencies);
    if (passedBeforeLearnt >= 0)
        std::printf("host's datagrams per message after the first %d: %.3f\n", kLearningMessages,
                    static_cast<double>(passed() - passedBeforeLearnt) /
                        (options.messages - kLearningMessages));
    if (const TFaultSeam* seam = host.FaultSeam())
        std::printf("host's seam: %d passed, %d lost, %d repeated, %d held back\n",
                    seam->Counts().passed, seam->Counts().lost, seam->Counts().repeated,
                    seam->Counts().held);
    return static_cast<int>(latencies.size()) == options.messages && !gaveUp ? 0 : 1;
}
