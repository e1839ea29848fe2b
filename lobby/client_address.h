#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// An IPv4 or IPv6 address. An IPv4 address seen through an IPv6 socket
// (::ffff:a.b.c.d) is the IPv4 address, so that a client has one address
// however the lobby listens.
class IpAddress {
  public:
    static std::optional<IpAddress> Parse(std::string_view text);

    bool IsV4() const { return v4_; }
    // Dotted for IPv4, the shortest form for IPv6.
    std::string ToString() const;
    // What the per-address limits count by: the address itself for IPv4,
    // its /64 network for IPv6, since one host is handed a whole /64.
    std::string LimitKey() const;

    bool operator==(const IpAddress&) const = default;

  private:
    friend class AddressRange;
    std::array<std::uint8_t, 16> bytes_{}; // IPv4 in the first four
    bool v4_ = true;
};

// An address with a prefix length ("10.0.0.0/8", "2001:db8::/32"); a bare
// address is its own range.
class AddressRange {
  public:
    // Throws std::invalid_argument with a text for the owner.
    static AddressRange Parse(std::string_view text);
    bool Contains(const IpAddress& address) const;

  private:
    IpAddress network_;
    int prefixLength_ = 0;
};

// The reverse proxies whose X-Forwarded-For the lobby believes.
class TrustedProxies {
  public:
    void Add(const AddressRange& range) { ranges_.push_back(range); }
    bool Empty() const { return ranges_.empty(); }
    bool Trusts(const IpAddress& address) const;

    // The client's address for a connection from `peer`. Only a trusted
    // peer's header counts; each hop appends the address it saw, so the
    // list is read from the right, skipping trusted proxies, and the first
    // other entry is the client: what is left of it the client may have
    // written itself. An entry that is no address ends the walk at the hop
    // to its right. `forwardedFor` is every X-Forwarded-For line in order.
    IpAddress ClientOf(const IpAddress& peer, const std::vector<std::string>& forwardedFor) const;

  private:
    std::vector<AddressRange> ranges_;
};
