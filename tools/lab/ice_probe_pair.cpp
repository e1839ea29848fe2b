#include "ice_probe_pair.h"

#include <csignal>
#include <sstream>

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kGatherLimit{10000};
constexpr milliseconds kPathLimit{15000};
constexpr milliseconds kStreamSlack{3000};
constexpr milliseconds kCloseLimit{4000};

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The rest of the line after its first `n` words.
std::string After(const std::string& line, int n) {
    std::size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; ++i)
        at = line.find(' ', at + 1);
    return at == std::string::npos ? "" : line.substr(at + 1);
}

// "ready KIND MS PAIR" or "failed MS WHY", whichever comes first.
std::optional<std::string> Outcome(TLabProcess& p, milliseconds limit) {
    const auto deadline = TClock::now() + limit;
    while (TClock::now() < deadline) {
        const auto line =
            p.ReadLine(std::chrono::duration_cast<milliseconds>(deadline - TClock::now()));
        if (!line)
            return std::nullopt;
        if (line->rfind("ready ", 0) == 0 || line->rfind("failed ", 0) == 0)
            return line;
    }
    return std::nullopt;
}

long MillisSince(TClock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(TClock::now() - t).count());
}

} // namespace

TIceProbePair::TIceProbePair(const std::string& program, const TRouterLab& lab,
                             const TTurnRelay& relay, const TLabSite& a, const TLabSite& b,
                             const std::vector<std::string>& extra)
    : program_(program), lab_(lab), relay_(relay), a_(a), b_(b), extra_(extra) {}

std::vector<std::string> TIceProbePair::Arguments(const std::string& name,
                                                  const TLabSite& site) const {
    const TTurnCredentials c = relay_.Credentials(name);
    std::vector<std::string> args = {program_, "--stun", relay_.Address4(), "--turn",
                                     relay_.Address4()};
    if (!site.address6.empty() && !relay_.Address6().empty())
        args.insert(args.end(), {"--turn", relay_.Address6()});
    args.insert(args.end(), {"--turn-user", c.user, "--turn-password", c.password});
    args.insert(args.end(), extra_.begin(), extra_.end());
    return args;
}

TIceProbePair::TResult TIceProbePair::Run(const TStream& stream) {
    TResult r = Connect(stream);
    if (r.failure.empty()) {
        WaitForStream(r);
        Finish();
    }
    return r;
}

TIceProbePair::TResult TIceProbePair::Connect(const TStream& stream) {
    stream_ = stream;
    TResult r;
    const auto start = TClock::now();
    auto argsA = Arguments("first", a_);
    argsA.insert(argsA.end(),
                 {"--role", "controlling", "--send", std::to_string(stream.count), "--size",
                  std::to_string(stream.size), "--every", std::to_string(stream.every.count())});
    auto argsB = Arguments("second", b_);
    argsB.insert(argsB.end(), {"--role", "controlled", "--echo"});
    first_ = std::make_unique<TLabProcess>(a_.machine, argsA, lab_.Folder() + "/probe-a.err");
    second_ = std::make_unique<TLabProcess>(b_.machine, argsB, lab_.Folder() + "/probe-b.err");

    const auto gatheredA = first_->WaitFor("gathered ", kGatherLimit);
    const auto gatheredB = second_->WaitFor("gathered ", kGatherLimit);
    if (!gatheredA || !gatheredB) {
        r.failure = "no description";
        Finish();
        return r;
    }
    r.gatherMs = std::max(std::stol(Words(*gatheredA).at(1)), std::stol(Words(*gatheredB).at(1)));
    first_->WriteLine("remote " + After(*gatheredB, 2));
    second_->WriteLine("remote " + After(*gatheredA, 2));

    const auto outcomeA = Outcome(*first_, kPathLimit);
    const auto outcomeB = Outcome(*second_, kPathLimit);
    r.joinMs = MillisSince(start);
    if (!outcomeA || !outcomeB || outcomeA->rfind("ready ", 0) != 0 ||
        outcomeB->rfind("ready ", 0) != 0) {
        r.failure =
            (outcomeA ? *outcomeA : "no answer") + " / " + (outcomeB ? *outcomeB : "no answer");
        Finish();
        return r;
    }
    const auto wordsA = Words(*outcomeA), wordsB = Words(*outcomeB);
    r.kind = r.readyKind = wordsA.at(1);
    r.otherKind = wordsB.at(1);
    r.pathMs = std::max(std::stol(wordsA.at(2)), std::stol(wordsB.at(2)));
    r.pair = After(*outcomeA, 3);
    return r;
}

void TIceProbePair::WaitForStream(TResult& r) {
    if (!first_ || stream_.count == 0)
        return;
    const auto report = first_->WaitFor("sent ", stream_.every * stream_.count + kStreamSlack);
    // A better pair may have taken over meanwhile: the path is the last one.
    while (second_->ReadLine(milliseconds(0))) {
    }
    for (auto [process, kind] :
         {std::pair{first_.get(), &r.kind}, std::pair{second_.get(), &r.otherKind}})
        for (const std::string& line : process->Lines())
            if (line.rfind("kind ", 0) == 0)
                *kind = Words(line).at(1);
    if (!report)
        return;
    const auto w = Words(*report); // sent N echoed M rtt_median_ms X rtt_max_ms Y
    r.sent = std::stoi(w.at(1));
    r.echoed = std::stoi(w.at(3));
    r.rttMedianMs = std::stod(w.at(5));
    r.rttMaxMs = std::stod(w.at(7));
}

std::optional<std::string> TIceProbePair::KillSecondAndWaitForLoss(milliseconds limit) {
    if (!first_ || !second_)
        return std::nullopt;
    kill(second_->Pid(), SIGKILL);
    second_->Wait(kCloseLimit);
    second_.reset();
    return first_->WaitFor("failed ", limit);
}

void TIceProbePair::Finish() {
    for (auto* p : {&first_, &second_})
        if (*p)
            (*p)->CloseInput();
    for (auto* p : {&first_, &second_}) {
        if (!*p)
            continue;
        (*p)->WaitFor("closed", kCloseLimit);
        (*p)->Wait(kCloseLimit);
        p->reset();
    }
}
