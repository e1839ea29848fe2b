// One way of asking a home router for a port mapping (UPnP IGD or
// NAT-PMP), blocking, for the port mapping's worker thread.  A mapper
// holds what it needs to renew and remove the mapping it made.
#pragma once

#include "port_mapping.h"

#include <atomic>
#include <string>

class TRouterMapper {
  public:
    virtual ~TRouterMapper() = default;
    // Asks for the mapping; gives up early when `stop` is set.
    virtual TPortMappingResult Map(const TPortMappingSettings& settings,
                                   const std::atomic<bool>& stop) = 0;
    // Asks again before the lease ends; false (and why) when refused.
    virtual bool Renew(std::string& why) = 0;
    // Takes the mapping away, best effort.
    virtual void Unmap() = 0;
};

// Whether an IPv4 address the router reports as its outside one is worth
// a mapping: not private, shared (carrier NAT) or link-local space, where
// nobody outside could reach it.
bool PublicIPv4(const std::string& address);
