// Online games with nothing faked: the real lobby server on a loopback port,
// and programs bound to 127.0.0.2, 127.0.0.3, 127.0.0.4 (and 127.0.0.5)
// talking over real UDP on port 3237.  The players log in, publish, list and
// join through the real dialogs, and move by clicking marbles and pins.
#include "computer_player.h"
#include "file_version.h"
#include "game_protocol.h"
#include "link_seal.h"
#include "marble.h"
#include "online_players.h"
#include "picture_widget.h"
#include "qt_printers.h"
#include "scripted_server.h"
#include "tavlo_login_dialog.h"
#include "test_lobby.h"
#include "window_parts.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <optional>
#include <set>

namespace {

constexpr int kBlue = 0;
constexpr int kOrange = 3;
constexpr int kGreen = 4;
constexpr int kTurnLimit = 2000; // far more hops than a game takes
const std::string kGameName = "Joes game 1";
const QString kTypedGameName = "Joe's game #1";
constexpr std::array<SeatKind, kColours> kBlueHumanOrangeGreenOpen = {skHuman, skNone, skNone,
                                                                      skOpen,  skOpen, skNone};
constexpr std::array<SeatKind, kColours> kBlueHumanOrangeOpen = {skHuman, skNone, skNone,
                                                                 skOpen,  skNone, skNone};

// --- The programs side by side ------------------------------------------------

std::vector<TfMain*> Windows(const std::vector<Player*>& players) {
    std::vector<TfMain*> windows;
    for (Player* p : players)
        windows.push_back(p->window.get());
    return windows;
}

// Every program has reached the same turn, waits for its player there, and
// shows the same board.
bool Settled(const std::vector<TfMain*>& windows) {
    const int seat = windows[0]->game().state().currentSeat;
    for (const TfMain* w : windows) {
        if (w->game().ComputerMoving() || w->game().state().currentSeat != seat)
            return false;
        if (seat == kNoSeat)
            continue; // won
        const SeatKind kind = w->game().seats()[seat].kind;
        const bool waiting = (kind == skHuman && w->game().state().phase == kPhaseTurnStart) ||
                             (kind == skRemote && w->game().state().phase == kPhaseRemote);
        if (!waiting || Board(*w) != Board(*windows[0]))
            return false;
    }
    return true;
}

// The program at which the seat to play is a human's.
TfMain* Owner(const std::vector<TfMain*>& windows) {
    for (TfMain* w : windows) {
        const int seat = w->game().state().currentSeat;
        if (seat >= 0 && seat < kColours && w->game().seats()[seat].kind == skHuman)
            return w;
    }
    return nullptr;
}

// What each program shows, for the message of a failure.
std::string Snapshot(const std::vector<Player*>& players) {
    std::string text;
    for (const Player* p : players) {
        const TfMain& w = *p->window;
        text += "\n  " + w.Messaging().ClientName() + ": seat " +
                std::to_string(w.game().state().currentSeat) + " phase " +
                std::to_string(w.game().state().phase) + ", " +
                std::to_string(w.game().marbles().size()) + " marbles, " +
                std::to_string(w.Messaging().ContactCount()) + " contacts; log " +
                p->Log().join(" | ").toStdString();
    }
    return text;
}

// Plays `turns` human turns (or to the end), each on its own program once
// all have caught up with the last one.
void PlayTurns(const std::vector<Player*>& players, int turns) {
    const std::vector<TfMain*> windows = Windows(players);
    for (int turn = 0; turn < turns; ++turn) {
        ASSERT_TRUE(WaitUntil([&] { return Settled(windows); }))
            << "the programs did not reach the same turn (" << turn << ")" << Snapshot(players);
        if (windows[0]->game().state().currentSeat == kNoSeat)
            return; // won
        TfMain* owner = Owner(windows);
        ASSERT_TRUE(owner) << "nobody's turn";
        ASSERT_TRUE(PlayChosenMove(*owner)) << "the turn did not end" << Snapshot(players);
    }
}

QStringList SeatNames(const TfMain& window) {
    QStringList names;
    for (const PanelLine& line : SeatPanel(window))
        names << line.name->text();
    return names;
}

std::array<int, kColours> SeatKinds(const TfMain& window) {
    std::array<int, kColours> kinds{};
    for (int i = 0; i < kColours; ++i)
        kinds[i] = window.game().seats()[i].kind;
    return kinds;
}

// A message as "integers | strings".
std::string Items(const TQMsg& msg) {
    std::string ints, strs;
    for (int i = 0; i < msg.ItemCount(); ++i) {
        if (msg.ItemKind(i) == ikInteger)
            ints += (ints.empty() ? "" : ",") + std::to_string(msg.IntAt(i));
        else
            strs += (strs.empty() ? "" : " ") + msg.StrAt(i);
    }
    return ints + " | " + strs;
}

// Writes down the start messages a program receives, and lets it handle
// them as always.
void RecordStarts(Player& player, std::vector<std::string>& starts) {
    const TMsgEvent handler = player->Messaging().OnGotMsg;
    player->Messaging().OnGotMsg = [handler, &starts](const TQMsg& msg, const TpContact& sender) {
        if (msg.MsgType == gmStart)
            starts.push_back(Items(msg) + " from " + sender->Name);
        handler(msg, sender);
    };
}

struct ActionState {
    bool newGame, join, endGame, log, messaging;
    bool operator==(const ActionState&) const = default;
};
void PrintTo(const ActionState& s, std::ostream* os) {
    *os << "new " << s.newGame << " join " << s.join << " end " << s.endGame << " log " << s.log
        << " messaging " << s.messaging;
}
ActionState Actions(const TfMain& w) {
    return {ActionOf(w, "aNewGame")->isEnabled(), ActionOf(w, "aJoinGame")->isEnabled(),
            ActionOf(w, "aEndGame")->isEnabled(), Named<QPlainTextEdit>(w, "mLog")->isVisible(),
            w.Messaging().Enabled()};
}
constexpr ActionState kIdle{true, true, false, false, false};
constexpr ActionState kWaiting{false, false, true, true, true};

int TimedOutLines(const Player& player) {
    const QStringList log = player.Log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const QString& line) {
        return line.endsWith("has timed out");
    }));
}

void EndCurrentGame(Player& player) {
    player.prompts.answers = {true};
    ActionOf(*player, "aEndGame")->trigger();
}

class OnlineGame : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Host", "Ann", "Bob", "Cid"})
            lobby.AddPlayer(name, Password(name));
    }
    static std::string Password(const std::string& name) { return name + "-secret"; }
    std::unique_ptr<Player> NewPlayer(const std::string& name, const std::string& address) {
        return std::make_unique<Player>(name + "-nick", address, lobby.HostSetting());
    }
    void Publish(Player& host, const std::array<SeatKind, kColours>& kinds) {
        ::Publish(host, kinds, kTypedGameName, "Host", Password("Host"));
    }
    void Join(Player& player, const std::string& name,
              std::vector<TGameListEntry>* listed = nullptr,
              const std::function<void()>& beforeJoin = {}) {
        ::Join(player, name, Password(name), kGameName, listed, beforeJoin);
    }

    void PlayThreeToAWin(const std::vector<TFaultSettings>& faults);

    TestLobby lobby;
};

// Three players meet in the lobby, play, chat, one leaves, and the others
// play on to a win; every program's datagrams pass through a fault seam
// set as given (none by default).
void OnlineGame::PlayThreeToAWin(const std::vector<TFaultSettings>& faults) {
    QElapsedTimer clock;
    clock.start();
    auto host = NewPlayer("Host", "127.0.0.2");
    auto ann = NewPlayer("Ann", "127.0.0.3");
    auto bob = NewPlayer("Bob", "127.0.0.4");
    if (!faults.empty()) {
        host->window->Messaging().setFaults(faults.at(0));
        ann->window->Messaging().setFaults(faults.at(1));
        bob->window->Messaging().setFaults(faults.at(2));
    }
    std::vector<std::string> hostRequests; // what the host asks the lobby
    host->window->OnLobbyRequest = [&](const std::string& target) {
        hostRequests.push_back(target);
    };
    std::vector<std::string> annStarts, bobStarts;
    RecordStarts(*ann, annStarts);
    RecordStarts(*bob, bobStarts);

    // The host publishes Blue Human, Orange and Green Open.
    Publish(*host, kBlueHumanOrangeGreenOpen);
    EXPECT_EQ(host->Log(), QStringList{"***Multiplayer game started. Waiting for 2 players"});
    EXPECT_EQ(Actions(**host), kWaiting);
    EXPECT_EQ(host->window->Messaging().ClientName(), "Host") << "the name that logged in";

    // Ann finds it with the host's address and joins.
    std::vector<TGameListEntry> annListed;
    Join(*ann, "Ann", &annListed);
    EXPECT_EQ(annListed, (std::vector<TGameListEntry>{{kGameName, "1/3", "127.0.0.2"}}));
    ASSERT_TRUE(WaitUntil([&] { return ann->LogCount("1 more players needed to start.") == 1; }));
    EXPECT_EQ(Actions(**ann), kWaiting);

    // A start from anyone but the host is dropped.
    TQMsg fake;
    fake.MsgType = gmStart;
    WriteStart(fake, HostStartTable({skRemote, skNone, skNone, skHuman, skNone, skNone}, {}));
    ann->window->Messaging().HandleDatagram(fake.Encode(), "127.0.0.4", kPeerPort);
    EXPECT_TRUE(ann->window->game().marbles().empty());
    annStarts.clear();

    // Bob sees that one player has joined, and takes the last seat.
    std::vector<TGameListEntry> bobListed;
    Join(*bob, "Bob", &bobListed);
    EXPECT_EQ(bobListed, (std::vector<TGameListEntry>{{kGameName, "2/3", "127.0.0.2"}}));

    const std::vector<Player*> all = {host.get(), ann.get(), bob.get()};
    ASSERT_TRUE(WaitUntil([&] {
        return Settled(Windows(all)) && !host->window->game().marbles().empty();
    })) << Snapshot(all);
    EXPECT_EQ(annStarts, std::vector<std::string>{"4,0,0,4,4,0 | 0 127.0.0.3 127.0.0.4 from Host"});
    EXPECT_EQ(bobStarts, annStarts);
    EXPECT_EQ(host->Log(),
              (QStringList{"***Multiplayer game started. Waiting for 2 players",
                           "*** Ann joined the game", "1 more players needed to start.",
                           "*** Bob joined the game", "0 more players needed to start."}));
    EXPECT_EQ(ann->Log(), (QStringList{"***Trying to join remote computer...",
                                       "***Connected to the server... Waiting for other players.",
                                       "1 more players needed to start.", "*** Bob joined the game",
                                       "***Game started"}));
    EXPECT_EQ(bob->Log(), (QStringList{"***Trying to join remote computer...",
                                       "***Connected to the server... Waiting for other players.",
                                       "1 more players needed to start.", "***Game started"}));
    EXPECT_EQ(SeatKinds(**host), (std::array{1, 0, 0, 4, 4, 0}));
    EXPECT_EQ(SeatKinds(**ann), (std::array{4, 0, 0, 1, 4, 0}));
    EXPECT_EQ(SeatKinds(**bob), (std::array{4, 0, 0, 4, 1, 0}));
    EXPECT_EQ(SeatNames(**host), (QStringList{"You", "Ann", "Bob"}));
    EXPECT_EQ(SeatNames(**ann), (QStringList{"Host", "You", "Bob"}));
    EXPECT_EQ(SeatNames(**bob), (QStringList{"Host", "Ann", "You"}));
    EXPECT_EQ(Board(**ann), Board(**host));
    EXPECT_EQ(Board(**bob), Board(**host));
    EXPECT_EQ(host->window->game().state().currentSeat, kBlue);
    EXPECT_TRUE(Named<QLabel>(*host->window, "lblYourTurn")->isVisible());
    // The lobby lists a started game no more.
    EXPECT_EQ(ParseGameList(
                  LobbyGet(bob->window->LobbyHttp(), ListTarget(bob->window->Session().sessionId))),
              std::vector<TGameListEntry>{});

    // Two rounds of the three humans, each replayed on the other programs.
    PlayTurns(all, 6);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntil([&] { return Settled(Windows(all)); }));
    EXPECT_EQ(host->window->game().state().currentSeat, kBlue);
    EXPECT_EQ(ann->window->StatusText(1), "Turn # 3");
    EXPECT_EQ(bob->window->StatusText(0), "It's now player BLUE turn");

    // A chat line: once per acknowledging player at its sender, once on
    // every other program.
    QTest::keyClicks(Named<QLineEdit>(*ann->window, "eChat"), "Hello from Ann");
    QTest::keyClick(Named<QLineEdit>(*ann->window, "eChat"), Qt::Key_Return);
    EXPECT_EQ(Named<QLineEdit>(*ann->window, "eChat")->text(), "");
    ASSERT_TRUE(WaitUntil([&] {
        return ann->LogCount("Ann: Hello from Ann") == 2 &&
               host->LogCount("Ann: Hello from Ann") == 1 &&
               bob->LogCount("Ann: Hello from Ann") == 1;
    }));

    // Bob closes his program: his seat passes to the computer on the others.
    EXPECT_EQ(TimedOutLines(*bob), 0);
    bob->window->close();
    ASSERT_TRUE(WaitUntil([&] {
        return host->LogCount("*** Bob has left the game") == 1 &&
               ann->LogCount("*** Bob has left the game") == 1;
    }));
    for (Player* p : {host.get(), ann.get()}) {
        EXPECT_EQ(p->window->game().seats()[kGreen].kind, skOpen);
        EXPECT_EQ(p->window->SeatNameLabel(kGreen)->text(), "Computer");
    }
    bob.reset();

    // On to a win, Green played alike by both computers.
    PlayTurns({host.get(), ann.get()}, kTurnLimit);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(host->prompts.messages.size(), 1) << host->prompts.messages.join("|").toStdString();
    EXPECT_TRUE(host->prompts.messages[0].startsWith("Player "));
    EXPECT_EQ(ann->prompts.messages, host->prompts.messages);
    for (Player* p : {host.get(), ann.get()}) {
        EXPECT_TRUE(p->window->game().marbles().empty());
        EXPECT_EQ(p->window->game().state().currentSeat, kNoSeat);
        EXPECT_EQ(TimedOutLines(*p), 0);
    }

    // The lobby hears the winner once (a player who joined is named; the
    // host's own seat and a computer's are not), and nothing after.
    const std::optional<std::string> winnerName = host->prompts.messages[0] == "Player ORANGE won!"
                                                      ? std::optional<std::string>("Ann")
                                                      : std::nullopt;
    ASSERT_TRUE(WaitUntil([&] { return !lobby.Store().LastFinished(1).empty(); }));
    const FinishedGame finished = lobby.Store().LastFinished(1).at(0);
    EXPECT_EQ(finished.name, kGameName);
    EXPECT_EQ(finished.winnerName, winnerName);
    QMetaObject::invokeMethod(Named<QTimer>(**host, "tmrRefreshGame"), "timeout",
                              Qt::DirectConnection);
    WaitUntil([] { return false; }, 300);
    ASSERT_FALSE(hostRequests.empty());
    EXPECT_NE(hostRequests.back().find("&newgamestate=3"), std::string::npos)
        << "the winner's report is the last request";
    EXPECT_EQ(std::count_if(hostRequests.begin(), hostRequests.end(),
                            [](const std::string& target) {
                                return target.find("&newgamestate=3") != std::string::npos;
                            }),
              1);
    EXPECT_TRUE(host->prompts.messages.size() == 1) << "no lobby error shown";

    std::cout << "[ measured ] three programs to " << host->prompts.messages[0].toStdString()
              << " after " << host->window->game().state().turnNumber << " turns in "
              << clock.elapsed() << " ms";
    if (const TFaultSeam* seam = host->window->Messaging().FaultSeam())
        std::cout << "; the host's seam passed " << seam->Counts().passed << ", lost "
                  << seam->Counts().lost << ", repeated " << seam->Counts().repeated
                  << ", held back " << seam->Counts().held;
    std::cout << "\n";
}

TEST_F(OnlineGame, ThreePlayersMeetInTheLobbyAndPlayToAWin) {
    PlayThreeToAWin({});
}

// The same game with every program losing a tenth of what it sends,
// repeating and holding back a twentieth each: the same logs, boards and
// winner, and nobody given up.
TEST_F(OnlineGame, ThreePlayersPlayToAWinOverALossyNetwork) {
    const auto lossy = [](uint32_t seed) {
        TFaultSettings faults;
        faults.loss = 0.10;
        faults.duplicate = 0.05;
        faults.reorder = 0.05;
        faults.lateMs = 60;
        faults.seed = seed;
        return faults;
    };
    PlayThreeToAWin({lossy(11), lossy(23), lossy(37)});
}

TEST_F(OnlineGame, AJoinerIsRefusedByAFullHost) {
    auto host = NewPlayer("Host", "127.0.0.2");
    auto ann = NewPlayer("Ann", "127.0.0.3");
    auto bob = NewPlayer("Bob", "127.0.0.4");
    Publish(*host, kBlueHumanOrangeOpen);

    // Bob lists the game while it waits; Ann takes its seat meanwhile.
    Join(*bob, "Bob", nullptr, [&] {
        Join(*ann, "Ann");
        ASSERT_TRUE(WaitUntil([&] {
            return !host->window->game().marbles().empty() &&
                   !ann->window->game().marbles().empty();
        }));
    });
    ASSERT_TRUE(WaitUntil([&] { return bob->LogCount("***The server is full") == 1; }));
    EXPECT_EQ(bob->Log(),
              (QStringList{"***Trying to join remote computer...", "***The server is full"}));
    EXPECT_EQ(Actions(**bob), kWaiting) << "waits until the player ends it";
    EXPECT_EQ(host->window->Messaging().ContactCount(), 1);

    EndCurrentGame(*bob);
    EXPECT_EQ(Actions(**bob), kIdle);
    EXPECT_TRUE(Settled({host->window.get(), ann->window.get()}));
}

// A player whose settings name a lobby that is not there types the right
// one into the log-in dialog: Login uses it, the game list comes from it,
// and the settings file keeps it at once, before the program closes.
TEST_F(OnlineGame, TheLobbyTypedInTheLoginIsUsedAndKeptAtOnce) {
    const std::string nowhere = "127.0.0.1:1";
    Player ann("Ann-nick", "127.0.0.3", nowhere);
    TfTavloLogin& login = *ann->dialogs().login;
    WhenModal(login, [&] {
        EXPECT_EQ(login.cbLobby->currentText().toStdString(), nowhere);
        login.eUsername->setText("Ann");
        login.ePassword->setText(QString::fromStdString(Password("Ann")));
        login.cbLobby->setEditText(QString::fromStdString(lobby.HostSetting()));
        login.bLogin->click();
    });
    TfGamelist& list = *ann->dialogs().gamelist;
    bool listed = false;
    WhenModal(list, [&] {
        listed = true;
        list.bCancel->click();
    });
    ActionOf(*ann, "aJoinGame")->trigger();
    AwaitLobby(ann);
    EXPECT_TRUE(listed) << "the list of the lobby typed opened";
    EXPECT_TRUE(IsLoggedIn(ann->Session().sessionId));

    QFile ini(ann.config.path() + "/zellhop/zellhop.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(text.contains(QString::fromStdString("LobbyHost=" + lobby.HostSetting())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString("Lobbies=" + lobby.HostSetting())))
        << text.toStdString();
}

TEST_F(OnlineGame, AnotherVersionIsRefusedAndAHostThatIsGoneDoesNotAnswer) {
    auto host = NewPlayer("Host", "127.0.0.2");
    auto cid = NewPlayer("Cid", "127.0.0.5");
    Publish(*host, kBlueHumanOrangeOpen);

    cid->window->Messaging().setOwnVersion("1.4.0.6");
    Join(*cid, "Cid");
    ASSERT_TRUE(WaitUntil([&] { return cid->LogCount("***Version mismatch") == 1; }));
    EXPECT_EQ(cid->Log(),
              (QStringList{"***Trying to join remote computer...", "***Version mismatch"}));
    EXPECT_EQ(Actions(**cid), kWaiting);
    EndCurrentGame(*cid);
    EXPECT_EQ(Actions(**cid), kIdle);
    EXPECT_EQ(host->window->Messaging().ContactCount(), 0);

    // The host gives up waiting; the lobby still lists its game.
    EndCurrentGame(*host);
    EXPECT_EQ(Actions(**host), kIdle);
    cid->window->Messaging().setOwnVersion(OwnFileVersion());
    Named<QPlainTextEdit>(*cid->window, "mLog")->clear();
    Join(*cid, "Cid");
    ASSERT_TRUE(WaitUntil([&] { return cid->LogCount("***Couldn't reach the remote server") == 1; },
                          kOnlineWaitMs + 10000)) // four tries of 4.5 s
        << cid->Log().join(" | ").toStdString();
    EXPECT_EQ(cid->Log(), (QStringList{"***Trying to join remote computer...",
                                       "*** Message # 254 has timed out",
                                       "***Couldn't reach the remote server"}));
    EXPECT_EQ(Actions(**cid), kWaiting);
    EndCurrentGame(*cid);
    EXPECT_EQ(Actions(**cid), kIdle);
}

// A joiner may hear the other members' moves before the host's start
// (a start lost and sent again): they are kept and played once it comes.
TEST_F(OnlineGame, MovesThatOvertakeTheStartArePlayedOnceItComes) {
    auto host = NewPlayer("Host", "127.0.0.2");
    auto ann = NewPlayer("Ann", "127.0.0.3");
    auto bob = NewPlayer("Bob", "127.0.0.4");
    // Bob's program is handed the host's start only when the test says.
    std::function<void()> release;
    bool holding = false;
    int earlyMoves = 0;
    const TMsgEvent handler = bob->window->Messaging().OnGotMsg;
    bob->window->Messaging().OnGotMsg = [&, handler](const TQMsg& msg, const TpContact& sender) {
        if (msg.MsgType == gmStart && !release) {
            holding = true;
            release = [&holding, handler, msg, sender] {
                holding = false;
                handler(msg, sender);
            };
            return;
        }
        if (holding && msg.MsgType == gmMove)
            ++earlyMoves;
        handler(msg, sender);
    };

    Publish(*host, kBlueHumanOrangeGreenOpen);
    Join(*ann, "Ann");
    ASSERT_TRUE(WaitUntil([&] { return ann->LogCount("1 more players needed to start.") == 1; }));
    Join(*bob, "Bob");
    const std::vector<Player*> two = {host.get(), ann.get()};
    ASSERT_TRUE(WaitUntil([&] {
        return holding && Settled(Windows(two)) && !ann->window->game().marbles().empty();
    }));
    PlayTurns(two, 2); // Blue's and Orange's
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntil([&] { return earlyMoves >= 2; }));
    EXPECT_TRUE(bob->window->game().marbles().empty());

    release();
    const std::vector<Player*> all = {host.get(), ann.get(), bob.get()};
    ASSERT_TRUE(WaitUntil([&] { return Settled(Windows(all)); }));
    EXPECT_EQ(Board(**bob), Board(**host));
    EXPECT_EQ(bob->window->game().state().currentSeat, kGreen);
    PlayTurns(all, 3);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntil([&] { return Settled(Windows(all)); }));
    EXPECT_EQ(Board(**bob), Board(**host));
}

// --- What goes on the wire ----------------------------------------------------

// One datagram a program sent, as the wire tap saw it.
struct Sent {
    qint64 ms = 0; // on the test's clock
    std::string from, to;
    std::string bytes;
    int kind = -1;
    bool trailer = false; // its last item is the extension's trailer
    TLinkTrailer link;
};

// Writes down what the player's program sends.
void TapWire(Player& player, const std::string& from, const QElapsedTimer& clock,
             std::vector<Sent>& sent) {
    player->Messaging().setWireTap(
        [from, &clock, &sent](const std::string& bytes, const std::string& to, int) {
            Sent s;
            s.ms = clock.elapsed();
            s.from = from;
            s.to = to;
            s.bytes = bytes;
            TQMsg msg;
            msg.AppendReceived(bytes);
            if (TLinkSeal::LooksSealed(bytes, s.link)) { // the items are sealed
                s.kind = static_cast<unsigned char>(bytes[kLengthFieldBytes]);
                s.trailer = true;
            } else if (msg.Decode(false) == 0) {
                s.kind = msg.MsgType;
                const int last = msg.ItemCount() - 1;
                s.trailer = last >= 0 && msg.ItemKind(last) == ikString &&
                            DecodeTrailer(msg.StrAt(last), s.link);
            }
            sent.push_back(std::move(s));
        });
}

// Each datagram between the two as the written protocol has it: nothing
// after its items, no trailer, and a move, an end of turn and an
// acknowledgement of their written sizes.  The kinds seen go to `kinds`.
void ExpectWritten(const std::vector<Sent>& sent, const std::string& a, const std::string& b,
                   std::set<int>& kinds) {
    const std::map<int, std::size_t> sizes = {{gmMove, 16}, {gmEndTurn, 6}, {mtAck, 11}};
    for (const Sent& s : sent) {
        if (!((s.from == a && s.to == b) || (s.from == b && s.to == a)))
            continue;
        ASSERT_GE(s.kind, 0) << s.from << " to " << s.to << ": not a message";
        kinds.insert(s.kind);
        TQMsg msg;
        msg.AppendReceived(s.bytes);
        msg.Decode(false);
        EXPECT_EQ(msg.Encode(), s.bytes) << s.from << " to " << s.to << ", kind " << s.kind;
        EXPECT_FALSE(s.trailer) << s.from << " to " << s.to << ", kind " << s.kind;
        if (const auto size = sizes.find(s.kind); size != sizes.end()) {
            EXPECT_EQ(s.bytes.size(), size->second) << s.from << " to " << s.to;
        }
        // An announcement and a reply without the extension's extra item.
        if (s.kind == mtPeerInfo || s.kind == mtConnectReply) {
            EXPECT_EQ(msg.ItemCount(), 3) << s.from << " to " << s.to << ", kind " << s.kind;
        }
    }
}

// Ann speaks only the written protocol, Bob and the host this version's:
// whatever goes to or comes from Ann is byte for byte as written, while the
// host and Bob number and acknowledge theirs in a trailer.
TEST_F(OnlineGame, AProgramOfTheWrittenProtocolIsSpokenToAsWritten) {
    QElapsedTimer clock;
    clock.start();
    std::vector<Sent> sent; // outlives the programs, which send as they close
    auto host = NewPlayer("Host", "127.0.0.2");
    auto ann = NewPlayer("Ann", "127.0.0.3");
    auto bob = NewPlayer("Bob", "127.0.0.4");
    ann->window->Messaging().setReliable(false);
    TapWire(*host, "127.0.0.2", clock, sent);
    TapWire(*ann, "127.0.0.3", clock, sent);
    TapWire(*bob, "127.0.0.4", clock, sent);

    Publish(*host, kBlueHumanOrangeGreenOpen);
    Join(*ann, "Ann");
    ASSERT_TRUE(WaitUntil([&] { return ann->LogCount("1 more players needed to start.") == 1; }));
    Join(*bob, "Bob");
    const std::vector<Player*> all = {host.get(), ann.get(), bob.get()};
    ASSERT_TRUE(WaitUntil(
        [&] { return Settled(Windows(all)) && !host->window->game().marbles().empty(); }));
    // Turns until every program has sent a hop and an end of turn.
    const auto sentKind = [&](const std::string& from, int kind) {
        return std::any_of(sent.begin(), sent.end(),
                           [&](const Sent& s) { return s.from == from && s.kind == kind; });
    };
    for (int turn = 0; turn < 60; ++turn) {
        bool all_seen = true;
        for (const char* from : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
            all_seen = all_seen && sentKind(from, gmMove) && sentKind(from, gmEndTurn);
        if (all_seen)
            break;
        PlayTurns(all, 1);
        ASSERT_FALSE(HasFatalFailure());
    }
    ASSERT_TRUE(WaitUntil([&] { return Settled(Windows(all)); }));
    EXPECT_EQ(Board(**ann), Board(**host));
    EXPECT_EQ(Board(**bob), Board(**host));

    std::set<int> kinds;
    ExpectWritten(sent, "127.0.0.3", "127.0.0.2", kinds);
    ExpectWritten(sent, "127.0.0.3", "127.0.0.4", kinds);
    EXPECT_TRUE(kinds.count(gmMove) && kinds.count(gmEndTurn) && kinds.count(mtAck) &&
                kinds.count(mtConnectRequest) && kinds.count(mtConnectReply) &&
                kinds.count(mtPeerInfo) && kinds.count(gmStart))
        << kinds.size() << " kinds";

    // Between the host and Bob every datagram carries the trailer, sealed:
    // the written message's items, then one string item of 45 bytes.
    int moves = 0;
    for (const Sent& s : sent) {
        const bool hostBob = (s.from == "127.0.0.2" && s.to == "127.0.0.4") ||
                             (s.from == "127.0.0.4" && s.to == "127.0.0.2");
        if (!hostBob)
            continue;
        EXPECT_TRUE(s.trailer) << s.from << " to " << s.to << ", kind " << s.kind;
        if (s.kind == gmMove) {
            ++moves;
            EXPECT_EQ(s.bytes.size(), 16u + kTrailerItemBytes + kSealBytes);
            EXPECT_TRUE(s.link.Sequenced());
        }
    }
    EXPECT_GT(moves, 0);
}

// The host's lobby accepts and never answers while a player joins: the
// host answers every datagram at once, admits him, both start the same
// game, and the hanging request ends in one line of the log.
TEST_F(OnlineGame, AHostWhoseLobbyHangsAdmitsAJoinerAndAnswersAtOnce) {
    QElapsedTimer clock;
    clock.start();
    std::vector<Sent> sent; // outlives the programs, which send as they close
    auto host = NewPlayer("Host", "127.0.0.2");
    auto ann = NewPlayer("Ann", "127.0.0.3");
    TapWire(*host, "127.0.0.2", clock, sent);
    TapWire(*ann, "127.0.0.3", clock, sent);
    Publish(*host, kBlueHumanOrangeOpen);

    TScriptedServer hanging({{{"", TAfterReply::Stall}}, {{"", TAfterReply::Stall}}});
    host->window->LobbyHttp().Port = hanging.Port();
    // The host's wait is an event loop of its own: what happens meanwhile
    // is driven from inside it, as a player's and the peers' events are.
    qint64 hangStart = -1;
    bool during = false;
    QTimer::singleShot(50, [&] {
        during = true;
        ASSERT_TRUE(host->window->WaitingForLobby());
        hangStart = clock.elapsed();
        EXPECT_EQ(host->window->cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(Named<QLabel>(**host, "sbLobby")->isVisible());

        Join(*ann, "Ann");
        const std::vector<Player*> both = {host.get(), ann.get()};
        ASSERT_TRUE(WaitUntil(
            [&] { return Settled(Windows(both)) && !ann->window->game().marbles().empty(); }));
        EXPECT_EQ(Board(**ann), Board(**host));
        QTest::keyClicks(Named<QLineEdit>(*ann->window, "eChat"), "Still there?");
        QTest::keyClick(Named<QLineEdit>(*ann->window, "eChat"), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([&] { return host->LogCount("Ann: Still there?") == 1; }));
        EXPECT_TRUE(host->window->WaitingForLobby()) << "all this while the lobby hung";
    });
    QMetaObject::invokeMethod(Named<QTimer>(**host, "tmrRefreshGame"), "timeout",
                              Qt::DirectConnection);
    ASSERT_TRUE(WaitUntil([&] { return during && !host->window->WaitingForLobby(); }, 25000));
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<Player*> both = {host.get(), ann.get()};
    const qint64 hangEnd = clock.elapsed();
    EXPECT_FALSE(Named<QLabel>(**host, "sbLobby")->isVisible());
    EXPECT_NE(host->window->cursor().shape(), Qt::BusyCursor);
    const QStringList log = host->Log();
    const QStringList failures = log.filter("***Couldn't report to the lobby: ");
    ASSERT_EQ(failures.size(), 1) << log.join("|").toStdString();
    EXPECT_TRUE(failures[0].contains("10060")) << failures[0].toStdString();
    EXPECT_TRUE(host->prompts.messages.isEmpty()) << host->prompts.messages.join("|").toStdString();
    EXPECT_EQ(ann->LogCount("***Game started"), 1);
    EXPECT_TRUE(ann->Log().filter("Couldn't").isEmpty()) << ann->Log().join("|").toStdString();
    EXPECT_EQ(TimedOutLines(*ann), 0);
    EXPECT_TRUE(ann->prompts.messages.isEmpty());

    // Every tracked message of Ann's and her connect request was answered
    // within half a second while the lobby hung.
    int answered = 0;
    qint64 slowest = 0;
    for (const Sent& s : sent) {
        if (s.from != "127.0.0.3" || s.ms < hangStart || s.ms > hangEnd)
            continue;
        const bool request = s.kind == mtConnectRequest;
        if (!request && !(s.trailer && s.link.Sequenced()))
            continue;
        const auto reply = std::find_if(sent.begin(), sent.end(), [&](const Sent& r) {
            return r.from == "127.0.0.2" && r.to == "127.0.0.3" && r.ms >= s.ms &&
                   (request ? r.kind == mtConnectReply
                            : r.trailer && r.link.ackNext > s.link.sequence);
        });
        const bool answer = reply != sent.end() && reply->ms <= s.ms + 500;
        EXPECT_TRUE(answer) << "kind " << s.kind << " sent at " << s.ms - hangStart
                            << " ms of the wait";
        if (answer)
            slowest = std::max(slowest, reply->ms - s.ms);
        ++answered;
    }
    EXPECT_GE(answered, 2);
    RecordProperty("slowest_answer_ms", static_cast<int>(slowest));

    // The game goes on as it began.
    PlayTurns(both, 2);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntil([&] { return Settled(Windows(both)); }));
    EXPECT_EQ(Board(**ann), Board(**host));
}

} // namespace
