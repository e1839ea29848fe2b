// A hosting program asks its home router (miniupnpd, a real router
// daemon) to forward its game port, so that a program of the written
// protocol on the public side reaches it; the router forgets the mapping
// when the game ends.  Without a router that answers, or behind a carrier
// NAT, no mapping comes, within a bounded time.
#include "lab_process.h"
#include "router_lab.h"
#include "upnp_gateway.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kMapLimit{6000};
constexpr milliseconds kArrival{1500};
constexpr milliseconds kSilence{700};
constexpr int kDiscoveryMs = 1000;
// Two methods, each at most its discovery time, and the program's start.
constexpr long kNoMappingLimitMs = 2 * kDiscoveryMs + 1500;
const std::string kPort = "3237";

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

class PortMappingAtTheRouter : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (TRouterLab::Unavailable() || TUpnpGateway::Unavailable())
            return;
        lab_ = new TRouterLab();
        public_ = new TLabSite(lab_->AddSite(TRouterKind::None, false));
        mapping_ = new TLabSite(lab_->AddSite(TRouterKind::PortKeeping, false));
        silent_ = new TLabSite(lab_->AddSite(TRouterKind::PortKeeping, false));
        carried_ = new TLabSite(lab_->AddSite(TRouterKind::CarrierNat, false));
        gateways_.push_back(new TUpnpGateway(*lab_, *mapping_, {}));
        gateways_.push_back(new TUpnpGateway(*lab_, *carried_, {}));
    }
    static void TearDownTestSuite() {
        for (TUpnpGateway* g : gateways_)
            delete g;
        gateways_.clear();
        for (TLabSite* s : {public_, mapping_, silent_, carried_})
            delete s;
        delete lab_;
        lab_ = nullptr;
    }
    void SetUp() override {
        if (const auto why = TRouterLab::Unavailable())
            GTEST_SKIP() << *why;
        if (const auto why = TUpnpGateway::Unavailable())
            GTEST_SKIP() << *why;
    }

    static std::unique_ptr<TLabProcess> Host(const TLabSite& site,
                                             std::vector<std::string> options) {
        options.insert(options.begin(), ZELLHOP_PORT_MAP_PROBE);
        options.insert(options.end(), {"--discovery", std::to_string(kDiscoveryMs)});
        return std::make_unique<TLabProcess>(site.machine, options,
                                             lab_->Folder() + "/port-map.err");
    }
    static void Knock(const TLabSite& site, int fromPort) {
        RunIn(public_->machine, {ZELLHOP_PORT_MAP_PROBE, "--knock", site.public4, "--from",
                                 std::to_string(fromPort)});
    }

    static TRouterLab* lab_;
    static TLabSite *public_, *mapping_, *silent_, *carried_;
    static std::vector<TUpnpGateway*> gateways_;
};

TRouterLab* PortMappingAtTheRouter::lab_ = nullptr;
TLabSite* PortMappingAtTheRouter::public_ = nullptr;
TLabSite* PortMappingAtTheRouter::mapping_ = nullptr;
TLabSite* PortMappingAtTheRouter::silent_ = nullptr;
TLabSite* PortMappingAtTheRouter::carried_ = nullptr;
std::vector<TUpnpGateway*> PortMappingAtTheRouter::gateways_;

TEST_F(PortMappingAtTheRouter, APublicProgramReachesTheHostUntilTheGameEnds) {
    struct Case {
        const char* option;
        const char* method;
    };
    // Each knock comes from a port of its own: the router keeps a flow it
    // forwarded for a while after the mapping is gone.
    int knockPort = 4000;
    for (const Case& c : {Case{"--upnp-only", "UPnP IGD"}, Case{"--natpmp-only", "NAT-PMP"}}) {
        SCOPED_TRACE(c.method);
        auto host = Host(*mapping_, {c.option, "--lease", "2"});
        const auto mapped = host->WaitFor("mapped ", kMapLimit);
        ASSERT_TRUE(mapped) << gateways_[0]->Log();
        std::printf("  %s\n", mapped->c_str());
        EXPECT_EQ(mapped->rfind(std::string("mapped ") + c.method + " " + mapping_->public4 + " " +
                                    kPort + " ",
                                0),
                  0u);
        ASSERT_TRUE(host->WaitFor("renewed", milliseconds(3000))) << "renewed at half the lease";

        Knock(*mapping_, ++knockPort);
        const auto arrived = host->WaitFor("datagram ", kArrival);
        ASSERT_TRUE(arrived);
        EXPECT_EQ(Words(*arrived).at(1), public_->public4);

        host->WriteLine("remove");
        ASSERT_TRUE(host->WaitFor("removed", kMapLimit));
        Knock(*mapping_, ++knockPort);
        EXPECT_FALSE(host->WaitFor("datagram ", kSilence)) << "the router forgot the mapping";
        host->CloseInput();
        EXPECT_TRUE(host->WaitFor("ended", kMapLimit));
    }
}

TEST_F(PortMappingAtTheRouter, NoMappingWithoutARouterThatAnswersOrBehindACarrierNat) {
    struct Case {
        const TLabSite* site;
        const char* why;
    };
    for (const Case& c :
         {Case{silent_, "no UPnP router answered"}, Case{carried_, "UPnP router is not online"}}) {
        SCOPED_TRACE(c.why);
        auto host = Host(*c.site, {});
        const auto line = host->WaitFor("unmapped ", milliseconds(kNoMappingLimitMs + 2000));
        ASSERT_TRUE(line) << (host->Lines().empty() ? "" : host->Lines().back());
        std::printf("  %s\n", line->c_str());
        EXPECT_LE(std::stol(Words(*line).at(1)), kNoMappingLimitMs);
        EXPECT_NE(line->find(c.why), std::string::npos);
        host->CloseInput();
        EXPECT_TRUE(host->WaitFor("ended", kMapLimit));
    }
}

} // namespace
