// A small Internet in network namespaces, for trying programs across the
// kinds of routers players sit behind.  One namespace is the Internet's
// core and routes between sites; each site hangs off it by one link:
//
//   public machine   11.0.K.2 (and 2001:db8:K::2), nothing in front
//   home             machine 192.168.K.10 behind a home router at 11.0.K.2:
//                    IPv4 masquerade that keeps ports where it can, or maps
//                    a new random port per destination (symmetric); a
//                    stateful firewall in both families that drops every
//                    unsolicited datagram (FORWARD policy DROP, conntrack
//                    ESTABLISHED,RELATED); IPv6 routed without NAT
//                    (2001:db8:K:1::10) when asked
//   carrier NAT      a home router at 100.64.K.2 behind a carrier-grade NAT
//                    (SNAT to 11.0.K.2, the same firewall)
//
// The public addresses lie outside the private and reserved ranges on
// purpose: a real router daemon refuses to map ports on a reserved outside
// address.  Nothing leaves the lab: the core has no route to the host.
//
// Namespaces are named zl<pid>-<n>-<role><K>, so that labs of parallel
// runs never meet; a new lab removes what labs of dead processes left.
// Needs root.
#pragma once

#include "lab_command.h"

#include <optional>
#include <string>
#include <vector>

enum class TRouterKind {
    None,        // a machine on the public side
    PortKeeping, // masquerade, ports kept: mappings per source, not per destination
    Symmetric,   // masquerade --random-fully: a new port per destination
    CarrierNat,  // a port-keeping home router behind a carrier-grade NAT
};

struct TLabSite {
    TRouterKind kind = TRouterKind::None;
    int number = 0;        // K
    std::string machine;   // the namespace a program runs in
    std::string router;    // its home router ("" on the public side)
    std::string carrier;   // the carrier NAT ("" unless behind one)
    std::string address4;  // the machine's own IPv4 address
    std::string address6;  // its IPv6 address, "" without IPv6
    std::string public4;   // the IPv4 address the Internet sees
    std::string lanDevice; // the router's inside interface
    std::string wanDevice; // the router's outside interface
};

class TRouterLab {
  public:
    // Why no lab can be built here (not root, a program missing), or none.
    static std::optional<std::string> Unavailable();

    // Builds the core.  Throws TLabError.
    TRouterLab();
    // Ends every process still running in the lab's namespaces and removes
    // them.
    ~TRouterLab();
    TRouterLab(const TRouterLab&) = delete;
    TRouterLab& operator=(const TRouterLab&) = delete;

    TLabSite AddSite(TRouterKind kind, bool ipv6);

    // Drops `share` of the UDP datagrams the site's router forwards, in
    // both directions and both families; 0 takes the rule away.
    void SetLoss(const TLabSite& site, double share);

    // A scratch folder of this lab (configurations, logs), removed with it.
    const std::string& Folder() const { return folder_; }
    const std::string& Prefix() const { return prefix_; }
    const std::vector<std::string>& Namespaces() const { return namespaces_; }

  private:
    std::string AddNamespace(const std::string& role, int number);
    void Link(const std::string& nsA, const std::string& devA, const std::string& nsB,
              const std::string& devB);
    void Address(const std::string& ns, const std::string& dev, const std::string& cidr);
    void Route(const std::string& ns, const std::string& to, const std::string& via);
    void AttachToCore(const TLabSite& site, const std::string& front, bool ipv6);
    void BuildHome(TLabSite& site, const std::string& wanNs, bool ipv6);
    void Firewall(const std::string& ns, const std::string& lan, const std::string& wan,
                  const std::string& natRule, bool ipv6);
    static void SweepDeadLabs();

    std::string prefix_;
    std::string core_;
    std::string folder_;
    std::vector<std::string> namespaces_;
    int sites_ = 0;
};

// A file's whole content; "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
