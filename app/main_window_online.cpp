// The game over the peer messaging: the host seats each joiner and starts
// the game when its Open seats are taken; every program passes the hops
// and ends of turn of the others to its game, plays the computer seats
// itself, chats, and hands the seat of a player who leaves to its computer.
//
// A message is taken only from whoever may send it: moves and ends of turn
// from the player of a Remote seat (the game itself checks that), the seat
// and the start from the host this program joined, chat from any contact.
// The rest is acknowledged by the messaging and dropped.
#include "main_window.h"
#include "shown_text.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

namespace {

// More than the hops of any turn: what a member may send before the host's
// start reaches us.
constexpr std::size_t kMaxEarlySteps = 512;

QString NameOf(const TpContact& contact) {
    return contact ? Shown(contact->Name) : QString();
}

} // namespace

bool TfMain::IsContact(const TpContact& contact) const {
    for (int i = 0; i < hc.ContactCount(); ++i)
        if (hc.Contacts(i) == contact)
            return true;
    return false;
}

PlayerId TfMain::KnownPlayer(const TpContact& contact) const {
    const auto known = std::find(players_.begin(), players_.end(), contact);
    return contact && known != players_.end() ? static_cast<PlayerId>(known - players_.begin()) + 1
                                              : kNoPlayer;
}

PlayerId TfMain::PlayerIdOf(const TpContact& contact) {
    if (!contact)
        return kNoPlayer;
    if (const PlayerId known = KnownPlayer(contact); known != kNoPlayer)
        return known;
    players_.push_back(contact);
    return static_cast<PlayerId>(players_.size());
}

TpContact TfMain::ContactOf(PlayerId player) const {
    return player > 0 && player <= static_cast<PlayerId>(players_.size()) ? players_[player - 1]
                                                                          : nullptr;
}

TpContact TfMain::SeatContact(int colour) const {
    return ContactOf(game_.seat(colour).player);
}

// --- Admission and start ---------------------------------------------------

void TfMain::hcNewClient(const TQMsg& /*aMsg*/, const TpContact& aContact) {
    if (online_ == Online::kHostWaiting)
        SeatJoiner(aContact);
    else // a member the host admitted, or a latecomer to a running game
        Log(QString("*** %1 joined the game").arg(NameOf(aContact)));
}

void TfMain::SeatJoiner(const TpContact& joiner) {
    int seat = 0;
    while (seat < kColours && game_.seat(seat).kind != skOpen)
        ++seat;
    if (seat == kColours) { // the table is full: he watches
        Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
        return;
    }
    game_.SetSeat(seat, skRemote, PlayerIdOf(joiner));
    WriteSeat(hc.NewMsg(gmSeat), {seat, hc.MaxConnections()});
    hc.SendMsg(smSender, true);
    Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
    Log(QString("%1 more players needed to start.").arg(hc.MaxConnections() - hc.ContactCount()));
    // The lobby hears of it later; the game does not wait for it.
    RefreshGame(joiner->TavloNumber, 0, 0);
    for (const Seat& later : game_.seats())
        if (later.kind == skOpen)
            return;
    RefreshGame(0, kLobbyGameStarted, 0);
    // Started once the admission is over: the joiner must first be told of
    // the other members, whose addresses the seat table names.
    QTimer::singleShot(0, this, [this] { ShowingErrors([this] { StartHostedGame(); }); });
}

void TfMain::StartHostedGame() {
    for (const Seat& seat : game_.seats())
        if (seat.kind == skOpen)
            return; // a player left meanwhile: wait for the next one
    if (online_ != Online::kHostWaiting)
        return;
    std::array<std::string, kColours> addresses;
    std::array<TpContact, kColours> players;
    for (int i = 0; i < kColours; ++i) {
        players[i] = SeatContact(i);
        if (players[i])
            addresses[i] = players[i]->Address;
    }
    const SeatKinds kinds = game_.Kinds();
    WriteStart(hc.NewMsg(gmStart), HostStartTable(kinds, addresses));
    hc.SendMsg(smAll, true);
    StartOnlineGame(kinds, players);
}

void TfMain::StartOnlineGame(const SeatKinds& kinds,
                             const std::array<TpContact, kColours>& players) {
    for (int i = 0; i < kColours; ++i)
        game_.SetSeat(i, kinds[i], PlayerIdOf(players[i]));
    online_ = Online::kPlaying;
    interruptRequested_ = true;
    // Not through the action: an online start is no player's input, and
    // goes ahead while the lobby is asked.
    aNewGameExecute();
    aNewGame->setEnabled(false);
}

void TfMain::hcConnectionSuccess() {
    hostContact_ = hc.Contacts(hc.ContactCount() - 1);
    Log("***Connected to the server... Waiting for other players.");
}

void TfMain::hcConnectionFailed(const TpContact& /*aContact*/, int aReason) {
    switch (aReason) {
    case kReasonNoAnswer:
        Log("***Couldn't reach the remote server");
        break;
    case kReasonFull:
        Log("***The server is full");
        break;
    case kReasonVersion:
        Log("***Version mismatch");
        break;
    default:
        break;
    }
}

void TfMain::hcTimeout(const TQMsg& aMsg, const TpContact& /*aContact*/) {
    Log(QString("*** Message # %1 has timed out").arg(aMsg.MsgType));
}

// A member learned after the start: the seat that waited for his address.
void TfMain::hcConnected() {
    for (int i = 0; i < kColours; ++i) {
        if (awaitedAddresses_[i].empty())
            continue;
        const int index = hc.IndexOfAddress(awaitedAddresses_[i]);
        if (index < 0)
            continue;
        awaitedAddresses_[i].clear();
        const TpContact player = hc.Contacts(index);
        game_.SetSeatPlayer(i, PlayerIdOf(player));
        SetSeatName(i, NameOf(player));
    }
}

void TfMain::TakeSeat(const TQMsg& msg) {
    const std::optional<TSeatGrant> grant = ReadSeat(msg);
    if (!grant)
        return;
    game_.SetSeat(grant->seat, skHuman);
    hc.setMaxConnections(grant->maxConnections);
    Log(QString("%1 more players needed to start.").arg(hc.MaxConnections() - hc.ContactCount()));
}

void TfMain::TakeSeatTable(const TQMsg& msg, const TpContact& host) {
    const std::optional<TStartTable> table = ReadStart(msg);
    if (!table)
        return;
    SeatKinds kinds = game_.Kinds();
    std::array<TpContact, kColours> players;
    for (int i = 0; i < kColours; ++i) {
        if (kinds[i] != skRemote)
            continue; // our own seat
        kinds[i] = table->kinds[i];
        const std::string& address = table->addresses[i];
        if (kinds[i] != skRemote)
            continue;
        const int index = hc.IndexOfAddress(address);
        if (address == kHostSeatAddress)
            players[i] = host;
        else if (index >= 0)
            players[i] = hc.Contacts(index);
        else
            awaitedAddresses_[i] = address;
    }
    Log("***Game started");
    StartOnlineGame(kinds, players);
}

// --- The game's messages ---------------------------------------------------

void TfMain::hcGotMsg(const TQMsg& aMsg, const TpContact& aContact) {
    const bool fromHost = online_ == Online::kJoining && aContact && aContact == hostContact_;
    switch (aMsg.MsgType) {
    case gmChat:
        if (const std::optional<std::string> text = ReadChat(aMsg); text && IsContact(aContact))
            Log(QString("%1: %2").arg(NameOf(aContact), Shown(*text)));
        break;
    case gmEndTurn:
        if (online_ == Online::kJoining)
            KeepEarlyStep(aMsg, aContact);
        else
            game_.RemoteEndTurn(KnownPlayer(aContact));
        break;
    case gmMove:
        if (online_ == Online::kJoining)
            KeepEarlyStep(aMsg, aContact);
        else if (const std::optional<TGameMove> move = ReadMove(aMsg))
            game_.RemoteMove(KnownPlayer(aContact), move->number, move->direction);
        break;
    case gmSeat:
        if (fromHost)
            TakeSeat(aMsg);
        break;
    case gmStart:
        if (fromHost)
            TakeSeatTable(aMsg, aContact);
        break;
    default:
        break;
    }
}

// A member who has the host's start already may move before it reaches
// us; his steps wait for our game.
void TfMain::KeepEarlyStep(const TQMsg& msg, const TpContact& sender) {
    if (!IsContact(sender) || earlySteps_.size() >= kMaxEarlySteps)
        return;
    EarlyStep step{sender, msg.MsgType};
    if (msg.MsgType == gmMove) {
        const std::optional<TGameMove> move = ReadMove(msg);
        if (!move)
            return;
        step.number = move->number;
        step.direction = move->direction;
    }
    earlySteps_.push_back(step);
}

// Handed to the game once its seats are known and before its first turn,
// so that they keep their place before anything the members send later.
void TfMain::PlayEarlySteps() {
    std::deque<EarlyStep> steps;
    steps.swap(earlySteps_);
    for (const EarlyStep& step : steps) {
        const PlayerId player = KnownPlayer(step.sender);
        if (step.kind == gmMove)
            game_.RemoteMove(player, step.number, step.direction);
        else
            game_.RemoteEndTurn(player);
    }
}

void TfMain::hcGotAck(const TQMsg& aMsg, const TpContact& /*aContact*/) {
    // The own chat line shows once per player who received it.
    if (aMsg.MsgType == gmChat)
        Log(QString("%1: %2").arg(Shown(hc.ClientName()), Shown(aMsg.StrAt(0))));
}

void TfMain::eChatKeyDown() {
    WriteChat(hc.NewMsg(gmChat), eChat->text().toStdString());
    hc.SendMsg(smAll, true);
    eChat->clear();
}

// Hops and ends of turn of a human at this computer go to every peer; in a
// local game there is nobody to tell.
void TfMain::SendMove(int number, int direction) {
    if (!hc.Enabled())
        return;
    WriteMove(hc.NewMsg(gmMove), {number, direction});
    hc.SendMsg(smAll, true);
}

void TfMain::SendEndTurn() {
    if (!hc.Enabled())
        return;
    hc.NewMsg(gmEndTurn);
    hc.SendMsg(smAll, true);
}

// --- Leaving ---------------------------------------------------------------

void TfMain::hcClientDisconnection(const TpContact& aContact, int aReason) {
    const PlayerId player = KnownPlayer(aContact);
    if (player == kNoPlayer) // he held no seat: only the log tells of him
        PlayerGoneLine(aContact, aReason);
    else
        game_.PlayerLeft(player, aReason);
}

void TfMain::SeatHandedOver(int colour) {
    SetSeatName(colour, "Computer");
}

void TfMain::PlayerGone(PlayerId player, int reason) {
    PlayerGoneLine(ContactOf(player), reason);
}

void TfMain::PlayerGoneLine(const TpContact& contact, int reason) {
    Log(QString(reason == kReasonTimedOut ? "*** %1 has timed out" : "*** %1 has left the game")
            .arg(NameOf(contact)));
}
