#include "router_lab.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kLabTag = "zl"; // every lab namespace starts with it
constexpr const char* kLossChain = "LOSS";
constexpr std::chrono::milliseconds kKillGrace{300};

std::string V4(int k, int host) {
    return "11.0." + std::to_string(k) + "." + std::to_string(host);
}
std::string V6(int k, const std::string& rest) {
    return "2001:db8:" + std::to_string(k) + rest;
}

// The processes still running inside a namespace.
std::vector<pid_t> PidsIn(const std::string& ns) {
    std::vector<pid_t> pids;
    try {
        std::istringstream out(RunCommand({"ip", "netns", "pids", ns}));
        for (pid_t pid; out >> pid;)
            pids.push_back(pid);
    } catch (const TLabError&) {
    }
    return pids;
}

void RemoveNamespace(const std::string& ns) {
    for (const int sig : {SIGTERM, SIGKILL}) {
        const std::vector<pid_t> pids = PidsIn(ns);
        if (pids.empty())
            break;
        for (pid_t pid : pids)
            kill(pid, sig);
        std::this_thread::sleep_for(kKillGrace);
    }
    try {
        RunCommand({"ip", "netns", "del", ns});
    } catch (const TLabError&) {
    }
}

std::string TrimDecimal(double share) {
    std::ostringstream text;
    text.precision(6);
    text << std::fixed << share;
    return text.str();
}

} // namespace

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::optional<std::string> TRouterLab::Unavailable() {
    if (geteuid() != 0)
        return std::string("needs root: network namespaces and iptables");
    for (const char* program : {"ip", "iptables-restore", "ip6tables-restore", "sysctl"})
        if (!HaveProgram(program))
            return std::string("needs ") + program + " (iproute2, iptables, procps)";
    return std::nullopt;
}

TRouterLab::TRouterLab() {
    static std::atomic<int> labs{0};
    SweepDeadLabs();
    prefix_ = kLabTag + std::to_string(getpid()) + "-" + std::to_string(++labs) + "-";
    char folder[] = "/tmp/zellhop-lab-XXXXXX";
    if (!mkdtemp(folder))
        throw TLabError("cannot make a scratch folder");
    folder_ = folder;
    core_ = AddNamespace("core", 0);
    RunIn(core_, {"sysctl", "-qw", "net.ipv4.ip_forward=1", "net.ipv6.conf.all.forwarding=1"});
}

TRouterLab::~TRouterLab() {
    for (const std::string& ns : namespaces_)
        RemoveNamespace(ns);
    if (!std::getenv("ZELLHOP_LAB_KEEP"))
        std::system(("rm -rf '" + folder_ + "'").c_str());
}

// Namespaces of labs whose process has ended (killed before it could
// clean up) would otherwise stay until the machine restarts.
void TRouterLab::SweepDeadLabs() {
    std::istringstream list(RunCommand({"ip", "netns", "list"}));
    for (std::string line; std::getline(list, line);) {
        const std::string ns = line.substr(0, line.find(' '));
        if (ns.rfind(kLabTag, 0) != 0)
            continue;
        const pid_t owner = std::atoi(ns.c_str() + 2);
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH)
            RemoveNamespace(ns);
    }
}

std::string TRouterLab::AddNamespace(const std::string& role, int number) {
    const std::string ns = prefix_ + role + (number ? std::to_string(number) : "");
    RunCommand({"ip", "netns", "add", ns});
    namespaces_.push_back(ns);
    RunCommand({"ip", "-n", ns, "link", "set", "lo", "up"});
    // Addresses are usable at once, without duplicate address detection.
    RunIn(ns, {"sysctl", "-qw", "net.ipv6.conf.all.accept_dad=0",
               "net.ipv6.conf.default.accept_dad=0"});
    return ns;
}

void TRouterLab::Link(const std::string& nsA, const std::string& devA, const std::string& nsB,
                      const std::string& devB) {
    RunCommand({"ip", "link", "add", devA, "netns", nsA, "type", "veth", "peer", "name", devB,
                "netns", nsB});
    RunCommand({"ip", "-n", nsA, "link", "set", devA, "up"});
    RunCommand({"ip", "-n", nsB, "link", "set", devB, "up"});
}

void TRouterLab::Address(const std::string& ns, const std::string& dev, const std::string& cidr) {
    std::vector<std::string> argv = {"ip", "-n", ns, "addr", "add", cidr, "dev", dev};
    if (cidr.find(':') != std::string::npos)
        argv.push_back("nodad");
    RunCommand(argv);
}

void TRouterLab::Route(const std::string& ns, const std::string& to, const std::string& via) {
    RunCommand({"ip", "-n", ns, "route", "add", to, "via", via});
}

void TRouterLab::AttachToCore(const TLabSite& site, const std::string& front, bool ipv6) {
    const int k = site.number;
    const std::string coreDev = "s" + std::to_string(k);
    Link(core_, coreDev, front, "wan");
    Address(core_, coreDev, V4(k, 1) + "/24");
    Address(front, "wan", V4(k, 2) + "/24");
    Route(front, "default", V4(k, 1));
    if (!ipv6)
        return;
    Address(core_, coreDev, V6(k, "::1/64"));
    Address(front, "wan", V6(k, "::2/64"));
    Route(front, "default", V6(k, "::1"));
    if (front != site.machine)
        Route(core_, V6(k, "::/48"), V6(k, "::2"));
}

// The home network: the router's inside and the machine behind it.
void TRouterLab::BuildHome(TLabSite& site, const std::string& router, bool ipv6) {
    const int k = site.number;
    const std::string lan4 = "192.168." + std::to_string(k) + ".";
    Link(router, "lan", site.machine, "lan");
    Address(router, "lan", lan4 + "1/24");
    Address(site.machine, "lan", lan4 + "10/24");
    Route(site.machine, "default", lan4 + "1");
    site.address4 = lan4 + "10";
    site.lanDevice = "lan";
    site.wanDevice = "wan";
    if (!ipv6)
        return;
    Address(router, "lan", V6(k, ":1::1/64"));
    Address(site.machine, "lan", V6(k, ":1::10/64"));
    Route(site.machine, "default", V6(k, ":1::1"));
    site.address6 = V6(k, ":1::10");
}

// Masquerade (or SNAT) and a stateful firewall: out from the inside, and
// back what belongs to a flow that went out (or that a port mapping
// asked for); every other datagram from outside is dropped.
void TRouterLab::Firewall(const std::string& ns, const std::string& lan, const std::string& wan,
                          const std::string& natRule, bool ipv6) {
    RunIn(ns, {"sysctl", "-qw", "net.ipv4.ip_forward=1", "net.ipv6.conf.all.forwarding=1"});
    const std::string common =
        std::string(":INPUT DROP [0:0]\n:FORWARD DROP [0:0]\n") +
        ":OUTPUT ACCEPT [0:0]\n:" + kLossChain + " - [0:0]\n" + "-A INPUT -i lo -j ACCEPT\n" +
        "-A INPUT -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT\n" + "-A INPUT -i " + lan +
        " -j ACCEPT\n" + "-A FORWARD -j " + kLossChain + "\n" +
        "-A FORWARD -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT\n" + "-A FORWARD -i " +
        lan + " -o " + wan + " -j ACCEPT\n";
    RunIn(ns, {"iptables-restore"},
          "*nat\n" + natRule + "\nCOMMIT\n*filter\n" + common +
              "-A FORWARD -m conntrack --ctstate DNAT -j ACCEPT\nCOMMIT\n");
    // Neighbour discovery needs ICMPv6 to the router itself.
    RunIn(ns, {"ip6tables-restore"},
          "*filter\n" + common + (ipv6 ? "-A INPUT -p ipv6-icmp -j ACCEPT\n" : "") + "COMMIT\n");
}

TLabSite TRouterLab::AddSite(TRouterKind kind, bool ipv6) {
    TLabSite site;
    site.kind = kind;
    site.number = ++sites_;
    const int k = site.number;
    site.public4 = V4(k, 2);
    if (kind == TRouterKind::None) {
        site.machine = AddNamespace("m", k);
        AttachToCore(site, site.machine, ipv6);
        site.address4 = site.public4;
        site.address6 = ipv6 ? V6(k, "::2") : "";
        return site;
    }
    site.router = AddNamespace("r", k);
    site.machine = AddNamespace("m", k);
    std::string front = site.router;
    if (kind == TRouterKind::CarrierNat) {
        site.carrier = AddNamespace("c", k);
        front = site.carrier;
        const std::string shared = "100.64." + std::to_string(k) + ".";
        Link(site.carrier, "sub", site.router, "wan");
        Address(site.carrier, "sub", shared + "1/24");
        Address(site.router, "wan", shared + "2/24");
        Route(site.router, "default", shared + "1");
        if (ipv6) {
            Address(site.carrier, "sub", V6(k, ":f::1/64"));
            Address(site.router, "wan", V6(k, ":f::2/64"));
            Route(site.router, "default", V6(k, ":f::1"));
            Route(site.carrier, V6(k, ":1::/64"), V6(k, ":f::2"));
        }
        Firewall(site.carrier, "sub", "wan",
                 "-A POSTROUTING -o wan -j SNAT --to-source " + site.public4, ipv6);
    }
    AttachToCore(site, front, ipv6);
    BuildHome(site, site.router, ipv6);
    const std::string masquerade = "-A POSTROUTING -o wan -j MASQUERADE";
    Firewall(site.router, "lan", "wan",
             kind == TRouterKind::Symmetric ? masquerade + " --random-fully" : masquerade, ipv6);
    return site;
}

void TRouterLab::SetLoss(const TLabSite& site, double share) {
    if (site.router.empty())
        throw TLabError("loss needs a router");
    for (const char* tool : {"iptables", "ip6tables"}) {
        RunIn(site.router, {tool, "-F", kLossChain});
        if (share > 0)
            RunIn(site.router, {tool, "-A", kLossChain, "-p", "udp", "-m", "statistic", "--mode",
                                "random", "--probability", TrimDecimal(share), "-j", "DROP"});
    }
}
