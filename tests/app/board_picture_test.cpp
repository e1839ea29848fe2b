#include "board.h"
#include "board_picture.h"

#include <QColor>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

constexpr int kPictureWidth = 597;
constexpr int kPictureHeight = 620;
const PictureRect kWholePicture{0, 0, kPictureWidth, kPictureHeight};

// What a pixel looks like, by the nearest of the picture's colours.
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

// The middle of the small lattice triangle between a hole and its
// neighbours in two directions: away from every line and dot.
PixelPoint Between(const TZellhopPos& h, int d1, int d2) {
    const PixelPoint a = ScreenPos(h, kWholePicture);
    const PixelPoint b = ScreenPos(*h.neighbour[d1], kWholePicture);
    const PixelPoint c = ScreenPos(*h.neighbour[d2], kWholePicture);
    return {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
}

TEST(BoardPicture, IsABaselineJpegOf597By620) {
    const QByteArray bytes = BoardPictureBytes();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("\xff\xd8"));
    EXPECT_TRUE(bytes.contains("\xff\xc0")) << "no baseline frame header";
    EXPECT_FALSE(bytes.contains("\xff\xc2")) << "progressive";
    const QImage& picture = BoardPicture();
    EXPECT_EQ(picture.width(), kPictureWidth);
    EXPECT_EQ(picture.height(), kPictureHeight);
}

TEST(BoardPicture, HasADotWhereverTheGameCentresAMarble) {
    const Board board;
    const QImage& picture = BoardPicture();
    for (const auto& hole : board.holes()) {
        const PixelPoint p = ScreenPos(*hole, kWholePicture);
        EXPECT_EQ(Looks(picture.pixel(p.x, p.y)), "black")
            << "hole (" << hole->at.r << ", " << hole->at.c << ")";
    }
}

TEST(BoardPicture, ShowsThePointsInTheirColoursOnAGreyDisc) {
    const Board board;
    const QImage& picture = BoardPicture();
    const char* pointColours[] = {"blue", "red", "purple", "orange", "green", "yellow"};
    for (int k = 0; k < kColours; ++k) {
        // Inside the point, next to its tip.
        const PixelPoint p = Between(*board.homeHole(k), Mod6(k + 3), Mod6(k + 4));
        EXPECT_EQ(Looks(picture.pixel(p.x, p.y)), pointColours[k]) << "point " << k;
    }
    const PixelPoint hexagon = Between(board.hole(0), 2, 3);
    EXPECT_EQ(Looks(picture.pixel(hexagon.x, hexagon.y)), "white") << "hexagon";
    EXPECT_EQ(Looks(picture.pixel(20, kPictureHeight / 2)), "grey") << "disc, left of the star";
    EXPECT_EQ(Looks(picture.pixel(2, 2)), "white") << "ground, top left";
    EXPECT_EQ(Looks(picture.pixel(kPictureWidth - 3, kPictureHeight - 3)), "white")
        << "ground, bottom right";
}

TEST(BoardPicture, DecodingAFileThatIsNoJpegFailsWithoutEndingTheProgram) {
    const QByteArray cases[] = {
        QByteArray(), QByteArray("not a picture"),
        BoardPictureBytes().left(20), // the header cut short
    };
    for (const QByteArray& bytes : cases) {
        try {
            DecodeJpeg(bytes);
            ADD_FAILURE() << "decoded " << bytes.size() << " bytes";
        } catch (const std::runtime_error& e) {
            EXPECT_STRNE(e.what(), "");
        }
    }
    // A file cut short after its header still gives the whole picture.
    const QImage half = DecodeJpeg(BoardPictureBytes().left(BoardPictureBytes().size() / 2));
    EXPECT_EQ(half.size(), QSize(kPictureWidth, kPictureHeight));
}

} // namespace
