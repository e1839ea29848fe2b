#include "peer_link.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// RFC 6298's weights for the smoothed round trip and its variation.
constexpr double kRttGain = 1.0 / 8;
constexpr double kVarGain = 1.0 / 4;
constexpr double kVarFactor = 4;
constexpr int kMaxBackoffDoublings = 16;

} // namespace

TPeerLink::TPeerLink(uint32_t peerSession, const TLinkTiming& timing, TLinkTime now)
    : peerSession_(peerSession), timing_(timing), lastSent_(now), lastHeard_(now) {}

void TPeerLink::Queue(TpQMsg msg) {
    TOutgoing outgoing;
    outgoing.msg = std::move(msg);
    outgoing.sequence = sendNext_++;
    unacked_.push_back(std::move(outgoing));
}

TMillis TPeerLink::Rto() const {
    if (!measured_)
        return timing_.initialRto;
    const auto rto = TMillis(static_cast<long long>(std::ceil(srttMs_ + kVarFactor * rttVarMs_)));
    return std::clamp(rto, timing_.minRto, timing_.maxRto);
}

TMillis TPeerLink::BackedOffRto() const {
    const TMillis rto = Rto();
    return std::min<TMillis>(rto * (1LL << backoffs_), std::max(rto, timing_.maxRto));
}

// One expiry doubles the time-out of the link, not of one message: every
// message already out then waits the doubled time-out from now, as under
// the single timer of a TCP sender, so that a path slower than the initial
// time-out costs one repeat and not one per message.
void TPeerLink::BackOff(TLinkTime now) {
    if (backoffs_ < kMaxBackoffDoublings && BackedOffRto() < timing_.maxRto)
        ++backoffs_;
    RestartTimer(now);
}

std::vector<TPeerLink::TTransmission> TPeerLink::Due(TLinkTime now) {
    std::vector<TTransmission> due;
    if (unacked_.empty())
        return due;
    const uint32_t windowEnd = unacked_.front().sequence + kLinkWindow;
    std::vector<TOutgoing*> sending;
    bool expired = false;
    for (TOutgoing& o : unacked_) {
        if (o.sequence >= windowEnd)
            break;
        if (o.transmissions > 0 && now < o.nextTry)
            continue;
        expired = expired || (o.transmissions > 0 && !o.overtaken);
        sending.push_back(&o);
    }
    if (expired)
        BackOff(now);
    for (TOutgoing* o : sending) {
        if (o->transmissions == 0)
            o->firstSent = now;
        ++o->transmissions;
        o->overtaken = false;
        o->lastSent = now;
        o->nextTry = now + BackedOffRto();
        sentEnd_ = std::max(sentEnd_, o->sequence + 1);
        due.push_back({o->msg, o->sequence});
    }
    return due;
}

TLinkTime TPeerLink::NextDue() const {
    TLinkTime due = std::min(lastSent_ + timing_.keepAlive, lastHeard_ + timing_.silence);
    if (unacked_.empty())
        return due;
    const uint32_t windowEnd = unacked_.front().sequence + kLinkWindow;
    for (const TOutgoing& o : unacked_) {
        if (o.sequence >= windowEnd)
            break;
        if (o.transmissions == 0)
            return TLinkTime::min();
        due = std::min(due, o.nextTry);
    }
    if (unacked_.front().transmissions > 0)
        due = std::min(due, unacked_.front().firstSent + timing_.silence);
    return due;
}

bool TPeerLink::Stalled(TLinkTime now) const {
    return !unacked_.empty() && unacked_.front().transmissions > 0 &&
           now - unacked_.front().firstSent >= timing_.silence;
}

bool TPeerLink::Believable(uint32_t ackNext, uint32_t ackBits) const {
    if (ackNext > sentEnd_)
        return false;
    if (ackBits == 0)
        return true;
    const uint64_t highestBit = 31 - static_cast<uint64_t>(std::countl_zero(ackBits));
    return uint64_t{ackNext} + 1 + highestBit < sentEnd_;
}

std::vector<TPeerLink::TpQMsg> TPeerLink::Settle(uint32_t ackNext, uint32_t ackBits,
                                                 TLinkTime now) {
    std::vector<TOutgoing> settled;
    // Only what has gone out can have arrived.
    auto acknowledged = [&](const TOutgoing& o) {
        if (o.transmissions == 0)
            return false;
        if (o.sequence < ackNext)
            return true;
        const uint32_t bit = o.sequence - ackNext - 1;
        return o.sequence > ackNext && bit < kAckBitCount && ((ackBits >> bit) & 1u) != 0;
    };
    for (auto it = unacked_.begin(); it != unacked_.end();) {
        if (!acknowledged(*it)) {
            ++it;
            continue;
        }
        // Karn: a message sent more than once gives no clean round trip.
        if (it->transmissions == 1)
            Measure(std::chrono::duration_cast<TMillis>(now - it->firstSent));
        settled.push_back(std::move(*it));
        it = unacked_.erase(it);
    }
    if (!settled.empty())
        RestartTimer(now);
    RetryOvertaken(settled, now);
    std::vector<TpQMsg> messages;
    for (TOutgoing& o : settled)
        messages.push_back(std::move(o.msg));
    return messages;
}

// An acknowledgement of something new shows the path works: what is still
// out gets a whole time-out from now (RFC 6298, 5.3), so that messages
// sent while the time-out was still too short for the path are not sent
// again before their answers could be back.
void TPeerLink::RestartTimer(TLinkTime now) {
    const TLinkTime later = now + BackedOffRto();
    for (TOutgoing& o : unacked_)
        if (o.transmissions > 0 && !o.overtaken)
            o.nextTry = std::max(o.nextTry, later);
}

// A message that a later one, sent no earlier, has overtaken is taken for
// lost: it goes again at once rather than a time-out later, so that the
// messages behind it in order are not held up.  A message only held back
// on its way arrives twice, and the peer drops the second.
void TPeerLink::RetryOvertaken(const std::vector<TOutgoing>& settled, TLinkTime now) {
    for (TOutgoing& o : unacked_) {
        if (o.transmissions == 0)
            break;
        const bool overtaken = std::any_of(settled.begin(), settled.end(), [&](const TOutgoing& s) {
            return s.sequence > o.sequence && s.lastSent >= o.lastSent;
        });
        if (overtaken) {
            o.nextTry = std::min(o.nextTry, now);
            o.overtaken = true;
        }
    }
}

void TPeerLink::Measure(TMillis sample) {
    const double ms = static_cast<double>(sample.count());
    backoffs_ = 0; // a clean sample: the estimate stands again
    if (!measured_) {
        srttMs_ = ms;
        rttVarMs_ = ms / 2;
        measured_ = true;
        return;
    }
    rttVarMs_ = (1 - kVarGain) * rttVarMs_ + kVarGain * std::abs(srttMs_ - ms);
    srttMs_ = (1 - kRttGain) * srttMs_ + kRttGain * ms;
}

std::vector<TPeerLink::TpQMsg> TPeerLink::Unacknowledged() const {
    std::vector<TpQMsg> waiting;
    for (const TOutgoing& o : unacked_)
        waiting.push_back(o.msg);
    return waiting;
}

TPeerLink::TArrival TPeerLink::Receive(uint32_t sequence, std::unique_ptr<TQMsg> msg) {
    if (sequence < receiveNext_ || early_.count(sequence) != 0)
        return TArrival::Repeated;
    if (sequence - receiveNext_ >= kLinkWindow)
        return TArrival::Beyond;
    early_.emplace(sequence, std::move(msg));
    return TArrival::Fresh;
}

std::vector<std::unique_ptr<TQMsg>> TPeerLink::TakeInOrder() {
    std::vector<std::unique_ptr<TQMsg>> ready;
    for (auto it = early_.find(receiveNext_); it != early_.end(); it = early_.find(receiveNext_)) {
        ready.push_back(std::move(it->second));
        early_.erase(it);
        ++receiveNext_;
    }
    return ready;
}

uint32_t TPeerLink::AckBits() const {
    uint32_t bits = 0;
    for (const auto& [sequence, msg] : early_) {
        const uint32_t bit = sequence - receiveNext_ - 1;
        if (sequence > receiveNext_ && bit < kAckBitCount)
            bits |= 1u << bit;
    }
    return bits;
}
