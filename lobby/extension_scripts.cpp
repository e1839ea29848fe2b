#include "extension_scripts.h"

#include "base64_text.h"
#include "lobby_protocol.h"
#include "lobby_ticket_format.h"
#include "session_id.h"

#include <algorithm>

namespace {

namespace key = lobby_protocol::key;
namespace item = lobby_protocol::item;
namespace refusal = lobby_protocol::refusal;
using lobby_protocol::kLineEnd;

constexpr int kStatusOk = 200;
constexpr std::int64_t kMsPerSecond = 1000;

LobbyReply Text(std::string body) {
    return {kStatusOk, "text/plain", std::move(body), {}, {}, {}};
}

LobbyReply Accepted(const std::string& items = {}) {
    return Text(std::string(1, lobby_protocol::kScriptOk) + kLineEnd + items);
}

LobbyReply Refused(std::string_view why) {
    return Text(std::string(1, lobby_protocol::kScriptFailed) + kLineEnd + std::string(why));
}

std::string Item(std::string_view name, const std::string& value) {
    return std::string(name) + lobby_protocol::kItemSeparator + value + kLineEnd;
}

std::optional<std::int32_t> NumberParam(const QueryParams& query, std::string_view name) {
    const std::string* text = query.Find(name);
    return text == nullptr ? std::nullopt : ParsePositiveNumber(*text);
}

std::string_view RefusalOf(PostOutcome outcome) {
    switch (outcome) {
    case PostOutcome::NoGame:
        return refusal::kNoGame;
    case PostOutcome::NotMember:
        return refusal::kNotMember;
    case PostOutcome::GameFull:
        return refusal::kGameFull;
    case PostOutcome::Busy:
        return refusal::kBusy;
    case PostOutcome::Stored:
        break;
    }
    return {};
}

// Why a blob cannot be kept, or nothing when it can.
std::optional<std::string_view> BlobProblem(const std::string* blob) {
    if (blob == nullptr || blob->empty())
        return refusal::kBadBlob;
    if (blob->size() > lobby_protocol::kMaxCandidateBlobBytes)
        return refusal::kTooBig;
    if (!std::all_of(blob->begin(), blob->end(), lobby_protocol::IsBlobCharacter))
        return refusal::kBadBlob;
    return std::nullopt;
}

} // namespace

ExtensionScripts::ExtensionScripts(LobbyStore& store, const LobbySettings& settings, Clock clock)
    : store_(store), settings_(settings), clock_(std::move(clock)),
      postsPerSession_(settings.candidatePostsPerSession),
      readsPerSession_(settings.candidateReadsPerSession),
      renewalsPerSession_(settings.renewalsPerSession) {}

std::optional<std::string> ExtensionScripts::ReadPeerKey(const std::string& text) {
    auto key = base64_text::DecodeUrl(text, lobby_ticket::kProgramKeyBytes);
    if (!key || key->size() != lobby_ticket::kProgramKeyBytes)
        return std::nullopt;
    return key;
}

std::string ExtensionScripts::LoginItems(std::int32_t player, const std::string& playerName,
                                         const std::optional<std::string>& peerKey) const {
    const std::int64_t nowSeconds = clock_() / kMsPerSecond;
    std::string items;
    if (settings_.signingKey) {
        if (peerKey) {
            lobby_ticket::Claims claims;
            std::copy(peerKey->begin(), peerKey->end(), claims.programKey.begin());
            claims.playerName = playerName;
            claims.playerNumber = player;
            claims.expiresAt = nowSeconds + settings_.ticketLifetime.count();
            items += Item(item::kTicket,
                          base64_text::EncodeUrl(settings_.signingKey->IssueTicket(claims)));
        }
        items += Item(item::kLobbyKey, settings_.signingKey->PublicKeyText());
    }
    if (settings_.turn.Enabled()) {
        const TurnCredentials credentials = MintTurnCredentials(
            settings_.turn.secret, playerName, nowSeconds + settings_.turn.lifetime.count());
        items += Item(item::kTurnServer, settings_.turn.server);
        items += Item(item::kTurnUser, credentials.user);
        items += Item(item::kTurnPassword, credentials.password);
    }
    return items;
}

std::optional<SessionInfo> ExtensionScripts::Session(const QueryParams& query) {
    const std::string* session = query.Find(key::kSession);
    if (session == nullptr || !IsSessionId(*session))
        return std::nullopt;
    return store_.FindSession(*session);
}

std::int64_t ExtensionScripts::ListedAfterMs() const {
    return clock_() -
           std::chrono::duration_cast<std::chrono::milliseconds>(settings_.gameExpiry).count();
}

LobbyReply ExtensionScripts::Renew(const QueryParams& query) {
    const auto session = Session(query);
    if (!session)
        return Refused(refusal::kSession);
    if (renewalsPerSession_.Take(std::to_string(session->player)).count() > 0)
        return Refused(refusal::kFlood);
    const bool ticket = settings_.signingKey && session->peerKey;
    if (!ticket && !settings_.turn.Enabled())
        return Refused(refusal::kUnavailable);
    std::optional<std::string> peerKey;
    if (session->peerKey)
        peerKey = ReadPeerKey(*session->peerKey);
    return Accepted(LoginItems(session->player, session->playerName, peerKey));
}

LobbyReply ExtensionScripts::PostCandidates(const QueryParams& query) {
    const auto session = Session(query);
    if (!session)
        return Refused(refusal::kSession);
    if (postsPerSession_.Take(std::to_string(session->player)).count() > 0)
        return Refused(refusal::kFlood);
    const auto game = NumberParam(query, key::kGame);
    const auto addressee = NumberParam(query, key::kTo);
    if (!game || !addressee)
        return Refused(refusal::kMalformed);
    const std::string* blob = query.Find(key::kBlob);
    if (const auto problem = BlobProblem(blob))
        return Refused(*problem);
    CandidateRules rules;
    rules.listedAfterMs = ListedAfterMs();
    rules.lifetimeMs = lobby_protocol::kCandidateLifetimeMs;
    rules.maxJoinersPerGame = settings_.maxJoinersPerGame;
    rules.maxLiveBlobs = settings_.maxLiveCandidateBlobs;
    const PostOutcome outcome =
        store_.PostCandidates({session->player, *game, *addressee, *blob}, rules, clock_());
    return outcome == PostOutcome::Stored ? Accepted() : Refused(RefusalOf(outcome));
}

LobbyReply ExtensionScripts::GetCandidates(const QueryParams& query) {
    const auto session = Session(query);
    if (!session)
        return Refused(refusal::kSession);
    if (readsPerSession_.Take(std::to_string(session->player)).count() > 0)
        return Refused(refusal::kFlood);
    const auto game = NumberParam(query, key::kGame);
    if (!game)
        return Refused(refusal::kMalformed);
    std::string lines;
    for (const CandidateBlob& blob : store_.CandidatesFor(
             session->player, *game, clock_() - lobby_protocol::kCandidateLifetimeMs))
        lines +=
            std::to_string(blob.sender) + lobby_protocol::kWordSeparator + blob.blob + kLineEnd;
    return Accepted(lines);
}
