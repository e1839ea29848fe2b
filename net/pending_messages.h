// The written protocol's tracked messages.  Each waits in the order it was
// sent, for the retry timer, and in its kind's chain, where an
// acknowledgement (which names only a kind) settles the oldest message of
// that kind that still waits for its sender.  Time here is counted in
// ticks of the retry timer, which its owner runs every Timeout ms: a
// message is first examined at the second tick after it was sent; an
// examination reports every addressee still listed as overdue, then sends
// the message again while PacketRetries allows, or gives the addressees up
// and drops it.  Plain C++: the owner ticks it and carries out its hooks.
#pragma once

#include "qmsg.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class TPendingMessages {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;

    // Waits in its chain and for the timer.
    void Track(const TpQMsg& msg);
    // Waits in its chain only: a connect request that its own rule times.
    void Chain(const TpQMsg& msg);
    // Out of its chain: no acknowledgement finds it any more.
    void Unlink(const TpQMsg& msg);

    // An acknowledgement of kind from sender settles, for sender or else for
    // the outsider (a host that was not yet in the table when it was
    // asked), the oldest chained message of that kind that lists either.
    // What it settled and for whom; nothing when it matches nothing.
    struct TSettled {
        TpQMsg msg;
        TpContact contact;
    };
    std::optional<TSettled> Acknowledge(int kind, const TpContact& sender,
                                        const TpContact& outsider);
    // A contact that will never acknowledge: no chained message waits for
    // it any more, and one left without addressees is settled.
    void Strike(const TpContact& contact);

    // What an examination does besides counting.  The hooks may run for a
    // long time and see acknowledgements meanwhile.
    struct THooks {
        std::function<void(const TQMsg& msg, const TpContact& contact)> overdue;
        std::function<void(const TQMsg& msg, const TpContact& contact)> giveUp;
        std::function<void(TQMsg& msg)> transmit;
    };
    // One tick with Timeout (0: nothing is overdue) and PacketRetries.  A
    // tick while one runs (from inside a hook) does nothing.
    void Tick(uint32_t timeout, uint32_t retries, const THooks& hooks);
    // Whether the timer has anything to examine.
    bool Waiting() const { return !waiting_.empty(); }
    // Adds the messages not yet freed.
    void Collect(std::set<const TQMsg*>& into) const;

  private:
    bool Examine(const TpQMsg& msg, uint32_t timeout, uint32_t retries, const THooks& hooks);

    // Shared: the queue, the chain, and a tick or acknowledgement that is
    // handling one may each hold it.
    std::deque<TpQMsg> waiting_;
    std::array<std::vector<TpQMsg>, kMessageKinds> chains_; // oldest first
    std::size_t tickBatch_ = 0;                             // examined by the next tick
    bool ticking_ = false;
};
