// The real main window with its dialogs, driven as a player would: the
// player dialog answered, marbles and target markers clicked, message boxes
// answered from a script.  The computer's delay is a few milliseconds.
#pragma once

#include "application.h"
#include "board.h"
#include "main_window.h"
#include "marble.h"
#include "picture_widget.h"
#include "players_dialog.h"
#include "scripted_prompts.h"
#include "tavlo_login_dialog.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

inline constexpr int kTestStepDelay = 2; // ms
inline constexpr int kDialogPoll = 5;    // ms

class GameWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        fMain = CreateWindows(&prompts);
        fMain->show();
        Settle();
        fMain->SetStepDelay(kTestStepDelay);
        QObject::connect(fMain.get(), &TfMain::stepWaitStarted, [this] {
            ++waits;
            if (onWait)
                onWait(waits);
        });
    }
    void TearDown() override {
        onWait = nullptr;
        fMain.reset();
    }

    // An action of the window by its name ("aNewGame", "Options1", ...).
    QAction* Action(const char* name) const { return Named<QAction>(*fMain, name); }
    // A control of the window by its name ("lblYourTurn", "mLog", ...).
    template <class Control> Control* Part(const QString& name) const {
        return Named<Control>(*fMain, name);
    }

    static void Settle() {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    // Lets the game go on until it waits for a player (the computer's
    // moves searched and shown, the turns passed, the lobby answered), and
    // whatever it queued for the window (a win's message box) has run.
    void Play(int timeoutMs = 30000) {
        QElapsedTimer clock;
        clock.start();
        Settle();
        const auto atRest = [this] { return fMain->TurnsSettled() && !fMain->WaitingForLobby(); };
        while (fMain && !atRest() && clock.elapsed() < timeoutMs)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (fMain && !atRest())
            ADD_FAILURE() << "the game did not come to rest";
        Settle();
    }

    // Runs `answer` on the player dialog once New Game has opened it.
    void AnswerPlayersDialog(std::function<void(TfPlayers&)> answer) {
        QTimer::singleShot(0, fMain.get(), [this, answer] {
            TfPlayers& dialog = *fMain->dialogs().players;
            ASSERT_TRUE(dialog.isVisible()) << "the player dialog is not open";
            answer(dialog);
            if (dialog.isVisible()) { // refused: give up rather than hang
                dialogStayedOpen = true;
                dialog.reject();
            }
        });
    }
    // Runs `answer` on the login dialog once it has opened (it opens after
    // the player dialog, inside the same New Game).
    void AnswerLoginDialog(std::function<void(TfTavloLogin&)> answer) {
        auto* poll = new QTimer(fMain.get());
        QObject::connect(poll, &QTimer::timeout, fMain.get(), [this, poll, answer] {
            TfTavloLogin& dialog = *fMain->dialogs().login;
            if (!dialog.isVisible())
                return;
            poll->deleteLater();
            poll->stop();
            answer(dialog);
        });
        poll->start(kDialogPoll);
    }
    // New Game with these seat kinds, Blue first, confirmed with OK.
    void NewGame(const std::array<SeatKind, kColours>& kinds, const QString& name = {}) {
        AnswerPlayersDialog([kinds, name](TfPlayers& dialog) {
            for (int i = 0; i < kColours; ++i)
                dialog.seatBoxes[i]->setCurrentIndex(kinds[i]);
            dialog.eGamename->setText(name);
            dialog.btnOk->click();
        });
        Action("aNewGame")->trigger();
        Play();
    }

    TZellhopPos& Hole(int r, int c) const {
        TZellhopPos* hole = fMain->game().board().at({r, c});
        EXPECT_TRUE(hole) << "(" << r << ", " << c << ") is no hole";
        return *hole;
    }
    TZellhopBall& Marble(int colour, int number) const {
        TZellhopBall* marble = fMain->game().FindBall(colour, number);
        EXPECT_TRUE(marble) << "no marble " << colour << "/" << number;
        return *marble;
    }
    static LatticePoint At(const TZellhopBall& marble) { return marble.pos->at; }

    // A click alone, as a player's click comes in the middle of the game.
    void ClickOnly(const TZellhopBall& marble) {
        PictureWidget* picture = fMain->MarblePicture(marble);
        ASSERT_TRUE(picture && picture->isVisible());
        QTest::mouseClick(picture, Qt::LeftButton);
    }
    // A click, and the computer's turns that follow it.
    void Click(const TZellhopBall& marble) {
        PictureWidget* picture = fMain->MarblePicture(marble);
        ASSERT_TRUE(picture && picture->isVisible());
        QTest::mouseClick(picture, Qt::LeftButton);
        Play();
    }
    // Clicks the visible marker on the hole; false when there is none.
    bool ClickMarkerOn(const TZellhopPos& hole) {
        for (int k = 0; k < kTargetMarkers; ++k)
            if (fMain->TargetMarker(k)->isVisible() && fMain->MarkerHole(k) == &hole) {
                QTest::mouseClick(fMain->TargetMarker(k), Qt::LeftButton);
                Play();
                return true;
            }
        return false;
    }
    // The holes the visible markers stand on, in marker order.
    std::vector<LatticePoint> ShownTargets() const {
        std::vector<LatticePoint> shown;
        for (int k = 0; k < kTargetMarkers; ++k)
            if (fMain->TargetMarker(k)->isVisible())
                shown.push_back(fMain->MarkerHole(k)->at);
        return shown;
    }

    // Replaces the marbles of the running game with a position of our own.
    struct Placed {
        int colour, number, r, c;
    };
    void SetPosition(const std::vector<Placed>& position) {
        std::vector<PlacedMarble> placed;
        for (const Placed& p : position)
            placed.push_back({p.colour, p.number, {p.r, p.c}});
        fMain->game().ReplaceMarbles(placed);
    }

    // Blue's marbles 0..8 in the bottom star point, all but hole (5, 1), and
    // marble 9 on `tenth`: a win when `tenth` is (5, 1).
    static std::vector<Placed> BlueNineHome(int r, int c) {
        return {{0, 0, 8, 0}, {0, 1, 7, -1}, {0, 2, 7, 1},  {0, 3, 6, -2}, {0, 4, 6, 0},
                {0, 5, 6, 2}, {0, 6, 5, -3}, {0, 7, 5, -1}, {0, 8, 5, 3},  {0, 9, r, c}};
    }

    ScriptedPrompts prompts;
    std::unique_ptr<TfMain> fMain;
    int waits = 0;                        // waits of the computer's moves so far
    std::function<void(int wait)> onWait; // runs at the start of each wait
    bool dialogStayedOpen = false;
};

inline void PrintTo(const LatticePoint& p, std::ostream* os) {
    *os << "(" << p.r << ", " << p.c << ")";
}
