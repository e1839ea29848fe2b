#include "running_game_protocol.h"

#include "utf8_text.h"
#include "wire_format.h"

namespace {

bool IntegersAt(const TQMsg& msg, int first, int count) {
    if (msg.ItemCount() < first + count)
        return false;
    for (int i = first; i < first + count; ++i)
        if (msg.ItemKind(i) != ikInteger)
            return false;
    return true;
}

bool StringsAt(const TQMsg& msg, int first, int count) {
    if (msg.ItemCount() < first + count)
        return false;
    for (int i = first; i < first + count; ++i)
        if (msg.ItemKind(i) != ikString)
            return false;
    return true;
}

bool IsSeat(int32_t value) {
    return value >= 0 && value < kColours;
}

// Every part of the largest record there may be, and no more.
constexpr int kMostParts =
    static_cast<int>((kLargestRunningRecord + kRecordPartBytes - 1) / kRecordPartBytes);

} // namespace

std::vector<std::string> RecordParts(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at < text.size(); at += kRecordPartBytes)
        parts.push_back(text.substr(at, kRecordPartBytes));
    if (parts.empty())
        parts.emplace_back();
    return parts;
}

void WriteRecordPart(TQMsg& msg, int index, int count, const std::string& part) {
    msg.AddInt(index);
    msg.AddInt(count);
    msg.AddStr(part);
}

RecordAssembly::Outcome RecordAssembly::Refuse(const std::string& why) {
    refusal_ = why;
    text_.clear();
    return Outcome::kRefused;
}

RecordAssembly::Outcome RecordAssembly::Take(const TQMsg& msg) {
    if (!refusal_.empty())
        return Outcome::kRefused;
    if (!IntegersAt(msg, 0, 2) || !StringsAt(msg, 2, 1))
        return Refuse("a part of the game's record is malformed");
    const int index = msg.IntAt(0);
    const int count = msg.IntAt(1);
    if (count < 1 || count > kMostParts)
        return Refuse("the game's record is too large");
    if (index != next_ || (count_ >= 0 && count != count_))
        return Refuse("the game's record came out of order");
    const std::string part = msg.StrAt(2);
    if (part.size() > kRecordPartBytes || text_.size() + part.size() > kLargestRunningRecord)
        return Refuse("the game's record is too large");
    count_ = count;
    text_ += part;
    return ++next_ == count_ ? Outcome::kComplete : Outcome::kMore;
}

void WriteRunningSeats(TQMsg& msg, const TRunningSeats& seats) {
    msg.AddInt(seats.playing ? 1 : 0);
    for (SeatKind kind : seats.kinds)
        msg.AddInt(kind);
    msg.AddInt(seats.seatBack);
    msg.AddInt(seats.backAtTurn);
    for (const std::string& name : seats.names)
        msg.AddStr(Utf8Prefix(name, msg.StrRoom()));
}

std::optional<TRunningSeats> ReadRunningSeats(const TQMsg& msg) {
    constexpr int kNames = 1 + kColours + 2;
    if (!IntegersAt(msg, 0, kNames) || !StringsAt(msg, kNames, kColours))
        return std::nullopt;
    TRunningSeats seats;
    const int32_t role = msg.IntAt(0);
    if (role != 0 && role != 1)
        return std::nullopt;
    seats.playing = role == 1;
    for (int seat = 0; seat < kColours; ++seat) {
        const int32_t kind = msg.IntAt(1 + seat);
        if (kind < skNone || kind > skRemote)
            return std::nullopt;
        seats.kinds[seat] = static_cast<SeatKind>(kind);
        seats.names[seat] = msg.StrAt(kNames + seat);
    }
    seats.seatBack = msg.IntAt(1 + kColours);
    seats.backAtTurn = msg.IntAt(2 + kColours);
    if (seats.seatBack != -1 && !IsSeat(seats.seatBack))
        return std::nullopt;
    if (seats.playing != (seats.seatBack >= 0) || seats.backAtTurn < 0)
        return std::nullopt;
    return seats;
}

void WriteSeatMove(TQMsg& msg, const TSeatMove& move) {
    msg.AddInt(move.seat);
    msg.AddInt(move.number);
    msg.AddInt(move.direction);
}

std::optional<TSeatMove> ReadSeatMove(const TQMsg& msg) {
    if (!IntegersAt(msg, 0, 3))
        return std::nullopt;
    const TSeatMove move{msg.IntAt(0), msg.IntAt(1), msg.IntAt(2)};
    if (!IsSeat(move.seat) || move.direction < 0 || move.direction >= kDirections)
        return std::nullopt;
    return move;
}

void WriteSeatEvent(TQMsg& msg, int seat, int reason) {
    msg.AddInt(seat);
    msg.AddInt(reason);
}

std::optional<std::pair<int, int>> ReadSeatEvent(const TQMsg& msg) {
    if (!IntegersAt(msg, 0, 2) || !IsSeat(msg.IntAt(0)))
        return std::nullopt;
    return std::pair{msg.IntAt(0), msg.IntAt(1)};
}

void WriteSeatBack(TQMsg& msg, const TSeatBack& back) {
    msg.AddInt(back.seat);
    msg.AddInt(back.atTurn);
    msg.AddStr(back.address);
}

std::optional<TSeatBack> ReadSeatBack(const TQMsg& msg) {
    if (!IntegersAt(msg, 0, 2) || !StringsAt(msg, 2, 1))
        return std::nullopt;
    const TSeatBack back{msg.IntAt(0), msg.IntAt(1), msg.StrAt(2)};
    if (!IsSeat(back.seat) || back.atTurn < 0)
        return std::nullopt;
    return back;
}

void WriteWatcherChat(TQMsg& msg, const TWatcherChat& chat) {
    msg.AddStr(Utf8Prefix(chat.name, msg.StrRoom()));
    msg.AddStr(Utf8Prefix(chat.text, msg.StrRoom()));
}

std::optional<TWatcherChat> ReadWatcherChat(const TQMsg& msg) {
    if (!StringsAt(msg, 0, 2))
        return std::nullopt;
    return TWatcherChat{msg.StrAt(0), msg.StrAt(1)};
}
