// Feeds arbitrary bytes to the readers of what other machines send the
// game: the lobby's login, publish and list replies (and what programs of
// this version read besides: our items, running lists, candidates, tickets),
// and the game messages of a peer once the connection manager has decoded
// them.  Whatever comes,
// nothing may be read beyond the input, and what is taken must hold what
// the game relies on.
#include "game_protocol.h"
#include "lobby_client.h"
#include "lobby_extensions.h"
#include "running_game_protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void ReadLobbyReplies(const std::string& reply) {
    Check(ParseLoginReply(reply).sessionId.size() <= kSessionIdLength);
    ParsePublishReply(reply);
    if (const auto games = ParseGameList(reply)) {
        size_t bytes = 0;
        for (const TGameListEntry& game : *games)
            bytes += game.name.size() + game.players.size() + game.address.size() + 1;
        Check(bytes <= reply.size());
    }
}

void ReadRunningGameMessage(const TQMsg& msg);

void ReadOurLobbyReplies(const std::string& reply) {
    const TExtendedLoginReply login = ParseExtendedLoginReply(reply);
    Check(login.login.sessionId.size() <= kSessionIdLength);
    Check(login.items.ticket.size() <= lobby_ticket::kMaxTicketBytes);
    IsRenewalDue(login.items, 0);
    if (const auto games = ParseRunningGameList(reply)) {
        size_t bytes = 0;
        for (const TListedGame& game : *games)
            bytes += game.entry.name.size() + game.entry.players.size() + game.entry.address.size();
        Check(bytes <= reply.size());
    }
    ParseRenewReply(reply);
    for (const TCandidateBlob& blob : ParseCandidatesReply(reply).blobs)
        Check(blob.sender > 0 && IsCandidateBlob(blob.blob));
    // A ticket from a member: never valid without the lobby's signature.
    const TLobbyKey lobbyKey{};
    Check(VerifyLobbyTicket(reply, lobbyKey, 0).check != TTicketCheck::Valid);
}

void ReadGameMessage(const std::string& datagram) {
    TQMsg msg;
    msg.AppendReceived(datagram);
    try {
        if (msg.Decode(false) != 0)
            return;
    } catch (const DatagramError&) {
        return;
    }
    ReadChat(msg);
    if (const auto move = ReadMove(msg))
        Check(move->direction >= 0 && move->direction < 6);
    if (const auto grant = ReadSeat(msg))
        Check(grant->seat >= 0 && grant->seat < kColours);
    if (const auto table = ReadStart(msg))
        for (SeatKind kind : table->kinds)
            Check(kind >= skNone && kind <= skRemote);
    ReadRunningGameMessage(msg);
}

// What the host of a running game sends a newcomer.
void ReadRunningGameMessage(const TQMsg& msg) {
    RecordAssembly assembly;
    for (int i = 0; i < 3 && assembly.Take(msg) == RecordAssembly::Outcome::kMore; ++i) {
    }
    Check(assembly.Text().size() <= kLargestRunningRecord);
    if (const auto seats = ReadRunningSeats(msg))
        Check(seats->seatBack >= -1 && seats->seatBack < kColours);
    if (const auto move = ReadSeatMove(msg))
        Check(move->seat >= 0 && move->seat < kColours && move->direction >= 0 &&
              move->direction < 6);
    if (const auto event = ReadSeatEvent(msg))
        Check(event->first >= 0 && event->first < kColours);
    if (const auto back = ReadSeatBack(msg))
        Check(back->seat >= 0 && back->seat < kColours);
    ReadWatcherChat(msg);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ReadLobbyReplies(bytes);
    ReadOurLobbyReplies(bytes);
    ReadGameMessage(bytes);
    return 0;
}
