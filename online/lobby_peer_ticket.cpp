#include "lobby_peer_ticket.h"

#include "lobby_client.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Log-in names are typed in any case, and a host gives its nickname.
bool SameName(const std::string& given, const std::string& account) {
    const std::string name = Lower(given);
    return name == Lower(account) || name == Lower(NicknameOf(account));
}

} // namespace

std::string CheckPeerTicket(std::string_view ticket, const TProgramKey& provedKey,
                            const std::string& name, const TLobbyKey& lobbyKey,
                            std::int64_t nowSeconds) {
    if (ticket.empty())
        return "it shows no ticket of the lobby";
    const TTicketVerdict verdict = VerifyLobbyTicket(ticket, lobbyKey, nowSeconds);
    switch (verdict.check) {
    case TTicketCheck::Valid:
        break;
    case TTicketCheck::Malformed:
        return "its ticket is malformed";
    case TTicketCheck::BadSignature:
        return "its ticket is not signed by the lobby";
    case TTicketCheck::Expired:
        return "its ticket has run out";
    }
    if (verdict.claims.programKey != provedKey)
        return "its ticket names another key";
    if (!SameName(name, verdict.claims.playerName))
        return "its ticket is made out to " + verdict.claims.playerName;
    return "";
}
