#include "router_mapper.h"

#include <arpa/inet.h>

namespace {

struct TRange {
    uint32_t base;
    int bits;
};

// Where an outside address of a router behind another NAT lies.
constexpr TRange kNotPublic[] = {
    {0x00000000, 8},  {0x0A000000, 8},  {0x64400000, 10}, {0x7F000000, 8},
    {0xA9FE0000, 16}, {0xAC100000, 12}, {0xC0A80000, 16},
};

} // namespace

bool PublicIPv4(const std::string& address) {
    in_addr a{};
    if (inet_pton(AF_INET, address.c_str(), &a) != 1)
        return false;
    const uint32_t host = ntohl(a.s_addr);
    for (const TRange& r : kNotPublic)
        if ((host >> (32 - r.bits)) == (r.base >> (32 - r.bits)))
            return false;
    return true;
}
