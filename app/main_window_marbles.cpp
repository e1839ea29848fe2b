// The marbles and target markers on the main window, drawn from the game,
// and a human's clicks on them, passed to the game.
#include "main_window.h"
#include "marble_pictures.h"
#include "picture_widget.h"
#include "praise.h"
#include "shown_text.h"

#include <QAction>

void TfMain::RemoveMarblePictures() {
    // The markers belong to marbles that are about to go.
    for (PictureWidget* marker : targetMarkers_)
        marker->hide();
    marbles_->Remove();
}

PictureWidget* TfMain::MarblePicture(const TZellhopBall& marble) const {
    return marbles_->Of(marble);
}

void TfMain::MarblesChanged() {
    RemoveMarblePictures();
    marbles_->Show(game_->marbles());
    UpdatePlayAids();
}

void TfMain::MarblePlaced(const TZellhopBall& marble) {
    marbles_->Place(marble);
    UpdatePlayAids();
}

void TfMain::TargetsChanged() {
    ShowTargetMarkers();
    UpdatePlayAids();
}

void TfMain::ShowTargetMarkers() {
    const std::vector<Target>& targets = game_->ShownTargets();
    for (int k = 0; k < kTargetMarkers; ++k) {
        PictureWidget& marker = *targetMarkers_[k];
        if (k >= static_cast<int>(targets.size())) {
            marker.hide();
            continue;
        }
        CentreOnHole(marker, *targets[k].hole);
        marker.raise();
        marker.show();
        NameTarget(k);
    }
}

TZellhopPos* TfMain::MarkerHole(int k) const {
    const std::vector<Target>& targets = game_->ShownTargets();
    return k >= 0 && k < static_cast<int>(targets.size()) ? targets[k].hole : nullptr;
}

void TfMain::MarbleClick(const TZellhopBall& marble) {
    // The view holds the game's own marble: find it to act on it (also
    // after a wait for the lobby, when its game may be gone).
    const int colour = marble.colour;
    const int number = marble.number;
    if (game_->FindBall(colour, number) != &marble)
        return;
    const std::weak_ptr<Match> clicked = game_;
    const auto click = [this, colour, number, clicked] {
        if (clicked.lock() != game_)
            return;
        if (TZellhopBall* own = game_->FindBall(colour, number))
            game_->ClickMarble(*own);
    };
    if (!HeldForLobby(click))
        click();
}

void TfMain::MarbleSelected(const TZellhopBall& marble) {
    SetStatusText(2, QString("Ball %1").arg(marble.number));
    UpdatePlayAids();
}

void TfMain::MarkerClick(int marker) {
    const TZellhopPos* hole = MarkerHole(marker);
    if (!hole)
        return;
    const std::weak_ptr<Match> clicked = game_;
    const auto click = [this, hole, clicked] {
        if (clicked.lock() == game_)
            game_->ClickTarget(*hole);
    };
    if (!HeldForLobby(click))
        click();
}

void TfMain::HumanHopped(int praiseIndex) {
    SetStatusText(2, Text(::Praise(praiseIndex)));
    aEndTurn->setEnabled(true);
    UpdatePlayAids();
}
