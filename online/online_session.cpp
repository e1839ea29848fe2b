#include "online_session.h"

#include "game_protocol.h"
#include "lobby_extensions.h"
#include "lobby_peer_ticket.h"
#include "lobby_key_pins.h"
#include "match.h"
#include "path_peers_protocol.h"
#include "program_key_file.h"
#include "remote_steps.h"
#include "shown_text.h"

#include <QTimer>
#include <algorithm>
#include <chrono>

namespace {

// More than the hops of any turn: what a member may send before the host's
// start reaches us.
constexpr std::size_t kMaxEarlySteps = 512;

QString NameOf(const TpContact& contact) {
    return contact ? Shown(contact->Name) : QString();
}

// An error's text on one line of the log.
QString OneLine(const char* text) {
    return QString::fromUtf8(text).replace("\r\n", " ").replace('\n', ' ');
}

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int CountOpen(const SeatKinds& kinds) {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), skOpen));
}

} // namespace

OnlineSession::OnlineSession(View view)
    : view_(std::move(view)),
      host_({.send =
                 [this](const TQMsg& msg, const std::vector<TpContact>& to) {
                     TQMsg& out = hc_.NewMsg(msg.MsgType);
                     out = msg;
                     out.Recipients = to;
                     hc_.SendMsg(smResend, true);
                 },
             .log = [this](const QString& line) { Log(line); }}),
      guest_({.log = [this](const QString& line) { Log(line); },
              .start = [this](const TTakenGame& game) { RunningGameTaken(game); }}) {
    CreateMessaging();
}

void OnlineSession::SetMatch(Match* match) {
    match_ = match;
    host_.SetMatch(match);
    guest_.SetMatch(match);
}

void OnlineSession::CreateMessaging() {
    hc_.setPort(kPeerPort);
    hc_.setTimeout(kPeerTimeout);
    hc_.setPacketRetries(0);
    hc_.setMaxConnections(0);
    // Each event is a handler of its own: an error in it is shown, and the
    // component goes on with the next message.
    const auto guarded = [this](auto handler) {
        return [this, handler](auto&&... args) {
            try {
                (this->*handler)(args...);
            } catch (const std::exception& e) {
                view_.showError(QString::fromUtf8(e.what()));
            }
        };
    };
    hc_.OnNewClient = guarded(&OnlineSession::hcNewClient);
    hc_.OnGotMsg = guarded(&OnlineSession::hcGotMsg);
    hc_.OnGotAck = guarded(&OnlineSession::hcGotAck);
    hc_.OnConnectionSuccess = guarded(&OnlineSession::hcConnectionSuccess);
    hc_.OnConnectionFailed = guarded(&OnlineSession::hcConnectionFailed);
    hc_.OnClientDisconnection = guarded(&OnlineSession::hcClientDisconnection);
    hc_.OnTimeout = guarded(&OnlineSession::hcTimeout);
    hc_.OnConnected = guarded(&OnlineSession::hcConnected);
    // A datagram that found no way out after its send returned (a name
    // that does not resolve): shown like any other error, never thrown
    // through the event loop.
    hc_.OnError = [this](const std::string& text) { view_.showError(QString::fromUtf8(text)); };
    SealWithProgramKey();
    hc_.setLateJoinerRule([this](const TLateJoiner& joiner) {
        // Only a lobby of ours, or our announcement on this network, lists
        // a game under way: a request past the start from anywhere else is
        // what it always was, one too many.
        if (!paths_.Usable() && !(lanGame_ && lanGame_->Running()))
            return TLateEntry::kRefused;
        const RunningGameHost::Role role =
            host_.Decide({joiner.tavloNumber, joiner.name, joiner.key},
                         joiner.Offered() && MembersMeshable(nullptr));
        return role == RunningGameHost::Role::kRejoin  ? TLateEntry::kMember
               : role == RunningGameHost::Role::kWatch ? TLateEntry::kWatcher
                                                       : TLateEntry::kRefused;
    });
    http_.HandleRedirects = true;
}

void OnlineSession::Log(const QString& line) const {
    view_.log(line);
}

// --- The lobby ---------------------------------------------------------------

void OnlineSession::LoggedIn(const TLoginReply& reply, const std::string& userName) {
    lobby_.sessionId = reply.sessionId;
    lobby_.playerNumber = reply.playerNumber;
    hc_.setTavloNumber(lobby_.playerNumber);
    lobby_.nickname = NicknameOf(userName);
    hc_.setClientName(userName);
    thisNetworkOnly_ = false;
}

void OnlineSession::TakeLobbyItems(const TLobbyItems& items) {
    const bool ipv6 = http_.Host.find(':') != std::string::npos && http_.Host.front() != '[';
    const std::string lobbyHost =
        (ipv6 ? "[" + http_.Host + "]" : http_.Host) + ":" + std::to_string(http_.Port);
    paths_.TakeLobbyItems(CheckedLobbyItems(TLobbyKeyPins(TLobbyKeyPins::DefaultFile()), lobbyHost,
                                            items, [this](const std::string& line) {
                                                Log(QString::fromStdString(line));
                                            }));
}

const TProgramKey& OnlineSession::ProgramKey() {
    return ProgramKeyPair().publicKey;
}

const TProgramKeyPair& OnlineSession::ProgramKeyPair() {
    if (!programKey_) {
        const TLoadedProgramKey loaded = LoadOrMakeProgramKey(DefaultProgramKeyFile());
        if (!loaded.kept)
            Log(QString("***A key for this run only: %1").arg(QString::fromStdString(loaded.why)));
        programKey_ = loaded.pair;
    }
    return *programKey_;
}

// The links to the other players are sealed with the program's key, which
// the lobby's ticket names; in a game of our lobby every peer must show
// its ticket.  Elsewhere keys go unchecked.
void OnlineSession::SealWithProgramKey() {
    hc_.setOwnTicketSource([this] { return paths_.LobbyItems().ticket; });
    hc_.setTicketVerifier(
        [this](const std::string& ticket, const TLinkPublicKey& key, const std::string& name) {
            const std::optional<TLobbyKey>& lobbyKey = paths_.LobbyItems().lobbyKey;
            if (!lobbyGame_ || thisNetworkOnly_ || !lobbyKey)
                return std::string();
            return CheckPeerTicket(ticket, key, name, *lobbyKey, NowSeconds());
        });
    hc_.OnLog = [this](const std::string& line) { Log(QString::fromStdString("***" + line)); };
}

bool OnlineSession::EnsureLogin() {
    if (thisNetworkOnly_ || IsLoggedInToLobby())
        return true;
    switch (view_.showLogin()) {
    case Login::kLoggedIn:
        return true;
    case Login::kThisNetwork:
        thisNetworkOnly_ = true;
        return true;
    case Login::kCancelled:
        break;
    }
    return false;
}

bool OnlineSession::IsLoggedInToLobby() const {
    return IsLoggedIn(lobby_.sessionId);
}

void OnlineSession::LoginAgain(const std::function<void()>& retry,
                               const std::function<void()>& thisNetwork,
                               const std::function<void()>& giveUp) {
    switch (view_.showLogin()) {
    case Login::kLoggedIn:
        retry();
        break;
    case Login::kThisNetwork:
        thisNetworkOnly_ = true;
        thisNetwork();
        break;
    case Login::kCancelled:
        giveUp();
        break;
    }
}

void OnlineSession::Publish(int openSeats, std::function<std::string()> gameName,
                            std::function<void(bool)> done) {
    if (!EnsureLogin()) {
        done(false);
        return;
    }
    if (thisNetworkOnly_)
        AnnounceOnThisNetwork(openSeats, gameName(), done);
    else
        PublishOnce(openSeats, std::move(gameName), std::move(done));
}

// No lobby: the game is announced on this network while it waits for
// players, and nothing is reported anywhere.
void OnlineSession::AnnounceOnThisNetwork(int openSeats, const std::string& gameName,
                                          const std::function<void(bool)>& done) {
    try {
        lanGame_ = std::make_unique<TLanHostAnnouncement>(hc_.LocalAddress());
        lanGame_->Start(gameName, LanPlayersText(match_ ? match_->Kinds() : SeatKinds{}));
    } catch (const std::exception& e) {
        lanGame_.reset();
        view_.showError(QString::fromUtf8(e.what()));
        done(false);
        return;
    }
    lobby_.gameNumber = 0;
    WaitForPlayers(openSeats);
    done(true);
}

void OnlineSession::WaitForPlayers(int openSeats) {
    hc_.setClientName(lobby_.nickname);
    hc_.setMaxConnections(openSeats);
    lobbyGame_ = lobby_.gameNumber > 0 && paths_.Usable();
    Log(QString("***Multiplayer game started. Waiting for %1 players").arg(openSeats));
    ForgetPeers();
    stage_ = Stage::kHostWaiting;
    paths_.Hosting(lobby_.gameNumber);
}

void OnlineSession::PublishOnce(int openSeats, std::function<std::string()> gameName,
                                std::function<void(bool)> done) {
    const std::string players = PlayersText(match_ ? match_->Kinds() : SeatKinds{});
    const std::string target = PublishTarget(lobby_.sessionId, gameName(), players);
    requests_.Get(
        target,
        [this, openSeats, gameName, done](const std::string& reply) {
            const std::optional<int32_t> number = ParsePublishReply(reply);
            if (!number) {
                // A refusal is taken for a session the lobby no longer knows.
                LoginAgain([=, this] { PublishOnce(openSeats, gameName, done); },
                           [=, this] { AnnounceOnThisNetwork(openSeats, gameName(), done); },
                           [done] { done(false); });
                return;
            }
            lobby_.gameNumber = *number;
            WaitForPlayers(openSeats);
            done(true);
        },
        [this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                view_.showError(QString::fromUtf8(e.what()));
            }
        });
}

void OnlineSession::ListGames(
    std::function<void(std::optional<std::vector<TGameListEntry>>)> done) {
    if (!EnsureLogin())
        done(std::nullopt);
    else if (thisNetworkOnly_)
        done(std::vector<TGameListEntry>{});
    else
        ListOnce(std::move(done));
}

// Games under way are listed too ("playing 2/2"): a player may come back
// into his own or watch another.
void OnlineSession::ListOnce(std::function<void(std::optional<std::vector<TGameListEntry>>)> done) {
    // A lobby of ours also says which hosts speak our extensions.
    const bool extended = paths_.Usable();
    requests_.Get(
        extended ? RunningListTarget(lobby_.sessionId) : ListTarget(lobby_.sessionId),
        [this, done, extended](const std::string& reply) {
            const std::optional<std::vector<TGameListEntry>> games =
                extended ? ListedGames(reply) : ParseGameList(reply);
            if (games)
                done(games);
            else // a session the lobby no longer knows
                LoginAgain([=, this] { ListOnce(done); },
                           [done] { done(std::vector<TGameListEntry>{}); },
                           [done] { done(std::nullopt); });
        },
        [this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                view_.showError(QString::fromUtf8(e.what()));
            }
        });
}

// The games of a list with running games: those waiting for players and
// those under way, which a player may come back into or watch; the
// details of each go to the paths.
std::optional<std::vector<TGameListEntry>> OnlineSession::ListedGames(const std::string& reply) {
    const std::optional<std::vector<TListedGame>> listed = ParseRunningGameList(reply);
    if (!listed)
        return std::nullopt;
    paths_.Listed(*listed);
    std::vector<TGameListEntry> games;
    for (const TListedGame& game : *listed)
        games.push_back(game.entry);
    return games;
}

void OnlineSession::Join(const std::string& address, bool thisNetwork) {
    Log("***Trying to join remote computer...");
    ForgetPeers();
    hc_.setMaxConnections(0); // a joiner admits nobody until the host says
    guest_.Reset();
    SetEnabled(true);
    stage_ = Stage::kJoining;
    // Towards a host of ours the request waits for a path through the
    // routers (or for the try to give up); else it goes to the address.
    lobbyGame_ = false;
    const bool throughPath = paths_.Join(address, [this, address] {
        if (stage_ == Stage::kJoining && hc_.Enabled())
            hc_.Connect(address);
    });
    lobbyGame_ = throughPath; // a host our lobby lists
    if (!throughPath)
        hc_.Connect(address, thisNetwork);
}

void OnlineSession::RefreshGame(int32_t newPlayer, int32_t newGameState, int32_t winner) {
    if (lobby_.gameNumber <= 0)
        return;
    reports_.push_back(
        RefreshTarget(lobby_.sessionId, lobby_.gameNumber, newPlayer, newGameState, winner));
    SendReports();
}

void OnlineSession::SendReports() {
    if (reporting_ || reports_.empty())
        return;
    reporting_ = true;
    const std::string target = reports_.front();
    reports_.pop_front();
    requests_.Get(
        target,
        [this](const std::string&) { // the reply is not looked at
            reporting_ = false;
            SendReports();
        },
        [this](std::exception_ptr error) {
            reporting_ = false;
            reports_.clear();
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                Log(QString("***Couldn't report to the lobby: %1").arg(OneLine(e.what())));
            }
        });
}

void OnlineSession::RefreshTick() {
    if (!requests_.Busy() && reports_.empty())
        RefreshGame(0, 0, 0);
}

void OnlineSession::ReportWin(int colour) {
    const TpContact player = SeatContact(colour);
    RefreshGame(0, kLobbyGameWon, player ? player->TavloNumber : 0);
    // The lobby has heard the end of its game: no refresh after it.
    lobby_.gameNumber = 0;
    paths_.GameOver();
    if (lanGame_)
        lanGame_->Stop();
}

// --- Players and contacts --------------------------------------------------------

bool OnlineSession::IsContact(const TpContact& contact) const {
    for (int i = 0; i < hc_.ContactCount(); ++i)
        if (hc_.Contacts(i) == contact)
            return true;
    return false;
}

PlayerId OnlineSession::KnownPlayer(const TpContact& contact) const {
    const auto known = std::find(players_.begin(), players_.end(), contact);
    return contact && known != players_.end() ? static_cast<PlayerId>(known - players_.begin()) + 1
                                              : kNoPlayer;
}

PlayerId OnlineSession::PlayerIdOf(const TpContact& contact) {
    if (!contact)
        return kNoPlayer;
    if (const PlayerId known = KnownPlayer(contact); known != kNoPlayer)
        return known;
    players_.push_back(contact);
    return static_cast<PlayerId>(players_.size());
}

TpContact OnlineSession::ContactOf(PlayerId player) const {
    return player > 0 && player <= static_cast<PlayerId>(players_.size()) ? players_[player - 1]
                                                                          : nullptr;
}

TpContact OnlineSession::SeatContact(int colour) const {
    return match_ ? ContactOf(match_->seat(colour).player) : nullptr;
}

QString OnlineSession::SeatPlayerName(int colour) const {
    return NameOf(SeatContact(colour));
}

// A new online game talks to its own peers only: the contacts of an
// earlier one, which disabling the component keeps, are dropped.
void OnlineSession::ForgetPeers() {
    if (hc_.Enabled() && hc_.ContactCount() > 0)
        hc_.Disconnect(false);
    while (hc_.ContactCount() > 0)
        hc_.DeleteContact(hc_.ContactCount() - 1);
    hostContact_.reset();
    awaitedAddresses_ = {};
    players_.clear();
    earlySteps_.clear();
    paths_.End();
}

void OnlineSession::SetEnabled(bool on) {
    if (!on) {
        // Whatever online game there was is over for this program, and so
        // for the lobby: no more refreshes or reports for it.
        EndListing();
        stage_ = Stage::kOff;
        hostContact_.reset();
        host_.Stop();
        guest_.Reset();
        WatchersChanged();
        if (match_)
            match_->ForgetRemoteSteps();
        earlySteps_.clear();
        lobby_.gameNumber = 0;
        lanGame_.reset();
        paths_.End();
    }
    if (on && !hc_.Enabled()) {
        const TProgramKeyPair& own = ProgramKeyPair();
        hc_.setKeyPair({own.publicKey, own.secretKey});
    }
    if (on != hc_.Enabled())
        hc_.setEnabled(on);
}

void OnlineSession::Close() {
    requests_.Cancel(); // a request that waits would hold the close up
    paths_.End();
    try {
        hc_.Disconnect(true);
    } catch (const std::exception&) {
        // The peers will time us out.
    }
}

// --- Admission and start ---------------------------------------------------

void OnlineSession::hcNewClient(const TQMsg& /*aMsg*/, const TpContact& aContact) {
    paths_.ContactKnown(aContact);
    if (stage_ == Stage::kHostWaiting)
        SeatJoiner(aContact);
    else if (host_.Running())
        WelcomeLateJoiner(aContact);
    else { // a member the host admitted, or one back in a running game
        if (stage_ == Stage::kPlaying)
            MemberAnnounced(aContact);
        Log(QString("*** %1 joined the game").arg(NameOf(aContact)));
    }
}

void OnlineSession::SeatJoiner(const TpContact& joiner) {
    int seat = 0;
    while (seat < kColours && match_ && match_->seat(seat).kind != skOpen)
        ++seat;
    if (!match_ || seat == kColours) { // the table is full: he watches
        Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
        return;
    }
    match_->SetSeat(seat, skRemote, PlayerIdOf(joiner));
    WriteSeat(hc_.NewMsg(gmSeat), {seat, hc_.MaxConnections()});
    hc_.SendMsg(smSender, true);
    Log(QString("*** %1 joined the game").arg(NameOf(joiner)));
    Log(QString("%1 more players needed to start.").arg(hc_.MaxConnections() - hc_.ContactCount()));
    // The lobby hears of it later; the game does not wait for it.
    RefreshGame(joiner->TavloNumber, 0, 0);
    paths_.TellMembers(Members());
    if (lanGame_)
        lanGame_->SetPlayers(LanPlayersText(match_->Kinds()));
    if (CountOpen(match_->Kinds()) > 0)
        return;
    RefreshGame(0, kLobbyGameStarted, 0);
    if (lanGame_)
        lanGame_->SetRunning(LanPlayersText(match_->Kinds()));
    // Started once the admission is over: the joiner must first be told of
    // the other members, whose addresses the seat table names.
    QTimer::singleShot(0, [this] {
        try {
            StartHostedGame();
        } catch (const std::exception& e) {
            view_.showError(QString::fromUtf8(e.what()));
        }
    });
}

void OnlineSession::StartHostedGame() {
    if (stage_ != Stage::kHostWaiting || !match_ || CountOpen(match_->Kinds()) > 0)
        return; // a player left meanwhile: wait for the next one
    std::array<std::string, kColours> addresses;
    std::array<TpContact, kColours> players;
    for (int i = 0; i < kColours; ++i) {
        players[i] = SeatContact(i);
        if (players[i])
            addresses[i] = players[i]->Address;
    }
    const SeatKinds kinds = match_->Kinds();
    WriteStart(hc_.NewMsg(gmStart), HostStartTable(kinds, addresses));
    hc_.SendMsg(smAll, true);
    std::array<int32_t, kColours> accounts{};
    std::array<std::string, kColours> names;
    RunningGameHost::Keys keys;
    for (int i = 0; i < kColours; ++i) {
        accounts[i] = players[i] ? players[i]->TavloNumber : 0;
        names[i] = players[i] ? players[i]->Name : kinds[i] == skHuman ? hc_.ClientName() : "";
        if (players[i])
            keys[i] = hc_.PeerKey(players[i]);
    }
    StartGame(kinds, players);
    // From now on every connect request is a latecomer's.
    hc_.setMaxConnections(0);
    if (match_)
        host_.Start(*match_, accounts, names, keys);
}

void OnlineSession::StartGame(const SeatKinds& kinds,
                              const std::array<TpContact, kColours>& players) {
    std::array<PlayerId, kColours> ids{};
    for (int i = 0; i < kColours; ++i)
        ids[i] = PlayerIdOf(players[i]);
    stage_ = Stage::kPlaying;
    paths_.Started();
    view_.startGame(kinds, ids);
}

// Handed to the game once its seats are known and before its first turn,
// so that they keep their place before anything the members send later.
void OnlineSession::GameLaidOut() {
    std::deque<EarlyStep> steps;
    steps.swap(earlySteps_);
    for (const EarlyStep& step : steps) {
        const PlayerId player = KnownPlayer(step.sender);
        if (step.kind == gmMove)
            match_->RemoteMove(player, step.number, step.direction);
        else
            match_->RemoteEndTurn(player);
    }
}

void OnlineSession::hcConnectionSuccess() {
    hostContact_ = hc_.Contacts(hc_.ContactCount() - 1);
    paths_.ContactKnown(hostContact_);
    Log("***Connected to the server... Waiting for other players.");
}

void OnlineSession::hcConnectionFailed(const TpContact& /*aContact*/, int aReason) {
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

void OnlineSession::hcTimeout(const TQMsg& aMsg, const TpContact& /*aContact*/) {
    Log(QString("*** Message # %1 has timed out").arg(aMsg.MsgType));
}

// A member learned after the start: the seat that waited for his address.
void OnlineSession::hcConnected() {
    for (int i = 0; i < hc_.ContactCount(); ++i)
        paths_.ContactKnown(hc_.Contacts(i));
    for (int i = 0; i < kColours; ++i) {
        if (awaitedAddresses_[i].empty())
            continue;
        const int index = hc_.IndexOfAddress(awaitedAddresses_[i]);
        if (index < 0)
            continue;
        awaitedAddresses_[i].clear();
        const TpContact player = hc_.Contacts(index);
        if (match_)
            match_->SetSeatPlayer(i, PlayerIdOf(player));
        view_.seatNamed(i, NameOf(player));
    }
}

void OnlineSession::TakeSeat(const TQMsg& msg) {
    const std::optional<TSeatGrant> grant = ReadSeat(msg);
    if (!grant || !match_)
        return;
    match_->SetSeat(grant->seat, skHuman);
    hc_.setMaxConnections(grant->maxConnections);
    Log(QString("%1 more players needed to start.").arg(hc_.MaxConnections() - hc_.ContactCount()));
}

void OnlineSession::TakeSeatTable(const TQMsg& msg, const TpContact& host) {
    const std::optional<TStartTable> table = ReadStart(msg);
    if (!table || !match_)
        return;
    SeatKinds kinds = match_->Kinds();
    std::array<TpContact, kColours> players;
    for (int i = 0; i < kColours; ++i) {
        if (kinds[i] != skRemote)
            continue; // our own seat
        kinds[i] = table->kinds[i];
        const std::string& address = table->addresses[i];
        if (kinds[i] != skRemote)
            continue;
        const int index = hc_.IndexOfAddress(address);
        if (address == kHostSeatAddress)
            players[i] = host;
        else if (index >= 0)
            players[i] = hc_.Contacts(index);
        else
            awaitedAddresses_[i] = address;
    }
    Log("***Game started");
    StartGame(kinds, players);
}

// --- The game's messages ---------------------------------------------------

void OnlineSession::hcGotMsg(const TQMsg& aMsg, const TpContact& aContact) {
    const bool joining = stage_ == Stage::kJoining;
    const bool fromJoinedHost = aContact && aContact == hostContact_;
    const bool fromHost = joining && fromJoinedHost;
    if (fromJoinedHost && guest_.Take(aMsg))
        return;
    if (guest_.Taken() && (aMsg.MsgType == gmMove || aMsg.MsgType == gmEndTurn))
        return; // a newcomer follows the host's relays only
    switch (aMsg.MsgType) {
    case gmWatcherChat:
        if (const std::optional<TWatcherChat> chat = ReadWatcherChat(aMsg)) {
            if (host_.Running())
                host_.WatcherChat(aContact, chat->text, Members());
            else if (fromJoinedHost)
                Log(QString("%1 (watching): %2").arg(Shown(chat->name), Shown(chat->text)));
        }
        break;
    case gmSeatBack:
        if (fromJoinedHost && stage_ == Stage::kPlaying)
            TakeSeatBack(aMsg);
        break;
    case gmChat:
        if (const std::optional<std::string> text = ReadChat(aMsg); text && IsContact(aContact)) {
            Log(QString("%1: %2").arg(NameOf(aContact), Shown(*text)));
            if (host_.Running())
                host_.PlayerChat(aContact, *text);
        }
        break;
    case gmPlayerChat:
        if (fromJoinedHost && guest_.Watching())
            if (const std::optional<TWatcherChat> chat = ReadWatcherChat(aMsg))
                Log(QString("%1: %2").arg(Shown(chat->name), Shown(chat->text)));
        break;
    case gmEndTurn:
        if (joining)
            KeepEarlyStep(aMsg, aContact);
        else if (match_)
            match_->RemoteEndTurn(KnownPlayer(aContact));
        break;
    case gmMove:
        if (joining)
            KeepEarlyStep(aMsg, aContact);
        else if (const std::optional<TGameMove> move = ReadMove(aMsg); move && match_)
            match_->RemoteMove(KnownPlayer(aContact), move->number, move->direction);
        break;
    case gmSeat:
        if (fromHost)
            TakeSeat(aMsg);
        break;
    case gmStart:
        if (fromHost)
            TakeSeatTable(aMsg, aContact);
        break;
    case gmPathPeers:
        if (aContact && aContact == hostContact_ && hc_.SpeaksReliable(aContact))
            paths_.MembersTold(aMsg);
        break;
    default:
        break;
    }
}

// A member who has the host's start already may move before it reaches
// us; his steps wait for our game.
void OnlineSession::KeepEarlyStep(const TQMsg& msg, const TpContact& sender) {
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

void OnlineSession::hcGotAck(const TQMsg& aMsg, const TpContact& /*aContact*/) {
    // The own chat line shows once per player who received it.
    if (aMsg.MsgType == gmChat)
        Log(QString("%1: %2").arg(Shown(hc_.ClientName()), Shown(aMsg.StrAt(0))));
}

void OnlineSession::SendChat(const std::string& text) {
    if (guest_.Watching()) { // to the host, who passes it on
        WriteWatcherChat(hc_.NewMsg(gmWatcherChat), {hc_.ClientName(), text});
        hc_.SendMsg(smAll, true);
        Log(QString("%1 (watching): %2").arg(Shown(hc_.ClientName()), Shown(text)));
        return;
    }
    WriteChat(hc_.NewMsg(gmChat), text);
    hc_.SendMsg(smAll, true);
}

// Hops and ends of turn of a human at this computer go to every peer; in a
// local game there is nobody to tell.
void OnlineSession::SendMove(int number, int direction) {
    if (!hc_.Enabled() || guest_.Watching())
        return;
    TQMsg& move = hc_.NewMsg(gmMove);
    WriteMove(move, {number, direction});
    SendToPlayers(move);
    if (match_)
        host_.MovePlayed(match_->state().currentSeat, number, direction);
}

void OnlineSession::SendEndTurn() {
    if (!hc_.Enabled() || guest_.Watching())
        return;
    SendToPlayers(hc_.NewMsg(gmEndTurn));
    if (match_)
        host_.EndTurnPlayed(match_->state().currentSeat);
}

// --- Leaving ---------------------------------------------------------------

void OnlineSession::hcClientDisconnection(const TpContact& aContact, int aReason) {
    if (aContact && !IsContact(aContact) && hc_.IndexOfAddress(aContact->Address) >= 0)
        return; // the record of a member who came back: he is here
    if (host_.IsNewcomer(aContact)) {
        host_.Gone(aContact);
        WatchersChanged();
    }
    const PlayerId player = KnownPlayer(aContact);
    if (player == kNoPlayer || !match_) // he held no seat: only the log tells of him
        PlayerGoneLine(aContact, aReason);
    else
        match_->PlayerLeft(player, aReason);
}

void OnlineSession::PlayerGone(PlayerId player, int reason) {
    PlayerGoneLine(ContactOf(player), reason);
}

void OnlineSession::PlayerGoneLine(const TpContact& contact, int reason) {
    Log(QString(reason == kReasonTimedOut ? "*** %1 has timed out" : "*** %1 has left the game")
            .arg(NameOf(contact)));
}

// --- Late joiners ------------------------------------------------------------

// The message NewMsg began (`msg`), to every player: the host's watchers
// get the host's steps as relays, tagged with their seat, and not twice.
void OnlineSession::SendToPlayers(TQMsg& msg) {
    if (!host_.Running()) {
        hc_.SendMsg(smAll, true);
        return;
    }
    msg.Recipients = Members();
    hc_.SendMsg(smResend, true);
}

// A player may come back only when every member and he himself can hear
// each other as the extension has them; else he watches.
bool OnlineSession::MembersMeshable(const TpContact& newcomer) const {
    if (newcomer && !hc_.SpeaksReliable(newcomer))
        return false;
    for (const TpContact& member : Members())
        if (member != newcomer && !hc_.SpeaksReliable(member))
            return false;
    return true;
}

// Those who play the game with the host, without the latecomers.
std::vector<TpContact> OnlineSession::Members() const {
    std::vector<TpContact> members;
    for (int i = 0; i < hc_.ContactCount(); ++i)
        if (!host_.IsNewcomer(hc_.Contacts(i)))
            members.push_back(hc_.Contacts(i));
    return members;
}

void OnlineSession::WelcomeLateJoiner(const TpContact& newcomer) {
    const std::vector<TpContact> members = Members();
    const PlayerId player = PlayerIdOf(newcomer);
    const std::optional<TLinkPublicKey> key = hc_.PeerKey(newcomer);
    const RunningGameHost::Role role = host_.Welcome(newcomer, player, MembersMeshable(newcomer),
                                                     members, key ? &*key : nullptr);
    if (role == RunningGameHost::Role::kRefused) {
        // No room to watch: he hears nothing and times out.
        Log(QString("*** %1 joined the game").arg(NameOf(newcomer)));
        return;
    }
    if (role == RunningGameHost::Role::kRejoin) {
        if (match_)
            for (int colour = 0; colour < kColours; ++colour)
                if (match_->seat(colour).player == player)
                    view_.seatNamed(colour, NameOf(newcomer));
        // His paths to the other members went with his old program.
        std::vector<TpContact> mesh = members;
        if (std::find(mesh.begin(), mesh.end(), newcomer) == mesh.end())
            mesh.push_back(newcomer);
        paths_.TellMembers(mesh);
    }
    WatchersChanged();
}

// A member announced again while the game runs is a player back from a
// restart at the same address: his new record takes the old one's place
// and number, so his seat stays his.
void OnlineSession::MemberAnnounced(const TpContact& member) {
    for (int i = hc_.ContactCount() - 1; i >= 0; --i) {
        const TpContact old = hc_.Contacts(i);
        if (old == member || old->Address != member->Address)
            continue;
        std::replace(players_.begin(), players_.end(), old, member);
        hc_.RemoveContact(old);
    }
}

// The host says a player is back: his seat is his again from the turn it
// names (or at once while it still waits for him).
void OnlineSession::TakeSeatBack(const TQMsg& msg) {
    const std::optional<TSeatBack> back = ReadSeatBack(msg);
    if (!back || !match_)
        return;
    const int index = hc_.IndexOfAddress(back->address);
    if (index < 0)
        return;
    const TpContact player = hc_.Contacts(index);
    const PlayerId id = PlayerIdOf(player);
    const Seat& seat = match_->seat(back->seat);
    if (seat.kind == skRemote)
        match_->SetSeatPlayer(back->seat, id);
    else if (seat.kind != skNone && seat.kind != skHuman)
        match_->ReturnSeat(back->seat, skRemote, id, {back->seat, back->atTurn});
    Log(QString("*** %1 is back in the game").arg(NameOf(player)));
    view_.seatNamed(back->seat, NameOf(player));
}

void OnlineSession::RunningGameTaken(const TTakenGame& game) {
    stage_ = Stage::kPlaying;
    earlySteps_.clear();
    if (view_.joinRunning)
        view_.joinRunning(game);
    for (int colour = 0; colour < kColours; ++colour)
        if (!game.seats.names[colour].empty())
            view_.seatNamed(colour, Shown(game.seats.names[colour]));
}

void OnlineSession::WatchersChanged() {
    if (!view_.watchersChanged)
        return;
    QStringList names;
    for (const std::string& name : host_.WatcherNames())
        names << Shown(name);
    view_.watchersChanged(names);
}

// A game that ends without a winner leaves the list of a lobby of ours at
// once; a lobby of the written protocol knows no such request.
void OnlineSession::EndListing() {
    if (lobby_.gameNumber <= 0 || !IsLoggedInToLobby() || stage_ == Stage::kOff ||
        !paths_.Usable())
        return;
    reports_.push_back(EndGameTarget(lobby_.sessionId, lobby_.gameNumber));
    SendReports();
}

void OnlineSession::StepPlayed(const RemoteStep& step, int seat) {
    if (step.kind == RemoteStep::kMove)
        host_.MovePlayed(seat, step.number, step.direction);
    else if (step.kind == RemoteStep::kEndTurn)
        host_.EndTurnPlayed(seat);
}

void OnlineSession::SeatHandedOver(int colour) {
    host_.SeatHandedOver(colour, kReasonLeft);
}
