#include "lobby_client.h"

#include "http_client.h"
#include "lobby_protocol.h"
#include "text_to_int.h"
#include "utf8_text.h"

#include <algorithm>

namespace {

namespace key = lobby_protocol::key;
using lobby_protocol::kLineEnd;
// A publish or list reply: the outcome character and its line end.
constexpr std::size_t kReplyPrefixLength = 2;

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
}

// "key=value"
std::string Pair(std::string_view name, const std::string& value) {
    return std::string(name) + "=" + value;
}

std::string Session(const std::string& sessionId) {
    return Pair(key::kSession, sessionId) + "&" +
           Pair(key::kGameType, std::to_string(kLobbyGameType));
}

void AppendPart(std::string& target, std::string_view name, int32_t value) {
    if (value > 0)
        target += "&" + Pair(name, std::to_string(value));
}

std::string AfterPrefix(const std::string& reply) {
    return reply.size() > kReplyPrefixLength ? reply.substr(kReplyPrefixLength) : std::string();
}

// The text before the first LF, taken off `rest` with the LF; empty, and
// nothing taken, when there is no LF.
std::string TakeLine(std::string& rest) {
    const std::size_t end = rest.find(kLineEnd);
    if (end == std::string::npos)
        return {};
    std::string line = rest.substr(0, end);
    rest.erase(0, end + 1);
    return line;
}

} // namespace

std::string LoginTarget(const std::string& userName, const std::string& password,
                        const std::string& fileVersion) {
    // No leading slash: the HTTP client puts one in front.
    return std::string(lobby_protocol::kLoginPath.substr(1)) + "?" +
           Pair(key::kUserName, userName) + "&" + Pair(key::kPassword, password) + "&" +
           Pair(key::kProgramVersion, fileVersion);
}

std::string EncodeGameName(const std::string& gameName) {
    std::string encoded;
    for (char c : gameName) {
        if (!IsNameCharacter(c))
            continue;
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    return encoded;
}

std::string PlayersText(const SeatKinds& kinds) {
    std::string text;
    for (SeatKind kind : kinds)
        text += std::to_string(static_cast<int>(kind));
    return text;
}

std::string PublishTarget(const std::string& sessionId, const std::string& gameName,
                          const std::string& playersText) {
    return std::string(lobby_protocol::kCreateGamePath) + "?" + Session(sessionId) + "&" +
           Pair(key::kGameName, EncodeGameName(gameName)) + "&" + Pair(key::kPlayers, playersText);
}

std::string ListTarget(const std::string& sessionId) {
    return std::string(lobby_protocol::kGetGamesPath) + "?" + Session(sessionId);
}

std::string RefreshTarget(const std::string& sessionId, int32_t gameNumber, int32_t newPlayer,
                          int32_t newGameState, int32_t winner) {
    std::string target = std::string(lobby_protocol::kRefreshGamePath) + "?" + Session(sessionId) +
                         "&" + Pair(key::kGameNumber, std::to_string(gameNumber));
    AppendPart(target, key::kNewPlayer, newPlayer);
    AppendPart(target, key::kNewGameState, newGameState);
    AppendPart(target, key::kWinner, winner);
    return target;
}

bool IsLoggedIn(const std::string& sessionId) {
    return sessionId.find_first_not_of(" \t\r\n") != std::string::npos;
}

TLoginReply ParseLoginReply(const std::string& reply) {
    TLoginReply result;
    const char outcome = reply.empty() ? '\0' : reply.front();
    if (outcome == lobby_protocol::kLoginRefused)
        result.outcome = TLoginOutcome::BadPassword;
    if (outcome == lobby_protocol::kLoginBadVersion)
        result.outcome = TLoginOutcome::BadVersion;
    if (outcome != lobby_protocol::kLoginOk)
        return result;
    result.outcome = TLoginOutcome::Success;
    std::string rest = reply.substr(1);
    const std::size_t end = rest.find(kLineEnd);
    if (end != std::string::npos) {
        result.sessionId = rest.substr(0, std::min(end, kSessionIdLength));
        rest.erase(0, end + 1);
    }
    result.playerNumber = StrToIntDef(rest, 0);
    return result;
}

std::optional<int32_t> ParsePublishReply(const std::string& reply) {
    if (reply.empty() || reply.front() != lobby_protocol::kScriptOk)
        return std::nullopt;
    return StrToIntDef(AfterPrefix(reply), 0);
}

std::optional<std::vector<TGameListEntry>> ParseGameList(const std::string& reply) {
    if (reply.empty() || reply.front() != lobby_protocol::kScriptOk)
        return std::nullopt;
    std::vector<TGameListEntry> entries;
    std::string rest = AfterPrefix(reply);
    while (!rest.empty()) {
        TGameListEntry entry;
        entry.name = TakeLine(rest);
        entry.players = TakeLine(rest);
        if (rest.find(kLineEnd) != std::string::npos) {
            entry.address = TakeLine(rest);
        } else {
            entry.address = rest;
            rest.clear();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string LobbyGet(THttpClient& http, const std::string& target) {
    const TDeadline deadline = DeadlineAfter(http.Timeout);
    http.Connect(deadline);
    std::string reply;
    try {
        reply = http.Get(target, deadline);
    } catch (...) {
        http.Disconnect();
        throw;
    }
    http.Disconnect();
    return reply;
}

std::string NicknameOf(const std::string& clientName) {
    return Utf8Characters(clientName, kNicknameLength);
}
