#include "client_address.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>

namespace {

constexpr std::array<std::uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
constexpr int kV4Bits = 32;
constexpr int kV6Bits = 128;
constexpr int kV6LimitPrefix = 8; // bytes: a /64
constexpr std::size_t kMaxAddressText = INET6_ADDRSTRLEN;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
    if (text.empty() || text.size() >= kMaxAddressText)
        return std::nullopt;
    char buffer[kMaxAddressText];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    IpAddress address;
    if (inet_pton(AF_INET, buffer, address.bytes_.data()) == 1)
        return address;
    if (inet_pton(AF_INET6, buffer, address.bytes_.data()) != 1)
        return std::nullopt;
    if (std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), address.bytes_.begin())) {
        std::memmove(address.bytes_.data(), address.bytes_.data() + kMappedPrefix.size(), 4);
        std::fill(address.bytes_.begin() + 4, address.bytes_.end(), 0);
        return address;
    }
    address.v4_ = false;
    return address;
}

std::string IpAddress::ToString() const {
    char text[kMaxAddressText];
    inet_ntop(v4_ ? AF_INET : AF_INET6, bytes_.data(), text, sizeof text);
    return text;
}

std::string IpAddress::LimitKey() const {
    if (v4_)
        return ToString();
    IpAddress network = *this;
    std::fill(network.bytes_.begin() + kV6LimitPrefix, network.bytes_.end(), 0);
    return network.ToString() + "/64";
}

AddressRange AddressRange::Parse(std::string_view text) {
    const std::size_t slash = text.find('/');
    const auto address = IpAddress::Parse(text.substr(0, slash));
    if (!address)
        throw std::invalid_argument("\"" + std::string(text) + "\" is no address or address/bits");
    AddressRange range;
    range.network_ = *address;
    const int maxBits = address->IsV4() ? kV4Bits : kV6Bits;
    range.prefixLength_ = maxBits;
    if (slash != std::string_view::npos) {
        const std::string_view bits = text.substr(slash + 1);
        const auto [end, error] =
            std::from_chars(bits.data(), bits.data() + bits.size(), range.prefixLength_);
        if (bits.empty() || error != std::errc{} || end != bits.data() + bits.size() ||
            range.prefixLength_ < 0 || range.prefixLength_ > maxBits)
            throw std::invalid_argument("\"" + std::string(text) + "\" has a prefix length that " +
                                        "is not 0 to " + std::to_string(maxBits));
    }
    return range;
}

bool AddressRange::Contains(const IpAddress& address) const {
    if (address.v4_ != network_.v4_)
        return false;
    int bits = prefixLength_;
    for (std::size_t i = 0; bits > 0; ++i, bits -= 8) {
        const auto mask = static_cast<std::uint8_t>(bits >= 8 ? 0xFF : 0xFF << (8 - bits));
        if ((address.bytes_[i] & mask) != (network_.bytes_[i] & mask))
            return false;
    }
    return true;
}

bool TrustedProxies::Trusts(const IpAddress& address) const {
    for (const AddressRange& range : ranges_)
        if (range.Contains(address))
            return true;
    return false;
}

IpAddress TrustedProxies::ClientOf(const IpAddress& peer,
                                   const std::vector<std::string>& forwardedFor) const {
    IpAddress hop = peer;
    if (!Trusts(hop))
        return hop;
    for (auto line = forwardedFor.rbegin(); line != forwardedFor.rend(); ++line) {
        std::string_view rest = *line;
        while (!rest.empty()) {
            const std::size_t comma = rest.rfind(',');
            const std::string_view entry =
                Trim(comma == std::string_view::npos ? rest : rest.substr(comma + 1));
            rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(0, comma);
            if (entry.empty())
                continue;
            const auto address = IpAddress::Parse(entry);
            if (!address)
                return hop;
            hop = *address;
            if (!Trusts(hop))
                return hop;
        }
    }
    return hop; // every hop was a trusted proxy: the first of them sent it
}
