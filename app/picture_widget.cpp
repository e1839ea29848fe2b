#include "picture_widget.h"

#include "pin_pictures.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

// The pin diameter of an area, kept on the area for the pins created on it
// later.
const char* const kPinDiameterProperty = "pinDiameter";
constexpr int kVisibleAlpha = 128; // of a picture from a file: half covered counts

// The smallest odd number of pixels that holds a disc of this diameter
// whose centre lies anywhere in the middle pixel.
int OddSizeFor(double diameter) {
    return 2 * static_cast<int>(std::ceil(diameter / 2)) + 1;
}

} // namespace

PictureWidget::PictureWidget(QWidget* parent) : QLabel(parent) {
    if (parent)
        if (const QVariant d = parent->property(kPinDiameterProperty); d.isValid())
            diameter_ = d.toDouble();
}

void PictureWidget::SetPicture(const QPixmap& picture) {
    setPixmap(picture);
    TakeShownSize();
}

void PictureWidget::SetDiameter(double diameter) {
    diameter_ = diameter;
    TakeShownSize();
    update();
}

QSize PictureWidget::ShownSize() const {
    const QPixmap shown = pixmap();
    if (shown.isNull())
        return {0, 0};
    if (BuiltInPinOf(shown) >= 0) {
        const int side = OddSizeFor(diameter_);
        return {side, side};
    }
    // A picture of the design size is shown pixel for pixel.
    const double share = diameter_ / kDesignPinDiameter;
    return {std::max(1, static_cast<int>(std::lround(shown.width() * share))),
            std::max(1, static_cast<int>(std::lround(shown.height() * share)))};
}

void PictureWidget::TakeShownSize() {
    const QSize shown = ShownSize();
    if (shown == size())
        return;
    centre_.reset();
    resize(shown);
}

void PictureWidget::PlaceCentre(QPoint corner, QPointF centre) {
    move(corner);
    centre_ = centre - QPointF(corner);
    update();
}

QPointF PictureWidget::PictureCentre() const {
    return centre_.value_or(QPointF(width() / 2.0, height() / 2.0));
}

bool PictureWidget::OnPicture(QPointF point) const {
    const QPixmap shown = pixmap();
    if (shown.isNull() || !rect().contains(point.toPoint()))
        return false;
    if (BuiltInPinOf(shown) >= 0) {
        const QPointF d = point - PictureCentre();
        return std::hypot(d.x(), d.y()) <= diameter_ / 2;
    }
    const QImage& drawn = Drawn();
    const qreal ratio = drawn.devicePixelRatio();
    const QPoint pixel(static_cast<int>(point.x() * ratio), static_cast<int>(point.y() * ratio));
    return drawn.valid(pixel) && qAlpha(drawn.pixel(pixel)) >= kVisibleAlpha;
}

const QImage& PictureWidget::Drawn() const {
    const qreal ratio = devicePixelRatioF();
    const DrawnFor wanted{pixmap().cacheKey(), size(), PictureCentre(), diameter_, ratio};
    if (wanted == drawnFor_ && !drawn_.isNull())
        return drawn_;
    const QSize pixels(static_cast<int>(std::ceil(width() * ratio)),
                       static_cast<int>(std::ceil(height() * ratio)));
    const QPixmap shown = pixmap();
    if (const int own = BuiltInPinOf(shown); own >= 0)
        drawn_ = DrawPin(own, pixels, PictureCentre() * ratio, diameter_ * ratio);
    else
        drawn_ = shown.toImage()
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                     .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    drawn_.setDevicePixelRatio(ratio);
    drawnFor_ = wanted;
    return drawn_;
}

void PictureWidget::paintEvent(QPaintEvent*) {
    if (pixmap().isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), Drawn());
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnPicture(event->position()))
        emit clicked();
    else
        event->ignore(); // beside the pin: for whatever lies below
}

void SetPinDiameter(QWidget& area, double diameter) {
    area.setProperty(kPinDiameterProperty, diameter);
    for (PictureWidget* pin : area.findChildren<PictureWidget*>(Qt::FindDirectChildrenOnly))
        pin->SetDiameter(diameter);
}
