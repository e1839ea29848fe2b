// Game records as text: what the reader takes, what it refuses and where,
// and that the writer's text reads back the same.
#include "saved_game.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const char* const kHeader = "seats H--C--\njumpback 0\n";

TEST(SavedGame, ReadsTheHeaderTurnsPassesAndHintsAndWritesThemBack) {
    const std::string text = "seats HOR-C-\n"
                             "jumpback 1\n"
                             "1 BLUE 2 -6,2 -4,0\n"
                             "hint 1 RED 2 -2,10 -2,6\n"
                             "1 RED 2 -2,10 -2,6\n"
                             "1 PURPLE pass\n"
                             "hint 2 BLUE 5 -6,0 -4,2\n";
    const SavedGame record = ReadSavedGame(text);
    EXPECT_EQ(record.kinds, (SeatKinds{skHuman, skOpen, skRemote, skNone, skComputer, skNone}));
    EXPECT_TRUE(record.jumpBack);
    ASSERT_EQ(record.turns.size(), 3u);
    EXPECT_EQ(MoveLine(record.turns[0]), "1 BLUE 2 -6,2 -4,0");
    EXPECT_EQ(record.turns[0].hint.number, -1);
    EXPECT_EQ(HintLine(record.turns[1]), "hint 1 RED 2 -2,10 -2,6");
    EXPECT_EQ(MoveLine(record.turns[2]), "1 PURPLE pass");
    EXPECT_EQ(record.lines, (std::vector<int>{3, 5, 6}));
    EXPECT_EQ(HintLine(record.turnUnderWay), "hint 2 BLUE 5 -6,0 -4,2");
    EXPECT_EQ(record.turnUnderWayLine, 7);
    EXPECT_EQ(SavedGameText(record), text);
}

TEST(SavedGame, BlankLinesCommentsAndCrlfCarryNothing) {
    const SavedGame record = ReadSavedGame("# kept by hand\r\n\r\nseats C--C--\r\n"
                                           "jumpback 0\r\n\t\n1 BLUE 2 -6,2 -4,0\r\n");
    ASSERT_EQ(record.turns.size(), 1u);
    EXPECT_EQ(record.lines, std::vector<int>{6});
    EXPECT_EQ(SavedGameText(record), "seats C--C--\njumpback 0\n1 BLUE 2 -6,2 -4,0\n");
}

TEST(SavedGame, EveryMalformedLineIsRefusedByNumberAndReason) {
    const std::string header = kHeader;
    struct {
        std::string text;
        const char* message;
    } const cases[] = {
        {"", "line 1: expected \"seats <KINDS>\" and \"jumpback 0|1\" before the first turn"},
        {"seats H--C--\n",
         "line 1: expected \"seats <KINDS>\" and \"jumpback 0|1\" before the first turn"},
        {"seats H--C--\n1 BLUE pass\n",
         "line 2: expected \"seats <KINDS>\" and \"jumpback 0|1\" before the first turn"},
        {"seats H--X--\n", "line 1: seats must be six letters of H, C, S, E, O, R and - in colour "
                           "order, not all -"},
        {"seats ------\n", "line 1: seats must be six letters of H, C, S, E, O, R and - in colour "
                           "order, not all -"},
        {"seats H--C-\n", "line 1: seats must be six letters of H, C, S, E, O, R and - in colour "
                          "order, not all -"},
        {"seats h--c--\n", "line 1: seats must be six letters of H, C, S, E, O, R and - in colour "
                           "order, not all -"},
        {"jumpback 2\n", "line 1: jumpback must be 0 or 1"},
        {"jumpback\n", "line 1: jumpback must be 0 or 1"},
        {"seats H--C--\nseats C--C--\n", "line 2: \"seats\" is given twice"},
        {header + "1 BLUE 2 -6,2 -4,0\njumpback 1\n",
         "line 4: the header must come before the first turn"},
        {header + "1 BLUE\n", "line 3: expected \"<turn> <COLOUR> <marble> <r,c> <r,c> ...\" or "
                              "\"<turn> <COLOUR> pass\""},
        {header + "1 BLUE 2 -6,2\n", "line 3: expected \"<turn> <COLOUR> <marble> <r,c> <r,c> "
                                     "...\" or \"<turn> <COLOUR> pass\""},
        {header + "1 BLUE pass now\n", "line 3: expected \"<turn> <COLOUR> <marble> <r,c> <r,c> "
                                       "...\" or \"<turn> <COLOUR> pass\""},
        {header + "0 BLUE pass\n", "line 3: turn \"0\" is not a number from 1"},
        {header + "x BLUE pass\n", "line 3: turn \"x\" is not a number from 1"},
        {header + "99999999999 BLUE pass\n", "line 3: turn \"99999999999\" is not a number from 1"},
        {header + "1 blue pass\n", "line 3: unknown colour \"blue\""},
        {header + "1 BLUE 10 -6,2 -4,0\n", "line 3: marble number \"10\" is not 0..9"},
        {header + "1 BLUE 2 -6,2 -4,1\n", "line 3: \"-4,1\" is not a hole \"r,c\" of the board"},
        {header + "1 BLUE 2 -6;2 -4,0\n", "line 3: \"-6;2\" is not a hole \"r,c\" of the board"},
        {header + "hint 1 BLUE pass\n", "line 3: a hint names a move, not a pass"},
        {header + "hint 1 BLUE 2 -6,2 -4,0\nhint 1 BLUE 2 -6,2 -4,0\n",
         "line 4: a hint line must be followed by the move line of its turn"},
        {header + "hint 1 BLUE 2 -6,2 -4,0\n1 ORANGE pass\n",
         "line 4: this is not the turn of the hint on line 3"},
    };
    for (const auto& c : cases) {
        try {
            ReadSavedGame(c.text);
            ADD_FAILURE() << "read: " << c.text;
        } catch (const LineError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
    }
}

// S and E are computer seats at the stronger levels; C stays the classic
// computer, so records written before the levels read as they did.
TEST(SavedGame, ComputerSeatsCarryTheirLevelsAndWriteThemBack) {
    using L = ComputerLevel;
    const struct {
        const char* seats;
        SeatKinds kinds;
        ComputerLevels levels;
    } cases[] = {
        {"H--C--", {skHuman, skNone, skNone, skComputer, skNone, skNone}, {}},
        {"S--E--",
         {skComputer, skNone, skNone, skComputer, skNone, skNone},
         {L::kStrong, L::kClassic, L::kClassic, L::kExpert, L::kClassic, L::kClassic}},
        {"CSEORH",
         {skComputer, skComputer, skComputer, skOpen, skRemote, skHuman},
         {L::kClassic, L::kStrong, L::kExpert, L::kClassic, L::kClassic, L::kClassic}},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("seats ") + c.seats + "\njumpback 0\n";
        const SavedGame record = ReadSavedGame(text);
        EXPECT_EQ(record.kinds, c.kinds) << c.seats;
        EXPECT_EQ(record.levels, c.levels) << c.seats;
        EXPECT_EQ(SavedGameText(record), text);
    }
    // A level on a seat that is not the computer's is not written.
    SavedGame human;
    human.kinds = {skHuman, skNone, skNone, skComputer, skNone, skNone};
    human.levels.fill(ComputerLevel::kExpert);
    EXPECT_EQ(SavedGameText(human).substr(0, 13), "seats H--E--\n");
}

TEST(SavedGame, SeatLettersNameEveryKind) {
    for (SeatKind kind : {skNone, skHuman, skComputer, skOpen, skRemote}) {
        SeatKind back = skNone;
        ASSERT_TRUE(SeatKindOfLetter(SeatLetter(kind), back)) << kind;
        EXPECT_EQ(back, kind);
    }
    SeatKind unchanged = skHuman;
    EXPECT_FALSE(SeatKindOfLetter('x', unchanged));
    EXPECT_EQ(unchanged, skHuman);
}

TEST(SavedGame, AFileThatCannotBeReadIsLineZero) {
    for (const char* name : {"/nonexistent/game.txt", "/"}) {
        try {
            SavedGameFileText(name);
            ADD_FAILURE() << name;
        } catch (const LineError& e) {
            EXPECT_EQ(e.line(), 0) << name;
        }
    }
}

} // namespace
