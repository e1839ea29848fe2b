#include "lobby_extensions.h"

#include "lobby_protocol.h"

#include <stdexcept>

namespace {

namespace key = lobby_protocol::key;
using lobby_protocol::kLineEnd;

std::string Pair(std::string_view name, const std::string& value) {
    return "&" + std::string(name) + "=" + value;
}

std::string Script(std::string_view path, const std::string& sessionId) {
    return std::string(path) + "?" + std::string(key::kSession) + "=" + sessionId;
}

// The text before the first LF, taken off `rest` with the LF; all of it
// when there is none.
std::string TakeLine(std::string& rest) {
    const std::size_t end = rest.find(kLineEnd);
    std::string line = rest.substr(0, end);
    rest.erase(0, end == std::string::npos ? rest.size() : end + 1);
    return line;
}

} // namespace

std::string LoginTargetWithKey(const std::string& userName, const std::string& password,
                               const std::string& fileVersion, const TProgramKey& programKey) {
    return LoginTarget(userName, password, fileVersion) + Pair(key::kPeerKey, KeyText(programKey));
}

TExtendedLoginReply ParseExtendedLoginReply(const std::string& reply) {
    // The items begin after the second LF; before it, the written reply.
    const std::size_t first = reply.find(kLineEnd);
    const std::size_t second =
        first == std::string::npos ? std::string::npos : reply.find(kLineEnd, first + 1);
    TExtendedLoginReply result;
    result.login = ParseLoginReply(reply.substr(0, second));
    if (result.login.outcome == TLoginOutcome::Success && second != std::string::npos)
        result.items = ParseLobbyItems(std::string_view(reply).substr(second + 1));
    return result;
}

std::string RunningListTarget(const std::string& sessionId) {
    return ListTarget(sessionId) + Pair(key::kRunning, std::string(lobby_protocol::kFlagOn));
}

std::optional<std::vector<TListedGame>> ParseRunningGameList(const std::string& reply) {
    if (reply.size() < 2 || reply[0] != lobby_protocol::kScriptOk || reply[1] != kLineEnd)
        return ParseGameList(reply) ? std::optional(std::vector<TListedGame>()) : std::nullopt;
    std::vector<TListedGame> games;
    std::string rest = reply.substr(2);
    while (!rest.empty()) {
        TListedGame game;
        game.entry.name = TakeLine(rest);
        game.entry.players = TakeLine(rest);
        game.entry.address = TakeLine(rest);
        const std::size_t end = rest.find(kLineEnd);
        if (auto details = ParseGameDetails(std::string_view(rest).substr(0, end))) {
            game.details = details;
            TakeLine(rest);
        }
        games.push_back(std::move(game));
    }
    return games;
}

std::string EndGameTarget(const std::string& sessionId, int32_t gameNumber) {
    return RefreshTarget(sessionId, gameNumber, 0, 0, 0) +
           Pair(key::kEnded, std::string(lobby_protocol::kFlagOn));
}

std::string RenewTarget(const std::string& sessionId) {
    return Script(lobby_protocol::kRenewPath, sessionId);
}

TRenewReply ParseRenewReply(const std::string& reply) {
    TScriptReply script = ReadScriptReply(reply);
    TRenewReply result;
    result.refusal = script.refusal;
    if (script.refusal == TLobbyRefusal::None)
        result.items = ParseLobbyItems(script.body);
    return result;
}

std::string PostCandidatesTarget(const std::string& sessionId, int32_t gameNumber,
                                 int32_t addressee, const std::string& blob) {
    if (!IsCandidateBlob(blob))
        throw std::invalid_argument("candidates go to the lobby as 1 to 4096 characters of base64");
    return Script(lobby_protocol::kPostCandidatesPath, sessionId) +
           Pair(key::kGame, std::to_string(gameNumber)) +
           Pair(key::kTo, std::to_string(addressee)) + Pair(key::kBlob, blob);
}

TLobbyRefusal ParsePostCandidatesReply(const std::string& reply) {
    return ReadScriptReply(reply).refusal;
}

std::string FetchCandidatesTarget(const std::string& sessionId, int32_t gameNumber) {
    return Script(lobby_protocol::kGetCandidatesPath, sessionId) +
           Pair(key::kGame, std::to_string(gameNumber));
}

TCandidatesReply ParseCandidatesReply(const std::string& reply) {
    const TScriptReply script = ReadScriptReply(reply);
    TCandidatesReply result;
    result.refusal = script.refusal;
    if (script.refusal != TLobbyRefusal::None)
        return result;
    if (auto blobs = ParseCandidateLines(script.body))
        result.blobs = std::move(*blobs);
    else
        result.refusal = TLobbyRefusal::Unknown;
    return result;
}
