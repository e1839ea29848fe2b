// The computer's levels: their names, the classic level as the game's own
// player, and the stronger levels' moves: legal, the same every time, and
// abandoned at once on request.

#include "board.h"
#include "board_tables.h"
#include "computer_level.h"
#include "computer_player.h"
#include "marble.h"
#include "path_text.h"
#include "position_file.h"
#include "rules.h"
#include "self_play.h"

#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <thread>

namespace {

const Board& SharedBoard() {
    static const Board board;
    return board;
}

std::string Describe(const LevelMove& m) {
    if (m.abandoned)
        return "abandoned";
    if (m.colour < 0)
        return "no move";
    return std::to_string(m.colour) + "/" + std::to_string(m.number) + " " + PathText(m.path);
}

// A position from its text, on the shared board.
struct Position {
    MarbleList marbles;
    int seat = 0;
    explicit Position(const std::string& text) {
        seat = ReadPosition(text, SharedBoard(), marbles);
    }
    ~Position() { marbles.RemoveAll(); }
    SearchPosition Snapshot() const {
        return TakeSnapshot(marbles, SharedBoard().homeHoles(), seat);
    }
};

// Positions of real games: the start of a game of the given seats, and the
// positions after some turns of the classic player.
std::vector<std::string> GamePositions(const char* seats, std::initializer_list<int> turns) {
    std::vector<std::string> positions;
    SelfPlay game(ParseSeats(seats));
    int played = 0;
    for (int turn : turns) {
        while (played < turn && game.winner() < 0) {
            game.PlayTurn();
            ++played;
        }
        positions.push_back(PositionText(game.marbles(), game.currentSeat()));
    }
    return positions;
}

// Whether `path` is a move a player could make: one step, or jumps each over
// one marble onto an empty hole, with the marble gone from its own hole.
bool IsLegalMove(const SearchPosition& p, const LevelMove& m) {
    const BoardTables& t = Tables();
    HoleSet occupied = p.Occupied();
    if (m.path.size() < 2 || !occupied.has(m.path.front()))
        return false;
    occupied.remove(m.path.front());
    for (size_t i = 1; i < m.path.size(); ++i) {
        const int from = m.path[i - 1], to = m.path[i];
        bool legal = false;
        for (int d = 0; d < kDirections; ++d) {
            const bool step = m.path.size() == 2 && t.neighbour(from, d) == to;
            const bool jump = t.beyond(from, d) == to && occupied.has(t.neighbour(from, d));
            legal = legal || ((step || jump) && !occupied.has(to));
        }
        if (!legal)
            return false;
    }
    return m.path.back() != m.path.front();
}

TEST(ComputerLevels, NamesAndLettersGoBothWays) {
    struct {
        ComputerLevel level;
        const char* name;
        char letter;
    } const cases[] = {
        {ComputerLevel::kClassic, "Classic", 'C'},
        {ComputerLevel::kStrong, "Strong", 'S'},
        {ComputerLevel::kExpert, "Expert", 'E'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LevelName(c.level), c.name);
        EXPECT_EQ(LevelLetter(c.level), c.letter);
        EXPECT_EQ(LevelFromName(c.name), c.level);
        EXPECT_EQ(LevelFromLetter(c.letter), c.level);
    }
    EXPECT_EQ(LevelFromLetter('-'), std::nullopt);
    EXPECT_EQ(LevelFromName("classic"), std::nullopt);
}

// The look-ahead's move generator against the click protocol itself: every
// hole a human reaches by clicking targets (a step, or jumps until he stops)
// is a destination, and nothing else.
TEST(LevelMoves, DestinationsAreTheHolesAHumanReachesClickByClick) {
    std::mt19937 rng(3);
    for (int i = 0; i < 60; ++i) {
        Board board;
        MarbleList marbles;
        std::vector<int> holes(kHoleCount);
        for (int h = 0; h < kHoleCount; ++h)
            holes[h] = h;
        std::shuffle(holes.begin(), holes.end(), rng);
        const int count = 20 + static_cast<int>(rng() % 41);
        for (int k = 0; k < count; ++k)
            marbles.Add(k / 10, k % 10, board.hole(holes[k]));
        const HoleSet occupied = TakeSnapshot(marbles, board.homeHoles(), 0).Occupied();
        for (const auto& m : marbles) {
            TZellhopPos& origin = *m->pos;
            GameState state;
            state.jumpBackAllowed = true;
            std::set<int> reached;
            std::vector<TZellhopPos*> queue;
            state.phase = kPhaseTurnStart;
            for (const Target& target : TargetsOf(*m, state)) {
                reached.insert(target.hole->index);
                if (!IsNeighbour(origin, *target.hole))
                    queue.push_back(target.hole);
            }
            state.phase = kPhaseMoveStep;
            while (!queue.empty()) {
                PlaceBall(*m, *queue.back());
                queue.pop_back();
                for (const Target& target : TargetsOf(*m, state))
                    if (reached.insert(target.hole->index).second)
                        queue.push_back(target.hole);
            }
            PlaceBall(*m, origin);
            reached.erase(origin.index);
            std::set<int> destinations;
            Destinations(occupied, origin.index).forEach([&](int h) { destinations.insert(h); });
            EXPECT_EQ(destinations, reached) << "position " << i << " hole " << origin.index;
        }
        marbles.RemoveAll();
    }
}

TEST(LevelMoves, TheClassicLevelIsTheGamesOwnComputerPlayer) {
    for (const std::string& text : GamePositions("CCCCCC", {0, 30, 90, 200})) {
        const Position p(text);
        const ComputerChoice expected =
            ChooseComputerMove(p.marbles, SharedBoard().homeHoles(), p.seat);
        const LevelMove move = ChooseLevelMove(p.Snapshot(), ComputerLevel::kClassic);
        ASSERT_NE(expected.marble, nullptr);
        EXPECT_EQ(move.colour, expected.marble->colour);
        EXPECT_EQ(move.number, expected.marble->number);
        EXPECT_EQ(PathText(move.path), PathText(expected.path));
    }
}

TEST(LevelMoves, EveryLevelPlaysALegalMoveOfTheSeat) {
    std::vector<std::string> positions = GamePositions("C--C--", {0, 25, 60});
    for (const std::string& text : GamePositions("CCCCCC", {0, 120}))
        positions.push_back(text);
    for (ComputerLevel level : {ComputerLevel::kStrong, ComputerLevel::kExpert})
        for (const std::string& text : positions) {
            const Position p(text);
            const SearchPosition snapshot = p.Snapshot();
            const LevelMove move = ChooseLevelMove(snapshot, level);
            EXPECT_EQ(move.colour, p.seat) << LevelName(level) << "\n" << text;
            EXPECT_TRUE(IsLegalMove(snapshot, move)) << Describe(move) << "\n" << text;
        }
}

// The levels' moves on positions of classic games, pinned: the same move
// every time, in every build (the sanitizers' too); a change of the
// look-ahead that changes them shows here.
TEST(LevelMoves, EachLevelsMoveOnPositionsOfClassicGames) {
    struct {
        const char* seats;
        int turns; // played by the classic player before the position
        const char* strong;
        const char* expert;
    } const cases[] = {
        {"C--C--", 30, "0/1 -7,1 -6,0", "0/1 -7,1 -6,0"},
        {"C-C-C-", 45, "0/1 -7,1 -6,0", "0/1 -7,1 -6,0"},
        {"CCCCCC", 80, "2/7 3,11 1,9 -1,7", "2/7 3,11 1,9 -1,7"},
        {"CCCCCC", 200, "2/4 2,-6 0,-8 -2,-10", "2/1 4,10 3,11"},
    };
    for (const auto& c : cases) {
        const Position p(GamePositions(c.seats, {c.turns}).front());
        EXPECT_EQ(Describe(ChooseLevelMove(p.Snapshot(), ComputerLevel::kStrong)), c.strong)
            << c.seats << " after " << c.turns;
        EXPECT_EQ(Describe(ChooseLevelMove(p.Snapshot(), ComputerLevel::kExpert)), c.expert)
            << c.seats << " after " << c.turns;
    }
}

TEST(LevelMoves, TheStrongerLevelsPlayAWinningMove) {
    // Nine Blue marbles home; the tenth at (3,1) jumps over (4,0) into (5,-1).
    // (The classic player steps to (4,2): a first jump onto its target hole
    // scores nothing.)
    const Position p("BLUE 0 8,0\nBLUE 1 7,-1\nBLUE 2 7,1\nBLUE 3 6,-2\nBLUE 4 6,0\n"
                     "BLUE 5 6,2\nBLUE 6 5,-3\nBLUE 7 5,1\nBLUE 8 5,3\nBLUE 9 3,1\n"
                     "ORANGE 0 4,0\nORANGE 1 -8,0\nmove BLUE\n");
    for (ComputerLevel level : {ComputerLevel::kStrong, ComputerLevel::kExpert})
        EXPECT_EQ(Describe(ChooseLevelMove(p.Snapshot(), level)), "0/9 3,1 5,-1")
            << LevelName(level);
}

TEST(LevelMoves, ASeatWithoutALegalMoveGetsNone) {
    const Position p("BLUE 0 -8,0\nRED 0 -7,-1\nRED 1 -7,1\nRED 2 -6,-2\nRED 3 -6,2\n"
                     "move BLUE\n");
    for (ComputerLevel level : kComputerLevels)
        EXPECT_EQ(Describe(ChooseLevelMove(p.Snapshot(), level)), "no move") << LevelName(level);
}

TEST(LevelMoves, ASearchIsAbandonedWhenAsked) {
    const Position p(GamePositions("CCCCCC", {60}).front());
    const SearchPosition snapshot = p.Snapshot();
    std::atomic<bool> stop{true};
    EXPECT_TRUE(ChooseLevelMove(snapshot, ComputerLevel::kExpert, &stop).abandoned);

    // A look-ahead that would run for hours unless stopped.
    LevelSettings endless;
    endless.depth = 12;
    stop = false;
    LevelSearchResult result;
    std::thread search([&] { result = SearchLevelMove(snapshot, endless, &stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
    search.join();
    EXPECT_TRUE(result.abandoned);
    EXPECT_EQ(result.marble, -1);
}

} // namespace
