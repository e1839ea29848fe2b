#include "lan_announcer.h"

void TLanAnnouncer::Announce(const TLanAnnouncement& game, std::int64_t nowMs) {
    if (announcing_ && game.gameId != game_.gameId)
        Withdraw(); // the old game, which the new one replaces
    game_ = game;
    if (game_.kind == TLanKind::Withdrawn)
        game_.kind = TLanKind::Open;
    announcing_ = true;
    SendNow(nowMs);
}

void TLanAnnouncer::Tick(std::int64_t nowMs) {
    if (announcing_ && nowMs - lastSentMs_ >= kLanAnnounceIntervalMs)
        SendNow(nowMs);
}

void TLanAnnouncer::Withdraw() {
    if (!announcing_)
        return;
    announcing_ = false;
    TLanAnnouncement withdrawal;
    withdrawal.kind = TLanKind::Withdrawn;
    withdrawal.gameId = game_.gameId;
    send_(EncodeLanAnnouncement(withdrawal));
}

void TLanAnnouncer::SendNow(std::int64_t nowMs) {
    lastSentMs_ = nowMs;
    send_(EncodeLanAnnouncement(game_));
}
