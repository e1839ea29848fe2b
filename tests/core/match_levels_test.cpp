// The computer's level per seat in the game model: each seat's computer
// plays its own level in a local game and Classic in an online one, a
// search for a game that is gone is told to stop, and a game record keeps
// the levels.
#include "board_tables.h"
#include "computer_level.h"
#include "match_fixture.h"
#include "saved_game.h"
#include "search_position.h"

namespace {

constexpr SeatKinds kBlueVsOrange = {skComputer, skNone, skNone, skComputer, skNone, skNone};

// The move `level` chooses for the seat in the game's position, as the
// record writes it without the turn number.
std::string Expected(const Match& match, int seat, ComputerLevel level) {
    const LevelMove move =
        ChooseLevelMove(TakeSnapshot(match.marbles(), match.state().homeHoles, seat), level);
    TurnRecord turn{1, seat, move.number, {}, {}};
    for (const int hole : move.path)
        turn.holes.push_back(Tables().at(hole));
    return MoveLine(turn).substr(2);
}

using MatchLevels = MatchTest;

// Blue Strong against Orange Classic: each turn is the move of its seat's
// level, worked out as the turn begins; on some of these turns the two
// levels differ, so a seat played at the wrong level shows.
TEST_F(MatchLevels, EachComputerSeatPlaysItsOwnLevel) {
    match.SetLevels({ComputerLevel::kStrong, ComputerLevel::kExpert, ComputerLevel::kExpert,
                     ComputerLevel::kClassic, ComputerLevel::kExpert, ComputerLevel::kExpert});
    std::vector<std::string> expected;
    bool levelsDiffered = false;
    view.onTurnBeginning = [&](int seat) {
        const std::string strong = Expected(match, seat, ComputerLevel::kStrong);
        const std::string classic = Expected(match, seat, ComputerLevel::kClassic);
        levelsDiffered = levelsDiffered || strong != classic;
        expected.push_back(seat == kBlue ? strong : classic);
    };
    for (int colour = 0; colour < kColours; ++colour)
        match.SetSeat(colour, kBlueVsOrange[colour]);
    match.NewGame();
    match.NextTurn();
    Drive(8);
    const Lines record = Record();
    ASSERT_EQ(record.size(), 8u);
    ASSERT_EQ(expected.size(), 8u);
    for (size_t i = 0; i < record.size(); ++i)
        EXPECT_EQ(record[i].substr(record[i].find(' ') + 1), expected[i]) << "turn " << i;
    EXPECT_TRUE(levelsDiffered) << "the positions do not tell the levels apart";
}

// Every program of an online game plays the computer seats itself, and the
// seat table carries no level: an Open or Remote seat makes every computer
// Classic, whatever was set.
TEST_F(MatchLevels, AnOnlineGamePlaysEveryComputerSeatClassic) {
    const ComputerLevels expert = {ComputerLevel::kExpert, ComputerLevel::kExpert,
                                   ComputerLevel::kExpert, ComputerLevel::kExpert,
                                   ComputerLevel::kExpert, ComputerLevel::kExpert};
    const struct {
        SeatKinds kinds;
        bool online;
    } cases[] = {
        {{skComputer, skNone, skNone, skHuman, skNone, skNone}, false},
        {{skComputer, skNone, skNone, skOpen, skNone, skNone}, true},
        {{skComputer, skRemote, skNone, skHuman, skNone, skNone}, true},
        {{skComputer, skComputer, skComputer, skComputer, skComputer, skComputer}, false},
    };
    for (const auto& c : cases) {
        match.SetKinds(c.kinds);
        match.SetLevels(expert);
        EXPECT_EQ(match.Online(), c.online);
        EXPECT_EQ(match.LevelOf(kBlue),
                  c.online ? ComputerLevel::kClassic : ComputerLevel::kExpert);
        EXPECT_EQ(match.Levels(), expert) << "kept for the next local game";
    }
}

TEST_F(MatchLevels, TheComputersOfAGameWithAnOpenSeatMoveAsClassic) {
    match.SetLevels({ComputerLevel::kExpert, ComputerLevel::kStrong, ComputerLevel::kExpert,
                     ComputerLevel::kStrong, ComputerLevel::kExpert, ComputerLevel::kStrong});
    std::vector<std::string> classic;
    bool levelsDiffered = false;
    view.onTurnBeginning = [&](int seat) {
        classic.push_back(Expected(match, seat, ComputerLevel::kClassic));
        levelsDiffered =
            levelsDiffered || classic.back() != Expected(match, seat, match.Levels()[seat]);
    };
    // Until a player joins, the open seat is the computer's too.
    match.SetKinds({skComputer, skComputer, skComputer, skOpen, skComputer, skComputer});
    match.NewGame();
    match.NextTurn();
    Drive(6);
    const Lines record = Record();
    ASSERT_EQ(record.size(), 6u);
    for (size_t i = 0; i < classic.size(); ++i)
        EXPECT_EQ(record[i].substr(record[i].find(' ') + 1), classic[i]) << i;
    EXPECT_TRUE(levelsDiffered) << "the positions do not tell the levels apart";
}

// A search running for a game keeps a flag that the game sets once its
// marbles are taken off (a new game, End Current Game) or the program
// closes; a new game's searches get a fresh one.
TEST_F(MatchLevels, ASearchIsToldToStopWhenItsGameIsGone) {
    const std::function<void(Match&)> ends[] = {
        [](Match& m) { m.NewGame(); },
        [](Match& m) { m.EndGame(); },
        [](Match& m) { m.Halt(); },
    };
    for (const auto& end : ends) {
        Match game;
        game.SetKinds(kBlueVsOrange);
        game.NewGame();
        const auto stop = game.SearchStop();
        EXPECT_FALSE(stop->load());
        end(game);
        EXPECT_TRUE(stop->load());
        if (!game.Halted()) {
            EXPECT_FALSE(game.SearchStop()->load()) << "the next game searches again";
        }
    }
}

// The seats line names a computer seat by its level's letter; a classic
// seat stays "C", so records of classic games and older ones read as before.
TEST_F(MatchLevels, ARecordKeepsTheLevelsAndReopensWithThem) {
    match.SetLevels({ComputerLevel::kStrong, ComputerLevel::kClassic, ComputerLevel::kClassic,
                     ComputerLevel::kExpert, ComputerLevel::kStrong, ComputerLevel::kClassic});
    Start({skComputer, skNone, skNone, skComputer, skHuman, skNone});
    const std::string text = SavedGameText(match.Saved());
    EXPECT_EQ(text.substr(0, 13), "seats S--EH-\n") << "a human seat has no level";

    Match reopened;
    reopened.OpenSavedGame(ReadSavedGame(text));
    EXPECT_EQ(reopened.LevelOf(kBlue), ComputerLevel::kStrong);
    EXPECT_EQ(reopened.LevelOf(kOrange), ComputerLevel::kExpert);
    EXPECT_EQ(SavedGameText(reopened.Saved()), text);

    // A record of an online game reopens with every computer Classic.
    Match online;
    online.SetLevels({ComputerLevel::kExpert, ComputerLevel::kExpert, ComputerLevel::kExpert,
                      ComputerLevel::kExpert, ComputerLevel::kExpert, ComputerLevel::kExpert});
    online.OpenSavedGame(ReadSavedGame("seats C--O-H\njumpback 0\n"));
    EXPECT_EQ(online.Levels(), ComputerLevels{});
    EXPECT_EQ(SavedGameText(online.Saved()).substr(0, 13), "seats C--O-H\n");
}

} // namespace
