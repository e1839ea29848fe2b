#include "game_protocol.h"

#include "utf8_text.h"
#include "wire_format.h"

namespace {

bool IntegersAt(const TQMsg& msg, int count) {
    if (msg.ItemCount() < count)
        return false;
    for (int i = 0; i < count; ++i)
        if (msg.ItemKind(i) != ikInteger)
            return false;
    return true;
}

bool IsSeatKind(int32_t value) {
    return value >= skNone && value <= skRemote;
}

} // namespace

TStartTable HostStartTable(const SeatKinds& kinds,
                           const std::array<std::string, kColours>& contactAddresses) {
    TStartTable table;
    for (int seat = 0; seat < kColours; ++seat) {
        table.kinds[seat] = kinds[seat];
        if (kinds[seat] == skHuman) {
            table.kinds[seat] = skRemote;
            table.addresses[seat] = std::string(kHostSeatAddress);
        } else if (kinds[seat] == skRemote) {
            table.addresses[seat] = contactAddresses[seat];
        }
    }
    return table;
}

void WriteChat(TQMsg& msg, const std::string& text) {
    msg.AddStr(Utf8Prefix(text, msg.StrRoom()));
}

void WriteMove(TQMsg& msg, const TGameMove& move) {
    msg.AddInt(move.number);
    msg.AddInt(move.direction);
}

void WriteSeat(TQMsg& msg, const TSeatGrant& grant) {
    msg.AddInt(grant.seat);
    msg.AddInt(grant.maxConnections);
}

void WriteStart(TQMsg& msg, const TStartTable& table) {
    for (SeatKind kind : table.kinds)
        msg.AddInt(kind);
    for (int seat = 0; seat < kColours; ++seat)
        if (table.kinds[seat] == skRemote)
            msg.AddStr(table.addresses[seat]);
}

std::optional<std::string> ReadChat(const TQMsg& msg) {
    if (msg.ItemCount() < 1 || msg.ItemKind(0) != ikString)
        return std::nullopt;
    return msg.StrAt(0);
}

std::optional<TGameMove> ReadMove(const TQMsg& msg) {
    if (!IntegersAt(msg, 2))
        return std::nullopt;
    const TGameMove move{msg.IntAt(0), msg.IntAt(1)};
    if (move.direction < 0 || move.direction >= kDirections)
        return std::nullopt;
    return move;
}

std::optional<TSeatGrant> ReadSeat(const TQMsg& msg) {
    if (!IntegersAt(msg, 2))
        return std::nullopt;
    const TSeatGrant grant{msg.IntAt(0), msg.IntAt(1)};
    if (grant.seat < 0 || grant.seat >= kColours)
        return std::nullopt;
    return grant;
}

std::optional<TStartTable> ReadStart(const TQMsg& msg) {
    if (!IntegersAt(msg, kColours))
        return std::nullopt;
    TStartTable table;
    int next = kColours; // the k-th Remote seat owns the string at 6 + k
    for (int seat = 0; seat < kColours; ++seat) {
        const int32_t kind = msg.IntAt(seat);
        if (!IsSeatKind(kind))
            return std::nullopt;
        table.kinds[seat] = static_cast<SeatKind>(kind);
        if (kind == skRemote)
            table.addresses[seat] = msg.StrAt(next++);
    }
    return table;
}
