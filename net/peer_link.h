// Reliable, exactly-once, in-order delivery towards one peer that announced
// the extension (wire_format.h): the sending half numbers the tracked
// messages, keeps each until the peer acknowledges it and sends it again
// on a timer derived from the round-trip time, or at once when the peer
// acknowledges a later message sent no earlier; the receiving half drops
// what it has seen, keeps what came early until the gap is filled, and
// says what it holds in every datagram it sends back.  It also knows when
// a keep-alive is due and when the peer has been silent for too long.
//
// Plain C++ with the time passed in, so that it can be driven by the
// connection manager's timer and by tests alike.  Sequence numbers start at
// 0 for every link and never wrap: a session would need 2^32 messages.
#pragma once

#include "qmsg.h"
#include "wire_format.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

using TLinkClock = std::chrono::steady_clock;
using TLinkTime = TLinkClock::time_point;
using TMillis = std::chrono::milliseconds;
// Reads the clock: the steady clock in the program, a test's own in tests.
using TNow = std::function<TLinkTime()>;

struct TLinkTiming {
    TMillis initialRto{300}; // before the first round trip has been measured
    TMillis minRto{100};
    TMillis maxRto{2000};    // also the cap of the backed-off time-out
    TMillis keepAlive{2000}; // a datagram goes out at least this often
    // A peer unheard for this long, or that has left our oldest message
    // unacknowledged for this long, is given up.
    TMillis silence{20000};
};

// Messages beyond the oldest unacknowledged one that may be on their way:
// exactly what one acknowledgement can name.
inline constexpr uint32_t kLinkWindow = kAckBitCount + 1;

class TPeerLink {
  public:
    using TpQMsg = std::shared_ptr<TQMsg>;

    TPeerLink(uint32_t peerSession, const TLinkTiming& timing, TLinkTime now);

    uint32_t PeerSession() const { return peerSession_; }

    // --- Sending -----------------------------------------------------------
    // Takes a tracked message; Due hands it out when the window allows.
    void Queue(TpQMsg msg);
    // Tracked messages not yet acknowledged, sent or not.
    std::size_t Queued() const { return unacked_.size(); }
    struct TTransmission {
        TpQMsg msg;
        uint32_t sequence;
    };
    // What must be sent now: messages inside the window never sent yet, and
    // those whose time for another try has come; each counts as sent now.
    std::vector<TTransmission> Due(TLinkTime now);
    // The peer's acknowledgement; the messages it settles, oldest first.
    std::vector<TpQMsg> Settle(uint32_t ackNext, uint32_t ackBits, TLinkTime now);
    // Whether an acknowledgement names only numbers that went out: one that
    // claims more comes from someone who is not the peer, or who lies.
    bool Believable(uint32_t ackNext, uint32_t ackBits) const;
    // Messages not yet acknowledged, oldest first.
    std::vector<TpQMsg> Unacknowledged() const;
    // Some datagram went to the peer.
    void NoteSent(TLinkTime now) { lastSent_ = now; }
    bool KeepAliveDue(TLinkTime now) const { return now - lastSent_ >= timing_.keepAlive; }
    // The retransmission time-out the round trip gives (the initial one
    // until a message sent once has been acknowledged).
    TMillis Rto() const;
    // The time-out in force: Rto doubled at each expiry and kept so until
    // a message sent once is acknowledged (RFC 6298, 5.5 to 5.7).
    TMillis BackedOffRto() const;
    // When the link next needs its timer: the next try of a message, a
    // keep-alive, or the end of the silence a peer is allowed.  A message
    // in the window not yet sent is due at once (TLinkTime::min()).
    TLinkTime NextDue() const;

    // --- Receiving ---------------------------------------------------------
    // Some valid datagram came from the peer.
    void NoteHeard(TLinkTime now) { lastHeard_ = now; }
    bool Silent(TLinkTime now) const { return now - lastHeard_ >= timing_.silence; }
    // Our oldest message has waited for the peer's acknowledgement for the
    // whole silence: keep-alives or not, the peer does not take part.
    bool Stalled(TLinkTime now) const;
    enum class TArrival { Fresh, Repeated, Beyond };
    // A sequenced message from the peer; kept unless seen before or too far
    // ahead.  Repeated and fresh ones are both to be acknowledged.
    TArrival Receive(uint32_t sequence, std::unique_ptr<TQMsg> msg);
    // The kept messages that are next in order, oldest first.
    std::vector<std::unique_ptr<TQMsg>> TakeInOrder();
    // The acknowledgement of the peer's messages that every trailer carries.
    uint32_t AckNext() const { return receiveNext_; }
    uint32_t AckBits() const;

  private:
    struct TOutgoing {
        TpQMsg msg;
        uint32_t sequence = 0;
        int transmissions = 0;
        bool overtaken = false; // due again at once: not an expiry
        TLinkTime firstSent;
        TLinkTime lastSent;
        TLinkTime nextTry;
    };
    void Measure(TMillis sample);
    void BackOff(TLinkTime now);
    void RestartTimer(TLinkTime now);
    void RetryOvertaken(const std::vector<TOutgoing>& settled, TLinkTime now);

    uint32_t peerSession_;
    TLinkTiming timing_;

    uint32_t sendNext_ = 0;         // the number the next queued message gets
    std::deque<TOutgoing> unacked_; // in sequence order; settled ones leave
    uint32_t sentEnd_ = 0;          // one past the highest number sent
    int backoffs_ = 0;              // expiries since the last clean sample
    bool measured_ = false;
    double srttMs_ = 0;
    double rttVarMs_ = 0;
    TLinkTime lastSent_;

    uint32_t receiveNext_ = 0;                         // everything below it has been received
    std::map<uint32_t, std::unique_ptr<TQMsg>> early_; // received above a gap
    TLinkTime lastHeard_;
};
