#include "about_box.h"
#include "application.h"
#include "colours.h"
#include "main_window.h"
#include "picture_widget.h"
#include "pin_pictures.h"
#include "qt_printers.h"
#include "scripted_prompts.h"
#include "window_parts.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

const QRect kLogPlace{0, 408, 289, 101};
const QRect kChatPlace{0, 509, 289, 21};

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        fMain = CreateWindows(&prompts);
        fMain->show();
        Settle();
    }
    static void Settle() {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    // Resizes the window so that the area below the menu is w × h.
    void ResizeClient(int w, int h) {
        fMain->resize(w, h + fMain->menuBar()->height());
        Settle();
    }
    QAction* Action(const char* name) const { return ActionOf(*fMain, name); }
    template <class Control> Control* Part(const QString& name) const {
        return Named<Control>(*fMain, name);
    }
    QRect Board() const { return Part<BoardWidget>("imMain")->geometry(); }
    QSize Client() const { return fMain->centralWidget()->size(); }

    ScriptedPrompts prompts;
    std::unique_ptr<TfMain> fMain;
};

TEST_F(MainWindow, OpensWithItsCaptionAndTheBoardAt112) {
    EXPECT_EQ(fMain->windowTitle(), "Quorvik's Zellhop Online BETA");
    ASSERT_TRUE(fMain->windowHandle());
    EXPECT_EQ(fMain->windowHandle()->title(), "Quorvik's Zellhop Online BETA");
    EXPECT_EQ(Client(), QSize(624, 530));
    EXPECT_EQ(fMain->statusBar()->height(), 19);
    EXPECT_EQ(Board(), QRect(112, 0, 512, 530));
    EXPECT_EQ(fMain->minimumSize(), fMain->size());
}

TEST_F(MainWindow, KeepsTheBoardAtThirtyThirtyFirstsOfItsHeightCentredWhereThereIsRoom) {
    const struct {
        int w, h; // below the menu, status bar included
        QRect board, log, chat;
    } cases[] = {
        {800, 700, QRect(141, 0, 659, 681), QRect(0, 524, 289, 136), QRect(0, 660, 289, 21)},
        {1200, 700, QRect(342, 0, 659, 681), QRect(0, 524, 334, 136), QRect(0, 660, 334, 21)},
        {624, 549, QRect(112, 0, 512, 530), kLogPlace, kChatPlace},
        // Taller than wide: fitted to the width.
        {700, 900, QRect(1, 0, 699, 723), QRect(0, 678, 289, 182), QRect(0, 860, 289, 21)},
        // Never smaller than at start.
        {300, 300, QRect(112, 0, 512, 530), kLogPlace, kChatPlace},
    };
    for (const auto& c : cases) {
        ResizeClient(c.w, c.h);
        EXPECT_EQ(Board(), c.board) << c.w << " x " << c.h;
        EXPECT_EQ(Part<QPlainTextEdit>("mLog")->geometry(), c.log) << c.w << " x " << c.h;
        EXPECT_EQ(Part<QLineEdit>("eChat")->geometry(), c.chat) << c.w << " x " << c.h;
    }
}

TEST_F(MainWindow, LeavesTheBoardAloneWhileClosing) {
    prompts.answers = {true};
    Action("aExit")->trigger();
    ASSERT_TRUE(fMain->Closing());
    fMain->show(); // a window that closes may still be shown, and resized
    ResizeClient(1000, 800);
    EXPECT_EQ(Board(), QRect(112, 0, 512, 530));
}

TEST_F(MainWindow, CentresAPictureOnItsHoleWhereverTheBoardIs) {
    PictureWidget& marker = *fMain->TargetMarker(0);
    const TZellhopPos& centre = fMain->game().board().hole(0);
    const TZellhopPos& topTip = *fMain->game().board().homeHole(0);
    fMain->CentreOnHole(marker, centre);
    EXPECT_EQ(marker.pos(), QPoint(112 + 256 - 10, 265 - 10));
    fMain->CentreOnHole(marker, topTip); // (0.5, 0.02)
    EXPECT_EQ(marker.pos(), QPoint(112 + 256 - 10, 10 - 10));

    ResizeClient(1000, 700); // board 659 × 681 at 242; the marker grows with it
    const int half = marker.width() / 2;
    fMain->CentreOnHole(marker, centre);
    EXPECT_EQ(marker.pos(), QPoint(242 + 329 - half, 340 - half));
}

TEST_F(MainWindow, StartsWithTheActionsOfAnIdleGame) {
    const struct {
        QAction* action;
        const char* name;
        const char* caption;
        const char* category;
        QKeySequence shortcut;
        bool enabled;
    } cases[] = {
        {Action("aNewGame"), "aNewGame", "New Game", "Game", QKeySequence("F2"), true},
        {Action("aEndGame"), "aEndGame", "End Current Game", "Game", QKeySequence("Ctrl+E"), false},
        {Action("aJoinGame"), "aJoinGame", "Join a game on Tavlo", "Game", QKeySequence("F4"),
         true},
        {Action("aExit"), "aExit", "Exit", "File", QKeySequence("Ctrl+Q"), true},
        {Action("aEndTurn"), "aEndTurn", "End Turn", "Play", QKeySequence("F10"), false},
        {Action("aAbout"), "aAbout", "About Zellhop", "", QKeySequence("F1"), true},
        {Action("aPause"), "aPause", "Pause", "Play", QKeySequence("F3"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.action->objectName(), c.name);
        EXPECT_EQ(c.action->text(), c.caption) << c.name;
        EXPECT_EQ(c.action->property("category").toString(), c.category) << c.name;
        EXPECT_EQ(c.action->shortcut(), c.shortcut) << c.name;
        EXPECT_EQ(c.action->isEnabled(), c.enabled) << c.name;
    }
}

TEST_F(MainWindow, MenuReadsFileGamePlayAndQuestionMarkInOrder) {
    const struct {
        const char* title;
        QStringList entries;
    } menus[] = {
        // Games in files, undo, hint and replay come after the first entries.
        {"File", {"Exit\tCtrl+Q", "TavloLogin", "Open Game...", "Save Game...\tCtrl+S"}},
        {"Game",
         {"New Game\tF2", "Join a game on Tavlo\tF4", "End Current Game\tCtrl+E", "Options\tCtrl+O",
          "Show Last Move"}},
        {"Play",
         {"End Turn\tF10", "Pause\tF3", "", "Undo\tCtrl+Z", "Redo\tCtrl+Shift+Z", "Hint\tH", "",
          "Step Back\tPgUp", "Step Forward\tPgDown", "To the Start\tHome", "To the End\tEnd"}},
        {"?", {"About Zellhop\tF1"}},
    };
    const QList<QAction*> top = fMain->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(top[i]->text(), menus[i].title);
        QStringList entries;
        for (const QAction* entry : top[i]->menu()->actions()) {
            const QString keys = entry->shortcut().toString();
            entries << (keys.isEmpty() ? entry->text() : entry->text() + "\t" + keys);
            EXPECT_TRUE(entry->isVisible()) << entry->text().toStdString();
        }
        EXPECT_EQ(entries, menus[i].entries) << menus[i].title;
    }
}

TEST_F(MainWindow, StartsIdleWithEverySeatEmpty) {
    for (int i = 0; i < kColours; ++i) {
        const Seat& seat = fMain->game().seats()[i];
        EXPECT_EQ(seat.colour, i);
        EXPECT_EQ(seat.kind, skNone) << i;
        EXPECT_FALSE(fMain->SeatContact(i)) << i;
        EXPECT_FALSE(fMain->SeatIndicator(i)) << i;
        EXPECT_FALSE(fMain->SeatNameLabel(i)) << i;
    }
    const GameState& s = fMain->game().state();
    EXPECT_EQ(s.currentSeat, -1);
    EXPECT_EQ(s.phase, -1);
    EXPECT_EQ(s.turnNumber, 0);
    EXPECT_EQ(fMain->StepDelay(), 1000);
    EXPECT_EQ(s.selectedMarble, nullptr);
    EXPECT_FALSE(s.jumpBackAllowed);
    for (int k = 0; k < kColours; ++k)
        EXPECT_EQ(s.homeHoles[k], fMain->game().board().homeHole(k)) << k;
    EXPECT_EQ(fMain->game().board().holes().size(), 121u);
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);

    EXPECT_FALSE(fMain->Closing() || fMain->Paused() || fMain->game().ComputerMoving() ||
                 fMain->InterruptRequested());
    EXPECT_EQ(fMain->Session().gameNumber, 0);
    EXPECT_EQ(fMain->Session().playerNumber, 0);
    EXPECT_TRUE(fMain->Session().sessionId.empty());
}

TEST_F(MainWindow, StartsWithItsControlsAsDesigned) {
    const QSize whitePin = LoadPinPicture(kWhitePin).size();
    for (int k = 0; k < kTargetMarkers; ++k) {
        PictureWidget* marker = fMain->TargetMarker(k);
        EXPECT_FALSE(marker->isVisible());
        EXPECT_EQ(marker->size(), whitePin);
    }
    EXPECT_FALSE(Part<QLabel>("lblYourTurn")->isVisible());
    EXPECT_EQ(Part<QLabel>("lblYourTurn")->text(), "YOUR TURN");
    EXPECT_EQ(Part<QLabel>("lblYourTurn")->pos(), QPoint(10, 5));
    EXPECT_FALSE(Part<QPlainTextEdit>("mLog")->isVisible());
    EXPECT_TRUE(Part<QPlainTextEdit>("mLog")->isReadOnly());
    EXPECT_FALSE(Part<QLineEdit>("eChat")->isVisible());

    const int widths[] = {150, 100, 50};
    for (int i = 0; i < kStatusPanels; ++i) {
        if (i < kStatusPanels - 1)
            EXPECT_EQ(Part<QLabel>(QString("sbPanel%1").arg(i))->width(), widths[i]) << i;
        else // the last one fills the rest of the bar
            EXPECT_GE(Part<QLabel>(QString("sbPanel%1").arg(i))->width(), 300) << i;
        EXPECT_TRUE(Part<QLabel>(QString("sbPanel%1").arg(i))->isVisible()) << i;
        EXPECT_EQ(fMain->StatusText(i), "") << i;
    }
    EXPECT_FALSE(Part<QTimer>("tm")->isActive());
    EXPECT_FALSE(Part<QTimer>("tmrRefreshGame")->isActive());
    EXPECT_EQ(Part<QTimer>("tmrRefreshGame")->interval(), 100000);
    ASSERT_TRUE(fMain->dialogs().about);
    EXPECT_FALSE(fMain->dialogs().about->isVisible());
}

TEST_F(MainWindow, TheStepTimerSwitchesItselfOff) {
    Part<QTimer>("tm")->start(1);
    while (Part<QTimer>("tm")->isActive())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(Part<QTimer>("tm")->isActive());
}

TEST_F(MainWindow, ExitAsksAndQuitsOnlyOnYes) {
    prompts.answers = {false};
    Action("aExit")->trigger();
    EXPECT_EQ(prompts.questions, QStringList{"Are you sure you wish to quit Zellhop?"});
    EXPECT_TRUE(fMain->isVisible());
    EXPECT_FALSE(fMain->Closing());

    prompts.answers = {true};
    Action("aExit")->trigger();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_FALSE(fMain->isVisible());
    EXPECT_TRUE(fMain->Closing());
}

TEST_F(MainWindow, TheCloseBoxClosesWithoutAsking) {
    EXPECT_TRUE(fMain->close());
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_TRUE(fMain->Closing());
    EXPECT_FALSE(fMain->isVisible());
}

} // namespace
