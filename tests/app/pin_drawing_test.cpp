// The pins as the window draws them: the game's own drawn at the pin
// diameter, a player's picture scaled with it, and clicks taken only on
// what is visible.
#include "colours.h"
#include "game_window.h"
#include "pin_pictures.h"
#include "qt_printers.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>

namespace {

constexpr QRgb kKey = 0xffff00ff;    // the transparent background of the test picture
constexpr QRgb kInside = 0xff2040c0; // its disc

// A pin drawn alone on a transparent ground, as the window composites it.
QImage Alone(QWidget& pin) {
    QImage image(pin.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    pin.render(&image, QPoint(), QRegion(), {});
    return image;
}

// The area the picture's opacity covers, in pixels.
double CoveredArea(const QImage& picture) {
    double area = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            area += qAlpha(picture.pixel(x, y)) / 255.0;
    return area;
}

int HalfCovered(const QImage& picture) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            count += qAlpha(picture.pixel(x, y)) > 0 && qAlpha(picture.pixel(x, y)) < 255;
    return count;
}

// Pins on an area of their own, in a working directory of their own (so
// that the game's own pins show unless a test puts a file there).
class PinDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        area.resize(200, 200);
        area.show();
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    // A w × w picture of a disc on the key colour, saved as the red pin.
    static QImage WriteRedPin(int w) {
        QImage image(w, w, QImage::Format_RGB32);
        image.fill(kKey);
        for (int y = 0; y < w; ++y)
            for (int x = 0; x < w; ++x)
                if (std::hypot(x + 0.5 - w / 2.0, y + 0.5 - w / 2.0) < w / 2.0 - 1)
                    image.setPixel(x, y, kInside);
        EXPECT_TRUE(image.save(QString::fromUtf8(PinPictureFile(1).data()), "BMP"));
        return image;
    }

    QWidget area;

  private:
    QTemporaryDir dir_;
    QString previous_;
};

TEST_F(PinDrawing, TheGamesOwnPinIsASmoothDiscOfThePinDiameter) {
    const struct {
        double diameter;
        int side; // odd: the pin's middle pixel sits on the hole
    } cases[] = {{20, 21}, {16, 17}, {24, 25}, {38.5, 41}};
    for (const auto& c : cases) {
        SetPinDiameter(area, c.diameter);
        for (int picture = 0; picture <= kWhitePin; ++picture) {
            PictureWidget pin(&area);
            pin.SetPicture(LoadPinPicture(picture));
            EXPECT_EQ(pin.size(), QSize(c.side, c.side)) << c.diameter;
            const QImage drawn = Alone(pin);
            const double diameter = 2 * std::sqrt(CoveredArea(drawn) / M_PI);
            EXPECT_NEAR(diameter, c.diameter, 0.1) << c.diameter << ", pin " << picture;
            // The rim: about one ring of pixels between inside and outside.
            EXPECT_GT(HalfCovered(drawn), M_PI * c.diameter / 2) << c.diameter;
            EXPECT_EQ(qAlpha(drawn.pixel(c.side / 2, c.side / 2)), 255) << c.diameter;
            EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0) << c.diameter;
        }
    }
}

TEST_F(PinDrawing, PinsFollowTheDiameterOfTheirArea) {
    PictureWidget before(&area);
    before.SetPicture(LoadPinPicture(kWhitePin));
    SetPinDiameter(area, 30);
    PictureWidget after(&area);
    after.SetPicture(LoadPinPicture(kWhitePin));
    EXPECT_EQ(before.size(), QSize(31, 31));
    EXPECT_EQ(after.size(), QSize(31, 31));
    PictureWidget elsewhere;
    elsewhere.SetPicture(LoadPinPicture(kWhitePin));
    EXPECT_EQ(elsewhere.size(), QSize(21, 21)) << "the design size";
}

TEST_F(PinDrawing, APlayersPictureIsScaledSmoothlyKeepingItsTransparency) {
    const QImage file = WriteRedPin(21);
    PictureWidget pin(&area);
    pin.SetPicture(LoadPinPicture(1));
    ASSERT_EQ(BuiltInPinOf(pin.pixmap()), -1);

    // At the design size, pixel for pixel.
    EXPECT_EQ(pin.size(), QSize(21, 21));
    EXPECT_EQ(Alone(pin).convertToFormat(QImage::Format_ARGB32), WithTransparentBackground(file));

    SetPinDiameter(area, 40); // twice the design
    EXPECT_EQ(pin.size(), QSize(42, 42));
    const QImage drawn = Alone(pin);
    EXPECT_GT(HalfCovered(drawn), 40) << "a smooth edge";
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            // Premultiplied: no visible pixel takes anything of the key colour.
            EXPECT_LE(qRed(p), qAlpha(p) * qRed(kInside) / 255 + 1) << x << ", " << y;
            EXPECT_LE(qGreen(p), qAlpha(p) * qGreen(kInside) / 255 + 1) << x << ", " << y;
        }
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(drawn.pixel(21, 21)), 255);
}

TEST_F(PinDrawing, AFileThatIsTheGamesOwnPinShowsTheGamesOwnDrawing) {
    const QString name = QString::fromUtf8(PinPictureFile(1).data());
    ASSERT_TRUE(QFile::copy(ZELLHOP_ASSETS "/redpin.bmp", name));
    EXPECT_EQ(BuiltInPinOf(LoadPinPicture(1)), 1);

    QImage changed(name);
    changed.setPixel(10, 10, qRgb(1, 2, 3));
    ASSERT_TRUE(QFile::remove(name) && changed.save(name, "BMP"));
    EXPECT_EQ(BuiltInPinOf(LoadPinPicture(1)), -1);
}

TEST_F(PinDrawing, OnlyTheVisiblePartTakesClicks) {
    SetPinDiameter(area, 30);
    WriteRedPin(21); // a disc of 19 pixels, 27 at this diameter
    for (int picture : {kWhitePin, 1}) {
        PictureWidget pin(&area);
        pin.SetPicture(LoadPinPicture(picture));
        pin.show();
        QSignalSpy clicks(&pin, &PictureWidget::clicked);
        const QPoint middle(pin.width() / 2, pin.height() / 2);
        const struct {
            QPoint at;
            int clicks;
        } cases[] = {
            {middle, 1},
            {middle + QPoint(12, 0), 1},
            {middle - QPoint(0, 12), 1},
            {QPoint(1, 1), 0},
            {QPoint(pin.width() - 2, pin.height() - 2), 0},
        };
        for (const auto& c : cases) {
            clicks.clear();
            QTest::mouseClick(&pin, Qt::LeftButton, {}, c.at);
            EXPECT_EQ(clicks.count(), c.clicks)
                << picture << " at " << c.at.x() << ", " << c.at.y();
        }
    }
}

// On the board: a click beside a marble's disc, inside its square, does
// not select it.
class MarbleClicks : public GameWindow {};

TEST_F(MarbleClicks, OnlyTheMarblesDiscSelectsIt) {
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    PictureWidget& pin = *fMain->MarblePicture(Marble(0, 2));
    QTest::mouseClick(&pin, Qt::LeftButton, {}, QPoint(1, 1)); // (0, 0) would mean the middle
    EXPECT_TRUE(ShownTargets().empty());
    QTest::mouseClick(&pin, Qt::LeftButton, {}, QPoint(pin.width() / 2, 1));
    EXPECT_EQ(ShownTargets().size(), 2u) << "the disc's top edge";
}

} // namespace
