// Keyboard play on the game model: where the arrows lead, and a whole
// hot-seat turn made with the cursor alone.
#include "board_cursor.h"
#include "match_fixture.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr SeatKinds kTwoHumans = {skHuman, skNone, skNone, skHuman, skNone, skNone};

TEST(NearestToward, TakesTheNearestHoleThatWayStraightAheadFirst) {
    const Board board;
    const auto at = [&board](int r, int c) -> const TZellhopPos* { return board.at({r, c}); };
    // Around the centre: its six neighbours and the hole two rows up.
    const std::vector<const TZellhopPos*> around = {at(-1, -1), at(-1, 1), at(0, 2), at(1, 1),
                                                    at(1, -1),  at(0, -2), at(-2, 0)};
    const struct {
        Arrow arrow;
        std::vector<const TZellhopPos*> candidates;
        const TZellhopPos* expected;
    } cases[] = {
        {Arrow::kRight, around, at(0, 2)},
        {Arrow::kLeft, around, at(0, -2)},
        {Arrow::kUp, around, at(-1, -1)}, // a neighbour before the hole straight up, two rows away
        {Arrow::kDown, around, at(1, 1)},
        {Arrow::kUp, {at(-2, 0), at(-1, 7)}, at(-2, 0)},    // far to the side loses
        {Arrow::kRight, {at(-4, 2), at(0, -2)}, at(-4, 2)}, // outside the cone, but that way
        {Arrow::kRight, {at(0, -2), at(1, -1)}, nullptr},
        {Arrow::kDown, {}, nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NearestToward(*at(0, 0), c.candidates, c.arrow), c.expected)
            << static_cast<int>(c.arrow) << " " << c.candidates.size();
}

class Cursor : public MatchTest {
  public:
    LatticePoint Where() const {
        const TZellhopPos* hole = cursor.Shown();
        return hole ? hole->at : LatticePoint{99, 99};
    }
    BoardCursor cursor{match};
};

TEST_F(Cursor, AWholeHotSeatTurnByTheCursorAlone) {
    Start(kTwoHumans);
    EXPECT_FALSE(cursor.Shown()) << "not before a key is pressed";
    // Blue's first marble that can move: marble 2; to its left marble 5.
    const struct {
        void (BoardCursor::*act)();
        Arrow arrow;
        LatticePoint at;
        BoardCursor::Mode mode;
    } steps[] = {
        {nullptr, Arrow::kDown, {-6, 2}, BoardCursor::Mode::kMarble}, // appears
        {nullptr, Arrow::kLeft, {-6, 0}, BoardCursor::Mode::kMarble},
        {nullptr, Arrow::kRight, {-6, 2}, BoardCursor::Mode::kMarble},
        {nullptr, Arrow::kUp, {-6, 2}, BoardCursor::Mode::kMarble},      // nothing movable up there
        {&BoardCursor::Choose, {}, {-4, 4}, BoardCursor::Mode::kTarget}, // its jumps
        {nullptr, Arrow::kLeft, {-4, 0}, BoardCursor::Mode::kTarget},
        {&BoardCursor::Back, {}, {-6, 2}, BoardCursor::Mode::kMarble}, // targets hidden
        {&BoardCursor::Choose, {}, {-4, 4}, BoardCursor::Mode::kTarget},
        {nullptr, Arrow::kLeft, {-4, 0}, BoardCursor::Mode::kTarget},
    };
    for (const auto& s : steps) {
        if (s.act)
            (cursor.*s.act)();
        else
            cursor.Move(s.arrow);
        EXPECT_EQ(Where(), s.at) << static_cast<int>(s.arrow);
        EXPECT_EQ(cursor.mode(), s.mode);
        EXPECT_EQ(match.ShownTargets().empty(), s.mode != BoardCursor::Mode::kTarget);
    }
    cursor.Choose(); // the jump; only the way back is left, so Orange's turn begins
    EXPECT_EQ(Record().front(), "1 BLUE 2 -6,2 -4,0");
    EXPECT_EQ(Turn(), "1 ORANGE phase 0");
    const TZellhopPos* onOrange = cursor.Shown();
    ASSERT_TRUE(onOrange && onOrange->ball);
    EXPECT_EQ(onOrange->ball->colour, kOrange) << "the cursor went over to Orange's marbles";

    cursor.Back();
    EXPECT_FALSE(cursor.Shown()) << "Escape over the marbles hides the cursor";
}

TEST_F(Cursor, AfterAJumpOnlyTheMovedMarbleIsOfferedAndChoosingItTwiceEndsTheTurn) {
    Start(kTwoHumans);
    match.SetJumpBackAllowed(true);
    cursor.Move(Arrow::kRight);
    cursor.Choose();
    cursor.Move(Arrow::kLeft);
    cursor.Choose(); // Blue 2 jumps to -4,0; with jumping back allowed it may go on
    ASSERT_EQ(Turn(), "1 BLUE phase 2");
    EXPECT_EQ(Where(), (LatticePoint{-4, 0}));
    cursor.Move(Arrow::kLeft);
    EXPECT_EQ(Where(), (LatticePoint{-4, 0})) << "no other marble may move now";
    cursor.Choose(); // its further jumps
    EXPECT_EQ(cursor.mode(), BoardCursor::Mode::kTarget);
    cursor.Back(); // back to the marble; the targets stay, nothing is ended
    EXPECT_EQ(Turn(), "1 BLUE phase 2");
    EXPECT_FALSE(match.ShownTargets().empty());
    cursor.Choose(); // the second click on the moved marble ends the turn
    EXPECT_EQ(Turn(), "1 ORANGE phase 0");
}

TEST_F(Cursor, TheCursorIsShownOnlyWhileAHumanHereMayPlay) {
    match.SetSeat(kBlue, skComputer);
    match.SetSeat(kOrange, skHuman);
    bool shownDuringComputer = false;
    view.onWait = [&] {
        cursor.Move(Arrow::kRight);
        shownDuringComputer = shownDuringComputer || cursor.Shown();
    };
    match.NewGame();
    match.NextTurn();
    Drive();
    EXPECT_FALSE(shownDuringComputer);
    cursor.Move(Arrow::kRight);
    ASSERT_TRUE(cursor.Shown());
    match.EndGame();
    EXPECT_FALSE(cursor.Shown());
}

} // namespace
