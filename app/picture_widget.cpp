#include "picture_widget.h"

#include <QMouseEvent>

PictureWidget::PictureWidget(QWidget* parent) : QLabel(parent) {}

void PictureWidget::SetPicture(const QPixmap& picture) {
    setPixmap(picture);
    resize(picture.size());
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    else
        QLabel::mousePressEvent(event);
}
