#include "lobby_items_keeper.h"

void TLobbyItemsKeeper::Take(TLobbyItems items) {
    items_ = std::move(items);
    ++generation_;
    renewing_ = false;
    sessionGone_ = false;
    notBefore_ = 0;
}

void TLobbyItemsKeeper::Tick(const std::string& sessionId, std::int64_t nowSeconds) {
    if (!Extended() || renewing_ || sessionGone_ || sessionId.empty() || nowSeconds < notBefore_ ||
        !IsRenewalDue(items_, nowSeconds))
        return;
    renewing_ = true;
    const unsigned generation = generation_;
    ask_(RenewTarget(sessionId),
         [this, generation, nowSeconds](const std::optional<std::string>& reply) {
             Renewed(reply, generation, nowSeconds);
         });
}

void TLobbyItemsKeeper::Renewed(const std::optional<std::string>& reply, unsigned generation,
                                std::int64_t askedAt) {
    if (generation != generation_)
        return; // a log-in came in between: its items stand
    renewing_ = false;
    notBefore_ = askedAt + kRetrySeconds;
    if (!reply) {
        if (OnLog)
            OnLog("***Couldn't renew the relay credentials: no answer from the lobby");
        return;
    }
    TRenewReply renewed = ParseRenewReply(*reply);
    if (renewed.refusal != TLobbyRefusal::None) {
        sessionGone_ = renewed.refusal == TLobbyRefusal::Session;
        if (OnLog)
            OnLog("***Couldn't renew the relay credentials: " + RefusalText(renewed.refusal));
        return;
    }
    // The key checked at the log-in stands: a renewal that shows another
    // one is not the lobby's.
    if (renewed.items.lobbyKey && renewed.items.lobbyKey != items_.lobbyKey) {
        if (OnLog)
            OnLog("***Couldn't renew the relay credentials: the lobby answered with another key "
                  "than at the log-in");
        return;
    }
    // A renewal need not repeat the lobby's key; the one from the log-in stays.
    if (!renewed.items.lobbyKey)
        renewed.items.lobbyKey = items_.lobbyKey;
    if (renewed.items.ticket.empty())
        renewed.items.ticket = items_.ticket;
    if (!renewed.items.turn)
        renewed.items.turn = items_.turn;
    items_ = std::move(renewed.items);
}
