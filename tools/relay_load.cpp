// How many relayed paths one TURN relay carries: this program opens many
// ICE paths in pairs inside one process, one end of each pair offering
// only its relayed candidate (a player behind a router that maps a new
// port per destination), the other its own address (or, with
// --both-relayed, also only a relayed one), and sends a game's stream of
// small datagrams both ways over every path.  Both ends share one clock,
// so each datagram's delay is measured exactly.  Run inside the router
// lab (bench/path_bench --load), or by hand against a relay.
//
//   relay_load --turn ADDRESS --secret SECRET [--pairs N] [--seconds S]
//              [--rate PER-SECOND] [--size BYTES] [--both-relayed]
//
// It prints one line at the end:
//   pairs N ready R ready_median_ms X sent S received V lost_pct L
//   delay_median_ms M delay_p99_ms P
#include "ice_path.h"
#include "turn_relay.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kStampBytes = 8;
constexpr int kStartBatch = 10; // pairs started per step, so gathering comes in waves
constexpr int kStartStepMs = 100;
constexpr int kReadyLimitMs = 30000; // after the last pair started
constexpr int kDrainMs = 1000;
constexpr int kClosingLimitMs = 5000;
constexpr int kPollMs = 10;
constexpr int kSendTickMs = 10;
constexpr std::chrono::minutes kCredentialLife{30};

struct TOptions {
    std::string turn, secret;
    int pairs = 20;
    int seconds = 10;
    int rate = 4;
    std::size_t size = 40;
    bool bothRelayed = false;
};

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(TClock::now().time_since_epoch())
        .count();
}

// One pair of ends and what went over it.
struct TPair {
    std::unique_ptr<TIcePath> ends[2];
    int ready = 0;
    int64_t startedAt = 0;
    int64_t readyAt = 0;
};

class TLoad {
  public:
    explicit TLoad(const TOptions& o) : options_(o) {}

    void Start() {
        for (int i = 0; i < options_.pairs; ++i)
            pairs_.push_back(std::make_unique<TPair>());
        QObject::connect(&starter_, &QTimer::timeout, [this] { StartSome(); });
        starter_.start(kStartStepMs);
        StartSome();
    }

    bool AllStarted() const { return started_ == options_.pairs; }
    int Ready() const {
        return static_cast<int>(std::count_if(pairs_.begin(), pairs_.end(),
                                              [](const auto& p) { return p->ready == 2; }));
    }

    // One tick of kSendTickMs: the pairs whose turn it is send, so that the
    // sends of a round spread over the whole interval as players' would.
    void SendTick() {
        const int spread = std::max(1, 1000 / options_.rate / kSendTickMs);
        const int turn = tick_++ % spread;
        for (std::size_t i = turn; i < pairs_.size(); i += spread)
            if (pairs_[i]->ready == 2)
                for (auto& end : pairs_[i]->ends)
                    SendOne(*end);
    }

    void Report() const {
        std::vector<double> delays = delaysMs_, readyMs;
        for (const auto& p : pairs_)
            if (p->ready == 2)
                readyMs.push_back(double(p->readyAt - p->startedAt) / 1000.0);
        std::sort(delays.begin(), delays.end());
        std::sort(readyMs.begin(), readyMs.end());
        const auto at = [](const std::vector<double>& v, double share) {
            return v.empty() ? 0.0
                             : v[std::min(v.size() - 1, std::size_t(share * double(v.size())))];
        };
        const double lost = sent_ ? 100.0 * double(sent_ - received_) / double(sent_) : 0;
        std::printf("pairs %d ready %d ready_median_ms %.0f sent %lld received %lld lost_pct %.2f "
                    "delay_median_ms %.2f delay_p99_ms %.2f\n",
                    options_.pairs, Ready(), at(readyMs, 0.5), sent_, received_, lost,
                    at(delays, 0.5), at(delays, 0.99));
        std::fflush(stdout);
    }

    void Close() {
        for (auto& p : pairs_)
            for (auto& end : p->ends)
                if (end)
                    end->Close();
    }

  private:
    void StartSome() {
        for (int n = 0; n < kStartBatch && started_ < options_.pairs; ++n)
            StartPair(*pairs_[started_++]);
        if (AllStarted())
            starter_.stop();
    }

    void StartPair(TPair& pair) {
        pair.startedAt = Now();
        const int number = started_;
        for (int side = 0; side < 2; ++side) {
            TIceSettings s;
            s.role = side == 0 ? TIceRole::Controlling : TIceRole::Controlled;
            s.deadline = std::chrono::milliseconds(kReadyLimitMs);
            if (side == 0 || options_.bothRelayed) {
                const TTurnCredentials c = MintTurnCredentials(
                    options_.secret, "load" + std::to_string(number) + "-" + std::to_string(side),
                    kCredentialLife);
                s.relays.push_back(TIceRelay{{options_.turn, kIceServerPort}, c.user, c.password});
                s.relayOnly = true;
            }
            pair.ends[side] = std::make_unique<TIcePath>(s);
        }
        for (int side = 0; side < 2; ++side) {
            TIcePath& end = *pair.ends[side];
            TIcePath& other = *pair.ends[1 - side];
            end.OnGathered = [&end, &other](const std::string&) {
                if (!other.LocalDescription().empty()) {
                    end.SetRemote(other.LocalDescription());
                    other.SetRemote(end.LocalDescription());
                }
            };
            end.OnReady = [&pair](TIcePathKind) {
                if (++pair.ready == 2)
                    pair.readyAt = Now();
            };
            end.OnDatagram = [this](std::string_view d) { Received(d); };
            end.OnFailed = [](const std::string& why) {
                std::cerr << "relay_load: " << why << "\n";
            };
        }
        for (auto& end : pair.ends)
            end->Start();
    }

    void SendOne(TIcePath& end) {
        std::string d(std::max(options_.size, kStampBytes), 'g');
        const int64_t now = Now();
        std::memcpy(d.data(), &now, sizeof now);
        if (end.Send(d))
            ++sent_;
    }

    void Received(std::string_view d) {
        if (d.size() < kStampBytes)
            return;
        int64_t sentAt = 0;
        std::memcpy(&sentAt, d.data(), sizeof sentAt);
        ++received_;
        delaysMs_.push_back(double(Now() - sentAt) / 1000.0);
    }

    const TOptions& options_;
    std::vector<std::unique_ptr<TPair>> pairs_;
    QTimer starter_;
    int started_ = 0;
    int tick_ = 0;
    long long sent_ = 0, received_ = 0;
    std::vector<double> delaysMs_;
};

TOptions ReadOptions(const QStringList& args) {
    TOptions o;
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        const auto value = [&] {
            return i + 1 < args.size() ? args[++i].toStdString() : std::string();
        };
        if (a == "--turn")
            o.turn = value();
        else if (a == "--secret")
            o.secret = value();
        else if (a == "--pairs")
            o.pairs = std::stoi(value());
        else if (a == "--seconds")
            o.seconds = std::stoi(value());
        else if (a == "--rate")
            o.rate = std::max(1, std::stoi(value()));
        else if (a == "--size")
            o.size = std::stoul(value());
        else if (a == "--both-relayed")
            o.bothRelayed = true;
        else {
            std::cerr << "relay_load: unknown option " << a << "\n";
            std::exit(2);
        }
    }
    if (o.turn.empty() || o.secret.empty()) {
        std::cerr << "relay_load: --turn and --secret are needed\n";
        std::exit(2);
    }
    return o;
}

} // namespace

// Every path holds a socket or two; a thousand pairs need more than the
// usual soft limit of open files.
void RaiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int main(int argc, char** argv) {
    RaiseFileLimit();
    QCoreApplication app(argc, argv);
    const TOptions options = ReadOptions(app.arguments());
    TLoad load(options);
    load.Start();

    // Stream once every pair is ready (or the wait for them is over), for
    // the time asked, then drain, report, close.
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] { load.SendTick(); });
    const auto begin = TClock::now();
    QTimer waiter;
    QObject::connect(&waiter, &QTimer::timeout, [&] {
        const bool waitedEnough = TClock::now() - begin > std::chrono::milliseconds(kReadyLimitMs);
        if (!load.AllStarted() || (load.Ready() < options.pairs && !waitedEnough))
            return;
        waiter.stop();
        sender.start(kSendTickMs);
        QTimer::singleShot(options.seconds * 1000, [&] {
            sender.stop();
            QTimer::singleShot(kDrainMs, [&] {
                load.Report();
                load.Close();
                const auto closing = TClock::now();
                auto* poll = new QTimer(&app);
                QObject::connect(poll, &QTimer::timeout, [&app, closing] {
                    if (TIcePath::ClosingCount() == 0 ||
                        TClock::now() - closing > std::chrono::milliseconds(kClosingLimitMs))
                        app.quit();
                });
                poll->start(kPollMs);
            });
        });
    });
    waiter.start(kPollMs);
    return app.exec();
}
