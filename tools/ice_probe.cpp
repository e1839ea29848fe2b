// One end of an ICE path, run by hand or by the router lab inside a
// network namespace; the descriptions are swapped through its standard
// input and output, as the lobby will swap them.
//
//   ice_probe --role controlling|controlled [--stun ADDRESS]
//             [--turn ADDRESS]... [--turn-user USER --turn-password PASSWORD]
//             [--relay-only] [--deadline MS] [--faults SPEC]
//             [--send COUNT --size BYTES --every MS] [--echo]
//
// It prints, one line each:
//   gathered MS DESCRIPTION      its own description, MS after the start
//   ready KIND MS PAIR           a path, MS after the remote description came
//   kind KIND                    a better pair later
//   failed MS WHY
//   sent N echoed M rtt_median_ms X rtt_max_ms Y    after --send
//   received N                   at the end: datagrams that came in
//   closed MS                    relay allocations given back, MS after the end of input
// and reads:
//   remote DESCRIPTION
// The end of its input ends it (relay allocations are given back first).
// With --send it sends COUNT datagrams of BYTES every MS ms once the path
// is ready, each with its number and sending time; with --echo it sends
// every datagram it receives back.
#include "ice_path.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kStampBytes = 16; // number and sending time
constexpr int kEchoWaitMs = 1000;
constexpr int kClosingWaitMs = 2000;
constexpr int kClosingPollMs = 10;

struct TOptions {
    TIceSettings ice;
    std::vector<std::string> turn;
    std::string turnUser, turnPassword;
    std::string faults;
    int send = 0;
    std::size_t size = 40;
    int everyMs = 250;
    bool echo = false;
};

[[noreturn]] void Usage(const std::string& why) {
    std::cerr << "ice_probe: " << why << "\n";
    std::exit(2);
}

TOptions ReadOptions(const QStringList& args) {
    TOptions o;
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        const auto value = [&]() -> std::string {
            if (++i >= args.size())
                Usage(a + " needs a value");
            return args[i].toStdString();
        };
        if (a == "--role")
            o.ice.role = value() == "controlled" ? TIceRole::Controlled : TIceRole::Controlling;
        else if (a == "--stun")
            o.ice.stun = TIceServer{value(), kIceServerPort};
        else if (a == "--turn")
            o.turn.push_back(value());
        else if (a == "--turn-user")
            o.turnUser = value();
        else if (a == "--turn-password")
            o.turnPassword = value();
        else if (a == "--relay-only")
            o.ice.relayOnly = true;
        else if (a == "--deadline")
            o.ice.deadline = std::chrono::milliseconds(std::stoi(value()));
        else if (a == "--faults")
            o.faults = value();
        else if (a == "--send")
            o.send = std::stoi(value());
        else if (a == "--size")
            o.size = std::max<std::size_t>(kStampBytes, std::stoul(value()));
        else if (a == "--every")
            o.everyMs = std::stoi(value());
        else if (a == "--echo")
            o.echo = true;
        else
            Usage("unknown option " + a);
    }
    for (const std::string& address : o.turn)
        o.ice.relays.push_back(TIceRelay{{address, kIceServerPort}, o.turnUser, o.turnPassword});
    return o;
}

// The protocol's lines; standard output itself goes to the error output,
// because GLib writes libnice's debug messages (NICE_DEBUG) there.
FILE*& Protocol() {
    static FILE* out = stdout;
    return out;
}

void KeepStandardOutputForLines() {
    const int lines = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    Protocol() = fdopen(lines, "w");
}

void Say(const std::string& line) {
    std::fprintf(Protocol(), "%s\n", line.c_str());
    std::fflush(Protocol());
}

long long MillisSince(TClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - t).count();
}

// The datagrams of --send and what came back of them.
class TStream {
  public:
    TStream(TIcePath& path, const TOptions& o) : path_(path), options_(o) {}

    void Start() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { SendNext(); });
        timer_.start(options_.everyMs);
        SendNext();
    }
    void Echoed(std::string_view d) {
        if (d.size() < kStampBytes)
            return;
        int64_t sentAt = 0;
        std::memcpy(&sentAt, d.data() + 8, sizeof sentAt);
        const auto now = TClock::now().time_since_epoch();
        rtts_.push_back(
            double(std::chrono::duration_cast<std::chrono::microseconds>(now).count() - sentAt) /
            1000.0);
    }

  private:
    void SendNext() {
        if (sent_ == options_.send) {
            timer_.stop();
            QTimer::singleShot(kEchoWaitMs, [this] { Report(); });
            return;
        }
        std::string d(options_.size, 'z');
        const int64_t number = sent_++;
        const int64_t now =
            std::chrono::duration_cast<std::chrono::microseconds>(TClock::now().time_since_epoch())
                .count();
        std::memcpy(d.data(), &number, sizeof number);
        std::memcpy(d.data() + 8, &now, sizeof now);
        path_.Send(d);
    }
    void Report() {
        std::vector<double> r = rtts_;
        std::sort(r.begin(), r.end());
        const double median = r.empty() ? 0 : r[r.size() / 2];
        const double worst = r.empty() ? 0 : r.back();
        char line[160];
        std::snprintf(line, sizeof line, "sent %d echoed %zu rtt_median_ms %.2f rtt_max_ms %.2f",
                      sent_, r.size(), median, worst);
        Say(line);
    }

    TIcePath& path_;
    const TOptions& options_;
    QTimer timer_;
    int sent_ = 0;
    std::vector<double> rtts_;
};

// Lines from standard input; its end ends the program.
class TInput {
  public:
    std::function<void(const std::string&)> OnLine;
    std::function<void()> OnEnd;

    TInput() : notifier_(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Read(); });
    }

  private:
    void Read() {
        char buffer[4096];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier_.setEnabled(false);
            OnEnd();
            return;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            OnLine(line);
        }
    }
    QSocketNotifier notifier_;
    std::string pending_;
};

} // namespace

int main(int argc, char** argv) {
    KeepStandardOutputForLines();
    QCoreApplication app(argc, argv);
    const TOptions options = ReadOptions(app.arguments());
    const auto started = TClock::now();
    auto remoteAt = started;
    std::unique_ptr<TIcePath> made;
    try {
        made = std::make_unique<TIcePath>(options.ice);
    } catch (const std::exception& e) {
        Say(std::string("failed 0 ") + e.what());
        return 1;
    }
    TIcePath& path = *made;
    if (!options.faults.empty())
        path.setFaults(TFaultSettings::FromText(options.faults).value_or(TFaultSettings{}));
    TStream stream(path, options);
    uint64_t received = 0;

    path.OnGathered = [&](const std::string& d) {
        Say("gathered " + std::to_string(MillisSince(started)) + " " + d);
    };
    path.OnReady = [&](TIcePathKind kind) {
        Say(std::string("ready ") + IcePathKindName(kind) + " " +
            std::to_string(MillisSince(remoteAt)) + " " + path.SelectedPair());
        if (options.send > 0)
            stream.Start();
    };
    path.OnKindChanged = [&](TIcePathKind kind) {
        Say(std::string("kind ") + IcePathKindName(kind));
    };
    path.OnFailed = [&](const std::string& why) {
        Say("failed " + std::to_string(MillisSince(remoteAt)) + " " + why);
    };
    path.OnDatagram = [&](std::string_view d) {
        ++received;
        if (options.echo)
            path.Send(d);
        else
            stream.Echoed(d);
    };

    TInput input;
    input.OnLine = [&](const std::string& line) {
        if (line.rfind("remote ", 0) != 0)
            return;
        remoteAt = TClock::now();
        try {
            path.SetRemote(line.substr(7));
        } catch (const std::exception& e) {
            Say(std::string("failed 0 ") + e.what());
        }
    };
    input.OnEnd = [&] {
        Say("received " + std::to_string(received));
        path.Close();
        const auto closing = TClock::now();
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&, closing] {
            if (TIcePath::ClosingCount() == 0 || MillisSince(closing) > kClosingWaitMs) {
                Say("closed " + std::to_string(MillisSince(closing)));
                app.quit();
            }
        });
        poll->start(kClosingPollMs);
    };

    try {
        path.Start();
    } catch (const std::exception& e) {
        Say(std::string("failed 0 ") + e.what());
        return 1;
    }
    return app.exec();
}
