// Figures of the paths between players, measured in the router lab (run
// as root): how long it takes two programs behind each kind of router to
// find their path, what a relayed game costs the relay, whether a
// relayed path outlives the relay's lifetimes, and how many relayed paths
// one coturn on this machine carries.
//
//   path_bench paths [--runs N]             time to a path, per case
//   path_bench traffic [--seconds S] [--rate R]
//                                           relay bytes per second: idle, and a game's stream
//   path_bench soak [--seconds S] [--lifetime S]
//                                           one datagram a second over a relayed path; the
//                                           relay grants allocations of at most --lifetime
//                                           seconds, so that refreshes come within the run
//   path_bench vanish                       whether a path whose other end died ends by itself
//                                           (it should not: the link's silence rule decides)
//   path_bench load [--pairs N] [--seconds S] [--rate R] [--both-relayed]
//                                           many relayed paths through one coturn
#include "ice_probe_pair.h"
#include "lab_process.h"
#include "router_lab.h"
#include "turn_relay.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;
using TClock = std::chrono::steady_clock;
constexpr std::chrono::seconds kChecksEnd{10};

struct TArgs {
    std::string command;
    int runs = 10;
    int seconds = 30;
    int rate = 3;
    int pairs = 100;
    int lifetime = 0; // the relay's own maximum when 0
    bool bothRelayed = false;
};

TArgs ReadArgs(int argc, char** argv) {
    TArgs a;
    if (argc < 2) {
        std::cerr << "usage: path_bench paths|traffic|soak|vanish|load [options]\n";
        std::exit(2);
    }
    a.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string o = argv[i];
        const auto value = [&] { return i + 1 < argc ? std::stoi(argv[++i]) : 0; };
        if (o == "--runs")
            a.runs = value();
        else if (o == "--seconds")
            a.seconds = value();
        else if (o == "--rate")
            a.rate = std::max(1, value());
        else if (o == "--pairs")
            a.pairs = value();
        else if (o == "--lifetime")
            a.lifetime = value();
        else if (o == "--both-relayed")
            a.bothRelayed = true;
        else {
            std::cerr << "path_bench: unknown option " << o << "\n";
            std::exit(2);
        }
    }
    return a;
}

// The lab every command uses: the relay on the public side and one home
// of each kind.
struct TWorld {
    TRouterLab lab;
    TLabSite server = lab.AddSite(TRouterKind::None, true);
    TLabSite keeping1 = lab.AddSite(TRouterKind::PortKeeping, false);
    TLabSite keeping2 = lab.AddSite(TRouterKind::PortKeeping, false);
    TLabSite symmetric = lab.AddSite(TRouterKind::Symmetric, false);
    TLabSite carrier = lab.AddSite(TRouterKind::CarrierNat, false);
    TLabSite ipv6a = lab.AddSite(TRouterKind::PortKeeping, true);
    TLabSite ipv6b = lab.AddSite(TRouterKind::PortKeeping, true);
    TLabSite loadSite = lab.AddSite(TRouterKind::None, false);
    std::unique_ptr<TTurnRelay> relay;
    explicit TWorld(const std::vector<std::string>& relayOptions = {})
        : relay(std::make_unique<TTurnRelay>(lab, server, relayOptions)) {}
};

double Quantile(std::vector<long> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[std::min(v.size() - 1, std::size_t(q * double(v.size())))]);
}

void Paths(const TArgs& a) {
    TWorld w;
    struct Case {
        const char* name;
        const TLabSite* first;
        const TLabSite* second;
        double loss;
    };
    const Case cases[] = {
        {"port-keeping / port-keeping", &w.keeping1, &w.keeping2, 0},
        {"symmetric / port-keeping", &w.symmetric, &w.keeping1, 0},
        {"carrier NAT / port-keeping", &w.carrier, &w.keeping2, 0},
        {"IPv6 / IPv6", &w.ipv6a, &w.ipv6b, 0},
        {"port-keeping / port-keeping, 5 % loss", &w.keeping1, &w.keeping2, 0.05},
        {"symmetric / port-keeping, 5 % loss", &w.symmetric, &w.keeping1, 0.05},
    };
    std::printf("%-40s %5s  %-26s %15s %15s %15s\n", "case", "runs", "kinds", "path ms med/max",
                "join ms med/max", "gather ms med");
    for (const Case& c : cases) {
        w.lab.SetLoss(*c.first, c.loss);
        std::map<std::string, int> kinds;
        std::vector<long> path, join, gather;
        for (int run = 0; run < a.runs; ++run) {
            TIceProbePair pair(ZELLHOP_ICE_PROBE, w.lab, *w.relay, *c.first, *c.second);
            const auto r = pair.Run({10, 40, milliseconds(20)});
            ++kinds[r.failure.empty() ? r.kind : "failed"];
            if (!r.failure.empty())
                continue;
            path.push_back(r.pathMs);
            join.push_back(r.joinMs);
            gather.push_back(r.gatherMs);
        }
        w.lab.SetLoss(*c.first, 0);
        std::string kindText;
        for (const auto& [kind, count] : kinds)
            kindText += kind + " " + std::to_string(count) + " ";
        std::printf("%-40s %5d  %-26s %7.0f/%-7.0f %7.0f/%-7.0f %15.0f\n", c.name, a.runs,
                    kindText.c_str(), Quantile(path, 0.5), Quantile(path, 1), Quantile(join, 0.5),
                    Quantile(join, 1), Quantile(gather, 0.5));
        std::fflush(stdout);
    }
}

// Bytes through the relay machine per second over `seconds`, starting now.
double RelayRate(const TTurnRelay& relay, int seconds, TTurnRelay::TTraffic& total) {
    const auto before = relay.Traffic();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = relay.Traffic();
    total = {after.received - before.received, after.sent - before.sent};
    return double(total.received + total.sent) / seconds;
}

void Traffic(const TArgs& a) {
    TWorld w;
    {
        TIceProbePair idle(ZELLHOP_ICE_PROBE, w.lab, *w.relay, w.symmetric, w.keeping1);
        const auto r = idle.Connect({0, 40, milliseconds(1000)});
        if (!r.failure.empty()) {
            std::printf("no path: %s\n", r.failure.c_str());
            return;
        }
        // The checks of the pairs that lost the race end first.
        std::this_thread::sleep_for(kChecksEnd);
        TTurnRelay::TTraffic t;
        const double rate = RelayRate(*w.relay, a.seconds, t);
        std::printf("idle %s path, %d s from %d s after it was ready: relay in %llu B, out %llu B: "
                    "%.1f B/s\n",
                    r.kind.c_str(), a.seconds, int(kChecksEnd.count()),
                    (unsigned long long)t.received, (unsigned long long)t.sent, rate);
        idle.Finish();
    }
    TIceProbePair game(ZELLHOP_ICE_PROBE, w.lab, *w.relay, w.symmetric, w.keeping1);
    const int count = a.seconds * a.rate;
    auto r = game.Connect({count, 40, milliseconds(1000 / a.rate)});
    if (!r.failure.empty()) {
        std::printf("no path: %s\n", r.failure.c_str());
        return;
    }
    const auto before = w.relay->Traffic();
    const auto start = TClock::now();
    game.WaitForStream(r);
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    const auto after = w.relay->Traffic();
    const auto in = after.received - before.received, out = after.sent - before.sent;
    std::printf("%s path, %d datagrams of 40 B a second each way (sent and echoed) for %.1f s: "
                "relay in %llu B, out %llu B: %.1f B/s; %d of %d echoed, rtt median %.2f ms\n",
                r.kind.c_str(), a.rate, seconds, (unsigned long long)in, (unsigned long long)out,
                double(in + out) / seconds, r.echoed, r.sent, r.rttMedianMs);
    game.Finish();
}

void Soak(const TArgs& a) {
    std::vector<std::string> relayOptions;
    if (a.lifetime > 0)
        relayOptions.push_back("max-allocate-lifetime=" + std::to_string(a.lifetime));
    TWorld w(relayOptions);
    TIceProbePair pair(ZELLHOP_ICE_PROBE, w.lab, *w.relay, w.symmetric, w.keeping1);
    const auto r = pair.Run({a.seconds, 40, milliseconds(1000)});
    std::printf("%s path for %d s: %d of %d echoed, rtt median %.2f ms max %.2f ms %s\n",
                r.kind.c_str(), a.seconds, r.echoed, r.sent, r.rttMedianMs, r.rttMaxMs,
                r.failure.c_str());
    const std::string log = w.relay->Log();
    int refreshes = 0;
    for (std::size_t at = 0; (at = log.find("refreshed", at)) != std::string::npos; ++at)
        ++refreshes;
    std::printf("relay log: %d refreshes\n", refreshes);
}

void Vanish(const TArgs&) {
    TWorld w;
    for (const TLabSite* first : {&w.keeping1, &w.symmetric}) {
        TIceProbePair pair(ZELLHOP_ICE_PROBE, w.lab, *w.relay, *first, w.keeping2);
        const auto r = pair.Connect({0, 40, milliseconds(1000)});
        if (!r.failure.empty()) {
            std::printf("no path: %s\n", r.failure.c_str());
            continue;
        }
        const auto start = TClock::now();
        const auto lost = pair.KillSecondAndWaitForLoss(milliseconds(30000));
        std::printf("%s path, other end killed: %s after %.1f s\n", r.kind.c_str(),
                    lost ? lost->c_str() : "not noticed",
                    std::chrono::duration<double>(TClock::now() - start).count());
        pair.Finish();
    }
}

// User and system time of a process, in clock ticks.
long long CpuTicks(pid_t pid) {
    std::istringstream stat(ReadWholeFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 1; stat >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15) {
            stime = std::stoll(field);
            break;
        }
    }
    return utime + stime;
}

void Load(const TArgs& a) {
    TWorld w({"user-quota=0", "total-quota=0"});
    const pid_t turn = w.relay->Pid();
    std::vector<std::string> argv = {
        ZELLHOP_RELAY_LOAD,        "--turn",  w.relay->Address4(),     "--secret",
        w.relay->Secret(),         "--pairs", std::to_string(a.pairs), "--seconds",
        std::to_string(a.seconds), "--rate",  std::to_string(a.rate)};
    if (a.bothRelayed)
        argv.push_back("--both-relayed");
    const long long cpuBefore = CpuTicks(turn);
    const auto trafficBefore = w.relay->Traffic();
    const auto start = TClock::now();
    TLabProcess load(w.loadSite.machine, argv, w.lab.Folder() + "/load.err");
    const auto line = load.WaitFor("pairs ", milliseconds((a.seconds + 120) * 1000));
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    const long long cpu = CpuTicks(turn) - cpuBefore;
    const auto trafficAfter = w.relay->Traffic();
    load.Wait(milliseconds(10000));
    std::printf("%s\n", line ? line->c_str() : "no report");
    std::printf("coturn: %.1f %% of one core over %.0f s (gathering and closing included), "
                "%.1f kB/s through the relay machine\n",
                100.0 * double(cpu) / double(sysconf(_SC_CLK_TCK)) / wall, wall,
                double(trafficAfter.received - trafficBefore.received + trafficAfter.sent -
                       trafficBefore.sent) /
                    wall / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    const TArgs a = ReadArgs(argc, argv);
    if (const auto why = TRouterLab::Unavailable()) {
        std::cerr << "path_bench " << *why << "\n";
        return 1;
    }
    try {
        if (a.command == "paths")
            Paths(a);
        else if (a.command == "traffic")
            Traffic(a);
        else if (a.command == "soak")
            Soak(a);
        else if (a.command == "load")
            Load(a);
        else if (a.command == "vanish")
            Vanish(a);
        else {
            std::cerr << "path_bench: unknown command " << a.command << "\n";
            return 2;
        }
    } catch (const TLabError& e) {
        std::cerr << "path_bench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
