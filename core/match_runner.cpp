#include "match_runner.h"

MatchRunner::MatchRunner(Match& match, Match::MoveChooser choose)
    : match_(&match), choose_(std::move(choose)) {}

int MatchRunner::Run(int computerTurns) {
    int played = 0;
    for (;;) {
        switch (match_->NextStep()) {
        case MatchStep::kChooseMove: {
            const int seat = match_->state().currentSeat;
            const HomeHoles& homes = match_->state().homeHoles;
            match_->PlayComputerMove(
                choose_ ? choose_(match_->marbles(), homes, seat)
                        : ChooseMoveAtLevel(match_->marbles(), homes, seat, match_->LevelOf(seat)));
            break;
        }
        case MatchStep::kShowHop:
            if (onWait)
                onWait();
            match_->AdvanceShownMove();
            break;
        case MatchStep::kPassTurn:
            if (++played >= computerTurns)
                return played;
            match_->NextTurn();
            break;
        default:
            return played;
        }
    }
}
