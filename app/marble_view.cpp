#include "marble_view.h"

#include "marble.h"
#include "picture_widget.h"
#include "pin_pictures.h"

MarbleView::MarbleView(const TZellhopBall& marble, QWidget& owner)
    : picture_(new PictureWidget(&owner)) {
    picture_->setObjectName(QString("marble%1_%2").arg(marble.colour).arg(marble.number));
    picture_->hide();
    ShowPin(marble.colour);
}

MarbleView::~MarbleView() {
    if (!picture_)
        return;
    picture_->disconnect();
    picture_->hide();
    picture_->deleteLater();
}

void MarbleView::ShowPin(int picture) {
    picture_->SetPicture(LoadPinPicture(picture));
}

PictureWidget& MarbleView::picture() const {
    return *picture_;
}
