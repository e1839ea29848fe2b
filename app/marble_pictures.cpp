#include "marble_pictures.h"

#include "colours.h"
#include "marble.h"
#include "picture_widget.h"
#include "shown_text.h"

namespace {

// "Blue", as a sentence names the colour.
QString ColourName(int colour) {
    const QString word = Text(ColourWord(colour));
    return word.left(1) + word.mid(1).toLower();
}

} // namespace

QString MarbleName(const TZellhopBall& marble) {
    return QString("%1 marble %2").arg(ColourName(marble.colour)).arg(marble.number);
}

QString HoleName(const TZellhopPos& hole) {
    return QString("%1,%2").arg(hole.at.r).arg(hole.at.c);
}

MarblePictures::MarblePictures(QWidget& owner, Centre centre, Clicked clicked)
    : owner_(owner), centre_(std::move(centre)), clicked_(std::move(clicked)) {}

void MarblePictures::Show(const MarbleList& marbles) {
    Remove();
    for (const auto& owned : marbles) {
        const TZellhopBall& marble = *owned;
        auto view = std::make_unique<MarbleView>(marble, owner_);
        QObject::connect(&view->picture(), &PictureWidget::clicked, &view->picture(),
                         [this, &marble] { clicked_(marble); });
        views_[&marble] = std::move(view);
        Place(marble);
    }
}

void MarblePictures::Remove() {
    views_.clear();
}

PictureWidget* MarblePictures::Of(const TZellhopBall& marble) const {
    const auto view = views_.find(&marble);
    return view == views_.end() ? nullptr : &view->second->picture();
}

// Every marble and pin says what it is to a screen reader.
void MarblePictures::Place(const TZellhopBall& marble) {
    PictureWidget* picture = Of(marble);
    if (!picture || !marble.pos)
        return;
    centre_(*picture, *marble.pos);
    picture->show();
    picture->setAccessibleName(QString("%1 on %2").arg(MarbleName(marble), HoleName(*marble.pos)));
}

void MarblePictures::PlaceAll(const MarbleList& marbles) {
    for (const auto& marble : marbles)
        Place(*marble);
    for (const auto& view : frozen_)
        view->picture().hide(); // where they stood is no longer where the board is
}

void MarblePictures::ShowPin(const TZellhopBall& marble, int picture) {
    if (const auto view = views_.find(&marble); view != views_.end())
        view->second->ShowPin(picture);
}

void MarblePictures::Freeze() {
    for (auto& [marble, view] : views_) {
        view->picture().setAttribute(Qt::WA_TransparentForMouseEvents);
        frozen_.push_back(std::move(view));
    }
    views_.clear();
}
