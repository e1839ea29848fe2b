// Checking the tickets that bind a program's key to a lobby account.  The
// lobby signs one at a log-in that carries the program's key; members hand
// theirs to each other and check each with the lobby's public key, which
// every member learned at its own log-in (and pinned, TLobbyKeyPins).
// Plain C++ with libsodium.
#pragma once

#include "lobby_ticket_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The lobby's Ed25519 public key.
using TLobbyKey = std::array<unsigned char, lobby_ticket::kLobbyKeyBytes>;
// The X25519 key a program uses with crypto_kx.
using TProgramKey = lobby_ticket::ProgramKey;

// Clocks of members and lobby differ a little.
inline constexpr std::int64_t kTicketClockSlackSeconds = 300;

enum class TTicketCheck { Valid, Malformed, BadSignature, Expired };

struct TTicketVerdict {
    TTicketCheck check = TTicketCheck::Malformed;
    lobby_ticket::Claims claims; // filled when the signature holds (Valid, Expired)
};

// A whole ticket, as bytes.  Valid says only that the lobby vouches for
// claims.programKey being held by claims.playerName (number
// claims.playerNumber); the caller still checks that the peer proved it
// holds that key (the crypto_kx handshake) and that the account is the one
// it expects.
TTicketVerdict VerifyLobbyTicket(std::string_view ticket, const TLobbyKey& lobbyKey,
                                 std::int64_t nowSeconds);

// Keys as the lobby protocol writes them: base64url without padding.
std::string KeyText(const std::array<unsigned char, 32>& key);
std::optional<std::array<unsigned char, 32>> ReadKeyText(std::string_view text);
