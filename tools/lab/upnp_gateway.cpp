#include "upnp_gateway.h"

#include <fstream>
#include <random>
#include <sstream>

namespace {

constexpr const char* kTable = "zlupnp";
constexpr int kHttpPort = 5000;
constexpr int kNatPmpPort = 5351;
constexpr std::chrono::milliseconds kStartPoll{50};
constexpr int kStartPolls = 100; // 5 s

// The chains miniupnpd fills: a forward chain and the two NAT chains.
std::string Tables() {
    return std::string("table inet ") + kTable + " {\n" +
           "  chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; "
           "}\n"
           "  chain miniupnpd { }\n"
           "  chain prerouting { type nat hook prerouting priority -100; policy accept; jump "
           "prerouting_miniupnpd; }\n"
           "  chain postrouting { type nat hook postrouting priority 100; policy accept; jump "
           "postrouting_miniupnpd; }\n"
           "  chain prerouting_miniupnpd { }\n"
           "  chain postrouting_miniupnpd { }\n"
           "}\n";
}

std::string RandomUuid() {
    std::random_device random;
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-4%03x-8%03x-%08x%04x", random(), random() & 0xFFFF,
                  random() & 0xFFF, random() & 0xFFF, random(), random() & 0xFFFF);
    return text;
}

std::string Configuration(const TLabSite& site, const std::string& folder,
                          const TUpnpGateway::TOptions& o) {
    std::ostringstream c;
    c << "ext_ifname=" << site.wanDevice << "\nlistening_ip=" << site.lanDevice << "\n"
      << "port=" << kHttpPort << "\n"
      << "enable_upnp=" << (o.upnp ? "yes" : "no") << "\n"
      << "enable_natpmp=" << (o.natpmp ? "yes" : "no") << "\n"
      << "secure_mode=yes\nsystem_uptime=yes\nipv6_disable=yes\n"
      << "min_lifetime=2\n"
      << "uuid=" << RandomUuid() << "\n"
      << "upnp_table_name=" << kTable << "\nupnp_nat_table_name=" << kTable << "\n"
      << "lease_file=" << folder << "/upnp-" << site.number << ".leases\n"
      << "allow 1024-65535 192.168.0.0/16 1024-65535\n"
      << "deny 0-65535 0.0.0.0/0 0-65535\n";
    return c.str();
}

} // namespace

std::optional<std::string> TUpnpGateway::Unavailable() {
    for (const char* program : {"miniupnpd", "nft"})
        if (!HaveProgram(program))
            return std::string("needs ") + program + " (miniupnpd-nftables, nftables)";
    return std::nullopt;
}

TUpnpGateway::TUpnpGateway(const TRouterLab& lab, const TLabSite& site, const TOptions& options)
    : logFile_(lab.Folder() + "/upnp-" + std::to_string(site.number) + ".log") {
    if (site.router.empty())
        throw TLabError("a port-mapping gateway needs a router");
    RunIn(site.router, {"nft", "-f", "-"}, Tables());
    const std::string config = lab.Folder() + "/upnp-" + std::to_string(site.number) + ".conf";
    std::ofstream(config) << Configuration(site, lab.Folder(), options);
    // A pid file of its own: by default every gateway would use one path
    // and take the others for itself already running.
    const std::string pidFile = lab.Folder() + "/upnp-" + std::to_string(site.number) + ".pid";
    process_ = std::make_unique<TLabProcess>(
        site.router, std::vector<std::string>{"miniupnpd", "-d", "-f", config, "-P", pidFile},
        logFile_);
    const std::string listening =
        ":" + std::to_string(options.natpmp ? kNatPmpPort : kHttpPort) + " ";
    for (int i = 0; i < kStartPolls; ++i) {
        if (RunIn(site.router, {"ss", "-Hnlut"}).find(listening) != std::string::npos)
            return;
        if (process_->Wait(kStartPoll))
            break;
    }
    throw TLabError("miniupnpd did not start: " + Log());
}

TUpnpGateway::~TUpnpGateway() = default;

std::string TUpnpGateway::Log() const {
    return ReadWholeFile(logFile_);
}
