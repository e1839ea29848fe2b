// What helps a player read the board, seen on the rendered window: the last
// moves, the selection ring, the hint and the keyboard cursor where they
// belong; a whole hot-seat turn played with the keys alone; the setting that
// turns the last moves off.
#include "computer_player.h"
#include "options_dialog.h"
#include "play_aids_window.h"
#include "profile_file.h"
#include "settings.h"

#include <QFile>

namespace {

class PlayAids : public PlayAidsWindow {};

TEST_F(PlayAids, TheLastMoveOfEverySeatIsMarkedOnTheHoleItLeftUntilItMovesAgain) {
    NewGame(kHumanVsComputer);
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4))); // Orange answers from 6,-2 to 4,0
    ASSERT_EQ(At(Marble(3, 2)), (LatticePoint{4, 0}));
    const QImage shown = Client();
    Action("aShowLastMove")->trigger(); // off
    const QImage plain = Client();
    Action("aShowLastMove")->trigger(); // on again

    // The faint ring about the hole each seat left, in its colour.
    const struct {
        const char* what;
        LatticePoint hole;
        int colour; // -1: nothing may be drawn there
    } holes[] = {
        {"Blue left -5,3", {-5, 3}, 0},
        {"Orange left 6,-2", {6, -2}, 3},
        {"nobody moved from the centre", {0, 0}, -1},
        {"nor from Orange's tip", {8, 0}, -1},
    };
    for (const auto& h : holes) {
        const TZellhopPos& hole = Hole(h.hole.r, h.hole.c);
        const int changed = PixelsAround(shown, hole, 0.25, 0.35, {}, 0, &plain);
        if (h.colour < 0) {
            EXPECT_EQ(changed, 0) << h.what;
            continue;
        }
        EXPECT_GT(changed, 20) << h.what;
        const QColor mark = LastMoveColour(h.colour);
        EXPECT_GT(PixelsAround(shown, hole, 0.27, 0.33, mark, 160), 10) << h.what;
    }
    // The line along Orange's jump, seen between the hole it left and the
    // marble it jumped over.
    const PixelPoint from = ScreenPos(Hole(6, -2), fMain->BoardRect());
    const PixelPoint over = ScreenPos(Hole(5, -1), fMain->BoardRect());
    const QPoint between((from.x + over.x) / 2, (from.y + over.y) / 2);
    EXPECT_NE(shown.pixelColor(between), plain.pixelColor(between));

    // Blue moves again: its old mark goes, the new one comes.
    Click(Marble(0, 4));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 2)));
    const QImage later = Client();
    EXPECT_EQ(PixelsAround(later, Hole(-5, 3), 0.25, 0.35, {}, 0, &plain), 0);
    EXPECT_GT(PixelsAround(later, Hole(-5, 1), 0.25, 0.35, {}, 0, &plain), 20);
}

TEST_F(PlayAids, TheSelectedMarbleHasARingTheOthersNone) {
    NewGame(kTwoHumans);
    Click(Marble(0, 5));
    ASSERT_EQ(ShownTargets().size(), 2u);
    const QImage image = Client();
    EXPECT_GT(PixelsAround(image, *Marble(0, 5).pos, 0.36, 0.44, kSelectionRingColour), 20);
    for (int other : {2, 3, 4})
        EXPECT_EQ(PixelsAround(image, *Marble(0, other).pos, 0.36, 0.44, kSelectionRingColour), 0)
            << other;
    Click(Marble(0, 5)); // its pins hidden: no ring
    EXPECT_EQ(PixelsAround(Client(), *Marble(0, 5).pos, 0.36, 0.44, kSelectionRingColour), 0);
}

TEST_F(PlayAids, AHintShowsTheClassicComputersMoveWithoutMovingAnything) {
    NewGame(kHumanVsComputer);
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    const ComputerChoice classic =
        ChooseComputerMove(fMain->game().marbles(), fMain->game().state().homeHoles, 0);
    const std::string before = PicturesShown();
    Press(Qt::Key_H);
    const std::vector<const TZellhopPos*> hint = fMain->ShownHint();
    EXPECT_EQ(hint, std::vector<const TZellhopPos*>(classic.path.begin(), classic.path.end()));
    EXPECT_EQ(PicturesShown(), before);
    EXPECT_EQ(fMain->game().record().back().hint.number, classic.marble->number);
    // Drawn from the marble to where it would end.
    const QImage image = Client();
    for (const TZellhopPos* end : {hint.front(), hint.back()})
        EXPECT_GT(PixelsAround(image, *end, 0.38, 0.46, kHintColour), 20) << HoleText(end->at);

    Click(Marble(0, 4)); // the player goes his own way: the hint goes
    EXPECT_TRUE(fMain->ShownHint().empty());
    EXPECT_EQ(PixelsAround(Client(), *hint.back(), 0.38, 0.46, kHintColour), 0);
}

TEST_F(PlayAids, AWholeHotSeatTurnByTheKeyboardAlone) {
    NewGame(kTwoHumans);
    const struct {
        Qt::Key key;
        LatticePoint cursor;
        size_t pins;
    } blue[] = {
        {Qt::Key_Right, {-6, 2}, 0}, // the cursor appears on the first marble that can move
        {Qt::Key_Left, {-6, 0}, 0},   {Qt::Key_Right, {-6, 2}, 0},
        {Qt::Key_Return, {-4, 4}, 2}, // its two jumps, the cursor on the first
        {Qt::Key_Escape, {-6, 2}, 0}, {Qt::Key_Space, {-4, 4}, 2},
        {Qt::Key_Left, {-4, 0}, 2},
    };
    const QImage before = Client();
    for (const auto& k : blue) {
        QTest::keyClick(fMain.get(), k.key);
        ASSERT_TRUE(fMain->KeyboardCursor()) << k.key;
        EXPECT_EQ(fMain->KeyboardCursor()->at, k.cursor) << k.key;
        EXPECT_EQ(ShownTargets().size(), k.pins) << k.key;
    }
    // The cursor is drawn, plain to see, about the target it stands on.
    EXPECT_GT(PixelsAround(Client(), Hole(-4, 0), 0.40, 0.60, kCursorColour), 20);
    EXPECT_EQ(PixelsAround(before, Hole(-4, 0), 0.40, 0.60, kCursorColour), 0);
    // The pin says what it is.
    for (int k = 0; k < 2; ++k) {
        if (fMain->MarkerHole(k) == &Hole(-4, 0)) {
            EXPECT_EQ(fMain->TargetMarker(k)->accessibleName(), "Target -4,0 for Blue marble 2");
        }
    }

    QTest::keyClick(fMain.get(), Qt::Key_Return); // the jump; only the way back is left
    EXPECT_EQ(At(Marble(0, 2)), (LatticePoint{-4, 0}));
    EXPECT_EQ(fMain->MarblePicture(Marble(0, 2))->accessibleName(), "Blue marble 2 on -4,0");
    EXPECT_EQ(fMain->StatusText(0), "It's now player ORANGE turn");

    // Orange: the cursor went over to its marbles; a step ends its turn.
    ASSERT_TRUE(fMain->KeyboardCursor() && fMain->KeyboardCursor()->ball);
    EXPECT_EQ(fMain->KeyboardCursor()->ball->colour, 3);
    QTest::keyClick(fMain.get(), Qt::Key_Return);
    ASSERT_FALSE(ShownTargets().empty());
    QTest::keyClick(fMain.get(), Qt::Key_Return);
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
    ASSERT_EQ(fMain->game().record().size(), 3u);
    EXPECT_EQ(MoveLine(fMain->game().record()[0]), "1 BLUE 2 -6,2 -4,0");
    EXPECT_EQ(fMain->game().record()[1].seat, 3);
}

TEST_F(PlayAids, KeysDoNothingWhileADialogIsOpenOrTheComputerMoves) {
    NewGame(kHumanVsComputer);
    QTest::keyClick(fMain.get(), Qt::Key_Right);
    ASSERT_TRUE(fMain->KeyboardCursor());
    const LatticePoint on = fMain->KeyboardCursor()->at;
    // The options dialog is modal.
    QTimer::singleShot(0, fMain.get(), [this] {
        QTest::keyClick(fMain.get(), Qt::Key_Right);
        QTest::keyClick(fMain.get(), Qt::Key_Return);
        fMain->dialogs().options->accept();
    });
    Action("Options1")->trigger();
    EXPECT_EQ(fMain->KeyboardCursor()->at, on);
    EXPECT_TRUE(ShownTargets().empty());
    fMain->SetStepDelay(kTestStepDelay); // the dialog set the speed of its slider

    // During Orange's move the cursor is not shown and Enter chooses nothing.
    const std::string position = PicturesShown();
    int keysDuringMove = 0;
    onWait = [&](int) {
        keysDuringMove += fMain->KeyboardCursor() != nullptr;
        QTest::keyClick(fMain.get(), Qt::Key_Return);
        QTest::keyClick(fMain.get(), Qt::Key_Down);
    };
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    onWait = nullptr;
    EXPECT_EQ(keysDuringMove, 0);
    EXPECT_EQ(MoveLine(fMain->game().record()[1]), "1 ORANGE 2 6,-2 4,0");
    EXPECT_EQ(fMain->game().record().size(), 3u);
}

TEST_F(PlayAids, TheLastMovesSettingIsReadWrittenAndFallsBackToOn) {
    const QString ini = QString::fromStdString(DefaultSettingsPath());
    const struct {
        const char* file;
        bool shown;
        const char* written; // the line written back, or none
    } cases[] = {
        {"", true, nullptr},
        {"[MAIN]\nShowLastMove=0\n", false, "ShowLastMove=0"},
        {"[MAIN]\nShowLastMove=1\n", true, "ShowLastMove=1"},
        {"[MAIN]\nShowLastMove=2\n", true, "ShowLastMove=1"},
        {"[MAIN]\nShowLastMove=no\n", true, "ShowLastMove=1"},
    };
    for (const auto& c : cases) {
        QFile::remove(ini);
        QDir().mkpath(QFileInfo(ini).path());
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.file);
        file.close();
        fMain->LoadSettings();
        EXPECT_EQ(Action("aShowLastMove")->isChecked(), c.shown) << c.file;
        fMain->SaveSettings();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        if (c.written)
            EXPECT_TRUE(text.contains(c.written)) << c.file << " gave " << text.toStdString();
        else
            EXPECT_FALSE(text.contains("ShowLastMove")) << text.toStdString();
    }
    // Turned off in the menu, kept off.
    Action("aShowLastMove")->trigger();
    fMain->SaveSettings();
    EXPECT_EQ(ProfileFile(ini.toStdString()).ReadString("MAIN", "ShowLastMove", ""), "0");
    QFile::remove(ini);
}

} // namespace
