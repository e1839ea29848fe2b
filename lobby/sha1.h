#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// SHA-1 and HMAC-SHA1, for the relay's credentials only: coturn's shared
// secret scheme signs the user name with HMAC-SHA1, which libsodium lacks.
// Not for anything that needs collision resistance.
namespace sha1 {

inline constexpr std::size_t kDigestBytes = 20;
using Digest = std::array<std::uint8_t, kDigestBytes>;

Digest Hash(std::string_view message);
Digest Hmac(std::string_view key, std::string_view message);

} // namespace sha1
