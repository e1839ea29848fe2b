#include "running_game_host.h"

#include "move_record.h"
#include "running_game_protocol.h"
#include "saved_game.h"
#include "shown_text.h"

#include <algorithm>

namespace {

TQMsg Message(int kind) {
    TQMsg msg;
    msg.MsgType = kind;
    return msg;
}

bool Before(const Match::TurnPlace& a, const Match::TurnPlace& b) {
    return a.turnNumber != b.turnNumber ? a.turnNumber < b.turnNumber : a.seat < b.seat;
}

} // namespace

RunningGameHost::RunningGameHost(Link link) : link_(std::move(link)) {}

void RunningGameHost::Start(Match& match, const std::array<int32_t, kColours>& accounts,
                            const std::array<std::string, kColours>& names, const Keys& keys) {
    match_ = &match;
    started_ = true;
    accounts_ = accounts;
    names_ = names;
    keys_ = keys;
    newcomers_.clear();
}

void RunningGameHost::Stop() {
    match_ = nullptr;
    started_ = false;
    newcomers_.clear();
}

// A hop under way in a computer's turn is left out: the newcomer plays
// that turn itself, as every program plays the computer seats.
std::string RunningGameHost::RecordText(const Match& match) {
    std::string text = SavedGameText(match.Saved());
    const TurnRecord underWay = match.HopsUnderWay();
    const int seat = match.state().currentSeat;
    const bool playersTurn = seat >= 0 && seat < kColours &&
                             (match.seat(seat).kind == skHuman || match.seat(seat).kind == skRemote);
    if (underWay.number >= 0 && playersTurn && !match.MoveShowing())
        text += std::string(kUnderWayMark) + "\n" + MoveLine(underWay) + "\n";
    return text;
}

// A lobby account is the player's wherever he plays from; without one, his
// program's key is, and two programs sharing a key file (one user's, on one
// machine) are told apart by the names they play under.
int RunningGameHost::SeatOf(const Claim& claim) const {
    if (!match_)
        return kNoSeat;
    for (int seat = 0; seat < kColours; ++seat) {
        const SeatKind kind = match_->seat(seat).kind;
        if (kind != skRemote && kind != skOpen)
            continue;
        const bool held = claim.account > 0
                              ? accounts_[seat] == claim.account
                              : accounts_[seat] == 0 && claim.key && keys_[seat] &&
                                    *keys_[seat] == *claim.key && names_[seat] == claim.name;
        if (held)
            return seat;
    }
    return kNoSeat;
}

RunningGameHost::Role RunningGameHost::Decide(const Claim& claim, bool meshable) const {
    if (!match_)
        return Role::kRefused;
    if (meshable && SeatOf(claim) != kNoSeat)
        return Role::kRejoin;
    return WatcherCount() < kMostWatchers ? Role::kWatch : Role::kRefused;
}

// No program of the game can pass the host's next turn of a human here
// before it hears from the host, and the host tells of the seat before it
// ends that turn: the seat's first turn after it is begun alike everywhere.
Match::TurnPlace RunningGameHost::ReturnPoint(int seat) const {
    const Match::TurnPlace now = match_->Now();
    const bool hostsTurn = match_->GameRunning() && now.seat >= 0 && now.seat < kColours &&
                           match_->seat(now.seat).kind == skHuman;
    Match::TurnPlace barrier = now;
    if (!hostsTurn) {
        bool found = false;
        for (int colour = 0; colour < kColours; ++colour) {
            if (match_->seat(colour).kind != skHuman)
                continue;
            const Match::TurnPlace next = match_->NextTurnOf(colour, now);
            if (!found || Before(next, barrier))
                barrier = next;
            found = true;
        }
    }
    return match_->NextTurnOf(seat, barrier);
}

RunningGameHost::Role RunningGameHost::Welcome(const TpContact& newcomer, PlayerId player,
                                               bool meshable,
                                               const std::vector<TpContact>& members,
                                               const TLinkPublicKey* key) {
    Gone(newcomer); // a second coming starts afresh
    const Claim claim{newcomer->TavloNumber, newcomer->Name, key};
    const Role role = Decide(claim, meshable);
    if (role == Role::kRefused)
        return role;
    Newcomer entry{newcomer, role == Role::kWatch, kNoSeat};
    int backAt = 0;
    SeatKind ownKind = skNone;
    const QString name = Shown(newcomer->Name);
    if (role == Role::kRejoin) {
        entry.seat = SeatOf(claim);
        const Seat& seat = match_->seat(entry.seat);
        if (seat.kind == skRemote) {
            // Still waiting for him: his at once, wherever the turn is.
            match_->SetSeatPlayer(entry.seat, player);
            backAt = match_->Now().turnNumber;
            ownKind = skHuman;
        } else {
            backAt = ReturnPoint(entry.seat).turnNumber;
            match_->ReturnSeat(entry.seat, skRemote, player, {entry.seat, backAt});
            ownKind = seat.kind;
        }
        names_[entry.seat] = newcomer->Name;
        TQMsg back = Message(gmSeatBack);
        WriteSeatBack(back, {entry.seat, backAt, newcomer->Address});
        std::vector<TpContact> others;
        std::copy_if(members.begin(), members.end(), std::back_inserter(others),
                     [&](const TpContact& member) { return member != newcomer; });
        if (!others.empty())
            link_.send(back, others);
        TQMsg told = Message(gmSeatBack);
        WriteSeatBack(told, {entry.seat, backAt, ""});
        ToNewcomers(told, kNoSeat);
        link_.log(QString("*** %1 is back in the game").arg(name));
    } else {
        link_.log(QString("*** %1 is watching the game").arg(name));
    }
    newcomers_.push_back(entry);
    SendGame(entry, backAt, ownKind);
    return role;
}

void RunningGameHost::SendGame(const Newcomer& newcomer, int backAtTurn, SeatKind ownKind) {
    const std::vector<std::string> parts = RecordParts(RecordText(*match_));
    const int count = static_cast<int>(parts.size());
    for (int index = 0; index < count; ++index) {
        TQMsg part = Message(gmRecordPart);
        WriteRecordPart(part, index, count, parts[index]);
        link_.send(part, {newcomer.contact});
    }
    TRunningSeats seats;
    seats.playing = !newcomer.watching;
    for (int colour = 0; colour < kColours; ++colour) {
        const SeatKind kind = match_->seat(colour).kind;
        seats.kinds[colour] = kind == skHuman ? skRemote : kind;
    }
    if (!newcomer.watching) {
        seats.kinds[newcomer.seat] = ownKind;
        seats.seatBack = newcomer.seat;
        seats.backAtTurn = backAtTurn;
    }
    seats.names = names_;
    TQMsg msg = Message(gmRunningSeats);
    WriteRunningSeats(msg, seats);
    link_.send(msg, {newcomer.contact});
}

bool RunningGameHost::IsNewcomer(const TpContact& contact) const {
    return std::any_of(newcomers_.begin(), newcomers_.end(),
                       [&](const Newcomer& n) { return n.contact == contact; });
}

bool RunningGameHost::IsWatcher(const TpContact& contact) const {
    return std::any_of(newcomers_.begin(), newcomers_.end(),
                       [&](const Newcomer& n) { return n.contact == contact && n.watching; });
}

int RunningGameHost::WatcherCount() const {
    return static_cast<int>(std::count_if(newcomers_.begin(), newcomers_.end(),
                                          [](const Newcomer& n) { return n.watching; }));
}

std::vector<std::string> RunningGameHost::WatcherNames() const {
    std::vector<std::string> names;
    for (const Newcomer& n : newcomers_)
        if (n.watching)
            names.push_back(n.contact->Name);
    return names;
}

void RunningGameHost::Gone(const TpContact& contact) {
    std::erase_if(newcomers_, [&](const Newcomer& n) { return n.contact == contact; });
}

void RunningGameHost::ToNewcomers(const TQMsg& msg, int exceptSeat) {
    std::vector<TpContact> to;
    for (const Newcomer& n : newcomers_)
        if (n.watching || n.seat != exceptSeat)
            to.push_back(n.contact);
    if (!to.empty())
        link_.send(msg, to);
}

void RunningGameHost::MovePlayed(int seat, int number, int direction) {
    TQMsg msg = Message(gmSeatMove);
    WriteSeatMove(msg, {seat, number, direction});
    ToNewcomers(msg, seat);
}

void RunningGameHost::EndTurnPlayed(int seat) {
    TQMsg msg = Message(gmSeatEndTurn);
    WriteSeatEvent(msg, seat);
    ToNewcomers(msg, seat);
}

bool RunningGameHost::PlayerChat(const TpContact& from, const std::string& text) {
    if (IsWatcher(from))
        return false;
    std::vector<TpContact> to;
    for (const Newcomer& n : newcomers_)
        if (n.watching)
            to.push_back(n.contact);
    if (to.empty())
        return true;
    TQMsg msg = Message(gmPlayerChat);
    WriteWatcherChat(msg, {from->Name, text});
    link_.send(msg, to);
    return true;
}

void RunningGameHost::SeatHandedOver(int seat, int reason) {
    TQMsg msg = Message(gmSeatLeft);
    WriteSeatEvent(msg, seat, reason);
    ToNewcomers(msg, kNoSeat);
}

bool RunningGameHost::WatcherChat(const TpContact& from, const std::string& text,
                                  const std::vector<TpContact>& members) {
    if (!IsWatcher(from))
        return false;
    link_.log(QString("%1 (watching): %2").arg(Shown(from->Name), Shown(text)));
    TQMsg msg = Message(gmWatcherChat);
    WriteWatcherChat(msg, {from->Name, text});
    std::vector<TpContact> to;
    for (const TpContact& member : members)
        if (member != from && !IsNewcomer(member))
            to.push_back(member);
    for (const Newcomer& n : newcomers_)
        if (n.contact != from)
            to.push_back(n.contact);
    if (!to.empty())
        link_.send(msg, to);
    return true;
}
