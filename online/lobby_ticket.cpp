#include "lobby_ticket.h"

#include "base64_text.h"

#include <algorithm>
#include <sodium.h>

static_assert(crypto_sign_PUBLICKEYBYTES == lobby_ticket::kLobbyKeyBytes);
static_assert(crypto_sign_BYTES == lobby_ticket::kSignatureBytes);

TTicketVerdict VerifyLobbyTicket(std::string_view ticket, const TLobbyKey& lobbyKey,
                                 std::int64_t nowSeconds) {
    TTicketVerdict verdict;
    const auto claims = lobby_ticket::ReadClaims(ticket);
    if (!claims)
        return verdict;
    const std::string_view signedBytes = lobby_ticket::SignedBytesOf(ticket);
    const std::string_view signature = lobby_ticket::SignatureOf(ticket);
    if (sodium_init() < 0 ||
        crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                    reinterpret_cast<const unsigned char*>(signedBytes.data()),
                                    signedBytes.size(), lobbyKey.data()) != 0) {
        verdict.check = TTicketCheck::BadSignature;
        return verdict;
    }
    verdict.claims = *claims;
    verdict.check = claims->expiresAt < nowSeconds - kTicketClockSlackSeconds
                        ? TTicketCheck::Expired
                        : TTicketCheck::Valid;
    return verdict;
}

std::string KeyText(const std::array<unsigned char, 32>& key) {
    return base64_text::EncodeUrl(
        std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

std::optional<std::array<unsigned char, 32>> ReadKeyText(std::string_view text) {
    std::array<unsigned char, 32> key{};
    const auto bytes = base64_text::DecodeUrl(text, key.size());
    if (!bytes || bytes->size() != key.size())
        return std::nullopt;
    std::copy(bytes->begin(), bytes->end(), key.begin());
    return key;
}
