// The game model on its own: turns, clicks, computer seats, remote players
// and their departures, the win, and the record each of them leaves.
#include "match_fixture.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr PlayerId kAnn = 1;
constexpr PlayerId kBob = 2;
constexpr int kLeft = 7; // a departure's reason, as the messaging gives it

TEST_F(MatchTest, HotSeatTurnsPassOnStepsChainsAndTheSecondClick) {
    Start({skHuman, skNone, skNone, skHuman, skNone, skNone});
    EXPECT_EQ(Turn(), "1 BLUE phase 0");

    // A jump after which only the way back is left ends the turn.
    Hop(kBlue, 2, {-4, 0});
    EXPECT_EQ(Turn(), "1 ORANGE phase 0");
    // Orange looks at one marble, then steps with another.
    match.ClickMarble(Marble(kOrange, 3));
    EXPECT_EQ(match.ShownTargets().size(), 2u);
    Hop(kOrange, 4, {4, -2});
    EXPECT_EQ(Turn(), "2 BLUE phase 0");

    // A chain back over its own start, ended by a second click.
    Hop(kBlue, 5, {-4, 2});
    match.ClickMarble(Marble(kBlue, 4)); // another marble after a move: ignored
    EXPECT_TRUE(match.ShownTargets().empty());
    Hop(kBlue, 5, {-4, -2});
    Hop(kBlue, 5, {-6, 0});
    Hop(kBlue, 5, {-4, 2});
    EXPECT_EQ(Turn(), "2 BLUE phase 8");
    match.ClickMarble(Marble(kBlue, 5)); // shows the further jump
    match.ClickMarble(Marble(kBlue, 5)); // and ends the turn
    EXPECT_EQ(Turn(), "2 ORANGE phase 0");

    EXPECT_EQ(Record(), (Lines{"1 BLUE 2 -6,2 -4,0", "1 ORANGE 4 5,-1 4,-2",
                               "2 BLUE 5 -6,0 -4,2 -4,-2 -6,0 -4,2", "2 ORANGE pass"}));
    const auto chain = std::find(view.events.rbegin(), view.events.rend(), "turn BLUE").base();
    EXPECT_EQ(Events(chain, chain + 9),
              (Events{"send move 5 3", "praise 0", "send move 5 5", "praise 1", "send move 5 1",
                      "praise 2", "send move 5 3", "praise 2", "ended BLUE"}))
        << "the praise grows with new holes only";
}

TEST_F(MatchTest, ComputerSeatsPlayInsideTheTurnLoopWithAWaitBeforeAndAfterEachHole) {
    Start({skHuman, skNone, skNone, skComputer, skNone, skNone});
    Hop(kBlue, 3, {-4, 4}); // a step ends Blue's turn; Orange plays at once
    EXPECT_EQ(Turn(), "2 BLUE phase 0");
    ASSERT_EQ(match.record().size(), 3u);
    const TurnRecord& orange = match.record()[1];
    EXPECT_EQ(orange.seat, kOrange);
    EXPECT_EQ(MoveLine(orange), "1 ORANGE 2 6,-2 4,0") << "the classic choice";
    EXPECT_EQ(view.waits, static_cast<int>(orange.holes.size()) + 1);
    EXPECT_EQ(view.events,
              (Events{"turn BLUE", "send move 3 3", "praise 0", "ended BLUE", "send end of turn",
                      "turn ORANGE", "computer moves 2", "ended ORANGE", "turn BLUE"}));
    EXPECT_FALSE(match.ComputerMoving());
}

TEST_F(MatchTest, RemoteHopsAreTakenOnlyFromThePlayerOfTheSeatInTheOrderHeSentThem) {
    const struct {
        const char* what;
        std::function<void(MatchTest&)> arrive;
        Lines lines;
        std::string turn;
    } cases[] = {
        {"from the wrong player, or a direction off the board: nothing",
         [](MatchTest& t) {
             t.match.RemoteMove(kBob, 4, 3);
             t.match.RemoteEndTurn(kBob);
             t.match.RemoteMove(kNoPlayer, 4, 3);
             t.match.RemoteMove(kAnn, 4, 7);
         },
         {"1 BLUE pass"},
         "1 BLUE phase 9"},
        {"his hop and end of turn",
         [](MatchTest& t) {
             t.match.RemoteMove(kAnn, 4, 3);
             t.match.RemoteEndTurn(kAnn);
         },
         {"1 BLUE 4 -5,1 -4,2", "1 ORANGE pass"},
         "1 ORANGE phase 0"},
        {"a hop that cannot land is dropped; the next one is played",
         [](MatchTest& t) {
             t.match.RemoteMove(kAnn, 0, 0); // off the board
             t.match.RemoteMove(kAnn, 3, 3);
         },
         {"1 BLUE 3 -5,3 -4,4"},
         "1 BLUE phase 9"},
    };
    for (const auto& c : cases) {
        Start({skRemote, skNone, skNone, skHuman, skNone, skNone}, {kAnn});
        c.arrive(*this);
        EXPECT_EQ(Record(), c.lines) << c.what;
        EXPECT_EQ(Turn(), c.turn) << c.what;
        match.EndGame();
    }
}

TEST_F(MatchTest, RemoteHopsThatArriveEarlyWaitForTheirTurn) {
    // Ann plays Orange; her hop and end of turn arrive while Blue (here)
    // still thinks, and are played once the turn reaches her.
    Start({skHuman, skNone, skNone, skRemote, skNone, skNone}, {0, 0, 0, kAnn});
    match.RemoteMove(kAnn, 4, 0);
    match.RemoteEndTurn(kAnn);
    EXPECT_EQ(At(kOrange, 4), (LatticePoint{5, -1}));
    Hop(kBlue, 3, {-4, 4});
    EXPECT_EQ(Record(), (Lines{"1 BLUE 3 -5,3 -4,4", "1 ORANGE 4 5,-1 4,-2", "2 BLUE pass"}));
    EXPECT_EQ(Turn(), "2 BLUE phase 0");
}

TEST_F(MatchTest, RemoteHopsWaitWhileTheComputerMoves) {
    // Blue is the computer here; Ann's Orange hops come in during its move.
    bool sent = false;
    view.onWait = [&] {
        if (sent)
            return;
        sent = true;
        match.RemoteMove(kAnn, 4, 0);
        match.RemoteEndTurn(kAnn);
        EXPECT_EQ(At(kOrange, 4), (LatticePoint{5, -1})) << "played during the computer's move";
    };
    Start({skComputer, skNone, skNone, skRemote, skNone, skNone}, {0, 0, 0, kAnn});
    ASSERT_GE(match.record().size(), 3u);
    EXPECT_EQ(MoveLine(match.record()[0]), "1 BLUE 2 -6,2 -4,0");
    EXPECT_EQ(MoveLine(match.record()[1]), "1 ORANGE 4 5,-1 4,-2");
    EXPECT_EQ(Turn(), "2 ORANGE phase 9") << "Blue played again, Ann's next turn waits";
}

TEST_F(MatchTest, ALeaversSeatsGoToTheComputerAtEveryPhase) {
    const SeatKinds kinds = {skRemote, skNone, skNone, skHuman, skRemote, skNone};
    const std::array<PlayerId, kColours> players = {kAnn, 0, 0, 0, kBob, 0};
    const struct {
        const char* what;
        std::function<void(MatchTest&)> play;
        std::string turn;
        Lines lines;
        int seat; // the leaver's seat, the computer's from now on
    } cases[] = {
        {"while another seat has the turn: the seat waits for its turn",
         [](MatchTest& t) { t.match.PlayerLeft(kBob, kLeft); },
         "1 BLUE phase 9",
         {"1 BLUE pass"},
         kGreen},
        {"during his turn: the turn passes and the computer plays him next time",
         [](MatchTest& t) {
             t.match.RemoteMove(kAnn, 4, 3);
             t.match.PlayerLeft(kAnn, kLeft);
         },
         "1 ORANGE phase 0",
         {"1 BLUE 4 -5,1 -4,2", "1 ORANGE pass"},
         kBlue},
        {"with hops still waiting: he leaves after them",
         [](MatchTest& t) {
             t.match.RemoteMove(kBob, 4, 2); // Green's, early
             t.match.PlayerLeft(kBob, kLeft);
             t.match.RemoteEndTurn(kAnn);
             t.Hop(kOrange, 4, {4, -2});
         },
         "2 BLUE phase 9",
         {"1 BLUE pass", "1 ORANGE 4 5,-1 4,-2", "1 GREEN 4 2,-8 2,-6", "2 BLUE pass"},
         kGreen},
    };
    for (const auto& c : cases) {
        view.events.clear();
        Start(kinds, players);
        c.play(*this);
        EXPECT_EQ(Turn(), c.turn) << c.what;
        EXPECT_EQ(Record(), c.lines) << c.what;
        EXPECT_EQ(match.seat(c.seat).kind, skOpen) << c.what;
        EXPECT_EQ(view.events.back(),
                  "gone " + std::to_string(players[c.seat]) + " " + std::to_string(kLeft))
            << c.what;
        match.EndGame();
    }
}

TEST_F(MatchTest, APlayerWhoLeavesBeforeHisTurnBeginsIsPlayedByTheComputerWhenItComes) {
    for (int colour = 0; colour < kColours; ++colour)
        match.SetSeat(colour, skNone);
    match.SetSeat(kBlue, skRemote, kAnn);
    match.SetSeat(kOrange, skHuman);
    match.NewGame();
    match.PlayerLeft(kAnn, kLeft); // before the first turn has begun for him
    match.NextTurn();
    Drive();
    EXPECT_EQ(match.seat(kBlue).kind, skOpen);
    EXPECT_EQ(match.seat(kBlue).player, kNoPlayer);
    EXPECT_EQ(Record(), (Lines{"1 BLUE 2 -6,2 -4,0", "1 ORANGE pass"}));
    EXPECT_EQ(Turn(), "1 ORANGE phase 0");
}

TEST_F(MatchTest, AWinEndsTheGameAndTheRecordKeepsTheWinningMove) {
    Start({skHuman, skNone, skNone, skRemote, skNone, skNone}, {0, 0, 0, kAnn});
    std::vector<PlacedMarble> position = {{0, 0, {8, 0}},  {0, 1, {7, -1}}, {0, 2, {7, 1}},
                                          {0, 3, {6, -2}}, {0, 4, {6, 0}},  {0, 5, {6, 2}},
                                          {0, 6, {5, -3}}, {0, 7, {5, -1}}, {0, 8, {5, 3}},
                                          {0, 9, {4, 0}},  {3, 0, {-8, 0}}};
    match.ReplaceMarbles(position);
    EXPECT_FALSE(match.CheckWin()) << "nine are not ten";
    const auto searchStop = match.SearchStop();
    Hop(kBlue, 9, {5, 1});
    EXPECT_EQ(match.winner(), kBlue);
    EXPECT_EQ(match.state().currentSeat, kNoSeat);
    EXPECT_TRUE(match.marbles().empty());
    EXPECT_TRUE(searchStop->load()) << "a search for the game would stop";
    EXPECT_EQ(Record(), (Lines{"1 BLUE 9 4,0 5,1"}));
    EXPECT_EQ(std::vector<std::string>(view.events.end() - 2, view.events.end()),
              (Events{"won BLUE", "game over"}));
    match.RemoteMove(kAnn, 0, 0); // late: nobody listens any more
    EXPECT_EQ(Record().size(), 1u);
}

TEST_F(MatchTest, ComputerTurnsCanBePlayedOneAtATime) {
    match.SetSeat(kBlue, skComputer);
    match.SetSeat(kRed, skComputer);
    match.NewGame();
    match.NextTurn();
    Drive(1);
    EXPECT_EQ(match.record().size(), 1u);
    EXPECT_EQ(match.Upcoming().seat, kRed);
    match.NextTurn();
    Drive(2);
    EXPECT_EQ(Record().size(), 3u);
    EXPECT_EQ(Record()[2].substr(0, 7), "2 BLUE ");
}

} // namespace
