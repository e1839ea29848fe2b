#include "pin_pictures.h"

#include "colours.h"

#include <QString>

namespace {

QString FileName(int picture) {
    const std::string_view name = PinPictureFile(picture);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

QImage WithTransparentBackground(const QImage& picture) {
    if (picture.isNull())
        return picture;
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
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
    const QString name = FileName(picture);
    if (name.isEmpty())
        return {};
    QImage image(name); // bare name: resolved against the working directory
    if (image.isNull())
        image = BuiltInPinPicture(picture);
    return QPixmap::fromImage(WithTransparentBackground(image));
}

QPixmap ProgramIcon() {
    return QPixmap::fromImage(WithTransparentBackground(QImage(":/icons/zellhop.bmp")));
}
