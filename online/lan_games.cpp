#include "lan_games.h"

#include "lan_announcement.h"
#include "plain_text.h"

#include <algorithm>
#include <optional>

namespace {

constexpr double kMsPerSecond = 1000.0;

} // namespace

bool TLanGames::Allowance::Spend(double burst, double perSecond, std::int64_t nowMs) {
    const double elapsed = static_cast<double>(std::max<std::int64_t>(nowMs - lastMs, 0));
    tokens = std::min(burst, tokens + elapsed * perSecond / kMsPerSecond);
    lastMs = nowMs;
    if (tokens < 1)
        return false;
    tokens -= 1;
    return true;
}

bool TLanGames::Take(std::string_view datagram, const std::string& from, std::int64_t nowMs) {
    if (datagram.size() > kLanMaxDatagramBytes || !Admitted(from, nowMs))
        return false;
    const std::optional<TLanAnnouncement> announcement = DecodeLanAnnouncement(datagram);
    if (!announcement)
        return false;
    if (announcement->kind == TLanKind::Withdrawn)
        return Withdraw(from, announcement->gameId);
    return Open({from, announcement->gameId, PlainText(announcement->name),
                 PlainText(announcement->players), announcement->kind == TLanKind::Running},
                nowMs);
}

// The sender's allowance, kept for the most recently heard senders only:
// one forgotten starts afresh, which a flood gains nothing from.
bool TLanGames::Admitted(const std::string& from, std::int64_t nowMs) {
    auto sender = std::find_if(senders_.begin(), senders_.end(),
                               [&](const Sender& s) { return s.address == from; });
    Sender heard{from, {kLanSenderBurst, nowMs}};
    if (sender != senders_.end()) {
        heard = *sender;
        senders_.erase(sender);
    } else if (senders_.size() >= kMaxLanSenders) {
        senders_.erase(senders_.begin());
    }
    const bool admitted = heard.allowance.Spend(kLanSenderBurst, kLanSenderRate, nowMs);
    senders_.push_back(std::move(heard));
    return admitted;
}

bool TLanGames::Open(TLanGameEntry entry, std::int64_t nowMs) {
    for (std::size_t i = 0; i < games_.size(); ++i) {
        if (games_[i].address != entry.address || games_[i].gameId != entry.gameId)
            continue;
        heardMs_[i] = nowMs;
        if (games_[i] == entry)
            return false;
        games_[i] = std::move(entry);
        return true;
    }
    if (GamesOf(entry.address) >= kMaxLanGamesPerHost ||
        !newGames_.Spend(kLanNewGameBurst, kLanNewGameRate, nowMs))
        return false;
    if (games_.size() >= kMaxLanGames)
        MakeRoom();
    games_.push_back(std::move(entry));
    heardMs_.push_back(nowMs);
    return true;
}

// The entry silent longest leaves.
void TLanGames::MakeRoom() {
    const auto oldest = std::min_element(heardMs_.begin(), heardMs_.end()) - heardMs_.begin();
    games_.erase(games_.begin() + oldest);
    heardMs_.erase(heardMs_.begin() + oldest);
}

bool TLanGames::Withdraw(const std::string& from, std::uint64_t gameId) {
    for (std::size_t i = 0; i < games_.size(); ++i) {
        if (games_[i].address == from && games_[i].gameId == gameId) {
            games_.erase(games_.begin() + static_cast<std::ptrdiff_t>(i));
            heardMs_.erase(heardMs_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool TLanGames::Expire(std::int64_t nowMs) {
    bool changed = false;
    for (std::size_t i = games_.size(); i-- > 0;) {
        if (nowMs - heardMs_[i] < kLanEntryLifetimeMs)
            continue;
        games_.erase(games_.begin() + static_cast<std::ptrdiff_t>(i));
        heardMs_.erase(heardMs_.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
    }
    return changed;
}

std::size_t TLanGames::GamesOf(const std::string& address) const {
    return static_cast<std::size_t>(
        std::count_if(games_.begin(), games_.end(),
                      [&](const TLanGameEntry& g) { return g.address == address; }));
}
