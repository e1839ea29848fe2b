// A port mapping through NAT-PMP (libnatpmp): requests to the default
// gateway's port 5351, answered within a bounded time or not at all.
#pragma once

#include "router_mapper.h"

#include <chrono>
#include <memory>

class TNatPmpMapper : public TRouterMapper {
  public:
    TNatPmpMapper();
    ~TNatPmpMapper() override;
    TPortMappingResult Map(const TPortMappingSettings& settings,
                           const std::atomic<bool>& stop) override;
    bool Renew(std::string& why) override;
    void Unmap() override;

  private:
    struct TGateway;
    bool Request(uint32_t lifetime, std::chrono::milliseconds limit, TPortMappingResult& out,
                 std::string& why);

    std::unique_ptr<TGateway> gateway_;
    TPortMappingSettings settings_;
    const std::atomic<bool>* stop_ = nullptr;
};
