// The marbles on the main window and a human's move by the mouse: a click
// on a marble of the seat to play shows its targets, a click on a target
// marker moves it there.  The rules themselves are the core's.
#include "main_window.h"
#include "marble_view.h"
#include "picture_widget.h"
#include "praise.h"
#include "rules.h"
#include "win.h"

#include <QAction>

void TfMain::CreateBalls(TZellhopPos* tip, int colour) {
    marbles.CreateColour(tip, colour, [this](TZellhopBall& marble) { ShowMarble(marble); });
}

void TfMain::ShowMarble(TZellhopBall& marble) {
    auto view = std::make_unique<MarbleView>(marble, *centralWidget());
    connect(&view->picture(), &PictureWidget::clicked, this,
            [this, &marble] { ShowingErrors([this, &marble] { MarbleClick(marble); }); });
    marbleViews_[&marble] = std::move(view);
    if (marble.pos)
        PlaceBall(marble, *marble.pos);
}

PictureWidget* TfMain::MarblePicture(const TZellhopBall& marble) const {
    const auto view = marbleViews_.find(&marble);
    return view == marbleViews_.end() ? nullptr : &view->second->picture();
}

void TfMain::PlaceBall(TZellhopBall& marble, TZellhopPos& hole) {
    ::PlaceBall(marble, hole);
    if (PictureWidget* picture = MarblePicture(marble)) {
        CentreOnHole(*picture, hole);
        picture->show();
    }
}

void TfMain::RemoveAllMarbles() {
    ++gameGeneration_;
    // The markers and the selection belong to marbles that are about to go.
    for (PictureWidget* marker : targetMarkers)
        marker->hide();
    markerTargets_ = {};
    state.selectedMarble = nullptr;
    remoteSteps_.clear(); // they were for these marbles
    marbleViews_.clear();
    marbles.RemoveAll();
}

int TfMain::ShowTargets(TZellhopBall& marble, TargetsMode mode) {
    marble.targetsShown = false;
    if (mode == kHideTargets) {
        for (PictureWidget* marker : targetMarkers)
            marker->hide();
        return 0;
    }
    const std::vector<Target> targets = TargetsOf(marble, state);
    if (mode == kShowTargets) {
        for (int k = 0; k < kTargetMarkers; ++k) {
            PictureWidget& marker = *targetMarkers[k];
            if (k >= static_cast<int>(targets.size())) {
                marker.hide();
                continue;
            }
            markerTargets_[k] = {targets[k].hole, targets[k].direction};
            CentreOnHole(marker, *targets[k].hole);
            marker.raise();
            marker.show();
        }
        marble.targetsShown = !targets.empty();
    }
    return static_cast<int>(targets.size());
}

bool TfMain::ClicksRefused() const {
    // No human move may interleave with the computer's: its waits let the
    // window handle clicks.
    return computerMoving;
}

void TfMain::MarbleClick(TZellhopBall& marble) {
    if (ClicksRefused() || state.phase == kPhaseRemote || marble.colour != state.currentSeat)
        return;
    if (TurnHasMove(state.phase) && &marble != state.selectedMarble)
        return;
    ShowTargets(marble, marble.targetsShown ? kHideTargets : kShowTargets);
    const uint64_t game = gameGeneration_;
    if (!marble.targetsShown && TurnHasMove(state.phase))
        FinishMove(marble);
    // The turns that followed may have ended the game and taken the marble.
    if (game == gameGeneration_)
        BallSelected(marble);
}

void TfMain::BallSelected(TZellhopBall& marble) {
    if (state.phase == kPhaseTurnStart)
        state.selectedMarble = &marble;
    SetStatusText(2, QString("Ball %1").arg(marble.number));
}

void TfMain::FinishMove(TZellhopBall& marble) {
    marble.prevPos = nullptr;
    NextTurn();
}

void TfMain::MarkerClick(int marker) {
    TZellhopBall* marble = state.selectedMarble;
    const MarkerTarget target = markerTargets_.at(marker);
    if (ClicksRefused() || !marble || !target.hole || !targetMarkers[marker]->isVisible())
        return;
    state.phase += kPhaseMoveStep;
    PlaceBall(*marble, *target.hole);
    ShowTargets(*marble, kHideTargets);
    SendMove(marble->number, target.direction);

    const int last = tv.Last();
    if (!tv.PathContains(last, *target.hole)) {
        if (last == PathTree::kNone)
            tv.AddRoot(*target.hole);
        else
            tv.AddChild(last, *target.hole);
    }
    Praise(PraiseIndexFor(tv.Count()));
    aEndTurn->setEnabled(true);

    if (CheckWin())
        return;
    // A step ends the turn; so does a jump after which no further jump exists.
    if (ShowTargets(*marble, kCountTargets) == 0 || IsNeighbour(*marble->pos, *marble->prevPos))
        NextTurn();
}

void TfMain::Praise(int index) {
    const std::string_view text = ::Praise(index);
    SetStatusText(2, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TfMain::SendMove(int number, int direction) {
    if (!hc.Enabled())
        return; // a local game has no peers
    WriteMove(hc.NewMsg(gmMove), {number, direction});
    hc.SendMsg(smAll, true);
}
