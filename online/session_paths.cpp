#include "session_paths.h"

#include "ice_description.h"
#include "nice_end.h"
#include "online_session.h"
#include "path_peers_protocol.h"
#include "qcomm.h"

#include <chrono>

namespace {

// Often enough for the candidate polls (a few a second) and the paths'
// deadlines.
constexpr int kTickMs = 50;
// A candidate request that has not ended by then (its connection's first
// segments lost on a lossy link) is given up: a poll is asked again at the
// next tick, a post once more, on a fresh connection.
constexpr int kCandidateRequestMs = 2000;
constexpr int kPostTries = 2;

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString OneLine(const std::string& text) {
    return QString::fromStdString(text).replace('\n', ' ');
}

// "HOST:PORT" of the lobby's relay, an IPv6 address in brackets; only
// numeric addresses are taken (the agent resolves nothing).
std::optional<TIceServer> RelayServer(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    int port = 0;
    try {
        port = std::stoi(text.substr(colon + 1));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    TIceServer server;
    if (port <= 0 || port > 65535 || !UsableIceAddress(host, server.address))
        return std::nullopt;
    server.port = static_cast<uint16_t>(port);
    return server;
}

QString PathText(TIcePathKind kind) {
    return kind == TIcePathKind::Relayed ? QStringLiteral("through the relay")
                                         : QStringLiteral("direct path");
}

} // namespace

TSessionPaths::TSessionPaths(TQComm& messaging, THttpClient& http, const LobbySession& lobby,
                             TLog log)
    : hc_(messaging), lobby_(lobby), log_(std::move(log)), requests_(http),
      keeper_([this](const std::string& target, TLobbyItemsKeeper::TAnswer answer) {
          requests_.Get(
              target, [answer](const std::string& reply) { answer(reply); },
              [answer](std::exception_ptr) { answer(std::nullopt); });
      }) {
    keeper_.OnLog = [this](const std::string& line) { log_(QString::fromStdString(line)); };
    requests_.SetTimeout(kCandidateRequestMs);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

TSessionPaths::~TSessionPaths() {
    requests_.Cancel();
    End();
}

void TSessionPaths::TakeLobbyItems(TLobbyItems items) {
    keeper_.Take(std::move(items));
    // The session's own log-in follows the items: Usable() is read later.
    if (keeper_.Extended())
        timer_.start();
    else
        timer_.stop();
}

bool TSessionPaths::Usable() const {
    return keeper_.Extended() && hc_.Reliable() && lobby_.playerNumber > 0 &&
           IsLoggedIn(lobby_.sessionId);
}

void TSessionPaths::Listed(const std::vector<TListedGame>& games) {
    listed_.clear();
    for (const TListedGame& game : games)
        if (game.details)
            listed_[game.entry.address] = *game.details;
}

bool TSessionPaths::Join(const std::string& address, std::function<void()> connect) {
    const auto found = listed_.find(address);
    if (!Usable() || found == listed_.end() || !found->second.extended ||
        found->second.hostPlayer <= 0 || found->second.hostPlayer == lobby_.playerNumber)
        return false;
    Begin(found->second.gameNumber);
    joinPeer_ = found->second.hostPlayer;
    connect_ = std::move(connect);
    paths_->Open(joinPeer_, address, TPeerPaths::TClock::now());
    return true;
}

void TSessionPaths::Hosting(int32_t gameNumber) {
    if (!Usable() || gameNumber <= 0)
        return;
    Begin(gameNumber);
    paths_->SetAnswering(true);
    MapPort();
}

void TSessionPaths::Started() {
    if (paths_)
        paths_->SetRunning(true);
}

void TSessionPaths::GameOver() {
    if (mapping_) {
        mapping_->Remove();
        mapping_.reset();
    }
}

void TSessionPaths::TellMembers(const std::vector<TpContact>& members) {
    if (!Usable() || !paths_ || members.size() < 2)
        return;
    std::vector<TPathPeer> peers;
    for (const TpContact& contact : members) {
        if (!hc_.SpeaksReliable(contact))
            return; // a program of the written protocol would see a message it never knew
        if (contact->TavloNumber > 0)
            peers.push_back({contact->Address, contact->TavloNumber});
    }
    TQMsg& msg = hc_.NewMsg(gmPathPeers);
    WritePathPeers(msg, peers);
    msg.Recipients = members;
    hc_.SendMsg(smResend, true);
}

void TSessionPaths::MembersTold(const TQMsg& msg) {
    const std::optional<std::vector<TPathPeer>> members = ReadPathPeers(msg);
    if (!members || !Usable() || !paths_)
        return;
    const auto now = TPeerPaths::TClock::now();
    for (const TPathPeer& member : *members) {
        if (member.number == lobby_.playerNumber)
            continue;
        if (ready_.count(member.address))
            paths_->Listen(now); // told again: someone came back and opens anew
        else
            paths_->Open(member.number, member.address, now);
    }
}

void TSessionPaths::ContactKnown(const TpContact& contact) {
    if (contact && ready_.count(contact->Address))
        Bind(contact->Address);
}

void TSessionPaths::End() {
    joinPeer_ = 0;
    connect_ = nullptr;
    while (!ready_.empty())
        Unhang(std::string(ready_.begin()->first)); // a copy: the entry goes
    if (paths_) {
        // Closed now, freed later: this may run inside one of its paths'
        // handlers (a leave notice that came over it).
        paths_->CloseAll();
        QTimer::singleShot(0, [gone = std::shared_ptr<TPeerPaths>(std::move(paths_))] {});
    }
    gameNumber_ = 0;
    GameOver();
}

void TSessionPaths::Begin(int32_t gameNumber) {
    if (paths_ && gameNumber == gameNumber_)
        return;
    End();
    gameNumber_ = gameNumber;
    TPeerPaths::TLobby lobby;
    lobby.post = [this](int32_t addressee, const std::string& blob) {
        Post(addressee, blob, kPostTries);
    };
    lobby.fetch = [this](std::function<void(const TPeerPaths::TBlobs&)> done) {
        Fetch(std::move(done));
    };
    TPeerPaths::TEvents events;
    events.ready = [this](int32_t peer, const std::string& label,
                          const std::shared_ptr<TDatagramPath>& path,
                          TIcePathKind kind) { Ready(peer, label, path, kind); };
    events.kindChanged = [this](int32_t, const std::string& label, TIcePathKind kind) {
        if (const auto found = ready_.find(label); found != ready_.end()) {
            found->second.kind = kind;
            found->second.told = false;
            Bind(label);
        }
    };
    events.failed = [this](int32_t peer, const std::string& label, const std::string& why) {
        Failed(peer, label, why);
    };
    // A member's program started again: its old path carries nothing now.
    // Its request takes the place of its old link once it proves the same
    // key or account.
    events.restarted = [this](int32_t, const std::string& label) { Unhang(label); };
    events.datagram = [this](int32_t peer, const std::string& label, std::string_view bytes) {
        // The other end may be ready and talking first: answers to the
        // address go back the same way from the start.
        if (!ready_.count(label) && paths_)
            Hang(label, peer, paths_->PathOf(peer));
        try {
            hc_.HandleDatagram(bytes, label, hc_.Port());
        } catch (const std::exception& e) {
            log_(QString("***%1").arg(QString::fromUtf8(e.what())));
        }
    };
    paths_ = std::make_unique<TPeerPaths>(
        lobby_.playerNumber, std::move(lobby), [this](TIceRole role) { return MakeEnd(role); },
        std::move(events));
    const std::optional<TTurnCredentials>& turn = keeper_.Items().turn;
    paths_->SetServerGiven(turn && RelayServer(turn->server));
}

std::unique_ptr<TIceEnd> TSessionPaths::MakeEnd(TIceRole role) const {
    TIceSettings settings;
    settings.role = role;
    settings.deadline = TPeerPaths::kGiveUp;
    if (const std::optional<TTurnCredentials>& turn = keeper_.Items().turn) {
        if (const std::optional<TIceServer> server = RelayServer(turn->server)) {
            settings.stun = *server;
            settings.relays.push_back({*server, turn->user, turn->password});
        }
    }
    return std::make_unique<TNiceEnd>(settings);
}

void TSessionPaths::Post(int32_t addressee, const std::string& blob, int tries) {
    std::string target;
    try {
        target = PostCandidatesTarget(lobby_.sessionId, gameNumber_, addressee, blob);
    } catch (const std::exception& e) {
        log_(QString("***Couldn't post this program's addresses: %1").arg(e.what()));
        return;
    }
    requests_.Get(
        target,
        [this](const std::string& reply) {
            if (const TLobbyRefusal refusal = ParsePostCandidatesReply(reply);
                refusal != TLobbyRefusal::None)
                log_(QString("***Couldn't post this program's addresses: %1")
                         .arg(OneLine(RefusalText(refusal))));
        },
        [this, addressee, blob, tries, game = gameNumber_](std::exception_ptr error) {
            if (tries > 1 && paths_ && gameNumber_ == game) {
                Post(addressee, blob, tries - 1);
                return;
            }
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                log_(QString("***Couldn't post this program's addresses: %1")
                         .arg(OneLine(e.what())));
            }
        });
}

void TSessionPaths::Fetch(std::function<void(const TPeerPaths::TBlobs&)> done) {
    requests_.Get(
        FetchCandidatesTarget(lobby_.sessionId, gameNumber_),
        [done](const std::string& reply) {
            TCandidatesReply read = ParseCandidatesReply(reply);
            if (read.refusal == TLobbyRefusal::None)
                done(std::move(read.blobs));
            else
                done(std::nullopt);
        },
        [done](std::exception_ptr) { done(std::nullopt); });
}

void TSessionPaths::Ready(int32_t peer, const std::string& label,
                          const std::shared_ptr<TDatagramPath>& path, TIcePathKind kind) {
    TReady& ready = Hang(label, peer, path);
    ready.kind = kind;
    ready.ready = true;
    Bind(label);
    if (peer == joinPeer_ && connect_) {
        joinPeer_ = 0;
        // Out of the path's handler: the request goes over the path.
        QTimer::singleShot(0, [connect = std::move(connect_)] { connect(); });
        connect_ = nullptr;
    }
}

void TSessionPaths::Failed(int32_t peer, const std::string& label, const std::string& why) {
    if (peer == joinPeer_ && connect_) {
        joinPeer_ = 0;
        log_(QString("***No path to the host through the routers (%1); trying its address")
                 .arg(OneLine(why)));
        QTimer::singleShot(0, [connect = std::move(connect_)] { connect(); });
        connect_ = nullptr;
        return;
    }
    if (!ready_.count(label))
        return;
    const QString name = NameAt(label);
    Unhang(label);
    if (!name.isEmpty())
        log_(QString("*** %1: path lost (%2)").arg(name, OneLine(why)));
}

void TSessionPaths::Unhang(const std::string& label) {
    const auto found = ready_.find(label);
    if (found == ready_.end())
        return;
    hc_.ClearPath(found->second.standIn);
    for (int i = 0; i < hc_.ContactCount(); ++i)
        if (hc_.Contacts(i)->Address == label)
            hc_.ClearPath(hc_.Contacts(i));
    ready_.erase(found);
}

TSessionPaths::TReady& TSessionPaths::Hang(const std::string& label, int32_t peer,
                                           const std::shared_ptr<TDatagramPath>& path) {
    TReady& ready = ready_[label];
    if (!ready.standIn) {
        ready.standIn = std::make_shared<TContact>(TContact{"", label, peer});
        ready.path = path;
        hc_.SetPath(ready.standIn, path);
    }
    return ready;
}

// Every contact at the path's address takes it; the log names the path
// once the member's name is known.
void TSessionPaths::Bind(const std::string& label) {
    TReady& ready = ready_.at(label);
    for (int i = 0; i < hc_.ContactCount(); ++i)
        if (const TpContact contact = hc_.Contacts(i); contact->Address == label)
            hc_.SetPath(contact, ready.path);
    const QString name = NameAt(label);
    if (ready.ready && !ready.told && !name.isEmpty()) {
        ready.told = true;
        log_(QString("*** %1: %2").arg(name, PathText(ready.kind)));
    }
}

QString TSessionPaths::NameAt(const std::string& label) const {
    const int index = hc_.IndexOfAddress(label);
    return index >= 0 ? QString::fromStdString(hc_.Contacts(index)->Name) : QString();
}

void TSessionPaths::Tick() {
    keeper_.Tick(lobby_.sessionId, NowSeconds());
    if (paths_)
        paths_->Tick(TPeerPaths::TClock::now());
}

void TSessionPaths::MapPort() {
    if (!portMapping_ || mapping_)
        return;
    mapping_ = std::make_unique<TPortMapping>(TPortMappingSettings{});
    mapping_->OnResult = [this](const TPortMappingResult& result) {
        if (result.mapped)
            log_(QString("***The router forwards port %1 (%2)")
                     .arg(kMappedGamePort)
                     .arg(MappingMethodName(result.method)));
        else
            log_(QString("***The router forwards no port: %1").arg(OneLine(result.why)));
    };
    mapping_->OnLost = [this](const std::string& why) {
        log_(QString("***The router no longer forwards port %1: %2")
                 .arg(kMappedGamePort)
                 .arg(OneLine(why)));
    };
    mapping_->Start();
}
