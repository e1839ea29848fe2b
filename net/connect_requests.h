// This program's connect requests that wait for a host's reply while the
// extension is on.  Each is sent again every interval (2 Timeout + 0.5 s:
// by then a host of the written protocol has given up its first reply, so
// it admits afresh rather than twice) and given up after four intervals.
// The host's reply, of either kind, or its written acknowledgement, ends
// the wait; a host of the extension first answers with a cookie, which
// every later try carries back.  Once a cookie came, or from the start
// when the request goes over a path (only programs of ours have one), the
// host is known to be one of ours, which takes a repeat as a repeat: the
// tries come quickly then (kQuickRetry, doubling up to the interval), so that one
// lost datagram on a lossy path does not cost the join seconds.  Plain C++
// with the time passed in.
#pragma once

#include "peer_link.h"
#include "qmsg.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TConnectRequests {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;
    struct TRequest {
        TpQMsg request;
        std::string host; // as given to Connect
        TLinkTime nextTry;
        TLinkTime deadline;
        std::string cookie; // the host's, to send back; empty until it answers with one
        TMillis quick{0};   // the next quick retry's wait; 0 before a cookie came
    };
    static constexpr TMillis kQuickRetry{500};

    // The interval between tries, from the retry timer's interval.
    static TMillis Interval(TMillis tickInterval);

    // A request just sent to host; quick: to a host known to be ours.
    void Start(const TpQMsg& request, const std::string& host, TMillis interval, TLinkTime now,
               bool quick = false);
    // The oldest request still waiting, which waits no more; null if none.
    TpQMsg Take();
    // The oldest request still waiting, which goes on waiting; null if none.
    TRequest* Oldest() { return waiting_.empty() ? nullptr : &waiting_.front(); }
    // The request, just sent, goes to a host known to be ours (it answered
    // with a cookie): its tries come quickly from now.
    static void Quicken(TRequest& request, TLinkTime now);
    // The requests to send again now, and those given up (with time-outs
    // on); a request settled meanwhile (no addressee left) is forgotten.
    struct TTick {
        std::vector<TRequest> again;
        std::vector<TpQMsg> unanswered;
    };
    TTick Tick(TLinkTime now, bool timeoutsOn, TMillis interval);
    // Forgets every request; those that were waiting.
    std::vector<TpQMsg> Clear();
    // When Tick is next needed; nothing without requests.
    std::optional<TLinkTime> NextDue(bool timeoutsOn) const;
    // Adds the requests still waiting for their host.
    void Collect(std::set<const TQMsg*>& into) const;

  private:
    std::vector<TRequest> waiting_;
};
