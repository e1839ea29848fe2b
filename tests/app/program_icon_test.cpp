#include "application.h"
#include "icon_drawing.h"
#include "pin_pictures.h"
#include "program_icon.h"
#include "qt_printers.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

QImage Argb(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The game's own 16 × 16 icon, transparent where its key colour is.
QImage GameIcon() {
    return Argb(WithTransparentBackground(QImage(":/icons/zellhop.bmp")));
}

double MeanAlphaDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y)));
    return sum / (a.width() * a.height());
}

TEST(ProgramIcon, IsTheGamesOwnAtSixteenAndDrawnForEveryOtherSize) {
    const QIcon icon = ProgramIcon();
    EXPECT_EQ(Argb(icon.pixmap(QSize(16, 16)).toImage()), GameIcon());
    for (int side : {17, 22, 24, 32, 34, 48, 64, 128, 256}) {
        const QImage shown = Argb(icon.pixmap(QSize(side, side)).toImage());
        ASSERT_EQ(shown.size(), QSize(side, side));
        EXPECT_EQ(shown, Argb(DrawProgramIcon(side))) << side;
        // Not the small icon enlarged: its edges are drawn for these pixels.
        const QImage enlarged =
            GameIcon().scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_GT(MeanAlphaDifference(shown, enlarged), 5) << side;
        int halfCovered = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                halfCovered += qAlpha(shown.pixel(x, y)) > 0 && qAlpha(shown.pixel(x, y)) < 255;
        EXPECT_GT(halfCovered, side) << side << ": smooth edges";
    }
}

TEST(ProgramIcon, OffersTheWindowManagerTheMenuSizesAndIsTheApplicationsIcon) {
    const QList<QSize> offered = ProgramIcon().availableSizes();
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(offered.contains(QSize(side, side))) << side;

    InitApplication(*qApp);
    EXPECT_EQ(Argb(QApplication::windowIcon().pixmap(QSize(48, 48)).toImage()),
              Argb(DrawProgramIcon(48)));
}

} // namespace
