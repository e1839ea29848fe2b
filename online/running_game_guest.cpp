#include "running_game_guest.h"

#include "running_game_host.h"
#include "shown_text.h"

namespace {

// The line of the mark before the turn under way, or 0.
int MarkLine(const std::string& text) {
    int line = 1;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string_view content(text.data() + at,
                                       (end == std::string::npos ? text.size() : end) - at);
        if (content == kUnderWayMark)
            return line;
        if (end == std::string::npos)
            break;
        at = end + 1;
        ++line;
    }
    return 0;
}

} // namespace

RunningGameGuest::RunningGameGuest(Link link) : link_(std::move(link)) {}

void RunningGameGuest::Reset() {
    assembly_ = RecordAssembly();
    record_.reset();
    seats_ = TRunningSeats();
    taken_ = false;
    refused_ = false;
}

void RunningGameGuest::Refuse(const QString& why) {
    refused_ = true;
    link_.log(QString("***The game under way was refused: %1").arg(why));
}

bool RunningGameGuest::Take(const TQMsg& msg) {
    switch (msg.MsgType) {
    case gmRecordPart:
        if (taken_ || refused_ || record_)
            return true;
        switch (assembly_.Take(msg)) {
        case RecordAssembly::Outcome::kMore:
            break;
        case RecordAssembly::Outcome::kComplete:
            record_ = assembly_.Text();
            break;
        case RecordAssembly::Outcome::kRefused:
            Refuse(QString::fromStdString(assembly_.Refusal()));
            break;
        }
        return true;
    case gmRunningSeats:
        if (!taken_ && !refused_)
            TakeSeats(msg);
        return true;
    case gmSeatMove:
    case gmSeatEndTurn:
    case gmSeatLeft:
    case gmSeatBack:
    case gmWatcherChat:
        if (!taken_)
            return false; // a member's, not a newcomer's
        TakeRelay(msg);
        return true;
    default:
        return false;
    }
}

TTakenGame RunningGameGuest::ReadGame(const std::string& text, const TRunningSeats& seats) {
    TTakenGame game;
    game.record = ReadSavedGame(text);
    const int mark = MarkLine(text);
    if (mark > 0) {
        // The mark stands right before the last move line: the turn under way.
        if (game.record.turns.empty() || game.record.lines.back() <= mark)
            throw LineError(mark, "no turn under way follows");
        game.underWay = game.record.turns.back();
        game.record.turns.pop_back();
        game.record.lines.pop_back();
        if (!game.record.lines.empty() && game.record.lines.back() > mark)
            throw LineError(mark, "more than one turn under way");
    }
    game.seats = seats;
    game.kinds = seats.kinds;
    for (int seat = 0; seat < kColours; ++seat)
        if (game.kinds[seat] == skRemote)
            game.players[seat] = SeatPlayer(seat);
    if (seats.playing && game.record.kinds[seats.seatBack] == skNone)
        throw LineError(0, "the seat given back takes no part in the game");
    for (int seat = 0; seat < kColours; ++seat)
        if ((game.record.kinds[seat] == skNone) != (game.kinds[seat] == skNone))
            throw LineError(0, "the seats are not the record's");
    Match scratch;
    scratch.JoinRunningGame(game.record, game.underWay, game.kinds, game.players);
    return game;
}

void RunningGameGuest::TakeSeats(const TQMsg& msg) {
    const std::optional<TRunningSeats> seats = ReadRunningSeats(msg);
    if (!seats)
        return Refuse("its seats are malformed");
    if (!record_)
        return Refuse("its seats came before its record");
    TTakenGame game;
    try {
        game = ReadGame(*record_, *seats);
    } catch (const LineError& e) {
        // The record's line when there is one, else what is wrong.
        return Refuse(QString::fromStdString(e.line() > 0 ? std::string(e.what()) : e.reason()));
    }
    seats_ = *seats;
    taken_ = true;
    record_.reset();
    link_.start(game);
    if (!seats_.playing) {
        link_.log("***Watching the game");
        return;
    }
    const int seat = seats_.seatBack;
    if (match_ && game.kinds[seat] != skHuman)
        match_->ReturnSeat(seat, skHuman, kNoPlayer, {seat, seats_.backAtTurn});
    link_.log(QString("***Back in the game: your seat is yours again from turn %1")
                  .arg(seats_.backAtTurn));
}

void RunningGameGuest::TakeRelay(const TQMsg& msg) {
    if (!match_)
        return;
    if (msg.MsgType == gmWatcherChat) {
        if (const std::optional<TWatcherChat> chat = ReadWatcherChat(msg))
            link_.log(QString("%1 (watching): %2").arg(Shown(chat->name), Shown(chat->text)));
        return;
    }
    if (msg.MsgType == gmSeatMove) {
        if (const std::optional<TSeatMove> move = ReadSeatMove(msg); move && move->seat != OwnSeat())
            match_->RemoteMove(SeatPlayer(move->seat), move->number, move->direction);
        return;
    }
    if (msg.MsgType == gmSeatBack) {
        const std::optional<TSeatBack> back = ReadSeatBack(msg);
        if (!back || back->seat == OwnSeat())
            return;
        const Seat& seat = match_->seat(back->seat);
        if (seat.kind != skRemote && seat.kind != skNone)
            match_->ReturnSeat(back->seat, skRemote, SeatPlayer(back->seat),
                               {back->seat, back->atTurn});
        link_.log(QString("*** %1 is back in the game").arg(Shown(seats_.names[back->seat])));
        return;
    }
    const std::optional<std::pair<int, int>> event = ReadSeatEvent(msg);
    if (!event || event->first == OwnSeat())
        return;
    if (msg.MsgType == gmSeatEndTurn)
        match_->RemoteEndTurn(SeatPlayer(event->first));
    else
        match_->PlayerLeft(SeatPlayer(event->first), event->second);
}
