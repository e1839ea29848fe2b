// miniupnpd on a home router of a router lab: the router answers UPnP IGD
// and NAT-PMP requests from its inside network and forwards the ports it
// mapped (through its own nftables chains; the lab's firewall lets such
// forwarded flows pass).  A real router daemon, not a stand-in.
#pragma once

#include "lab_process.h"
#include "router_lab.h"

#include <memory>
#include <optional>
#include <string>

class TUpnpGateway {
  public:
    struct TOptions {
        bool upnp = true;
        bool natpmp = true;
    };

    // Why no gateway can run here, or none.
    static std::optional<std::string> Unavailable();

    // Starts it on the site's router and waits until it listens.  Throws
    // TLabError.
    TUpnpGateway(const TRouterLab& lab, const TLabSite& site, const TOptions& options);
    ~TUpnpGateway();

    std::string Log() const;

  private:
    std::string logFile_;
    std::unique_ptr<TLabProcess> process_;
};
