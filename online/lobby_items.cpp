#include "lobby_items.h"

#include "base64_text.h"
#include "lobby_protocol.h"

#include <algorithm>
#include <charconv>

namespace {

namespace item = lobby_protocol::item;
namespace detail = lobby_protocol::detail;
namespace refusal = lobby_protocol::refusal;
using lobby_protocol::kLineEnd;

// Splits off the text before the next `separator` (all of it when there
// is none).
std::string_view TakeUntil(std::string_view& rest, char separator) {
    const std::size_t end = rest.find(separator);
    const std::string_view taken = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return taken;
}

// Digits only, within the type; nothing else.
template <class Number> std::optional<Number> ReadDecimal(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() == '-' || error != std::errc{} ||
        end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<TTurnCredentials> TurnOf(std::string_view server, std::string_view user,
                                       std::string_view password) {
    const std::size_t colon = user.find(':');
    if (server.empty() || password.empty() || colon == std::string_view::npos)
        return std::nullopt;
    const auto expiry = ReadDecimal<std::int64_t>(user.substr(0, colon));
    if (!expiry)
        return std::nullopt;
    return TTurnCredentials{std::string(server), std::string(user), std::string(password), *expiry};
}

} // namespace

TLobbyItems ParseLobbyItems(std::string_view lines) {
    TLobbyItems items;
    std::string_view server, user, password;
    while (!lines.empty()) {
        std::string_view value = TakeUntil(lines, kLineEnd);
        const std::string_view name = TakeUntil(value, lobby_protocol::kItemSeparator);
        if (name == item::kTicket) {
            if (auto ticket = base64_text::DecodeUrl(value, lobby_ticket::kMaxTicketBytes))
                items.ticket = std::move(*ticket);
        } else if (name == item::kLobbyKey) {
            items.lobbyKey = ReadKeyText(value);
        } else if (name == item::kTurnServer) {
            server = value;
        } else if (name == item::kTurnUser) {
            user = value;
        } else if (name == item::kTurnPassword) {
            password = value;
        }
    }
    items.turn = TurnOf(server, user, password);
    return items;
}

bool IsRenewalDue(const TLobbyItems& items, std::int64_t nowSeconds) {
    const std::int64_t dueAfter = nowSeconds + kRenewBeforeExpirySeconds;
    if (items.turn && items.turn->expiresAt <= dueAfter)
        return true;
    const auto claims = lobby_ticket::ReadClaims(items.ticket);
    return claims && claims->expiresAt <= dueAfter;
}

TScriptReply ReadScriptReply(std::string_view reply) {
    static const std::pair<std::string_view, TLobbyRefusal> kRefusals[] = {
        {refusal::kSession, TLobbyRefusal::Session},
        {refusal::kMalformed, TLobbyRefusal::Malformed},
        {refusal::kTooBig, TLobbyRefusal::TooBig},
        {refusal::kBadBlob, TLobbyRefusal::BadBlob},
        {refusal::kNoGame, TLobbyRefusal::NoGame},
        {refusal::kNotMember, TLobbyRefusal::NotMember},
        {refusal::kGameFull, TLobbyRefusal::GameFull},
        {refusal::kFlood, TLobbyRefusal::Flood},
        {refusal::kBusy, TLobbyRefusal::Busy},
        {refusal::kUnavailable, TLobbyRefusal::Unavailable},
    };
    TScriptReply result;
    if (reply.size() < 2 || reply[1] != kLineEnd)
        return result;
    if (reply[0] == lobby_protocol::kScriptOk) {
        result.refusal = TLobbyRefusal::None;
        result.body = std::string(reply.substr(2));
    } else if (reply[0] == lobby_protocol::kScriptFailed) {
        const std::string_view word = reply.substr(2);
        for (const auto& [text, refusal] : kRefusals)
            if (word == text)
                result.refusal = refusal;
    }
    return result;
}

std::string RefusalText(TLobbyRefusal refusal) {
    switch (refusal) {
    case TLobbyRefusal::None:
        return "accepted";
    case TLobbyRefusal::Session:
        return "the lobby no longer knows this log-in";
    case TLobbyRefusal::Malformed:
        return "the lobby could not read the request";
    case TLobbyRefusal::TooBig:
        return "the lobby took the candidates as too big";
    case TLobbyRefusal::BadBlob:
        return "the lobby took the candidates as malformed";
    case TLobbyRefusal::NoGame:
        return "the lobby no longer lists that game";
    case TLobbyRefusal::NotMember:
        return "the lobby does not count that player as a member of the game";
    case TLobbyRefusal::GameFull:
        return "the lobby has too many joining that game";
    case TLobbyRefusal::Flood:
        return "the lobby asks for fewer requests";
    case TLobbyRefusal::Busy:
        return "the lobby is too busy to keep the candidates";
    case TLobbyRefusal::Unavailable:
        return "the lobby offers no relay and no ticket";
    case TLobbyRefusal::Unknown:
        break;
    }
    return "the lobby's answer was not understood";
}

std::optional<TGameDetails> ParseGameDetails(std::string_view line) {
    TGameDetails details;
    bool haveGame = false, haveHost = false, haveState = false;
    while (!line.empty()) {
        std::string_view value = TakeUntil(line, lobby_protocol::kWordSeparator);
        const std::string_view name = TakeUntil(value, lobby_protocol::kItemSeparator);
        if (name == detail::kGame) {
            const auto number = ReadDecimal<std::int32_t>(value);
            haveGame = number && *number > 0;
            details.gameNumber = number.value_or(0);
        } else if (name == detail::kHost) {
            const auto number = ReadDecimal<std::int32_t>(value);
            haveHost = number && *number > 0;
            details.hostPlayer = number.value_or(0);
        } else if (name == detail::kState) {
            haveState = value == detail::kPlaying || value == detail::kWaiting;
            details.running = value == detail::kPlaying;
        } else if (name == detail::kExtended) {
            details.extended = value == lobby_protocol::kFlagOn;
        }
    }
    if (!haveGame || !haveHost || !haveState)
        return std::nullopt;
    return details;
}

std::optional<std::vector<TCandidateBlob>> ParseCandidateLines(std::string_view body) {
    std::vector<TCandidateBlob> blobs;
    while (!body.empty()) {
        std::string_view blob = TakeUntil(body, kLineEnd);
        const auto sender =
            ReadDecimal<std::int32_t>(TakeUntil(blob, lobby_protocol::kWordSeparator));
        if (!sender || *sender <= 0 || !IsCandidateBlob(blob))
            return std::nullopt;
        blobs.push_back({*sender, std::string(blob)});
    }
    return blobs;
}

bool IsCandidateBlob(std::string_view blob) {
    return !blob.empty() && blob.size() <= lobby_protocol::kMaxCandidateBlobBytes &&
           std::all_of(blob.begin(), blob.end(), lobby_protocol::IsBlobCharacter);
}
