#include "computer_level.h"

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

LevelSettings LevelSettingsOf(ComputerLevel level) {
    LevelSettings s;
    if (level == ComputerLevel::kStrong) {
        s.depth = 2;
    } else if (level == ComputerLevel::kExpert) {
        s.depth = 3;
        s.width = 20;
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
        const LevelSearchResult r = SearchLevelMove(position, LevelSettingsOf(level), stop);
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
