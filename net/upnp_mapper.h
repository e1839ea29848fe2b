// A port mapping through UPnP IGD (libminiupnpc): discovery by SSDP on
// the local network, then the router's WANIPConnection service over HTTP.
#pragma once

#include "router_mapper.h"

#include <memory>

class TUpnpMapper : public TRouterMapper {
  public:
    TUpnpMapper();
    ~TUpnpMapper() override;
    TPortMappingResult Map(const TPortMappingSettings& settings,
                           const std::atomic<bool>& stop) override;
    bool Renew(std::string& why) override;
    void Unmap() override;

  private:
    struct TRouter;
    bool Add(std::string& why);

    std::unique_ptr<TRouter> router_; // the router found, while it holds a mapping
    TPortMappingSettings settings_;
    std::string lease_; // seconds as the router takes them; "0" where only that is allowed
};
