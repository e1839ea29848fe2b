#include "turn_relay.h"

#include <fstream>
#include <glib.h>
#include <random>
#include <sstream>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kStartPoll{50};
constexpr int kStartPolls = 100; // 5 s

// What a relay beside the lobby must never reach: the networks behind
// the players' routers and its own machine.
const char* const kDeniedPeers[] = {
    "0.0.0.0-0.255.255.255",
    "10.0.0.0-10.255.255.255",
    "100.64.0.0-100.127.255.255",
    "127.0.0.0-127.255.255.255",
    "169.254.0.0-169.254.255.255",
    "172.16.0.0-172.31.255.255",
    "192.168.0.0-192.168.255.255",
    "::1",
    "fc00::-fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
    "fe80::-febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
};
const char* const kLabPeers[] = {"11.0.0.0-11.0.255.255",
                                 "2001:db8::-2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"};

std::string RandomSecret() {
    std::random_device random;
    std::ostringstream text;
    for (int i = 0; i < 4; ++i)
        text << std::hex << random();
    return text.str();
}

std::string Configuration(const TLabSite& site, const std::string& folder,
                          const std::string& secret, const std::vector<std::string>& extra) {
    std::ostringstream c;
    for (const std::string& address : {site.public4, site.address6})
        if (!address.empty())
            c << "listening-ip=" << address << "\nrelay-ip=" << address << "\n";
    c << "listening-port=" << TTurnRelay::kPort << "\n"
      << "min-port=49152\nmax-port=65535\n"
      << "fingerprint\nuse-auth-secret\nstatic-auth-secret=" << secret << "\n"
      << "realm=zellhop.lab\n"
      << "no-tcp\nno-tls\nno-dtls\nno-tcp-relay\nno-cli\nno-multicast-peers\nno-rfc5780\n"
      << "user-quota=64\n"
      << "userdb=" << folder << "/turndb\n"
      << "pidfile=" << folder << "/turn.pid\n"
      << "log-file=" << folder << "/turn.log\nsimple-log\nno-stdout-log\nverbose\n";
    for (const char* range : kDeniedPeers)
        c << "denied-peer-ip=" << range << "\n";
    for (const char* range : kLabPeers)
        c << "allowed-peer-ip=" << range << "\n";
    for (const std::string& line : extra)
        c << line << "\n";
    return c.str();
}

} // namespace

TTurnCredentials MintTurnCredentials(const std::string& secret, const std::string& name,
                                     std::chrono::seconds validity, std::time_t now) {
    TTurnCredentials c;
    c.user = std::to_string(now + validity.count()) + ":" + name;
    GHmac* hmac =
        g_hmac_new(G_CHECKSUM_SHA1, reinterpret_cast<const guchar*>(secret.data()), secret.size());
    g_hmac_update(hmac, reinterpret_cast<const guchar*>(c.user.data()),
                  static_cast<gssize>(c.user.size()));
    guint8 digest[20];
    gsize length = sizeof digest;
    g_hmac_get_digest(hmac, digest, &length);
    g_hmac_unref(hmac);
    gchar* encoded = g_base64_encode(digest, length);
    c.password = encoded;
    g_free(encoded);
    return c;
}

TTurnRelay::TTurnRelay(const TRouterLab& lab, const TLabSite& site,
                       const std::vector<std::string>& extraLines)
    : site_(site), secret_(RandomSecret()), logFile_(lab.Folder() + "/turn.log") {
    const std::string config = lab.Folder() + "/turn.conf";
    std::ofstream(config) << Configuration(site, lab.Folder(), secret_, extraLines);
    process_ = std::make_unique<TLabProcess>(site.machine,
                                             std::vector<std::string>{"turnserver", "-c", config},
                                             lab.Folder() + "/turn.err");
    const std::string listening = site.public4 + ":" + std::to_string(kPort);
    for (int i = 0; i < kStartPolls; ++i) {
        if (RunIn(site.machine, {"ss", "-Hnlu"}).find(listening) != std::string::npos)
            return;
        if (process_->Wait(kStartPoll))
            break;
    }
    throw TLabError("coturn did not start: " + ReadWholeFile(lab.Folder() + "/turn.err") +
                    ReadWholeFile(logFile_));
}

TTurnRelay::~TTurnRelay() = default;

TTurnCredentials TTurnRelay::Credentials(const std::string& name,
                                         std::chrono::seconds validity) const {
    return MintTurnCredentials(secret_, name, validity);
}

std::string TTurnRelay::Log() const {
    return ReadWholeFile(logFile_);
}

TTurnRelay::TTraffic TTurnRelay::Traffic() const {
    const std::string statistics = "/sys/class/net/wan/statistics/";
    std::istringstream out(
        RunIn(site_.machine, {"cat", statistics + "rx_bytes", statistics + "tx_bytes"}));
    TTraffic t;
    out >> t.received >> t.sent;
    return t;
}
