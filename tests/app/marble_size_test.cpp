// The marble size: a setting of the options dialog kept in the settings
// file, and what it does to the marbles, the markers and the seat panel.
#include "game_window.h"
#include "options_dialog.h"
#include "qt_printers.h"
#include "settings.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(MarbleSizeSetting, IsReadFromMainWithTheDefaultForAnythingElse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("zellhop.ini");
    const struct {
        const char* file;
        MarbleSize size;
    } cases[] = {
        {"[MAIN]\nCompSpeed=1000\n", kMediumMarbles},
        {"[MAIN]\nMarbleSize=0\n", kSmallMarbles},
        {"[MAIN]\nMarbleSize=1\n", kMediumMarbles},
        {"[main]\nmarblesize=2\n", kLargeMarbles},
        {"[MAIN]\nMarbleSize=0x2\n", kLargeMarbles},
        {"[MAIN]\nMarbleSize=3\n", kMediumMarbles},
        {"[MAIN]\nMarbleSize=-1\n", kMediumMarbles},
        {"[MAIN]\nMarbleSize=large\n", kMediumMarbles},
        {"[MULTI]\nMarbleSize=0\n", kMediumMarbles},
    };
    for (const auto& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.file);
        file.close();
        EXPECT_EQ(ReadSettings(ProfileFile(path.toStdString())).marbleSize, c.size) << c.file;
    }

    StoredSettings stored;
    stored.marbleSize = kSmallMarbles;
    ProfileFile ini(path.toStdString());
    WriteSettings(ini, stored);
    EXPECT_TRUE(Read(path).contains("[MAIN]\nCompSpeed=1000\nJumpBack=0\nMarbleSize=0\n"))
        << Read(path).toStdString();
}

class MarbleSizeOption : public GameWindow {
  protected:
    // Opens the options, picks a marble size, closes with OK.
    void ChooseSize(MarbleSize size) {
        QTimer::singleShot(0, fMain.get(), [this, size] {
            fMain->dialogs().options->cbMarbleSize->setCurrentIndex(size);
            fMain->dialogs().options->Button1->click();
        });
        Action("Options1")->trigger();
    }
    int MarbleSide() const { return fMain->MarblePicture(Marble(0, 0))->width(); }
};

TEST_F(MarbleSizeOption, OffersThreeSizesMediumFirstAndSizesTheMarblesAtOnce) {
    TfOptions& options = *fMain->dialogs().options;
    EXPECT_EQ(options.lblMarbleSize->text(), "Marble size");
    ASSERT_EQ(options.cbMarbleSize->count(), 3);
    EXPECT_EQ(options.cbMarbleSize->itemText(0), "Small");
    EXPECT_EQ(options.cbMarbleSize->itemText(1), "Medium");
    EXPECT_EQ(options.cbMarbleSize->itemText(2), "Large");
    EXPECT_EQ(options.cbMarbleSize->currentIndex(), kMediumMarbles);
    for (QWidget* control : options.findChildren<QWidget*>())
        EXPECT_TRUE(QRect(QPoint(), options.size()).contains(control->geometry()))
            << control->objectName().toStdString();

    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    EXPECT_EQ(MarbleSide(), 21) << "20 pixels across at the design size";
    const struct {
        MarbleSize size;
        int side;
    } cases[] = {{kLargeMarbles, 25}, {kSmallMarbles, 17}, {kMediumMarbles, 21}};
    for (const auto& c : cases) {
        ChooseSize(c.size);
        EXPECT_EQ(MarbleSide(), c.side) << c.size;
        EXPECT_EQ(fMain->SeatIndicator(0)->width(), c.side) << c.size;
    }
    ChooseSize(kLargeMarbles);
    Click(Marble(0, 2));
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(fMain->TargetMarker(k)->width(), 25) << "marker " << k;
}

TEST_F(MarbleSizeOption, IsKeptInTheSettingsFile) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const struct Restore {
        QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        ~Restore() { qputenv("XDG_CONFIG_HOME", previous); }
    } restore;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    fMain->LoadSettings();
    ChooseSize(kLargeMarbles);
    fMain->SaveSettings();
    EXPECT_TRUE(Read(config.filePath("zellhop/zellhop.ini")).contains("MarbleSize=2\n"));

    fMain = CreateWindows(&prompts);
    fMain->LoadSettings();
    fMain->show();
    Settle();
    EXPECT_EQ(fMain->dialogs().options->cbMarbleSize->currentIndex(), kLargeMarbles);
    EXPECT_EQ(fMain->TargetMarker(0)->width(), 25);
}

// Large pins on a large board: the seat panel's lines move apart so that
// no pin or name covers another; at the design size they are as designed.
TEST_F(MarbleSizeOption, TheSeatPanelMakesRoomForItsPins) {
    NewGame({skHuman, skHuman, skHuman, skHuman, skHuman, skHuman});
    for (int line = 0; line < kColours; ++line) {
        EXPECT_EQ(fMain->SeatIndicator(line)->pos(), QPoint(8, 30 + 24 * line)) << line;
        EXPECT_EQ(fMain->SeatNameLabel(line)->pos(), QPoint(30, 32 + 24 * line)) << line;
    }
    ChooseSize(kLargeMarbles);
    fMain->resize(1900, 1050);
    Settle();
    for (int line = 0; line < kColours; ++line) {
        const QRect pin = fMain->SeatIndicator(line)->geometry();
        const QRect name = fMain->SeatNameLabel(line)->geometry();
        EXPECT_EQ(pin.width(), fMain->MarblePicture(Marble(0, 0))->width());
        EXPECT_GT(name.left(), pin.right()) << line;
        EXPECT_TRUE(pin.top() <= name.top() && name.bottom() <= pin.bottom() + 2) << line;
        if (line > 0) {
            EXPECT_GT(pin.top(), fMain->SeatIndicator(line - 1)->geometry().bottom()) << line;
        }
    }
}

} // namespace
