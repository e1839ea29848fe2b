// One link's arithmetic with the clock in the test's hand: the window, the
// retransmission time-out and its back-off, what an acknowledgement
// settles, and when a keep-alive or a give-up is due.
#include "peer_link.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

std::vector<uint32_t> Sequences(const std::vector<TPeerLink::TTransmission>& sent) {
    std::vector<uint32_t> numbers;
    for (const auto& t : sent)
        numbers.push_back(t.sequence);
    return numbers;
}

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
    std::vector<uint32_t> numbers;
    for (uint32_t n = from; n < to; ++n)
        numbers.push_back(n);
    return numbers;
}

TEST(PeerLink, SendsAWindowAtATimeAndAgainAfterADoublingTimeOut) {
    const TLinkTime t0{};
    TLinkTiming timing; // 300 ms before a round trip is known, 100..2000 ms
    TPeerLink link(1, timing, t0);
    for (int i = 0; i < 40; ++i)
        link.Queue(std::make_shared<TQMsg>());

    EXPECT_EQ(Sequences(link.Due(t0)), Range(0, kLinkWindow));
    EXPECT_TRUE(link.Due(t0 + 299ms).empty());
    EXPECT_EQ(Sequences(link.Due(t0 + 300ms)), Range(0, kLinkWindow)); // second try
    EXPECT_TRUE(link.Due(t0 + 899ms).empty());                         // waits 600 ms now
    EXPECT_EQ(Sequences(link.Due(t0 + 900ms)), Range(0, kLinkWindow));

    // 0..4 in order, 6 and 8 beyond the gap; the window then starts at 5,
    // and 5 and 7, overtaken by 6 and 8, go again at once.
    EXPECT_EQ(link.Settle(5, 0b101, t0 + 950ms).size(), 7u);
    std::vector<uint32_t> next = {5, 7};
    for (uint32_t n : Range(33, 38))
        next.push_back(n);
    EXPECT_EQ(Sequences(link.Due(t0 + 950ms)), next);
    EXPECT_EQ(link.Rto(), 300ms) << "messages sent more than once give no round trip";

    // One sent once and settled 40 ms later: 40 + 4 * 20 ms.
    TPeerLink fresh(1, timing, t0);
    fresh.Queue(std::make_shared<TQMsg>());
    fresh.Due(t0);
    fresh.Settle(1, 0, t0 + 40ms);
    EXPECT_EQ(fresh.Rto(), 120ms);
}

TEST(PeerLink, AnAcknowledgementSettlesOnlyWhatWentOut) {
    const TLinkTime t0{};
    TPeerLink link(1, TLinkTiming{}, t0);
    for (int i = 0; i < 40; ++i)
        link.Queue(std::make_shared<TQMsg>());
    link.Due(t0);
    // 33..39 never went out: a peer cannot have them, whatever it says.
    EXPECT_EQ(link.Settle(40, 0, t0).size(), kLinkWindow);
    EXPECT_EQ(link.Unacknowledged().size(), 40u - kLinkWindow);
    EXPECT_TRUE(link.Settle(40, 0, t0).empty());
}

TEST(PeerLink, KeepsEarlyMessagesUntilTheGapIsFilled) {
    TPeerLink link(1, TLinkTiming{}, TLinkTime{});
    using A = TPeerLink::TArrival;
    EXPECT_EQ(link.Receive(1, std::make_unique<TQMsg>()), A::Fresh);
    EXPECT_EQ(link.Receive(3, std::make_unique<TQMsg>()), A::Fresh);
    EXPECT_EQ(link.Receive(3, std::make_unique<TQMsg>()), A::Repeated);
    EXPECT_EQ(link.Receive(kLinkWindow, std::make_unique<TQMsg>()), A::Beyond);
    EXPECT_TRUE(link.TakeInOrder().empty());
    EXPECT_EQ(link.AckNext(), 0u);
    EXPECT_EQ(link.AckBits(), 0b101u); // 1 and 3
    EXPECT_EQ(link.Receive(0, std::make_unique<TQMsg>()), A::Fresh);
    EXPECT_EQ(link.TakeInOrder().size(), 2u); // 0 and 1
    EXPECT_EQ(link.AckNext(), 2u);
    EXPECT_EQ(link.AckBits(), 0b1u); // 3
    EXPECT_EQ(link.Receive(1, std::make_unique<TQMsg>()), A::Repeated);
}

TEST(PeerLink, KnowsWhenAKeepAliveIsDueAndWhenThePeerFellSilent) {
    const TLinkTime t0{};
    TLinkTiming timing;
    timing.keepAlive = 2s;
    timing.silence = 20s;
    TPeerLink link(1, timing, t0);
    EXPECT_FALSE(link.KeepAliveDue(t0 + 1999ms));
    EXPECT_TRUE(link.KeepAliveDue(t0 + 2s));
    link.NoteSent(t0 + 2s);
    EXPECT_FALSE(link.KeepAliveDue(t0 + 3s));
    EXPECT_FALSE(link.Silent(t0 + 19s));
    link.NoteHeard(t0 + 19s);
    EXPECT_FALSE(link.Silent(t0 + 38s));
    EXPECT_TRUE(link.Silent(t0 + 39s));
}

// RFC 6298, 5.5 to 5.7: an expiry doubles the time-out of the link; what
// is out then waits the doubled time-out, and the doubling stays until a
// message sent once is acknowledged.  A path of 400 ms behind an initial
// time-out of 300 ms costs one repeat, not one per message.
TEST(PeerLink, TheBackedOffTimeOutStaysUntilACleanRoundTrip) {
    const TLinkTime t0{};
    TPeerLink link(1, TLinkTiming{}, t0);
    link.Queue(std::make_shared<TQMsg>());
    EXPECT_EQ(Sequences(link.Due(t0)), Range(0, 1));
    link.Queue(std::make_shared<TQMsg>());
    link.Queue(std::make_shared<TQMsg>());
    EXPECT_EQ(Sequences(link.Due(t0 + 100ms)), Range(1, 3));
    EXPECT_EQ(Sequences(link.Due(t0 + 300ms)), Range(0, 1)); // 0 expired; 1 and 2 wait
    EXPECT_EQ(link.BackedOffRto(), 600ms);
    EXPECT_TRUE(link.Due(t0 + 899ms).empty());
    // 0's first copy is acknowledged: no sample (sent twice), the doubling stays.
    EXPECT_EQ(link.Settle(1, 0, t0 + 400ms).size(), 1u);
    EXPECT_EQ(link.BackedOffRto(), 600ms);
    // 1, sent once at 100 ms, is acknowledged 400 ms later: a clean sample.
    EXPECT_EQ(link.Settle(2, 0, t0 + 500ms).size(), 1u);
    EXPECT_EQ(link.Rto(), 1200ms); // 400 + 4 * 200
    EXPECT_EQ(link.BackedOffRto(), 1200ms);
    EXPECT_TRUE(link.Due(t0 + 1699ms).empty()) << "2 waits a whole time-out from the last ack";
    EXPECT_EQ(Sequences(link.Due(t0 + 1700ms)), Range(2, 3));

    // The doubling ends at the longest time-out.
    TPeerLink lost(1, TLinkTiming{}, t0);
    lost.Queue(std::make_shared<TQMsg>());
    TLinkTime now = t0;
    for (int tries = 0; tries < 10; ++tries, now += 2000ms)
        lost.Due(now);
    EXPECT_EQ(lost.BackedOffRto(), 2000ms);
}

TEST(PeerLink, BelievesOnlyAcknowledgementsOfWhatWentOut) {
    TPeerLink link(1, TLinkTiming{}, TLinkTime{});
    for (int i = 0; i < 5; ++i)
        link.Queue(std::make_shared<TQMsg>());
    EXPECT_TRUE(link.Believable(0, 0)) << "nothing sent, nothing claimed";
    link.Due(TLinkTime{}); // 0..4 out
    const struct {
        uint32_t ackNext, ackBits;
        bool believable;
    } cases[] = {
        {0, 0, true},         {5, 0, true},
        {2, 0b11, true},                       // 3 and 4
        {6, 0, false},        {4, 0b1, false}, // 5 never went out
        {0, 1u << 31, false}, {0xFFFFFFFF, 0xFFFFFFFF, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(link.Believable(c.ackNext, c.ackBits), c.believable)
            << c.ackNext << " " << c.ackBits;
}

TEST(PeerLink, StallsWhenItsOldestMessageWaitsTheWholeSilence) {
    const TLinkTime t0{};
    TLinkTiming timing;
    timing.silence = 20s;
    TPeerLink link(1, timing, t0);
    link.Queue(std::make_shared<TQMsg>());
    EXPECT_FALSE(link.Stalled(t0 + 30s)) << "not sent yet";
    link.Due(t0 + 1s);
    link.NoteHeard(t0 + 20s); // keep-alives do not count
    EXPECT_FALSE(link.Stalled(t0 + 20999ms));
    EXPECT_TRUE(link.Stalled(t0 + 21s));
    EXPECT_LE(link.NextDue(), t0 + 21s);
    link.Settle(1, 0, t0 + 21s);
    EXPECT_FALSE(link.Stalled(t0 + 60s));
}

} // namespace
