// Feeds arbitrary bytes to what a game list takes from the local network:
// the input is cut into datagrams, each from one of a few hundred senders
// and a little later than the one before.  Whatever comes, the list and
// the table of senders stay under their ceilings and every text shown is
// plain.  The lobby field's reader gets the bytes too.
#include "lan_announcement.h"
#include "lan_games.h"
#include "lobby_address.h"
#include "plain_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void CheckPlain(const std::string& text) {
    Check(PlainText(text) == text);
    for (unsigned char c : text)
        Check(c >= 0x20 && c != 0x7f);
}

} // namespace

// Each datagram: a byte naming its sender, a byte of milliseconds since the
// one before, a length byte, then that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadLobbyField(bytes);
    ParseUsedLobbies(bytes);
    TLanGames games;
    std::int64_t nowMs = 0;
    for (std::size_t at = 0; at + 3 <= bytes.size();) {
        const auto sender = static_cast<std::uint8_t>(bytes[at]);
        nowMs += static_cast<std::uint8_t>(bytes[at + 1]) * 10;
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::uint8_t>(bytes[at + 2]), bytes.size() - at - 3);
        games.Take(bytes.substr(at + 3, length),
                   "10.0." + std::to_string(sender % 3) + "." + std::to_string(sender), nowMs);
        games.Expire(nowMs);
        at += 3 + length;
        Check(games.Games().size() <= kMaxLanGames);
        Check(games.SendersTracked() <= kMaxLanSenders);
    }
    for (const TLanGameEntry& game : games.Games()) {
        CheckPlain(game.name);
        CheckPlain(game.players);
    }
    if (const auto announcement = DecodeLanAnnouncement(bytes))
        Check(EncodeLanAnnouncement(*announcement) == bytes);
    return 0;
}
