#include "board_cursor.h"

#include "match.h"
#include "rules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A row lies sqrt(3) half-columns below the one above it.
const double kRowHeight = std::sqrt(3.0);
// Candidates within this many units across per unit along count as lying
// that way (a little over 60 degrees, so the diagonal neighbours do).
constexpr double kConeWidth = 2.0;

struct Heading {
    double x, y;
};

Heading HeadingOf(Arrow arrow) {
    switch (arrow) {
    case Arrow::kLeft:
        return {-1, 0};
    case Arrow::kRight:
        return {1, 0};
    case Arrow::kUp:
        return {0, -1};
    case Arrow::kDown:
        break;
    }
    return {0, 1};
}

bool Holds(const std::vector<const TZellhopPos*>& holes, const TZellhopPos* hole) {
    return hole && std::find(holes.begin(), holes.end(), hole) != holes.end();
}

double Distance(const TZellhopPos& a, const TZellhopPos& b) {
    return std::hypot(b.at.c - a.at.c, (b.at.r - a.at.r) * kRowHeight);
}

} // namespace

const TZellhopPos* NearestToward(const TZellhopPos& from,
                                 const std::vector<const TZellhopPos*>& candidates, Arrow arrow) {
    const Heading heading = HeadingOf(arrow);
    const TZellhopPos* best = nullptr;
    bool bestInCone = false;
    double bestScore = std::numeric_limits<double>::max();
    for (const TZellhopPos* hole : candidates) {
        const double dx = hole->at.c - from.at.c;
        const double dy = (hole->at.r - from.at.r) * kRowHeight;
        const double along = dx * heading.x + dy * heading.y;
        const double across = std::abs(dx * heading.y - dy * heading.x);
        if (along <= 0)
            continue;
        const bool inCone = across <= kConeWidth * along;
        // Straight ahead beats off to the side at the same distance.
        const double score = std::hypot(dx, dy) + across;
        if ((inCone && !bestInCone) || (inCone == bestInCone && score < bestScore)) {
            best = hole;
            bestInCone = inCone;
            bestScore = score;
        }
    }
    return best;
}

bool BoardCursor::Playable() const {
    return match_->HumanMayMove();
}

std::vector<const TZellhopPos*> BoardCursor::Candidates() const {
    std::vector<const TZellhopPos*> holes;
    const GameState& state = match_->state();
    if (mode_ == Mode::kTarget) {
        for (const Target& target : match_->ShownTargets())
            holes.push_back(target.hole);
        return holes;
    }
    // After a move only the marble that moved may go on.
    if (TurnHasMove(state.phase)) {
        if (state.selectedMarble && state.selectedMarble->pos)
            holes.push_back(state.selectedMarble->pos);
        return holes;
    }
    for (const auto& marble : match_->marbles())
        if (marble->colour == state.currentSeat && !TargetsOf(*marble, state).empty())
            holes.push_back(marble->pos);
    return holes;
}

void BoardCursor::Follow() {
    if (mode_ == Mode::kOff || !Playable())
        return;
    if (mode_ == Mode::kTarget && match_->ShownTargets().empty())
        mode_ = Mode::kMarble;
    const std::vector<const TZellhopPos*> candidates = Candidates();
    if (candidates.empty() || Holds(candidates, hole_))
        return;
    const TZellhopBall* selected = match_->state().selectedMarble;
    if (mode_ == Mode::kMarble && selected && Holds(candidates, selected->pos)) {
        hole_ = selected->pos;
        return;
    }
    // Somewhere new: the candidate nearest where the cursor was.
    hole_ = hole_ ? *std::min_element(candidates.begin(), candidates.end(),
                                      [this](const TZellhopPos* a, const TZellhopPos* b) {
                                          return Distance(*hole_, *a) < Distance(*hole_, *b);
                                      })
                  : candidates.front();
}

void BoardCursor::Move(Arrow arrow) {
    if (!Playable())
        return;
    if (mode_ == Mode::kOff) {
        mode_ = Mode::kMarble;
        Follow();
        return;
    }
    Follow();
    if (!hole_)
        return;
    if (const TZellhopPos* next = NearestToward(*hole_, Candidates(), arrow))
        hole_ = next;
}

void BoardCursor::Choose() {
    if (!Playable())
        return;
    if (mode_ == Mode::kOff)
        return Move(Arrow::kRight); // Enter first shows where the cursor is
    Follow();
    if (!hole_ || !Holds(Candidates(), hole_))
        return;
    if (mode_ == Mode::kMarble) {
        TZellhopBall& marble = *hole_->ball;
        match_->ClickMarble(marble);
        // The click may have ended the turn, and the computer may have
        // played since: look again.
        const std::vector<Target>& targets = match_->ShownTargets();
        if (Playable() && !targets.empty() && match_->state().selectedMarble == &marble) {
            mode_ = Mode::kTarget;
            hole_ = targets.front().hole;
        }
    } else {
        mode_ = Mode::kMarble;
        match_->ClickTarget(*hole_);
    }
    Follow();
}

void BoardCursor::Back() {
    if (mode_ != Mode::kTarget) {
        mode_ = Mode::kOff;
        return;
    }
    mode_ = Mode::kMarble;
    TZellhopBall* selected = match_->state().selectedMarble;
    if (!selected)
        return Follow();
    hole_ = selected->pos;
    // A click on the marble hides its targets; once it has moved, that
    // click would end the turn, so the targets stay.
    if (Playable() && selected->targetsShown && !TurnHasMove(match_->state().phase))
        match_->ClickMarble(*selected);
    Follow();
}

const TZellhopPos* BoardCursor::Shown() const {
    return mode_ != Mode::kOff && Playable() ? hole_ : nullptr;
}
