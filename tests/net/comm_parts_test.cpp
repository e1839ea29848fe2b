// Parts of the connection manager on their own, where they hold a rule
// that the component's cases do not show whole: the send modes, the paths,
// and when the timed parts next need their timer.
#include "connect_requests.h"
#include "contact_book.h"
#include "link_table.h"
#include "path_table.h"
#include "peer_link.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

Names NamesOf(const std::vector<TpContact>& contacts) {
    Names names;
    for (const TpContact& c : contacts)
        names.push_back(c->Name);
    return names;
}

// In order: each step may change the last target the next one uses.
TEST(ContactBook, SendModesNameTheirAddressees) {
    TContactBook book;
    for (const char* name : {"Ann", "Bob", "Cid"})
        book.Add(name, std::string("192.0.2.") + name, 0);
    book.Select(2);
    book.SetSender(1);
    const struct {
        int mode;
        Names addressees;
    } steps[] = {
        {smAll, {"Ann", "Bob", "Cid"}},
        {smLastTarget, {"Cid"}},
        {smSender, {"Bob"}},
        {smLastTarget, {"Bob"}},
        {smSelected, {"Cid"}},
        {smResend, {}},
        {smLastTarget, {"Cid"}},
        {7, {"Ann"}},
        {smLastTarget, {"Ann"}},
    };
    for (const auto& step : steps)
        EXPECT_EQ(NamesOf(book.Addressees(TSendMode(step.mode))), step.addressees)
            << "mode " << step.mode;

    // Out of the table: the outsider, which takes the address of a sender
    // it stands for.
    book.Select(-1);
    EXPECT_EQ(NamesOf(book.Addressees(smSelected)), Names{kOutsiderName});
    book.NoteSender("198.51.100.9");
    EXPECT_EQ(NamesOf(book.Addressees(smSender)), Names{kOutsiderName});
    EXPECT_EQ(book.Outsider()->Address, "198.51.100.9");
    book.NoteSender("192.0.2.Bob");
    EXPECT_EQ(NamesOf(book.Addressees(smSender)), Names{"Bob"});
}

struct RecordingPath : TDatagramPath {
    void Send(const std::string& bytes) override { sent.push_back(bytes); }
    Names sent;
};

TEST(PathTable, AContactsPathReplacesItsAddressUntilClearedOrGone) {
    Names toAddresses;
    TPathTable paths([&](const std::string& address, const std::string& bytes) {
        toAddresses.push_back(bytes + "@" + address);
    });
    auto ann = std::make_shared<TContact>(TContact{"Ann", "192.0.2.1", 0});
    auto bob = std::make_shared<TContact>(TContact{"Bob", "192.0.2.2", 0});
    const auto annPath = std::make_shared<RecordingPath>();
    const auto bobPath = std::make_shared<RecordingPath>();

    paths.Send(ann, "a1");
    paths.SetPath(ann, annPath);
    paths.Send(ann, "a2");
    paths.Send(bob, "b1");
    paths.SendTo(ann->Address, "answer"); // in answer to a datagram: to its address
    paths.SendTo(bob->Address, "b-answer");
    paths.ClearPath(ann);
    paths.Send(ann, "a3");
    paths.SendTo(ann->Address, "answer2");
    paths.SetPath(bob, bobPath);
    bob.reset(); // gone: its path goes with it
    auto bobAgain = std::make_shared<TContact>(TContact{"Bob", "192.0.2.2", 0});
    paths.Send(bobAgain, "b2");

    // A contact made at an address whose stand-in has a path (a joiner
    // whose request came over it) is answered over that path.
    auto standIn = std::make_shared<TContact>(TContact{"", "198.51.100.7", 0});
    const auto standInPath = std::make_shared<RecordingPath>();
    paths.SetPath(standIn, standInPath);
    auto joiner = std::make_shared<TContact>(TContact{"Cid", "198.51.100.7", 0});
    paths.Send(joiner, "reply");

    EXPECT_EQ(toAddresses, (Names{"a1@192.0.2.1", "b1@192.0.2.2", "b-answer@192.0.2.2",
                                  "a3@192.0.2.1", "answer2@192.0.2.1", "b2@192.0.2.2"}));
    EXPECT_EQ(annPath->sent, (Names{"a2", "answer"}));
    EXPECT_TRUE(bobPath->sent.empty());
    EXPECT_EQ(standInPath->sent, (Names{"reply"}));
}

TEST(TimedParts, TellWhenTheyNextNeedTheirTimer) {
    const TLinkTime t0{std::chrono::hours(1)};
    TLinkTiming timing; // keep-alive 2 s, silence 20 s, first time-out 300 ms
    TPeerLink link(1, timing, t0);
    EXPECT_EQ(link.NextDue(), t0 + 2s) << "a keep-alive";
    link.Queue(std::make_shared<TQMsg>());
    EXPECT_EQ(link.NextDue(), TLinkTime::min()) << "a message not yet sent";
    link.Due(t0 + 100ms);
    link.NoteSent(t0 + 100ms);
    EXPECT_EQ(link.NextDue(), t0 + 400ms) << "its next try";
    link.Settle(1, 0, t0 + 150ms);
    link.NoteHeard(t0 + 150ms);
    EXPECT_EQ(link.NextDue(), t0 + 2100ms);

    // The table of links: its earliest link; a departing one with nothing
    // left to deliver is due at once, to be dropped.
    TCommSettings settings;
    settings.keyPair = TLinkKeyPair::Generate();
    const TLinkProof peer{TLinkKeyPair::Generate().publicKey, ""};
    TIncomingQueue incoming;
    int sent = 0;
    TPathTable paths([&](const std::string&, const std::string&) { ++sent; });
    TLinkTime now = t0;
    TLinkTable links(settings, paths, incoming, [&] { return now; });
    EXPECT_FALSE(links.NextDue());
    const auto ann = std::make_shared<TContact>(TContact{"Ann", "192.0.2.1", 0});
    links.Make(ann, 7, peer, *links.Vouch("Ann", ann->Address, 7, peer));
    now = t0 + 1s;
    const auto bob = std::make_shared<TContact>(TContact{"Bob", "192.0.2.2", 0});
    links.Make(bob, 8, peer, *links.Vouch("Bob", bob->Address, 8, peer));
    EXPECT_EQ(links.NextDue(), t0 + 2s);
    links.Of(ann)->departing = true;
    EXPECT_EQ(links.NextDue(), TLinkTime::min());
    TContactBook contacts;
    links.Tick(contacts);
    EXPECT_EQ(links.Of(ann), nullptr);
    EXPECT_EQ(links.NextDue(), t0 + 3s);
    EXPECT_EQ(sent, 0);

    TConnectRequests requests;
    EXPECT_FALSE(requests.NextDue(true));
    const TMillis interval = TConnectRequests::Interval(2000ms);
    EXPECT_EQ(interval, 4500ms);
    auto request = std::make_shared<TQMsg>();
    request->Recipients.push_back(std::make_shared<TContact>());
    requests.Start(request, "192.0.2.1", interval, t0);
    EXPECT_EQ(requests.NextDue(true), t0 + 4500ms);
    EXPECT_TRUE(requests.Tick(t0 + 4499ms, true, interval).again.empty());
    EXPECT_EQ(requests.Tick(t0 + 4500ms, true, interval).again.size(), 1u);
    EXPECT_EQ(requests.NextDue(true), t0 + 9000ms);
    EXPECT_EQ(requests.Tick(t0 + 18s, true, interval).unanswered.size(), 1u) << "four tries";
    EXPECT_FALSE(requests.NextDue(true));

    // Once the host answered with a cookie it is one of ours: tries come
    // quickly, doubling up to the interval, until the same deadline.
    requests.Start(request, "192.0.2.1", interval, t0);
    TConnectRequests::Quicken(*requests.Oldest(), t0 + 100ms);
    std::vector<TLinkTime> tries;
    for (TLinkTime now = t0; now < t0 + 18s; now += 10ms)
        if (!requests.Tick(now, true, interval).again.empty())
            tries.push_back(now);
    EXPECT_EQ(tries, (std::vector<TLinkTime>{t0 + 600ms, t0 + 1600ms, t0 + 3600ms, t0 + 7600ms,
                                            t0 + 12100ms, t0 + 16600ms}));
    EXPECT_EQ(requests.Tick(t0 + 18s, true, interval).unanswered.size(), 1u);
    // Over a path the host is ours from the start.
    requests.Start(request, "192.0.2.1", interval, t0, true);
    EXPECT_EQ(requests.NextDue(true), t0 + 500ms);
    requests.Clear();
}

} // namespace
