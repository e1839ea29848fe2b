#include "pin_pictures.h"

#include "colours.h"
#include "pin_look.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

QString FileName(int picture) {
    const std::string_view name = PinPictureFile(picture);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

bool IsPinPicture(int picture) {
    return picture >= 0 && picture <= kWhitePin;
}

QImage Argb(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The game's own pins, made once: a pixmap shown anywhere is recognised as
// one of them by its cache key, which every copy shares.
struct OwnPin {
    QImage picture; // transparent where the key colour was
    QPixmap shown;
};
const std::array<OwnPin, kWhitePin + 1>& OwnPins() {
    static const std::array<OwnPin, kWhitePin + 1> pins = [] {
        std::array<OwnPin, kWhitePin + 1> made;
        for (int picture = 0; picture <= kWhitePin; ++picture) {
            made[picture].picture = Argb(WithTransparentBackground(BuiltInPinPicture(picture)));
            made[picture].shown = QPixmap::fromImage(made[picture].picture);
        }
        return made;
    }();
    return pins;
}

double Clamped(double v) {
    return std::clamp(v, 0.0, 1.0);
}

} // namespace

QImage WithTransparentBackground(const QImage& picture) {
    if (picture.isNull())
        return picture;
    QImage image = Argb(picture);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return image;
}

QImage BuiltInPinPicture(int picture) {
    const QString name = FileName(picture);
    return name.isEmpty() ? QImage() : QImage(":/pins/" + name);
}

QPixmap LoadPinPicture(int picture) {
    if (!IsPinPicture(picture))
        return {};
    const OwnPin& own = OwnPins()[picture];
    // Bare name: resolved against the working directory.
    const QImage file = WithTransparentBackground(QImage(FileName(picture)));
    if (file.isNull() || Argb(file) == own.picture)
        return own.shown;
    return QPixmap::fromImage(file);
}

int BuiltInPinOf(const QPixmap& shown) {
    const auto& own = OwnPins();
    for (int picture = 0; picture <= kWhitePin; ++picture)
        if (!shown.isNull() && shown.cacheKey() == own[picture].shown.cacheKey())
            return picture;
    return -1;
}

QImage DrawPin(int picture, QSize size, QPointF centre, double diameter) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!IsPinPicture(picture) || diameter <= 0)
        return image;
    const PinColour base = kPinColours[picture];
    const PinColour rim = PinRimColour(base);
    const double radius = diameter / 2;
    const double rimInside = radius * (1 - kPinRimShare);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double dx = x + 0.5 - centre.x(), dy = y + 0.5 - centre.y();
            const double distance = std::hypot(dx, dy);
            // The share of the pixel the disc covers, and how far it is
            // into the rim, each over one pixel's width.
            const double cover = Clamped(radius - distance + 0.5);
            if (cover <= 0)
                continue;
            const double inRim = Clamped(distance - rimInside + 0.5);
            const PinColour head = PinHeadColour(base, dx / radius, dy / radius);
            // Premultiplied by the cover.
            auto channel = [&](double h, double r) {
                const double c = std::min(h, 255.0) + (r - std::min(h, 255.0)) * inRim;
                return static_cast<int>(std::lround(cover * c));
            };
            line[x] = qRgba(channel(head.r, rim.r), channel(head.g, rim.g), channel(head.b, rim.b),
                            static_cast<int>(std::lround(255 * cover)));
        }
    }
    return image;
}
