#include "board.h"
#include "board_widget.h"

#include <QColor>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// The design size, the picture the board was first drawn as, and the board
// of a 1900 × 1050 window; each at one and two device pixels per pixel.
const QSize kSizes[] = {{512, 530}, {597, 620}, {949, 981}};
const qreal kRatios[] = {1, 2};

// What a pixel looks like, by the nearest of the board's colours.
QString Looks(QRgb pixel) {
    const struct {
        const char* name;
        QColor colour;
    } kinds[] = {{"white", QColor(255, 255, 255)}, {"grey", QColor(185, 185, 185)},
                 {"black", QColor(0, 0, 0)},       {"blue", QColor(120, 160, 240)},
                 {"red", QColor(235, 110, 110)},   {"purple", QColor(185, 120, 215)},
                 {"orange", QColor(250, 175, 95)}, {"green", QColor(120, 205, 125)},
                 {"yellow", QColor(245, 230, 110)}};
    QString best;
    int bestDistance = INT_MAX;
    for (const auto& k : kinds) {
        const int dr = qRed(pixel) - k.colour.red(), dg = qGreen(pixel) - k.colour.green(),
                  db = qBlue(pixel) - k.colour.blue();
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = k.name;
        }
    }
    return best;
}

std::string Where(QSize size, qreal ratio) {
    return std::to_string(size.width()) + " x " + std::to_string(size.height()) + " at ratio " +
           std::to_string(static_cast<int>(ratio));
}

// The device pixel that holds a point given in board pixels.
QPoint DevicePixel(QPointF p, qreal ratio) {
    return {static_cast<int>(p.x() * ratio), static_cast<int>(p.y() * ratio)};
}

// The middle of the small lattice triangle between a hole and its
// neighbours in two directions: away from every line and dot.
QPointF Between(const TZellhopPos& h, int d1, int d2, QSize size) {
    return (HoleCentre(h, size) + HoleCentre(*h.neighbour[d1], size) +
            HoleCentre(*h.neighbour[d2], size)) /
           3;
}

TEST(BoardDrawing, HasADotWhereverTheGameCentresAMarble) {
    const Board board;
    for (QSize size : kSizes)
        for (qreal ratio : kRatios) {
            const QImage picture = BoardImage(board, size, ratio);
            ASSERT_EQ(picture.size(), size * ratio) << Where(size, ratio);
            const PictureRect rect{0, 0, size.width(), size.height()};
            for (const auto& hole : board.holes()) {
                // ScreenPos names the pixel; the dot's middle lies in it.
                const PixelPoint p = ScreenPos(*hole, rect);
                const QPointF centre = HoleCentre(*hole, size);
                EXPECT_TRUE(p.x <= centre.x() && centre.x() < p.x + 1 && p.y <= centre.y() &&
                            centre.y() < p.y + 1)
                    << Where(size, ratio) << ", hole (" << hole->at.r << ", " << hole->at.c << ")";
                EXPECT_EQ(Looks(picture.pixel(DevicePixel(centre, ratio))), "black")
                    << Where(size, ratio) << ", hole (" << hole->at.r << ", " << hole->at.c << ")";
            }
        }
}

// Around a hole with six neighbours the dot and the lines are symmetric:
// their darkness has its centre on the hole.
TEST(BoardDrawing, EachDotIsCentredOnItsHoleToAFractionOfAPixel) {
    const Board board;
    for (QSize size : kSizes)
        for (qreal ratio : kRatios) {
            const QImage picture = BoardImage(board, size, ratio);
            const double reach = (4.5 / 597 * size.width() + 1.5) * ratio;
            for (const auto& hole : board.holes()) {
                if (!std::all_of(hole->neighbour.begin(), hole->neighbour.end(),
                                 [](const TZellhopPos* n) { return n; }))
                    continue;
                const QPointF centre = HoleCentre(*hole, size) * ratio;
                double mass = 0, x = 0, y = 0;
                for (int py = int(centre.y() - reach); py <= int(centre.y() + reach) + 1; ++py)
                    for (int px = int(centre.x() - reach); px <= int(centre.x() + reach) + 1; ++px)
                        if (std::hypot(px + 0.5 - centre.x(), py + 0.5 - centre.y()) <= reach) {
                            const double dark = 255 - qGray(picture.pixel(px, py));
                            mass += dark;
                            x += dark * (px + 0.5);
                            y += dark * (py + 0.5);
                        }
                EXPECT_NEAR(x / mass, centre.x(), 0.25) << Where(size, ratio);
                EXPECT_NEAR(y / mass, centre.y(), 0.25) << Where(size, ratio);
            }
        }
}

TEST(BoardDrawing, ShowsThePointsInTheirColoursOnAGreyDisc) {
    const Board board;
    const char* pointColours[] = {"blue", "red", "purple", "orange", "green", "yellow"};
    for (QSize size : kSizes)
        for (qreal ratio : kRatios) {
            const QImage picture = BoardImage(board, size, ratio);
            const auto looks = [&](QPointF p) {
                return Looks(picture.pixel(DevicePixel(p, ratio)));
            };
            for (int k = 0; k < kColours; ++k) // inside the point, next to its tip
                EXPECT_EQ(looks(Between(*board.homeHole(k), Mod6(k + 3), Mod6(k + 4), size)),
                          pointColours[k])
                    << Where(size, ratio) << ", point " << k;
            const double w = size.width(), h = size.height();
            EXPECT_EQ(looks(Between(board.hole(0), 2, 3, size)), "white") << "hexagon";
            EXPECT_EQ(looks({w * 0.04, h / 2}), "grey") << "disc, left of the star";
            EXPECT_EQ(looks({w * 0.96, h / 2}), "grey") << "disc, right of the star";
            EXPECT_EQ(looks({2, 2}), "white") << "ground, top left";
            EXPECT_EQ(looks({w - 3, h - 3}), "white") << "ground, bottom right";
        }
}

// The picture is drawn for the device's pixels: at twice the ratio it is
// the board of twice the size (but for the rounding of curves and edges),
// not an enlargement.
TEST(BoardDrawing, AtRatioTwoIsTheBoardOfTwiceTheSize) {
    const Board board;
    for (QSize size : kSizes) {
        const QImage twice = BoardImage(board, size, 2);
        const QImage large = BoardImage(board, size * 2, 1);
        ASSERT_EQ(twice.size(), large.size());
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < large.height(); ++y)
            for (int x = 0; x < large.width(); ++x) {
                const QRgb a = twice.pixel(x, y), b = large.pixel(x, y);
                const int d =
                    std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
                worst = std::max(worst, d);
                sum += d;
            }
        EXPECT_LE(worst, 24) << Where(size, 2);
        EXPECT_LT(sum / (large.width() * large.height()), 0.1) << Where(size, 2);
    }
}

} // namespace
