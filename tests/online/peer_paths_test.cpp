// The paths between members on scripted ICE ends and a scripted lobby:
// who posts what to whom, when the lobby is polled, which descriptions are
// answered, and how a path that never gets ready is given up.
#include "ice_description.h"
#include "peer_paths.h"

#include <deque>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace std::chrono_literals;
using TClock = TPeerPaths::TClock;

// An ICE end whose events the test raises.
class TFakeEnd : public TIceEnd {
  public:
    void Start() override { started = true; }
    void SetRemote(std::string_view description) override {
        if (description == "broken")
            throw TIceDescriptionError("not a description");
        remote = std::string(description);
    }
    bool Send(std::string_view datagram) override {
        sent.emplace_back(datagram);
        return true;
    }
    void Close() override {
        closed = true;
        if (closes)
            ++*closes;
    }

    TIceRole role = TIceRole::Controlling;
    bool started = false;
    bool closed = false;
    int* closes = nullptr; // counts closes past the end's life
    std::string remote;
    std::vector<std::string> sent;
};

const std::string kJoinerDescription =
    "ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc h,1,2130706431,192.168.1.10,50123 "
    "s,2,1694498815,198.51.100.7,40000 r,4,16777215,203.0.113.9,49312";
const std::string kHostDescription =
    "ice1 Ab3F Zq9mZ2v8Rk1s0dPw4tYhNc h,1,2130706431,10.0.0.5,50000";

struct PeerPathsTest : testing::Test {
    TPeerPaths Make(int32_t self) {
        TPeerPaths::TLobby lobby;
        lobby.post = [this](int32_t to, const std::string& blob) { posts.emplace_back(to, blob); };
        lobby.fetch = [this](std::function<void(const TPeerPaths::TBlobs&)> done) {
            fetches.push_back(std::move(done));
        };
        TPeerPaths::TEvents events;
        events.ready = [this](int32_t peer, const std::string& label,
                              const std::shared_ptr<TDatagramPath>& path, TIcePathKind) {
            ready[peer] = label;
            paths[peer] = path;
        };
        events.failed = [this](int32_t peer, const std::string&, const std::string& why) {
            failed[peer] = why;
        };
        events.restarted = [this](int32_t peer, const std::string& label) {
            restarted.emplace_back(peer, label);
        };
        events.datagram = [this](int32_t, const std::string& label, std::string_view bytes) {
            received.emplace_back(label, std::string(bytes));
        };
        return TPeerPaths(
            self, lobby,
            [this](TIceRole role) {
                auto end = std::make_unique<TFakeEnd>();
                end->role = role;
                end->closes = &closedEnds;
                ends.push_back(end.get());
                return end;
            },
            events);
    }
    // Answers the oldest fetch with these blobs.
    void Answer(const TPeerPaths::TBlobs& blobs) {
        ASSERT_FALSE(fetches.empty());
        auto done = std::move(fetches.front());
        fetches.pop_front();
        done(blobs);
    }

    TClock::time_point t0 = TClock::now();
    std::vector<std::pair<int32_t, std::string>> posts;
    std::deque<std::function<void(const TPeerPaths::TBlobs&)>> fetches;
    std::vector<TFakeEnd*> ends;
    std::map<int32_t, std::string> ready, failed;
    std::map<int32_t, std::shared_ptr<TDatagramPath>> paths;
    std::vector<std::pair<std::string, std::string>> received;
    std::vector<std::pair<int32_t, std::string>> restarted;
    int closedEnds = 0;
};

TEST_F(PeerPathsTest, JoinerPostsPollsAndSetsTheHostsDescription) {
    TPeerPaths joiner = Make(12);
    joiner.Open(7, "198.51.100.20", t0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends[0]->started);
    EXPECT_EQ(ends[0]->role, TIceRole::Controlled); // 7 < 12: the host controls
    joiner.Tick(t0);
    EXPECT_TRUE(fetches.empty()) << "nothing to poll for before the own description went out";
    ends[0]->OnGathered(kJoinerDescription);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].first, 7);
    EXPECT_EQ(TPeerPaths::DescriptionOf(posts[0].second), kJoinerDescription);

    joiner.Tick(t0 + 10ms);
    ASSERT_EQ(fetches.size(), 1u);
    joiner.Tick(t0 + 100ms);
    EXPECT_EQ(fetches.size(), 1u) << "one fetch at a time";
    Answer(std::vector<TCandidateBlob>{}); // not there yet
    joiner.Tick(t0 + 200ms);
    EXPECT_TRUE(fetches.empty()) << "a few times a second, no more";
    joiner.Tick(t0 + 300ms);
    Answer(std::vector<TCandidateBlob>{{7, TPeerPaths::BlobOf(kHostDescription)},
                                       {9, TPeerPaths::BlobOf(kHostDescription)}});
    EXPECT_EQ(ends[0]->remote, kHostDescription);
    EXPECT_EQ(ends.size(), 1u) << "a joiner answers nobody it did not open a path to";
    joiner.Tick(t0 + 800ms);
    EXPECT_TRUE(fetches.empty()) << "no polling once the description is in";

    ends[0]->OnReady(TIcePathKind::Punched);
    EXPECT_EQ(ready.at(7), "198.51.100.20");
    paths.at(7)->Send("hello");
    EXPECT_EQ(ends[0]->sent, std::vector<std::string>{"hello"});
    ends[0]->OnDatagram("reply");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], std::make_pair(std::string("198.51.100.20"), std::string("reply")));
}

TEST_F(PeerPathsTest, HostAnswersADescriptionOnceGathered) {
    TPeerPaths host = Make(7);
    host.SetAnswering(true);
    host.Tick(t0);
    ASSERT_EQ(fetches.size(), 1u) << "a host waiting for players polls";
    Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]->role, TIceRole::Controlling);
    EXPECT_TRUE(ends[0]->remote.empty()) << "the remote waits for the own gathering";
    ends[0]->OnGathered(kHostDescription);
    EXPECT_EQ(posts.at(0).first, 12);
    EXPECT_EQ(ends[0]->remote, kJoinerDescription);
    EXPECT_EQ(host.PeerOf("198.51.100.7"), 12) << "labelled by the router's address";

    // The same blob fetched again is not a second member.
    host.Tick(t0 + 1s);
    Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(posts.size(), 1u);
}

// A member's program killed and started again posts a new description
// from the same account: its old path gives way, under the same label, on
// the host (answering, the game under way) and on a member the host told
// to listen.
TEST_F(PeerPathsTest, ANewDescriptionFromAMemberWithAPathIsARestart) {
    const std::string kRestarted =
        "ice1 Yc4G Lr0nA3w9Sl2t1eQx5uZiOd h,1,2130706431,192.168.1.10,50999 "
        "s,2,1694498815,198.51.100.7,40100";
    for (const bool host : {true, false}) {
        SCOPED_TRACE(host ? "host" : "member told to listen");
        ends.clear();
        posts.clear();
        fetches.clear();
        restarted.clear();
        closedEnds = 0;
        TPeerPaths paths = Make(7);
        TClock::time_point now = t0;
        if (host) {
            paths.SetAnswering(true);
            paths.SetRunning(true);
            paths.Tick(now);
            Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
        } else {
            paths.Open(12, "198.51.100.7", now);
            paths.Tick(now);
            ends[0]->OnGathered(kHostDescription);
            paths.Tick(now += 300ms);
            Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
        }
        ASSERT_EQ(ends.size(), 1u);
        if (host)
            ends[0]->OnGathered(kHostDescription);
        ends[0]->OnReady(TIcePathKind::Punched);
        paths.Tick(now += 2s);
        if (!host) {
            EXPECT_TRUE(fetches.empty()) << "a member with its paths ready polls nobody";
            paths.Listen(now);
            paths.Tick(now += 10ms);
        }
        ASSERT_EQ(fetches.size(), 1u);
        Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
        EXPECT_TRUE(restarted.empty()) << "the same description again is no restart";

        paths.Tick(now += 2s);
        ASSERT_EQ(fetches.size(), 1u);
        Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kRestarted)}});
        ASSERT_EQ(restarted.size(), 1u);
        EXPECT_EQ(restarted[0], std::make_pair(12, std::string("198.51.100.7")));
        EXPECT_EQ(closedEnds, 1) << "the old end is closed (and freed)";
        ASSERT_EQ(ends.size(), 2u);
        ends[1]->OnGathered(kHostDescription);
        EXPECT_EQ(ends[1]->remote, kRestarted);
        EXPECT_EQ(posts.back().first, 12) << "the new program gets an answer";
        EXPECT_EQ(paths.PeerOf("198.51.100.7"), 12);
    }
}

// A lossy link can lose every answer of the STUN/TURN server: a gathering
// with host addresses alone gathers once more on a fresh end, and only
// then does the description go out.
TEST_F(PeerPathsTest, AGatheringWithoutTheServersAddressesGathersOnceMore) {
    const std::string hostOnly = kHostDescription;
    const struct {
        const char* what;
        bool serverGiven;
        std::string first;
        bool again;
    } cases[] = {
        {"host addresses alone, a server given", true, hostOnly, true},
        {"a reflexive and a relayed address", true, kJoinerDescription, false},
        {"a relayed address alone", true, "ice1 Ab3F Zq9mZ2v8Rk1s0dPw4tYhNc r,4,16777215,203.0.113.9,1",
         false},
        {"no server given", false, hostOnly, false},
        {"not a description: refused by the other end", true, "broken", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ends.clear();
        posts.clear();
        TPeerPaths joiner = Make(12);
        joiner.SetServerGiven(c.serverGiven);
        joiner.Open(7, "198.51.100.20", t0);
        ends[0]->OnGathered(c.first);
        EXPECT_EQ(ends.size(), c.again ? 2u : 1u);
        EXPECT_EQ(ends[0]->closed, c.again);
        EXPECT_EQ(posts.empty(), c.again) << "nothing posted before the second gathering";
        if (!c.again)
            continue;
        EXPECT_TRUE(ends[1]->started);
        EXPECT_EQ(ends[1]->role, TIceRole::Controlled);
        ends[0]->OnGathered(kJoinerDescription); // a closed end's late event
        EXPECT_TRUE(posts.empty());
        ends[1]->OnGathered(hostOnly); // the second goes out whatever it holds
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(TPeerPaths::DescriptionOf(posts[0].second), hostOnly);
        EXPECT_EQ(ends.size(), 2u) << "once per path";
        joiner.Tick(t0);
        Answer(std::vector<TCandidateBlob>{{7, TPeerPaths::BlobOf(kJoinerDescription)}});
        EXPECT_EQ(ends[1]->remote, kJoinerDescription);
        ends[1]->OnReady(TIcePathKind::Direct);
        joiner.PathOf(7)->Send("hello");
        EXPECT_EQ(ends[1]->sent, std::vector<std::string>{"hello"});
        EXPECT_TRUE(ends[0]->sent.empty());
    }
}

// The host's pair keeps the member's description across its second
// gathering and sets it on the fresh end.
TEST_F(PeerPathsTest, AHostGatheringAgainKeepsTheMembersDescription) {
    TPeerPaths host = Make(7);
    host.SetServerGiven(true);
    host.SetAnswering(true);
    host.Tick(t0);
    Answer(std::vector<TCandidateBlob>{{12, TPeerPaths::BlobOf(kJoinerDescription)}});
    ASSERT_EQ(ends.size(), 1u);
    ends[0]->OnGathered(kHostDescription);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0]->remote.empty());
    EXPECT_EQ(ends[1]->role, TIceRole::Controlling);
    ends[1]->OnGathered(kJoinerDescription);
    EXPECT_EQ(ends[1]->remote, kJoinerDescription);
    EXPECT_EQ(posts.at(0).first, 12);
}

TEST_F(PeerPathsTest, BadDescriptionsAreNotAnswered) {
    TPeerPaths host = Make(7);
    host.SetAnswering(true);
    host.Tick(t0);
    Answer(std::vector<TCandidateBlob>{
        {12, "!!!"},                                    // not base64
        {13, TPeerPaths::BlobOf("hello there")},        // not a description
        {7, TPeerPaths::BlobOf(kJoinerDescription)},    // from this program itself
        {0, TPeerPaths::BlobOf(kJoinerDescription)},    // from nobody
        {14, TPeerPaths::BlobOf(kJoinerDescription)},   // the first behind this address
        {15, TPeerPaths::BlobOf(kJoinerDescription)},   // a second: by its next address
        {16, TPeerPaths::BlobOf(kJoinerDescription)},   // a third: by its relayed one
        {17, TPeerPaths::BlobOf(kJoinerDescription)}}); // a fourth: no address left
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(host.PeerOf("198.51.100.7"), 14);
    EXPECT_EQ(host.PeerOf("192.168.1.10"), 15);
    EXPECT_EQ(host.PeerOf("203.0.113.9"), 16);
    EXPECT_FALSE(host.Has(17));
    host.Tick(t0 + 1s);
    Answer(std::nullopt); // a failed fetch changes nothing
    EXPECT_EQ(ends.size(), 3u);
}

TEST_F(PeerPathsTest, APathNotReadyInTimeIsGivenUpOnce) {
    TPeerPaths joiner = Make(12);
    joiner.Open(7, "198.51.100.20", t0);
    ends[0]->OnGathered(kJoinerDescription);
    joiner.Tick(t0 + TPeerPaths::kGiveUp - 1ms);
    EXPECT_TRUE(failed.empty());
    joiner.Tick(t0 + TPeerPaths::kGiveUp);
    EXPECT_EQ(failed.count(7), 1u);
    EXPECT_TRUE(ends[0]->closed);
    joiner.Tick(t0 + TPeerPaths::kGiveUp + 1s);
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_FALSE(joiner.IsReady(7));
}

TEST_F(PeerPathsTest, FailuresOfTheEndReachTheOwner) {
    TPeerPaths joiner = Make(12);
    joiner.Open(7, "198.51.100.20", t0);
    ends[0]->OnGathered(kJoinerDescription);
    joiner.Tick(t0);
    Answer(std::vector<TCandidateBlob>{{7, TPeerPaths::BlobOf("broken")}});
    EXPECT_EQ(failed.at(7), "not a description");

    TPeerPaths other = Make(3);
    other.Open(5, "192.0.2.5", t0);
    ends[1]->OnGathered(kJoinerDescription);
    ends[1]->OnReady(TIcePathKind::Relayed);
    const std::shared_ptr<TDatagramPath> path = paths.at(5);
    ends[1]->OnFailed("relay allocation lost");
    EXPECT_EQ(failed.at(5), "relay allocation lost");
    path->Send("after"); // goes nowhere once failed
    EXPECT_TRUE(ends[1]->sent.empty());
}

// Closing from inside a path's own handler (a leave notice that came over
// it ends the game) closes every end and frees none of them there.
TEST_F(PeerPathsTest, ClosingInsideAHandlerClosesAllAndStartsNothing) {
    TPeerPaths host = Make(7);
    host.SetAnswering(true);
    host.Open(12, "198.51.100.7", t0);
    host.Open(13, "198.51.100.8", t0);
    ends[0]->OnDatagram = [&](std::string_view) { host.CloseAll(); };
    ends[0]->OnDatagram("bye");
    EXPECT_TRUE(ends[0]->closed);
    EXPECT_TRUE(ends[1]->closed);
    host.Open(14, "198.51.100.9", t0);
    host.Tick(t0 + 1s);
    EXPECT_EQ(ends.size(), 2u);
    EXPECT_TRUE(fetches.empty());
    EXPECT_TRUE(failed.empty()) << "closing is no failure";
}

TEST_F(PeerPathsTest, APathThatCannotStartFailsAtOnce) {
    TPeerPaths::TLobby lobby{[](int32_t, const std::string&) {},
                             [](std::function<void(const TPeerPaths::TBlobs&)>) {}};
    TPeerPaths::TEvents events;
    events.failed = [this](int32_t peer, const std::string&, const std::string& why) {
        failed[peer] = why;
    };
    TPeerPaths paths(
        12, lobby,
        [](TIceRole) -> std::unique_ptr<TIceEnd> { throw TIcePathError("no event loop for ICE"); },
        events);
    paths.Open(7, "198.51.100.20", t0);
    EXPECT_EQ(failed.at(7), "no event loop for ICE");
    EXPECT_FALSE(paths.Has(7));
}

TEST(PeerPathLabels, PreferTheRoutersIPv4Address) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {kJoinerDescription, "198.51.100.7"},
        {kHostDescription, "10.0.0.5"},
        {"ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc h,1,2130706431,2001:db8::5,50123 "
         "h,2,2130706430,192.0.2.8,50124",
         "192.0.2.8"},
        {"ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc s,1,2130706431,2001:db8::5,50123", "2001:db8::5"},
        {"ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc", std::nullopt},
        {"nonsense", std::nullopt},
    };
    for (const auto& [description, label] : cases)
        EXPECT_EQ(TPeerPaths::LabelOf(description), label) << description;
}

} // namespace
