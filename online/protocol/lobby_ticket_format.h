// The ticket the lobby signs at a log-in that carries the program's key:
// which lobby account holds that key, and until when.  Members hand their
// tickets to each other and check them with the lobby's public key.
//
// Bytes, integers big-endian:
//   "ZHT1"                      4  format and purpose
//   program key                32  the X25519 key the program uses with crypto_kx
//   player number               4  signed, the lobby's number of the account
//   expiry                      8  signed, seconds since 1970 (UTC)
//   name length                 1  1 to kMaxNameBytes
//   player name                 n  as the lobby stores it
//   signature                  64  Ed25519, by the lobby's key, of all the bytes above
//
// Header-only: the lobby builds the signed part, the game reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lobby_ticket {

inline constexpr std::string_view kMagic = "ZHT1";
inline constexpr std::size_t kProgramKeyBytes = 32;
inline constexpr std::size_t kLobbyKeyBytes = 32;
inline constexpr std::size_t kSignatureBytes = 64;
inline constexpr std::size_t kMaxNameBytes = 64;
inline constexpr std::size_t kFixedBytes = kMagic.size() + kProgramKeyBytes + 4 + 8 + 1;
inline constexpr std::size_t kMaxTicketBytes = kFixedBytes + kMaxNameBytes + kSignatureBytes;

using ProgramKey = std::array<unsigned char, kProgramKeyBytes>;

struct Claims {
    ProgramKey programKey{};
    std::string playerName;
    std::int32_t playerNumber = 0;
    std::int64_t expiresAt = 0; // seconds since 1970
    bool operator==(const Claims&) const = default;
};

namespace format_detail {

inline void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

inline std::uint64_t GetBigEndian(std::string_view in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return value;
}

} // namespace format_detail

// The bytes the lobby signs.  Throws std::invalid_argument for a name the
// format cannot carry.
inline std::string SignedPart(const Claims& claims) {
    using format_detail::PutBigEndian;
    if (claims.playerName.empty() || claims.playerName.size() > kMaxNameBytes)
        throw std::invalid_argument("a ticket's player name has 1 to 64 bytes");
    std::string out(kMagic);
    out.append(reinterpret_cast<const char*>(claims.programKey.data()), claims.programKey.size());
    PutBigEndian(out, static_cast<std::uint32_t>(claims.playerNumber), 4);
    PutBigEndian(out, static_cast<std::uint64_t>(claims.expiresAt), 8);
    out += static_cast<char>(claims.playerName.size());
    out += claims.playerName;
    return out;
}

// The claims of a whole ticket (signed part and signature), or nullopt
// when its lengths or its magic do not fit.  The signature is not checked.
inline std::optional<Claims> ReadClaims(std::string_view ticket) {
    using format_detail::GetBigEndian;
    if (ticket.size() < kFixedBytes + 1 + kSignatureBytes || ticket.size() > kMaxTicketBytes)
        return std::nullopt;
    if (ticket.substr(0, kMagic.size()) != kMagic)
        return std::nullopt;
    const std::size_t nameLength = static_cast<unsigned char>(ticket[kFixedBytes - 1]);
    if (nameLength == 0 || kFixedBytes + nameLength + kSignatureBytes != ticket.size())
        return std::nullopt;
    Claims claims;
    std::size_t at = kMagic.size();
    for (unsigned char& byte : claims.programKey)
        byte = static_cast<unsigned char>(ticket[at++]);
    claims.playerNumber =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(GetBigEndian(ticket, at, 4)));
    at += 4;
    claims.expiresAt = static_cast<std::int64_t>(GetBigEndian(ticket, at, 8));
    claims.playerName = std::string(ticket.substr(kFixedBytes, nameLength));
    return claims;
}

// The part of a whole ticket that the signature covers.
inline std::string_view SignedBytesOf(std::string_view ticket) {
    return ticket.substr(0, ticket.size() - kSignatureBytes);
}
inline std::string_view SignatureOf(std::string_view ticket) {
    return ticket.substr(ticket.size() - kSignatureBytes);
}

} // namespace lobby_ticket
