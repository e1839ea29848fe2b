#include "colours.h"
#include "pin_pictures.h"
#include "qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Runs each test in an empty working directory of its own, as when the
// game is started somewhere without its picture files.
class PinPictures : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    static void WriteFile(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A w × h bitmap in `colour` whose bottom-left pixel is `key`.
    static void WriteBitmap(const QString& name, int w, int h, QRgb colour, QRgb key) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        image.setPixel(0, h - 1, key);
        ASSERT_TRUE(image.save(name, "BMP"));
    }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

QString Name(int picture) {
    return QString::fromUtf8(PinPictureFile(picture).data());
}

TEST_F(PinPictures, EveryPinShowsWhenTheWorkingDirectoryHasNone) {
    for (int picture = 0; picture <= kWhitePin; ++picture) {
        const QImage pin = LoadPinPicture(picture).toImage();
        ASSERT_FALSE(pin.isNull()) << picture;
        EXPECT_EQ(pin.size(), QSize(21, 21)) << picture;
        EXPECT_EQ(qAlpha(pin.pixel(0, pin.height() - 1)), 0) << picture << " background";
        EXPECT_EQ(qAlpha(pin.pixel(0, 0)), 0) << picture << " corner";
        EXPECT_EQ(qAlpha(pin.pixel(10, 10)), 255) << picture << " middle";
        EXPECT_EQ(qAlpha(pin.pixel(10, 1)), 255) << picture << " rim";
    }
}

TEST_F(PinPictures, TheFileInTheWorkingDirectoryIsReadEveryTime) {
    WriteBitmap("redpin.bmp", 4, 3, qRgb(0, 0, 255), qRgb(0, 255, 0));
    EXPECT_EQ(LoadPinPicture(1).size(), QSize(4, 3));
    WriteBitmap("redpin.bmp", 6, 5, qRgb(0, 0, 255), qRgb(0, 255, 0));
    EXPECT_EQ(LoadPinPicture(1).size(), QSize(6, 5));
    EXPECT_EQ(LoadPinPicture(0).size(), QSize(21, 21)) << "other pins stay built in";
    ASSERT_TRUE(QFile::remove("redpin.bmp"));
    EXPECT_EQ(LoadPinPicture(1).size(), QSize(21, 21));
}

TEST_F(PinPictures, AnUnreadableFileShowsTheBuiltInPicture) {
    WriteFile("whitepin.bmp", "BM this is no bitmap");
    WriteFile("greenpin.bmp", QByteArray());
    for (int picture : {kWhitePin, 4})
        EXPECT_EQ(LoadPinPicture(picture).toImage().convertToFormat(QImage::Format_ARGB32),
                  WithTransparentBackground(BuiltInPinPicture(picture)))
            << picture;
}

TEST_F(PinPictures, EveryPixelOfTheBottomLeftColourIsTransparent) {
    const QRgb key = qRgb(255, 0, 255), pin = qRgb(200, 0, 0);
    QImage image(3, 2, QImage::Format_RGB32);
    // Top row: key, pin, key; bottom row: key (the one that counts), pin, pin.
    const QRgb pixels[2][3] = {{key, pin, key}, {key, pin, pin}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, pixels[y][x]);
    ASSERT_TRUE(image.save(Name(2), "BMP"));
    const QImage shown = LoadPinPicture(2).toImage();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(qAlpha(shown.pixel(x, y)), pixels[y][x] == key ? 0 : 255) << x << "," << y;
}

TEST_F(PinPictures, NumbersOutsideTheTableHaveNoPicture) {
    for (int picture : {-1, kWhitePin + 1})
        EXPECT_TRUE(LoadPinPicture(picture).isNull()) << picture;
}

} // namespace
