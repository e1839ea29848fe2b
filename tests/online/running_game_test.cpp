// A game under way between its host and those who come into it late, the
// host's side and the newcomer's wired to each other without a network:
// who gets a seat back and who watches, the game as the newcomer takes it
// up and follows it, and what a hostile host's record does (nothing).
#include "match.h"
#include "match_listener.h"
#include "match_runner.h"
#include "remote_steps.h"
#include "running_game_guest.h"
#include "running_game_host.h"
#include "running_game_protocol.h"
#include "saved_game.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

constexpr int kBlue = 0;
constexpr int kRed = 1;
constexpr int kOrange = 3;
constexpr PlayerId kAnn = 1;     // as the host's game knows her
constexpr int32_t kAnnsAccount = 7;
constexpr int32_t kStrangersAccount = 99;

std::string Position(const Match& match) {
    std::string text = std::to_string(match.state().turnNumber) + " " +
                       std::to_string(match.state().currentSeat) + "\n";
    for (const auto& marble : match.marbles())
        text += std::to_string(marble->colour) + "/" + std::to_string(marble->number) + " " +
                std::to_string(marble->pos->at.r) + "," + std::to_string(marble->pos->at.c) + "\n";
    return text;
}

TpContact Contact(const std::string& name, const std::string& address, int32_t account) {
    return std::make_shared<TContact>(TContact{name, address, account});
}

// What the host's game tells the session, passed on as the session does.
class HostView : public MatchListener {
  public:
    RunningGameHost* host = nullptr;
    Match* match = nullptr;
    void SendMove(int number, int direction) override {
        host->MovePlayed(match->state().currentSeat, number, direction);
    }
    void SendEndTurn() override { host->EndTurnPlayed(match->state().currentSeat); }
    void RemoteStepPlayed(const RemoteStep& step, int seat) override {
        if (step.kind == RemoteStep::kMove)
            host->MovePlayed(seat, step.number, step.direction);
        else if (step.kind == RemoteStep::kEndTurn)
            host->EndTurnPlayed(seat);
    }
    void SeatHandedOver(int colour) override { host->SeatHandedOver(colour, 0); }
};

// A newcomer's program: its game, its log, and what its human sends.
struct Newcomer : MatchListener {
    explicit Newcomer(TpContact who) : contact(std::move(who)) {}
    void SendMove(int number, int direction) override { sent.push_back({number, direction}); }
    void SendEndTurn() override { sent.push_back({-1, -1}); }

    TpContact contact;
    Match match{this};
    QStringList log;
    bool started = false;
    std::vector<std::pair<int, int>> sent;
    RunningGameGuest guest{{
        .log = [this](const QString& line) { log << line; },
        .start =
            [this](const TTakenGame& game) {
                match.JoinRunningGame(game.record, game.underWay, game.kinds, game.players);
                started = true;
            },
    }};
};

struct Sent {
    TQMsg msg;
    std::vector<TpContact> to;
};

class RunningGameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.host = &host;
        view.match = &match;
        // Blue the host's human, Red the computer, Orange Ann's.
        for (int colour = 0; colour < kColours; ++colour)
            match.SetSeat(colour, kinds[colour], colour == kOrange ? kAnn : kNoPlayer);
        match.NewGame();
        match.NextTurn();
        host.Start(match, {0, 0, 0, kAnnsAccount, 0, 0}, {"Host", "", "", "Ann", "", ""});
    }
    void BlueSteps(int number, LatticePoint to) {
        match.ClickMarble(*match.FindBall(kBlue, number));
        match.ClickTarget(*match.board().at(to));
        MatchRunner(match).Run();
    }
    void AnnPlays(int number, int direction) {
        match.RemoteMove(kAnn, number, direction);
        match.RemoteEndTurn(kAnn);
        MatchRunner(match).Run();
    }
    // Every message the host sent him, in order, taken by his program.
    void Deliver(Newcomer& to) {
        to.guest.SetMatch(&to.match);
        for (const Sent& sent : wire)
            if (std::find(sent.to.begin(), sent.to.end(), to.contact) != sent.to.end())
                to.guest.Take(Received(sent.msg));
        MatchRunner(to.match).Run();
    }
    // As the datagram brings it.
    static TQMsg Received(const TQMsg& msg) {
        TQMsg received;
        received.AppendReceived(msg.Encode());
        EXPECT_EQ(received.Decode(false), 0);
        return received;
    }
    std::vector<TQMsg> SentTo(const TpContact& contact, int kind) const {
        std::vector<TQMsg> found;
        for (const Sent& sent : wire)
            if (sent.msg.MsgType == kind &&
                std::find(sent.to.begin(), sent.to.end(), contact) != sent.to.end())
                found.push_back(sent.msg);
        return found;
    }

    const SeatKinds kinds{skHuman, skComputer, skNone, skRemote, skNone, skNone};
    std::vector<Sent> wire;
    QStringList hostLog;
    RunningGameHost host{{
        .send = [this](const TQMsg& msg, const std::vector<TpContact>& to) { wire.push_back({msg, to}); },
        .log = [this](const QString& line) { hostLog << line; },
    }};
    HostView view;
    Match match{&view};
    TpContact ann = Contact("Ann", "127.0.0.5", kAnnsAccount);
};

TEST_F(RunningGameTest, AStrangerWatchesTheGameAsTheHostPlaysItAndIsNeverOfferedATurn) {
    BlueSteps(3, {-4, 4}); // Red answers
    AnnPlays(4, 0);
    Newcomer watcher(Contact("Zoe", "127.0.0.9", kStrangersAccount));
    // A stranger's account takes no seat, though Ann's seat waits for her.
    EXPECT_EQ(host.Decide(kStrangersAccount, true), RunningGameHost::Role::kWatch);
    EXPECT_EQ(host.Welcome(watcher.contact, 2, true, {ann}), RunningGameHost::Role::kWatch);
    Deliver(watcher);
    ASSERT_TRUE(watcher.started);
    EXPECT_TRUE(watcher.guest.Watching());
    EXPECT_EQ(Position(watcher.match), Position(match));
    EXPECT_TRUE(SentTo(ann, gmSeatBack).empty()) << "the players hear nothing of a watcher";
    EXPECT_EQ(hostLog.back(), "*** Zoe is watching the game");
    EXPECT_EQ(watcher.log, QStringList({"***Watching the game"}));

    // The game goes on: the host's human, the computer, Ann; the watcher
    // follows by the host's relays and never has a turn of his own.
    wire.clear();
    BlueSteps(4, {-4, 2});
    AnnPlays(4, 1);
    Deliver(watcher);
    EXPECT_EQ(Position(watcher.match), Position(match));
    EXPECT_EQ(SentTo(watcher.contact, gmSeatMove).size(), 2u);
    for (int colour = 0; colour < kColours; ++colour)
        EXPECT_NE(watcher.match.seat(colour).kind, skHuman) << colour;
    EXPECT_FALSE(watcher.match.HumanMayMove());
    watcher.match.ClickMarble(*watcher.match.FindBall(kBlue, 2));
    EXPECT_TRUE(watcher.sent.empty()) << "a watcher cannot move";
    EXPECT_EQ(Position(watcher.match), Position(match));
}

TEST_F(RunningGameTest, APlayerBackWhileHisSeatWaitsForHimPlaysItAtOnce) {
    BlueSteps(3, {-4, 4}); // Orange's turn now, waiting for Ann
    ASSERT_EQ(match.state().currentSeat, kOrange);
    Newcomer back(Contact("Ann", "127.0.0.15", kAnnsAccount)); // a new address
    const TpContact bob = Contact("Bob", "127.0.0.6", 0);
    constexpr PlayerId kAnnAgain = 3;
    EXPECT_EQ(host.Decide(kAnnsAccount, true), RunningGameHost::Role::kRejoin);
    EXPECT_EQ(host.Decide(kAnnsAccount, false), RunningGameHost::Role::kWatch)
        << "a member who cannot hear her: she watches";
    EXPECT_EQ(host.Welcome(back.contact, kAnnAgain, true, {bob, back.contact}),
              RunningGameHost::Role::kRejoin);
    EXPECT_EQ(match.seat(kOrange).player, kAnnAgain);
    const std::vector<TQMsg> told = SentTo(bob, gmSeatBack);
    ASSERT_EQ(told.size(), 1u);
    const std::optional<TSeatBack> seatBack = ReadSeatBack(told[0]);
    ASSERT_TRUE(seatBack);
    EXPECT_EQ(seatBack->seat, kOrange);
    EXPECT_EQ(seatBack->address, "127.0.0.15");
    EXPECT_EQ(hostLog.back(), "*** Ann is back in the game");

    Deliver(back);
    ASSERT_TRUE(back.started);
    EXPECT_EQ(Position(back.match), Position(match));
    EXPECT_TRUE(back.match.HumanMayMove()) << "her turn, hers again";
    back.match.ClickMarble(*back.match.FindBall(kOrange, 4));
    ASSERT_FALSE(back.match.ShownTargets().empty());
    back.match.ClickTarget(*back.match.ShownTargets().front().hole);
    MatchRunner(back.match).Run();
    ASSERT_FALSE(back.sent.empty());
    // What she sends every member, the host's game plays.
    for (const auto& [number, direction] : back.sent)
        if (number >= 0)
            match.RemoteMove(kAnnAgain, number, direction);
        else
            match.RemoteEndTurn(kAnnAgain);
    MatchRunner(match).Run();
    EXPECT_EQ(Position(back.match), Position(match));
}

TEST_F(RunningGameTest, APlayerBackAfterTheComputerTookHisSeatGetsItAtTheSameTurnEverywhere) {
    BlueSteps(3, {-4, 4});
    match.PlayerLeft(kAnn, 1); // given up: the computer plays Orange
    MatchRunner(match).Run();
    ASSERT_EQ(match.seat(kOrange).kind, skOpen);
    ASSERT_EQ(match.state().currentSeat, kBlue);
    Newcomer watcher(Contact("Zoe", "127.0.0.9", kStrangersAccount));
    host.Welcome(watcher.contact, 2, true, {ann});
    Deliver(watcher);

    Newcomer back(Contact("Ann", "127.0.0.5", kAnnsAccount));
    constexpr PlayerId kAnnAgain = 3;
    wire.clear();
    ASSERT_EQ(host.Welcome(back.contact, kAnnAgain, true, {back.contact}),
              RunningGameHost::Role::kRejoin);
    Deliver(back);
    Deliver(watcher);
    ASSERT_TRUE(back.started);
    EXPECT_EQ(Position(back.match), Position(match));
    EXPECT_FALSE(back.match.HumanMayMove()) << "not before the turn the host named";
    EXPECT_TRUE(back.log.back().startsWith("***Back in the game")) << back.log.back().toStdString();

    // Blue's turn is the host's: Orange comes back in the round after it.
    wire.clear();
    BlueSteps(4, {-4, 2});
    Deliver(back);
    Deliver(watcher);
    EXPECT_EQ(match.state().currentSeat, kOrange);
    EXPECT_EQ(match.seat(kOrange).kind, skRemote);
    EXPECT_EQ(match.seat(kOrange).player, kAnnAgain);
    EXPECT_EQ(back.match.seat(kOrange).kind, skHuman);
    EXPECT_TRUE(back.match.HumanMayMove());
    EXPECT_EQ(watcher.match.seat(kOrange).kind, skRemote);
    EXPECT_EQ(Position(back.match), Position(match));
    EXPECT_EQ(Position(watcher.match), Position(match));

    // Her move, played by the host, reaches the watcher by the host's relay.
    wire.clear();
    match.RemoteMove(kAnnAgain, 4, 0);
    match.RemoteEndTurn(kAnnAgain);
    MatchRunner(match).Run();
    Deliver(watcher);
    EXPECT_TRUE(SentTo(back.contact, gmSeatMove).empty()) << "not her own move back to her";
    EXPECT_EQ(Position(watcher.match), Position(match));
}

// Without a lobby nobody has an account: the seat is held by the key Ann's
// program proved and the name she played under.
TEST_F(RunningGameTest, WithoutALobbyTheSeatGoesBackToTheSameKeyUnderTheSameName) {
    TLinkPublicKey annsKey{};
    annsKey.fill(7);
    TLinkPublicKey otherKey{};
    otherKey.fill(9);
    RunningGameHost::Keys keys;
    keys[kOrange] = annsKey;
    host.Start(match, {}, {"Host", "", "", "Ann", "", ""}, keys);
    using Role = RunningGameHost::Role;
    const struct {
        const char* who;
        RunningGameHost::Claim claim;
        Role role;
    } cases[] = {
        {"her key, her name", {0, "Ann", &annsKey}, Role::kRejoin},
        {"her key, another name (one key file, two programs)", {0, "Bob", &annsKey}, Role::kWatch},
        {"another key, her name", {0, "Ann", &otherKey}, Role::kWatch},
        {"no key (the written protocol), her name", {0, "Ann", nullptr}, Role::kWatch},
        {"an account that held nothing", {kStrangersAccount, "Ann", &annsKey}, Role::kWatch},
    };
    for (const auto& c : cases)
        EXPECT_EQ(host.Decide(c.claim, true), c.role) << c.who;

    BlueSteps(3, {-4, 4}); // Orange's turn, waiting for Ann
    Newcomer back(Contact("Ann", "127.0.0.15", 0));
    EXPECT_EQ(host.Welcome(back.contact, 3, true, {back.contact}, &annsKey), Role::kRejoin);
    EXPECT_EQ(match.seat(kOrange).player, 3);
    EXPECT_EQ(hostLog.back(), "*** Ann is back in the game");
}

TEST_F(RunningGameTest, SixteenWatchersAtMostAndTheirChatGoesToEverybodyElse) {
    std::vector<TpContact> watchers;
    for (int i = 0; i < kMostWatchers; ++i) {
        watchers.push_back(Contact("W" + std::to_string(i), "127.0.1." + std::to_string(i), 0));
        ASSERT_EQ(host.Welcome(watchers.back(), 0, true, {ann}), RunningGameHost::Role::kWatch);
    }
    EXPECT_EQ(host.Decide(kStrangersAccount, true), RunningGameHost::Role::kRefused);
    EXPECT_EQ(host.WatcherCount(), kMostWatchers);

    wire.clear();
    EXPECT_FALSE(host.WatcherChat(ann, "I play", {ann})) << "a player's chat is his own";
    EXPECT_TRUE(host.WatcherChat(watchers[0], "nice\nmove", {ann}));
    EXPECT_EQ(hostLog.back(), "W0 (watching): nice move");
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].to.size(), 1u + kMostWatchers - 1) << "the players and the other watchers";
    EXPECT_TRUE(std::find(wire[0].to.begin(), wire[0].to.end(), watchers[0]) == wire[0].to.end());

    // The players' chat reaches the watchers through the host, not a
    // watcher's through this way.
    wire.clear();
    EXPECT_FALSE(host.PlayerChat(watchers[1], "me too"));
    EXPECT_TRUE(host.PlayerChat(ann, "thanks"));
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].msg.MsgType, gmPlayerChat);
    EXPECT_EQ(wire[0].to, watchers);
    const std::optional<TWatcherChat> relayed = ReadWatcherChat(Received(wire[0].msg));
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->name, "Ann");
    EXPECT_EQ(relayed->text, "thanks");

    host.Gone(watchers[3]);
    EXPECT_EQ(host.Decide(kStrangersAccount, true), RunningGameHost::Role::kWatch);
}

// A host of this version sends none of these; a forged or broken one is
// refused with a line in the log, and the newcomer's game stays as it was.
TEST_F(RunningGameTest, AHostileRecordIsRefusedWithAClearLineAndChangesNothing) {
    BlueSteps(3, {-4, 4});
    const std::string good = RunningGameHost::RecordText(match);
    TRunningSeats watching;
    watching.kinds = {skRemote, skComputer, skNone, skRemote, skNone, skNone};
    TRunningSeats wrongSeat = watching;
    wrongSeat.playing = true;
    wrongSeat.seatBack = 2; // takes no part
    TRunningSeats otherSeats = watching;
    otherSeats.kinds[4] = skComputer;
    const auto part = [](int index, int count, const std::string& text) {
        TQMsg msg;
        msg.MsgType = gmRecordPart;
        WriteRecordPart(msg, index, count, text);
        return msg;
    };
    const auto seats = [](const TRunningSeats& s) {
        TQMsg msg;
        msg.MsgType = gmRunningSeats;
        WriteRunningSeats(msg, s);
        return msg;
    };
    const std::string header = "seats HC-R--\njumpback 0\n";
    const struct {
        const char* what;
        std::vector<TQMsg> messages;
        const char* line;
    } cases[] = {
        {"out of turn", {part(0, 1, header + "1 ORANGE pass\n"), seats(watching)},
         "***The game under way was refused: line 3: turn 1 BLUE comes here, not 1 ORANGE"},
        {"an illegal hop", {part(0, 1, header + "1 BLUE 3 -5,3 -4,4 -3,5\n"), seats(watching)},
         "***The game under way was refused: line 3: BLUE 3 cannot move from -4,4 to -3,5"},
        {"a seat given back that takes no part", {part(0, 1, good), seats(wrongSeat)},
         "***The game under way was refused: the seat given back takes no part in the game"},
        {"seats other than the record's", {part(0, 1, good), seats(otherSeats)},
         "***The game under way was refused: the seats are not the record's"},
        {"two turns under way",
         {part(0, 1, good + kUnderWayMark + "\n2 BLUE pass\n2 ORANGE pass\n"), seats(watching)},
         "***The game under way was refused: line 5: more than one turn under way"},
        {"parts out of order", {part(1, 2, good), part(0, 2, good), seats(watching)},
         "***The game under way was refused: the game's record came out of order"},
        {"oversize", {part(0, 300, good), seats(watching)},
         "***The game under way was refused: the game's record is too large"},
        {"seats before the record", {seats(watching)},
         "***The game under way was refused: its seats came before its record"},
    };
    for (const auto& c : cases) {
        Newcomer newcomer(Contact("Zoe", "127.0.0.9", 0));
        newcomer.match.SetKinds({skHuman, skComputer, skNone, skNone, skNone, skNone});
        newcomer.match.NewGame();
        newcomer.guest.SetMatch(&newcomer.match);
        const std::string before = Position(newcomer.match);
        for (const TQMsg& msg : c.messages)
            newcomer.guest.Take(Received(msg));
        EXPECT_FALSE(newcomer.started) << c.what;
        EXPECT_TRUE(newcomer.guest.Refused()) << c.what;
        EXPECT_EQ(newcomer.log.join("\n").toStdString(), c.line) << c.what;
        EXPECT_EQ(Position(newcomer.match), before) << c.what;
        // Relays after a refusal change nothing either.
        TQMsg move;
        move.MsgType = gmSeatMove;
        WriteSeatMove(move, {kBlue, 3, 0});
        newcomer.guest.Take(Received(move));
        EXPECT_EQ(Position(newcomer.match), before) << c.what;
    }
}

} // namespace
