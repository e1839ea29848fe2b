// Two programs behind the routers players have, swapping their ICE
// descriptions as the lobby will, with coturn on the public side: which
// kind of path they find, how fast, and whether a game's stream of small
// datagrams gets through it.
#include "ice_probe_pair.h"
#include "relay_lab_suite.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using std::chrono::milliseconds;

// What a player waits for at most: the whole join, path included.
constexpr long kDirectJoinMs = 5000;
constexpr long kRelayedJoinMs = 8000;

class IceAcrossRouters : public TRelayLabSuite {
  protected:
    static void SetUpTestSuite() {
        if (!StartLab(true))
            return;
        homes_ = std::vector<TLabSite>{
            lab_->AddSite(TRouterKind::PortKeeping, false), // 0
            lab_->AddSite(TRouterKind::PortKeeping, false), // 1
            lab_->AddSite(TRouterKind::Symmetric, false),   // 2
            lab_->AddSite(TRouterKind::CarrierNat, false),  // 3
            lab_->AddSite(TRouterKind::PortKeeping, true),  // 4
            lab_->AddSite(TRouterKind::PortKeeping, true),  // 5
            lab_->AddSite(TRouterKind::None, false),        // 6
        };
    }
    static void TearDownTestSuite() {
        homes_.clear();
        StopLab();
    }

    static TIceProbePair::TResult Connect(const TLabSite& a, const TLabSite& b,
                                          const std::vector<std::string>& extra = {}) {
        TIceProbePair pair(ZELLHOP_ICE_PROBE, *lab_, *relay_, a, b, extra);
        return pair.Run(TIceProbePair::TStream{40, 40, milliseconds(25)});
    }

    static inline std::vector<TLabSite> homes_;
};

// Whether coturn's log shows the allocation of the end called `name`
// given back.
bool GivenBack(const std::string& log, const std::string& name) {
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find("refreshed") != std::string::npos &&
            line.find(":" + name + ">") != std::string::npos &&
            line.find("lifetime=0") != std::string::npos)
            return true;
    return false;
}


TEST_F(IceAcrossRouters, FindsThePathEachPairOfRoutersAllows) {
    struct Case {
        const char* name;
        int a, b;
        const char* expected;
        long limitMs;
    };
    const Case cases[] = {
        {"both behind port-keeping routers", 0, 1, "punched", kDirectJoinMs},
        {"one behind a symmetric router", 2, 0, "relayed", kRelayedJoinMs},
        {"carrier NAT and home router", 3, 1, "punched", kDirectJoinMs},
        {"IPv6 on both sides, firewalls only", 4, 5, "direct", kDirectJoinMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = Connect(homes_[c.a], homes_[c.b]);
        RecordProperty(std::string(c.name) + " ms", std::to_string(r.joinMs));
        std::printf("  %-36s %-8s path in %4ld ms (%4ld ms with gathering), rtt %.2f ms; %s\n",
                    c.name, r.kind.c_str(), r.pathMs, r.joinMs, r.rttMedianMs, r.pair.c_str());
        ASSERT_EQ(r.failure, "");
        EXPECT_EQ(r.kind, c.expected) << r.pair;
        EXPECT_EQ(r.otherKind, c.expected);
        EXPECT_LE(r.joinMs, c.limitMs);
        EXPECT_EQ(r.echoed, r.sent) << "no loss in this lab";
    }
}

TEST_F(IceAcrossRouters, AStreamGetsThroughFivePerCentLoss) {
    const TLabSite& a = homes_[0];
    lab_->SetLoss(a, 0.05);
    const auto r = Connect(a, homes_[1]);
    lab_->SetLoss(a, 0);
    std::printf("  5 %% loss: %s path (%s at first) in %ld ms, %d of %d echoed\n", r.kind.c_str(),
                r.readyKind.c_str(), r.pathMs, r.echoed, r.sent);
    ASSERT_EQ(r.failure, "");
    EXPECT_EQ(r.kind, "punched");
    EXPECT_LE(r.joinMs, kDirectJoinMs);
    // Each datagram and its echo cross the lossy router: about 10 % lost.
    EXPECT_GE(r.echoed, r.sent * 7 / 10);
}

TEST_F(IceAcrossRouters, TheRelayIsGivenBackWhenThePathCloses) {
    const std::size_t before = relay_->Log().size(); // earlier cases' paths are there too
    const auto r = Connect(homes_[2], homes_[0], {"--relay-only"});
    ASSERT_EQ(r.failure, "");
    EXPECT_EQ(r.kind, "relayed");
    const std::string log = relay_->Log().substr(before);
    // Each end's allocation ends with a refresh of lifetime 0; the pair
    // names its ends "first" and "second" in their credentials.
    for (const char* end : {"first", "second"})
        EXPECT_TRUE(GivenBack(log, end)) << end << "\n"
                                         << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
}

// A bounded run of the load tool: many relayed paths at once through the
// one relay, each with a game's stream; bench/path_bench load goes further.
TEST_F(IceAcrossRouters, OneRelayCarriesManyPathsAtOnce) {
    constexpr int kPairs = 30;
    TLabProcess load(homes_[6].machine,
                     {ZELLHOP_RELAY_LOAD, "--turn", relay_->Address4(), "--secret",
                      relay_->Secret(), "--pairs", std::to_string(kPairs), "--seconds", "3",
                      "--rate", "4"},
                     lab_->Folder() + "/load.err");
    const auto line = load.WaitFor("pairs ", milliseconds(40000));
    ASSERT_TRUE(line) << ReadWholeFile(lab_->Folder() + "/load.err");
    std::printf("  %s\n", line->c_str());
    // pairs N ready R ready_median_ms X sent S received V lost_pct L ...
    std::istringstream words(*line);
    std::string word, ready, lost;
    while (words >> word) {
        if (word == "ready")
            words >> ready;
        if (word == "lost_pct")
            words >> lost;
    }
    EXPECT_EQ(ready, std::to_string(kPairs));
    EXPECT_LE(std::stod(lost), 1.0);
    EXPECT_TRUE(load.Wait(milliseconds(10000)));
}

} // namespace
