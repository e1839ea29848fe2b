#include "seat_panel.h"

#include "board_layout.h"
#include "colours.h"
#include "picture_widget.h"
#include "pin_pictures.h"

#include <QLabel>

namespace {

constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 30;
constexpr int kPanelLineHeight = 24;
constexpr int kPanelNameLeft = 30;
constexpr int kPanelNameDrop = 2; // the name sits a little below its pin's top

} // namespace

void SeatPanel::Build(const std::array<Seat, kColours>& seats,
                      const std::function<std::optional<QString>(int colour)>& playerName) {
    Clear();
    int lines = 0;
    for (const Seat& seat : seats) {
        if (seat.kind == skNone)
            continue;
        const int top = kPanelTop + kPanelLineHeight * lines++;
        auto* pin = new PictureWidget(&client_);
        pin->setObjectName(QString("seatIndicator%1").arg(seat.colour));
        pin->SetPicture(LoadPinPicture(seat.colour));
        pin->move(kPanelLeft, top);
        pin->show();

        const QString name = playerName(seat.colour)
                                 .value_or(seat.kind == skHuman      ? "You"
                                           : seat.kind == skComputer ? "Computer"
                                                                     : "");
        auto* label = new QLabel(name, &client_);
        label->setObjectName(QString("seatName%1").arg(seat.colour));
        label->move(kPanelNameLeft, top + kPanelNameDrop);
        label->adjustSize();
        label->show();

        lines_[seat.colour] = {pin, label};
    }
    Place();
}

void SeatPanel::Clear() {
    for (Line& line : lines_) {
        delete line.pin.data();
        delete line.name.data();
        line = {};
    }
}

void SeatPanel::SetName(int colour, const QString& name) {
    if (QLabel* label = lines_.at(colour).name) {
        label->setText(name);
        label->adjustSize();
    }
}

void SeatPanel::ShowTurn(int colour, bool hasTurn) {
    if (PictureWidget* pin = lines_.at(colour).pin)
        pin->SetPicture(LoadPinPicture(hasTurn ? kWhitePin : colour));
}

void SeatPanel::Place() {
    int line = 0;
    for (const Line& seat : lines_) {
        PictureWidget* pin = seat.pin;
        if (!pin)
            continue;
        const SeatLine place = SeatLineFor(line++, pin->width(), pin->height());
        pin->move(place.pin.x, place.pin.y);
        if (seat.name)
            seat.name->move(place.name.x, place.name.y);
    }
    SetWatchers(watcherNames_);
}

void SeatPanel::SetWatchers(const QStringList& names) {
    watcherNames_ = names;
    int line = 0;
    int pinWidth = 0;
    int pinHeight = 0;
    for (const Line& seat : lines_)
        if (PictureWidget* pin = seat.pin) {
            ++line;
            pinWidth = pin->width();
            pinHeight = pin->height();
        }
    const SeatLine place = SeatLineFor(line, pinWidth, pinHeight);
    watchers_.Show(names, place.pin.x, place.name.y);
}
