#include "computer_level.h"

#include "marble.h"
#include "pruned_search.h"

namespace {

struct LevelInfo {
    ComputerLevel level;
    std::string_view name;
    char letter;
};
constexpr std::array<LevelInfo, 3> kLevels = {{
    {ComputerLevel::kClassic, "Classic", 'C'},
    {ComputerLevel::kStrong, "Strong", 'S'},
    {ComputerLevel::kExpert, "Expert", 'E'},
}};

const LevelInfo& Info(ComputerLevel level) {
    for (const LevelInfo& info : kLevels)
        if (info.level == level)
            return info;
    return kLevels.front();
}

} // namespace

std::string_view LevelName(ComputerLevel level) {
    return Info(level).name;
}

char LevelLetter(ComputerLevel level) {
    return Info(level).letter;
}

std::optional<ComputerLevel> LevelFromLetter(char letter) {
    for (const LevelInfo& info : kLevels)
        if (info.letter == letter)
            return info.level;
    return std::nullopt;
}

std::optional<ComputerLevel> LevelFromName(std::string_view name) {
    for (const LevelInfo& info : kLevels)
        if (info.name == name)
            return info.level;
    return std::nullopt;
}

LevelSettings LevelSettingsOf(ComputerLevel level, int seats) {
    // Both levels cost a marble on a hole its way to go to the tip of its
    // target star point in single steps, plus a tenth of that squared so
    // that no marble stays behind, two more while it has not left its
    // starting star point, and twenty for every other colour's marble that
    // is shut in its target star point, which would end the game without a
    // winner.
    LevelSettings s;
    s.squareWeight = 10;
    s.startWeight = 200;
    s.trappedWeight = 2000;
    if (level == ComputerLevel::kStrong) {
        // Two moves of its own ahead, with the others' best reply between.
        s.depth = 3;
        s.nodeBudget = 800'000;
    } else if (level == ComputerLevel::kExpert) {
        // Three moves of its own ahead, the twelve most advancing below the
        // root; against a single other seat its progress counts too, and
        // among many the reply ply takes twelve moves of them all.
        s.depth = 5;
        s.width = 12;
        if (seats <= 2)
            s.othersWeight = 30;
        else
            s.replyWidth = 12;
        s.nodeBudget = 1'500'000;
    }
    return s;
}

LevelMove ChooseLevelMove(const SearchPosition& position, ComputerLevel level,
                          const std::atomic<bool>* stop) {
    LevelMove move;
    int marble = -1;
    if (level == ComputerLevel::kClassic) {
        const ClassicMove m = PrunedClassicMove(position, nullptr, {}, stop);
        move.abandoned = m.abandoned;
        marble = m.marble;
        move.path = m.path;
    } else {
        int seats = 0;
        for (int colour = 0; colour < kColours; ++colour)
            seats += !position.HolesOf(colour).empty();
        const LevelSearchResult r = SearchLevelMove(position, LevelSettingsOf(level, seats), stop);
        move.abandoned = r.abandoned;
        marble = r.marble;
        move.path = r.path;
    }
    if (marble >= 0) {
        move.colour = position.marbles[marble].colour;
        move.number = position.marbles[marble].number;
    }
    return move;
}

ComputerChoice LiveChoice(const MarbleList& marbles, const LevelMove& move) {
    ComputerChoice choice;
    if (move.abandoned)
        return choice;
    choice.marble = marbles.FindBall(move.colour, move.number);
    if (choice.marble)
        choice.path = HolesAlong(*choice.marble->pos, move.path);
    return choice;
}

ComputerChoice ChooseMoveAtLevel(const MarbleList& marbles, const HomeHoles& homeHoles, int seat,
                                 ComputerLevel level) {
    if (level == ComputerLevel::kClassic)
        return ChooseComputerMove(marbles, homeHoles, seat);
    return LiveChoice(marbles, ChooseLevelMove(TakeSnapshot(marbles, homeHoles, seat), level));
}
