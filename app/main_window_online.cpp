// The game over the peer messaging: the host seats each joiner and starts
// the game when its Open seats are taken; every program replays the human
// moves of the others hop by hop, plays the computer seats itself, chats,
// and hands the seat of a player who leaves to its computer.
//
// A message is taken only from whoever may send it: moves and ends of turn
// from the player of a Remote seat, the seat and the start from the host
// this program joined, chat from any contact.  The rest is acknowledged by
// the messaging and dropped.
#include "main_window.h"
#include "rules.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

namespace {

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A peer's text on one line of the log: its line breaks and other control
// characters could otherwise pass for lines of our own.
QString Shown(const std::string& text) {
    QString shown = Text(text);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = ' ';
    return shown;
}

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

// --- Admission and start ---------------------------------------------------

void TfMain::hcNewClient(const TQMsg& /*aMsg*/, const TpContact& aContact) {
    if (online_ == Online::kHostWaiting)
        SeatJoiner(aContact);
    else // a member the host admitted, or a latecomer to a running game
        Log(QString("*** %1 joined the game").arg(NameOf(aContact)));
}

void TfMain::SeatJoiner(const TpContact& joiner) {
    int seat = 0;
    while (seat < kColours && seats[seat].kind != skOpen)
        ++seat;
    if (seat == kColours) { // the table is full: he watches
        Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
        return;
    }
    seats[seat].kind = skRemote;
    seats[seat].contact = joiner;
    WriteSeat(hc.NewMsg(gmSeat), {seat, hc.MaxConnections()});
    hc.SendMsg(smSender, true);
    Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
    Log(QString("%1 more players needed to start.").arg(hc.MaxConnections() - hc.ContactCount()));
    // The lobby hears of it; a lobby that fails does not stop the game.
    RefreshGameShowingErrors(joiner->TavloNumber, 0, 0);
    for (const Seat& later : seats)
        if (later.kind == skOpen)
            return;
    RefreshGameShowingErrors(0, kLobbyGameStarted, 0);
    // Started once the admission is over: the joiner must first be told of
    // the other members, whose addresses the seat table names.
    QTimer::singleShot(0, this, [this] { ShowingErrors([this] { StartHostedGame(); }); });
}

void TfMain::StartHostedGame() {
    for (const Seat& seat : seats)
        if (seat.kind == skOpen)
            return; // a player left meanwhile: wait for the next one
    if (online_ != Online::kHostWaiting)
        return;
    std::array<SeatKind, kColours> kinds{};
    std::array<std::string, kColours> addresses;
    for (int i = 0; i < kColours; ++i) {
        kinds[i] = seats[i].kind;
        if (seats[i].contact)
            addresses[i] = seats[i].contact->Address;
    }
    WriteStart(hc.NewMsg(gmStart), HostStartTable(kinds, addresses));
    hc.SendMsg(smAll, true);
    StartOnlineGame();
}

void TfMain::StartOnlineGame() {
    online_ = Online::kPlaying;
    interruptRequested = true;
    aNewGame->setEnabled(true);
    aNewGame->trigger();
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
        seats[i].contact = hc.Contacts(index);
        if (seats[i].nameLabel) {
            seats[i].nameLabel->setText(NameOf(seats[i].contact));
            seats[i].nameLabel->adjustSize();
        }
    }
}

void TfMain::TakeSeat(const TQMsg& msg) {
    const std::optional<TSeatGrant> grant = ReadSeat(msg);
    if (!grant)
        return;
    seats[grant->seat].kind = skHuman;
    hc.setMaxConnections(grant->maxConnections);
    Log(QString("%1 more players needed to start.").arg(hc.MaxConnections() - hc.ContactCount()));
}

void TfMain::TakeSeatTable(const TQMsg& msg, const TpContact& host) {
    const std::optional<TStartTable> table = ReadStart(msg);
    if (!table)
        return;
    for (int i = 0; i < kColours; ++i) {
        Seat& seat = seats[i];
        if (seat.kind != skRemote)
            continue; // our own seat
        seat.kind = table->kinds[i];
        seat.contact.reset();
        const std::string& address = table->addresses[i];
        if (seat.kind != skRemote)
            continue;
        const int index = hc.IndexOfAddress(address);
        if (address == kHostSeatAddress)
            seat.contact = host;
        else if (index >= 0)
            seat.contact = hc.Contacts(index);
        else
            awaitedAddresses_[i] = address;
    }
    Log("***Game started");
    StartOnlineGame();
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
    case gmMove:
        QueueRemoteStep(aMsg, aContact);
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

// --- Remote moves ----------------------------------------------------------

bool TfMain::HoldsRemoteSeat(const TpContact& sender) const {
    for (const Seat& seat : seats)
        if (sender && seat.kind == skRemote && seat.contact == sender)
            return true;
    return false;
}

// The sender's seat has the turn here and waits for him.
bool TfMain::HasTurn(const TpContact& sender) const {
    const int32_t current = state.currentSeat;
    return current >= 0 && current < kColours && state.phase == kPhaseRemote &&
           seats[current].kind == skRemote && seats[current].contact == sender;
}

// Every program plays the computer seats at its own pace, so a player's
// moves may arrive before this program has reached his turn (or while it
// still shows a computer move): they wait until it has, each player's in
// the order he sent them.
void TfMain::QueueRemoteStep(const TQMsg& msg, const TpContact& sender) {
    if (state.phase == kPhaseNoGame || state.currentSeat == kNoSeat || !HoldsRemoteSeat(sender))
        return; // no game, or not a player of it
    RemoteStep step{sender, msg.MsgType, {}, 0};
    if (msg.MsgType == gmMove) {
        const std::optional<TGameMove> move = ReadMove(msg);
        if (!move)
            return;
        step.move = *move;
    }
    remoteSteps_.push_back(step);
    ApplyRemoteSteps();
}

void TfMain::ApplyRemoteSteps() {
    if (applyingRemoteSteps_)
        return; // the running loop takes them up
    struct Applying {
        bool& flag;
        explicit Applying(bool& f) : flag(f) { flag = true; }
        ~Applying() { flag = false; }
    } applying(applyingRemoteSteps_);
    const uint64_t game = gameGeneration_;
    while (game == gameGeneration_ && !closing) {
        const auto next = NextRemoteStep();
        if (next == remoteSteps_.end())
            return; // nobody's turn here yet
        const RemoteStep step = *next;
        remoteSteps_.erase(next);
        if (step.kind == kLeaveStep)
            HandOverSeats(step.sender, step.reason);
        else if (!HoldsRemoteSeat(step.sender))
            continue; // he left meanwhile
        else if (step.kind == gmMove)
            ApplyRemoteMove(step.move);
        else
            NextTurn();
    }
}

// Each player's steps keep their order; between players the turn decides,
// since the network may bring a later player's moves first.
std::deque<TfMain::RemoteStep>::iterator TfMain::NextRemoteStep() {
    for (auto it = remoteSteps_.begin(); it != remoteSteps_.end(); ++it) {
        const bool first = std::none_of(remoteSteps_.begin(), it, [&](const RemoteStep& earlier) {
            return earlier.sender == it->sender;
        });
        if (!first)
            continue;
        const bool playing = it->kind != kLeaveStep && HoldsRemoteSeat(it->sender);
        if (!playing || (!computerMoving && HasTurn(it->sender)))
            return it;
    }
    return remoteSteps_.end();
}

void TfMain::ApplyRemoteMove(const TGameMove& move) {
    if (TZellhopBall* marble = marbles.FindBall(state.currentSeat, move.number))
        if (TZellhopPos* landing = ReceivedMoveDestination(*marble, move.direction))
            PlaceBall(*marble, *landing);
    CheckWin();
}

// --- Leaving ---------------------------------------------------------------

void TfMain::hcClientDisconnection(const TpContact& aContact, int aReason) {
    // A player whose moves still wait leaves after them.
    for (const RemoteStep& step : remoteSteps_) {
        if (step.sender == aContact) {
            remoteSteps_.push_back({aContact, kLeaveStep, {}, aReason});
            ApplyRemoteSteps();
            return;
        }
    }
    HandOverSeats(aContact, aReason);
    ApplyRemoteSteps();
}

void TfMain::HandOverSeats(const TpContact& leaver, int reason) {
    bool passTurn = false;
    bool playNow = false;
    // Every seat he held: a seat left waiting for a player who is gone
    // would stop the game.
    for (Seat& seat : seats) {
        if (!leaver || seat.contact != leaver || seat.kind != skRemote)
            continue;
        seat.kind = skOpen;
        seat.contact.reset();
        if (seat.nameLabel) {
            seat.nameLabel->setText("Computer");
            seat.nameLabel->adjustSize();
        }
        if (seat.colour != state.currentSeat || state.phase < 0)
            continue;
        if (state.phase >= kPhaseMoveStep)
            passTurn = true;
        else if (!beginningTurn_) // else the turn that begins plays it
            playNow = true;
    }
    if (passTurn) {
        NextTurn();
    } else if (playNow) {
        ComputerMove();
        NextTurn();
    }
    Log(QString(reason == kReasonTimedOut ? "*** %1 has timed out" : "*** %1 has left the game")
            .arg(NameOf(leaver)));
}
