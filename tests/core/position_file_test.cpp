#include "board.h"
#include "marble.h"
#include "position_file.h"
#include "test_data.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Read {
    Board board;
    MarbleList marbles;
    ~Read() { marbles.RemoveAll(); }
};

TEST(PositionFile, ReadsMarblesInFileOrderAndTheColourToMove) {
    Read r;
    const int toMove = ReadPosition("RED 3 -1,9\n"
                                    "BLUE 0 -8,0\n"
                                    "\n"
                                    "RED 0 4,-12\r\n"
                                    "move RED\n",
                                    r.board, r.marbles);
    EXPECT_EQ(toMove, 1);
    ASSERT_EQ(r.marbles.size(), 3u);
    EXPECT_EQ(r.marbles[0].colour, 1);
    EXPECT_EQ(r.marbles[0].number, 3);
    EXPECT_EQ(r.marbles[0].pos, r.board.at({-1, 9}));
    EXPECT_EQ(r.marbles[1].pos, r.board.homeHole(0));
    EXPECT_EQ(r.marbles[2].pos->ball, &r.marbles[2]);
    EXPECT_EQ(PositionText(r.marbles, toMove), "RED 3 -1,9\nBLUE 0 -8,0\nRED 0 4,-12\nmove RED\n");
}

TEST(PositionFile, EveryMalformedLineIsRefusedByNumberAndLeavesTheBoardEmpty) {
    struct {
        const char* text;
        const char* message;
    } const cases[] = {
        {"", "line 1: the last line must be \"move <COLOUR>\""},
        {"BLUE 0 -8,0\n", "line 1: the last line must be \"move <COLOUR>\""},
        {"BLUE 0 -8,0\nmove BLUE\nBLUE 1 -7,1\n", "line 3: nothing may follow the move line"},
        {"BLUE 0 -8,0\nmove\n",
         "line 2: expected \"<COLOUR> <number> <r,c>\" or \"move <COLOUR>\""},
        {"BLUE 0 -8,0 extra\n",
         "line 1: expected \"<COLOUR> <number> <r,c>\" or \"move <COLOUR>\""},
        {"blue 0 -8,0\nmove BLUE\n", "line 1: unknown colour \"blue\""},
        {"BLUE 0 -8,0\nmove PINK\n", "line 2: unknown colour \"PINK\""},
        {"BLUE 0 -8,0\nmove RED\n", "line 2: RED has no marble to move"},
        {"BLUE 10 -8,0\n", "line 1: marble number \"10\" is not 0..9"},
        {"BLUE -1 -8,0\n", "line 1: marble number \"-1\" is not 0..9"},
        {"BLUE x -8,0\n", "line 1: marble number \"x\" is not 0..9"},
        {"BLUE 0 -8,0\nBLUE 0 -7,1\n", "line 2: BLUE 0 is listed twice"},
        {"BLUE 0 -8,0\nRED 0 -8,0\n", "line 2: hole -8,0 already holds a marble"},
        {"BLUE 0 -8,1\n", "line 1: \"-8,1\" is not a hole \"r,c\" of the board"},
        {"BLUE 0 9,0\n", "line 1: \"9,0\" is not a hole \"r,c\" of the board"},
        {"BLUE 0 -8\n", "line 1: \"-8\" is not a hole \"r,c\" of the board"},
        {"BLUE 0 -8,0,0\n", "line 1: \"-8,0,0\" is not a hole \"r,c\" of the board"},
        {"BLUE 0 99999999999,0\n", "line 1: \"99999999999,0\" is not a hole \"r,c\" of the board"},
        {"BLUE 0 +1,1\n", "line 1: \"+1,1\" is not a hole \"r,c\" of the board"},
    };
    for (const auto& c : cases) {
        Read r;
        try {
            ReadPosition(c.text, r.board, r.marbles);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const PositionFileError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
        EXPECT_TRUE(r.marbles.empty()) << c.text;
        for (const auto& h : r.board.holes())
            EXPECT_EQ(h->ball, nullptr) << c.text;
    }
}

TEST(PositionFile, AFileThatCannotBeReadIsReportedAsLineZero) {
    Read r;
    try {
        ReadPositionFile("/nonexistent/position.txt", r.board, r.marbles);
        ADD_FAILURE();
    } catch (const PositionFileError& e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_STREQ(e.what(), "line 0: cannot read /nonexistent/position.txt");
    }
}

TEST(PositionFile, TheCorpusPositionsHoldSixFullColoursWithBlueToMove) {
    for (const char* name : {"crowded-1.txt", "crowded-2.txt"}) {
        Read r;
        const std::string file = TestDataPath(std::string("corpus/") + name);
        EXPECT_EQ(ReadPositionFile(file, r.board, r.marbles), 0) << name;
        EXPECT_EQ(r.marbles.size(), 60u) << name;
        EXPECT_EQ(PositionText(r.marbles, 0), PositionFileText(file)) << name;
    }
}

} // namespace
