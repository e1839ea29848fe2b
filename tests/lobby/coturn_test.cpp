// The relay beside the lobby: a real coturn started with the configuration
// Zellhop ships (made by the same script its service runs), asked for
// allocations with credentials the lobby's code mints.  With the shipped
// ranges a relay into loopback or private networks is refused, so the
// allocation that relays to a peer here uses a variant that allows
// 127.0.0.1.
#include "lobby_test_support.h"
#include "stun_client.h"
#include "turn_credentials.h"

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kPackaging = fs::path(ZELLHOP_SOURCE_DIR) / "packaging" / "coturn";
const fs::path kTurnserver = "/usr/bin/turnserver";
const std::string kSecret = "a-secret-of-the-relay";
constexpr int kRelayPorts = 200; // more than the allocations a test asks for

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A UDP port on 127.0.0.1 that nobody holds just now.
int FreeUdpPort() {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t length = sizeof address;
    bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    close(socket);
    return ntohs(address.sin_port);
}

// coturn on loopback ports of its own, configured as its service does.
class Coturn {
  public:
    Coturn(const fs::path& dir, const std::string& siteExtra) {
        port_ = FreeUdpPort();
        std::mt19937 random{std::random_device{}()};
        const int firstRelay = 20000 + static_cast<int>(random() % 10000);
        std::ofstream(dir / "site.conf") << "listening-ip=127.0.0.1\nrelay-ip=127.0.0.1\n"
                                         << "listening-port=" << port_ << "\n"
                                         << "min-port=" << firstRelay << "\n"
                                         << "max-port=" << firstRelay + kRelayPorts << "\n"
                                         << siteExtra;
        const fs::path secret = dir / "turn-secret";
        std::ofstream(secret) << kSecret << "\n";
        chmod(secret.c_str(), 0600);
        const fs::path conf = dir / "turnserver.conf";
        const std::string make = (kPackaging / "zellhop-turnserver-config").string() + " " +
                                 (kPackaging / "zellhop-turnserver.conf").string() + " " +
                                 (dir / "site.conf").string() + " " + secret.string() + " " +
                                 dir.string() + " " + conf.string();
        if (std::system(make.c_str()) != 0)
            throw std::runtime_error("zellhop-turnserver-config failed");
        mode_ = fs::status(conf).permissions();
        log_ = dir / "turnserver.log";
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (std::freopen(log_.c_str(), "w", stdout) == nullptr ||
                dup2(fileno(stdout), STDERR_FILENO) < 0)
                _exit(126);
            execl(kTurnserver.c_str(), "turnserver", "-c", conf.c_str(), nullptr);
            _exit(127);
        }
    }
    ~Coturn() {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            usleep(100'000);
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    Coturn(const Coturn&) = delete;
    Coturn& operator=(const Coturn&) = delete;

    int Port() const { return port_; }
    fs::perms ConfigMode() const { return mode_; }
    std::string Log() const { return ReadText(log_); }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    fs::perms mode_{};
    fs::path log_;
};

class RelayBesideTheLobby : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kTurnserver))
            GTEST_SKIP() << "coturn is not installed (Debian package coturn): no relay to try";
    }
    void Start(const std::string& siteExtra = {}) {
        coturn = std::make_unique<Coturn>(dir.Path(), siteExtra);
        StunClient probe(coturn->Port());
        ASSERT_TRUE(probe.Binds(10s)) << "coturn did not answer:\n" << coturn->Log();
    }
    TurnCredentials Credentials(const std::string& name, std::chrono::seconds validFor = 3600s,
                                const std::string& secret = kSecret) {
        return MintTurnCredentials(secret, name, time(nullptr) + validFor.count());
    }

    TempDir dir;
    std::unique_ptr<Coturn> coturn;
};

TEST_F(RelayBesideTheLobby, TheLobbysCredentialsGetAnAllocationThatRelaysToAnAllowedPeer) {
    Start("allow-loopback-peers\nallowed-peer-ip=127.0.0.1\n");
    EXPECT_EQ(coturn->ConfigMode() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);

    // The peer: a socket here, which the relay may reach in this variant.
    const int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    getsockname(peer, reinterpret_cast<sockaddr*>(&address), &length);

    StunClient client(coturn->Port());
    const TurnCredentials credentials = Credentials("ann");
    const StunClient::Reply allocated = client.Allocate(credentials.user, credentials.password);
    ASSERT_EQ(allocated.type, StunClient::kAllocateSuccess)
        << "error " << allocated.errorCode << "\n"
        << coturn->Log();
    EXPECT_EQ(client.RelayedAddress().rfind("127.0.0.1:", 0), 0u) << client.RelayedAddress();
    ASSERT_EQ(client.CreatePermission("127.0.0.1").type, StunClient::kPermissionSuccess);

    client.Send("127.0.0.1", ntohs(address.sin_port), "a hop through the relay");
    pollfd ready{peer, POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 3000), 1) << coturn->Log();
    char datagram[256] = {};
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = recvfrom(peer, datagram, sizeof datagram, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    close(peer);
    EXPECT_EQ(std::string(datagram, static_cast<std::size_t>(std::max<ssize_t>(got, 0))),
              "a hop through the relay");
    EXPECT_EQ("127.0.0.1:" + std::to_string(ntohs(from.sin_port)), client.RelayedAddress());
}

TEST_F(RelayBesideTheLobby, ExpiredOrForeignCredentialsAreRefused) {
    Start();
    const struct {
        const char* what;
        TurnCredentials credentials;
    } cases[] = {
        {"expired", Credentials("ann", -60s)},
        {"another secret", Credentials("ann", 3600s, "not-the-relays-secret")},
        {"a changed name", {Credentials("ann").user + "x", Credentials("ann").password}},
    };
    for (const auto& c : cases) {
        StunClient client(coturn->Port());
        const StunClient::Reply reply = client.Allocate(c.credentials.user, c.credentials.password);
        EXPECT_EQ(reply.type, StunClient::kAllocateError) << c.what;
        EXPECT_EQ(reply.errorCode, 401) << c.what;
    }
}

TEST_F(RelayBesideTheLobby, TheShippedConfigurationRelaysToPublicAddressesOnly) {
    Start();
    StunClient client(coturn->Port());
    const TurnCredentials credentials = Credentials("bea");
    ASSERT_EQ(client.Allocate(credentials.user, credentials.password).type,
              StunClient::kAllocateSuccess)
        << coturn->Log();
    for (const char* peer :
         {"127.0.0.1", "127.1.2.3", "10.1.2.3", "172.16.0.1", "172.31.9.9", "192.168.1.1",
          "100.64.0.1", "169.254.1.1", "0.0.0.1", "192.0.2.1", "224.0.0.1"}) {
        const StunClient::Reply reply = client.CreatePermission(peer);
        EXPECT_EQ(reply.type, StunClient::kPermissionError) << peer;
        EXPECT_EQ(reply.errorCode, 403) << peer;
    }
    // Just outside the denied ranges, and elsewhere.
    for (const char* peer : {"8.8.8.8", "1.1.1.1", "11.0.0.1", "100.128.0.1", "172.32.0.1",
                             "192.169.0.1", "203.0.114.1"}) {
        const StunClient::Reply reply = client.CreatePermission(peer);
        EXPECT_EQ(reply.type, StunClient::kPermissionSuccess) << peer << ": " << reply.errorCode;
    }
}

TEST_F(RelayBesideTheLobby, APlayerHoldsNoMoreAllocationsThanTheUserQuotaRenewedOrNot) {
    Start();
    const TurnCredentials credentials = Credentials("cy");
    std::vector<std::unique_ptr<StunClient>> clients;
    int granted = 0, quota = 0;
    for (int i = 0; i < 50; ++i) {
        clients.push_back(std::make_unique<StunClient>(coturn->Port()));
        const StunClient::Reply reply =
            clients.back()->Allocate(credentials.user, credentials.password);
        granted += reply.type == StunClient::kAllocateSuccess;
        quota += reply.errorCode == 486;
    }
    EXPECT_EQ(granted, 48);
    EXPECT_EQ(quota, 2);
    // coturn counts by the name after the expiry, so a renewal gets no more.
    const TurnCredentials renewed = Credentials("cy", 7200s);
    StunClient again(coturn->Port());
    EXPECT_EQ(again.Allocate(renewed.user, renewed.password).errorCode, 486);
    const TurnCredentials other = Credentials("dee");
    StunClient someoneElse(coturn->Port());
    EXPECT_EQ(someoneElse.Allocate(other.user, other.password).type, StunClient::kAllocateSuccess);
}

TEST(ShippedRelayConfiguration, DeniesEveryRangeThatIsNotThePublicInternet) {
    const std::string conf = ReadText(kPackaging / "zellhop-turnserver.conf");
    for (const char* line :
         {"use-auth-secret", "no-tcp-relay", "no-multicast-peers", "no-cli", "user-quota=48",
          "total-quota=2000", "denied-peer-ip=0.0.0.0-0.255.255.255",
          "denied-peer-ip=10.0.0.0-10.255.255.255", "denied-peer-ip=100.64.0.0-100.127.255.255",
          "denied-peer-ip=127.0.0.0-127.255.255.255", "denied-peer-ip=169.254.0.0-169.254.255.255",
          "denied-peer-ip=172.16.0.0-172.31.255.255", "denied-peer-ip=192.168.0.0-192.168.255.255",
          "denied-peer-ip=224.0.0.0-255.255.255.255", "denied-peer-ip=::1",
          "denied-peer-ip=::ffff:0.0.0.0-::ffff:255.255.255.255",
          "denied-peer-ip=fc00::-fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
          "denied-peer-ip=fe80::-febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff"})
        EXPECT_NE(conf.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    // The secret never lives in the shipped file, and nothing lets loopback through.
    for (const char* absent : {"static-auth-secret", "allow-loopback-peers", "allowed-peer-ip"})
        EXPECT_EQ(conf.find(std::string("\n") + absent), std::string::npos) << absent;
}

TEST(Md5ForTheRelayKey, MatchesRfc1321) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [message, digest] : cases) {
        std::string hex;
        for (unsigned char byte : Md5(message)) {
            static const char kDigits[] = "0123456789abcdef";
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0xf];
        }
        EXPECT_EQ(hex, digest) << message;
    }
}

} // namespace
