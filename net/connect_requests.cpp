#include "connect_requests.h"

#include <algorithm>

namespace {

constexpr TMillis kMargin{500};
// A host that answers none of four tries is not there: at 10 % loss each
// way all four exchanges fail one join in 770 (three failed one in 150,
// too often for a game of several joiners).
constexpr int kTries = 4;

} // namespace

// A host of the written protocol gives its reply up between one and two
// ticks after sending it.
TMillis TConnectRequests::Interval(TMillis tickInterval) {
    return 2 * tickInterval + kMargin;
}

void TConnectRequests::Start(const TpQMsg& request, const std::string& host, TMillis interval,
                             TLinkTime now, bool quick) {
    waiting_.push_back({request, host, now + interval, now + kTries * interval, ""});
    if (quick)
        Quicken(waiting_.back(), now);
}

TConnectRequests::TpQMsg TConnectRequests::Take() {
    if (waiting_.empty())
        return nullptr;
    const TpQMsg request = waiting_.front().request;
    waiting_.erase(waiting_.begin());
    return request;
}

TConnectRequests::TTick TConnectRequests::Tick(TLinkTime now, bool timeoutsOn, TMillis interval) {
    TTick tick;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->request->Recipients.empty()) { // settled by a written acknowledgement
            it = waiting_.erase(it);
        } else if (timeoutsOn && now >= it->deadline) {
            tick.unanswered.push_back(it->request);
            it = waiting_.erase(it);
        } else {
            if (now >= it->nextTry) {
                if (it->quick > TMillis(0)) {
                    it->nextTry = now + it->quick;
                    it->quick = std::min(2 * it->quick, interval);
                } else {
                    it->nextTry = now + interval;
                }
                tick.again.push_back(*it);
            }
            ++it;
        }
    }
    return tick;
}

void TConnectRequests::Quicken(TRequest& request, TLinkTime now) {
    request.nextTry = now + kQuickRetry;
    request.quick = 2 * kQuickRetry;
}

std::vector<TConnectRequests::TpQMsg> TConnectRequests::Clear() {
    std::vector<TpQMsg> cleared;
    for (const TRequest& r : waiting_)
        cleared.push_back(r.request);
    waiting_.clear();
    return cleared;
}

std::optional<TLinkTime> TConnectRequests::NextDue(bool timeoutsOn) const {
    std::optional<TLinkTime> next;
    for (const TRequest& r : waiting_) {
        const TLinkTime due = timeoutsOn ? std::min(r.nextTry, r.deadline) : r.nextTry;
        if (!next || due < *next)
            next = due;
    }
    return next;
}

void TConnectRequests::Collect(std::set<const TQMsg*>& into) const {
    for (const TRequest& r : waiting_)
        if (!r.request->Recipients.empty())
            into.insert(r.request.get());
}
