// Draws the program icon that desktops show in their menus, with the
// game's own drawing (app/icon_drawing.cpp), at one of the sizes desktops
// ask for.  At the size of the game's own 16 × 16 icon the icon is the
// game's, pixel for pixel, its background made transparent as the game
// does.
//
//   icon_generator SIZE FILE.png [GAME_ICON.bmp]
#include "icon_drawing.h"

#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kUsageError = 2;
constexpr int kSmallestSize = 16;
constexpr int kLargestSize = 1024;

// The game's own icon: a BMP whose bottom-left pixel gives the colour that
// the game shows transparent.
QImage GameIcon(const QImage& bitmap) {
    QImage icon = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = icon.pixel(0, icon.height() - 1);
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            if (icon.pixel(x, y) == key)
                icon.setPixel(x, y, qRgba(0, 0, 0, 0));
    return icon;
}

} // namespace

int main(int argc, char* argv[]) {
    const int size = argc == 3 || argc == 4 ? std::atoi(argv[1]) : 0;
    if (size < kSmallestSize || size > kLargestSize) {
        std::fprintf(stderr,
                     "usage: %s SIZE FILE.png [GAME_ICON.bmp]  (SIZE from %d to %d pixels)\n",
                     argv[0], kSmallestSize, kLargestSize);
        return kUsageError;
    }
    QImage gameIcon;
    if (argc == 4 && !gameIcon.load(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[3]);
        return 1;
    }
    const bool ownSize = gameIcon.width() == size && gameIcon.height() == size;
    const QImage icon = ownSize ? GameIcon(gameIcon) : DrawProgramIcon(size);
    if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
