// Going back in a game and keeping it, through the window: undo and redo
// across the computer's turn and not online, games saved and opened, a
// record refused by its line, the steps of a replay, and a record written
// by zellhop-selfplay shown to its end.
#include "play_aids_window.h"
#include "saved_game.h"
#include "text_fields.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>

namespace {

class SavedGameWindow : public PlayAidsWindow {
  protected:
    std::string RecordLines() const {
        std::string lines;
        for (const TurnRecord& turn : fMain->game().record())
            lines += MoveLine(turn) + "\n";
        return lines;
    }
    // Blue's step and the computer's answer.
    void BlueSteps(int number, int r, int c) {
        Click(Marble(0, number));
        ASSERT_TRUE(ClickMarkerOn(Hole(r, c)));
        ASSERT_EQ(fMain->game().state().currentSeat, 0) << "Orange should have answered";
    }
    QString Write(const QString& name, const std::string& text) {
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }
    QLabel* Replay() const { return Part<QLabel>("sbReplay"); }
};

TEST_F(SavedGameWindow, UndoAndRedoGoAcrossTheComputersTurnWithoutShowingItAgain) {
    NewGame(kHumanVsComputer);
    const std::string start = PicturesShown();
    BlueSteps(3, -4, 4);
    const std::string second = PicturesShown();
    ASSERT_TRUE(Action("aUndo")->isEnabled());
    EXPECT_FALSE(Action("aRedo")->isEnabled());

    const int waitsBefore = waits;
    Action("aUndo")->trigger();
    EXPECT_EQ(PicturesShown(), start) << "Blue's step and Orange's answer taken back";
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 1");
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());
    EXPECT_FALSE(Action("aUndo")->isEnabled());
    EXPECT_TRUE(Action("aRedo")->isEnabled());

    Action("aRedo")->trigger();
    EXPECT_EQ(PicturesShown(), second);
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");
    EXPECT_EQ(waits, waitsBefore) << "the computer's move is not shown again";

    // Ctrl+Z and Ctrl+Shift+Z as a player presses them.
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(PicturesShown(), start);
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(PicturesShown(), second);
}

TEST_F(SavedGameWindow, NothingIsTakenBackOrReplayedInAnOnlineGame) {
    fMain->StartOnlineGame({skHuman, skNone, skNone, skRemote, skNone, skNone}, {});
    Click(Marble(0, 3));
    ASSERT_TRUE(ClickMarkerOn(Hole(-4, 4)));
    const std::string shown = PicturesShown();
    for (const char* action :
         {"aUndo", "aRedo", "aStepBack", "aStepForward", "aToStart", "aToEnd"}) {
        EXPECT_FALSE(Action(action)->isEnabled()) << action;
        Action(action)->trigger();
    }
    EXPECT_EQ(PicturesShown(), shown);
    EXPECT_EQ(fMain->game().state().phase, kPhaseRemote);
}

TEST_F(SavedGameWindow, ASavedGameOpensAtTheSamePositionAndPlaysOn) {
    NewGame(kHumanVsComputer);
    BlueSteps(3, -4, 4);
    Action("aHint")->trigger();
    BlueSteps(4, -4, 2);
    Action("aHint")->trigger(); // in the turn under way
    const std::string shown = PicturesShown();
    const std::string lines = RecordLines();

    const QString path = files.filePath("game.zellhop");
    AnswerFileDialog(path);
    Action("aSaveGame")->trigger();
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const std::string text = saved.readAll().toStdString();
    EXPECT_EQ(text.substr(0, 25), "seats H--C--\njumpback 0\n1");
    EXPECT_EQ(text, SavedGameText(fMain->game().Saved()));
    EXPECT_NE(text.find("\nhint 2 BLUE "), std::string::npos);
    const std::string lastLine = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(lastLine.rfind("hint 3 BLUE ", 0), 0u) << "the hint of the turn under way comes last";

    prompts.answers = {true};
    Action("aEndGame")->trigger();
    ASSERT_EQ(ShownMarbles(*fMain), 0);
    AnswerFileDialog(path);
    Action("aOpenGame")->trigger();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
    EXPECT_EQ(PicturesShown(), shown);
    EXPECT_EQ(RecordLines(), lines);
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 3");
    EXPECT_TRUE(Part<QLabel>("lblYourTurn")->isVisible());
    EXPECT_EQ(SeatPanel(*fMain).size(), 2u);
    EXPECT_FALSE(Action("aNewGame")->isEnabled());
    EXPECT_TRUE(Action("aEndGame")->isEnabled());
    EXPECT_EQ(SavedGameText(fMain->game().Saved()), text) << "kept as it was, hints too";

    BlueSteps(6, -4, -2); // and the game goes on, Orange answering
    EXPECT_EQ(fMain->game().record().size(), 7u);
}

TEST_F(SavedGameWindow, ARecordThatDoesNotReplayIsRefusedByItsLineAndNothingChanges) {
    const QString bad = Write("bad.zellhop", "seats H--C--\njumpback 0\n"
                                             "1 BLUE 3 -5,3 -4,4\n"
                                             "1 ORANGE 2 6,-2 2,0\n");
    const struct {
        const char* what;
        QString file;
        QString message;
    } cases[] = {
        {"a jump that does not exist", bad,
         "Cannot open " + bad + ": line 4: ORANGE 2 cannot move from 6,-2 to 2,0"},
        {"not a record", Write("notes.txt", "shopping list\n"),
         "Cannot open " + files.filePath("notes.txt") +
             ": line 1: expected \"seats <KINDS>\" and \"jumpback 0|1\" before the first turn"},
    };
    for (const auto& c : cases) {
        prompts.messages.clear();
        AnswerFileDialog(c.file);
        Action("aOpenGame")->trigger(); // at rest, no game
        EXPECT_EQ(prompts.messages, QStringList{c.message}) << c.what;
        EXPECT_EQ(ShownMarbles(*fMain), 0) << c.what;
        EXPECT_TRUE(Action("aNewGame")->isEnabled()) << c.what;
    }
    // Named on the command line while a game runs: that game goes on.
    NewGame(kHumanVsComputer);
    BlueSteps(3, -4, 4);
    const std::string shown = PicturesShown();
    const std::string lines = RecordLines();
    const QString none = files.filePath("none.zellhop");
    for (const auto& [file, message] :
         {std::pair{bad, cases[0].message},
          std::pair{none, "Cannot open " + none + ": cannot read " + none}}) {
        prompts.messages.clear();
        fMain->OpenGame(file);
        EXPECT_EQ(prompts.messages, QStringList{message});
        EXPECT_EQ(PicturesShown(), shown);
        EXPECT_EQ(RecordLines(), lines);
    }
}

TEST_F(SavedGameWindow, AReplayStepsBackAndForthHopByHopAndSaysWhereItIs) {
    NewGame(kHumanVsComputer);
    const std::string start = PicturesShown();
    BlueSteps(3, -4, 4);
    BlueSteps(4, -4, 2);
    const std::string end = PicturesShown();
    EXPECT_FALSE(Replay()->isVisible());

    Press(Qt::Key_Home);
    EXPECT_EQ(PicturesShown(), start);
    EXPECT_TRUE(Replay()->isVisible());
    EXPECT_EQ(Replay()->text(), "Replay: move 0 of 4");
    EXPECT_FALSE(Action("aStepBack")->isEnabled());

    const struct {
        Qt::Key key;
        const char* where;
    } steps[] = {
        {Qt::Key_PageDown, "Replay: move 1 of 4"}, // Blue's step
        {Qt::Key_PageDown, "Replay: move 2 of 4"}, // Orange's answer
        {Qt::Key_PageUp, "Replay: move 1 of 4"},
        {Qt::Key_PageDown, "Replay: move 2 of 4"},
    };
    for (const auto& s : steps) {
        const int before = waits;
        const int played = fMain->game().PlayedTurns();
        Press(s.key);
        EXPECT_EQ(Replay()->text(), s.where);
        // A step forward is shown hole by hole, a wait before and after each.
        const int shown = fMain->game().PlayedTurns() > played
                              ? static_cast<int>(fMain->game().record()[played].holes.size()) + 1
                              : 0;
        EXPECT_EQ(waits - before, shown) << s.where;
    }
    EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn");
    EXPECT_EQ(fMain->StatusText(1), "Turn # 2");

    Press(Qt::Key_End);
    EXPECT_EQ(PicturesShown(), end);
    EXPECT_FALSE(Replay()->isVisible());
    EXPECT_FALSE(Action("aStepForward")->isEnabled());
}

// The final position of the self-play lines, worked out apart from the game:
// each marble from its layout hole to the last hole of each of its moves.
std::string FinalPosition(const std::vector<std::string>& lines) {
    const Board board;
    MarbleList marbles;
    for (int colour = 0; colour < kColours; ++colour)
        marbles.CreateColour(board.homeHole(colour), colour);
    for (const std::string& line : lines) {
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() < 5 || !WholeNumber(fields[0]))
            continue; // a pass, or the winner's line
        TZellhopBall* marble = marbles.FindBall(ColourFromWord(fields[1]), *WholeNumber(fields[2]));
        PlaceBall(*marble, *board.at(*LatticePointOf(fields.back())));
    }
    std::string shown;
    for (const auto& marble : marbles)
        shown += std::string(ColourWord(marble->colour)) + " " + std::to_string(marble->number) +
                 " " + HoleText(marble->pos->at) + "\n";
    marbles.RemoveAll();
    return shown;
}

TEST_F(SavedGameWindow, ASelfPlayRecordSteppedToItsEndShowsTheSelfPlayGamesLastPosition) {
    const QString path = files.filePath("selfplay.zellhop");
    QProcess selfPlay;
    selfPlay.start(ZELLHOP_SELFPLAY, {"--seats", "CCCCCC", "--record", path});
    ASSERT_TRUE(selfPlay.waitForFinished(60000));
    ASSERT_EQ(selfPlay.exitCode(), 0);
    std::vector<std::string> printed;
    for (const QByteArray& line : selfPlay.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            printed.push_back(line.toStdString());
    ASSERT_EQ(printed.back().rfind("winner ", 0), 0u) << printed.back();
    const std::string winner(Fields(printed.back())[1]);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    std::string moves;
    for (size_t i = 0; i + 1 < printed.size(); ++i)
        moves += printed[i] + "\n";
    EXPECT_EQ(text, "seats CCCCCC\njumpback 0\n" + moves) << "the very lines printed";

    fMain->OpenGame(path);
    Play();
    ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();
    const std::string final = FinalPosition(printed);
    EXPECT_EQ(PicturesShown(), final) << "opened at its last position";
    Action("aToStart")->trigger();
    fMain->SetStepDelay(0); // some thousand holes to show
    const int length = fMain->game().LineLength();
    EXPECT_EQ(length, static_cast<int>(printed.size()) - 1);
    for (int step = 0; step < length && Action("aStepForward")->isEnabled(); ++step) {
        Action("aStepForward")->trigger();
        Play();
    }
    EXPECT_EQ(PicturesShown(), final);
    EXPECT_EQ(ColourWord(fMain->game().winner()), winner);
    EXPECT_FALSE(Replay()->isVisible());
    EXPECT_TRUE(prompts.messages.isEmpty()) << "a replayed win is shown, not announced again";
}

} // namespace
