// The computer's levels in the window: the level column of the player
// dialog, the Levels setting, a stronger level's move searched off the UI
// thread, and that search abandoned by New Game, End Current Game and
// closing.
#include "../core/test_data.h"
#include "colours.h"
#include "computer_level.h"
#include "game_window.h"
#include "level_search.h"
#include "qt_printers.h"
#include "scratch_config.h"
#include "settings.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

using L = ComputerLevel;
constexpr int kBlue = 0;
constexpr int kOrange = 3;
constexpr SeatKinds kComputerVsHuman = {skComputer, skNone, skNone, skHuman, skNone, skNone};

// Levels as the settings file writes them, "CSCCEC".
std::string Letters(const ComputerLevels& levels) {
    std::string letters;
    for (const ComputerLevel level : levels)
        letters += LevelLetter(level);
    return letters;
}

// --- The player dialog's level column -----------------------------------

class LevelColumn : public GameWindow {
  protected:
    void SetUp() override {
        GameWindow::SetUp();
        dialog = fMain->dialogs().players;
        dialog->show();
        Settle();
    }
    void TearDown() override {
        dialog->reject();
        GameWindow::TearDown();
    }
    void SetKinds(const char* kinds) {
        for (int i = 0; i < kColours; ++i)
            dialog->seatBoxes[i]->setCurrentIndex(QString("-HCO").indexOf(kinds[i]));
    }
    // What the level boxes show, and which are enabled ('+') or not ('.').
    std::string Shown() const {
        std::string shown;
        for (const QComboBox* box : dialog->levelBoxes)
            shown += LevelLetter(static_cast<L>(box->currentIndex()));
        return shown;
    }
    std::string Enabled() const {
        std::string enabled;
        for (const QComboBox* box : dialog->levelBoxes)
            enabled += box->isEnabled() ? '+' : '.';
        return enabled;
    }

    TfPlayers* dialog = nullptr;
};

TEST_F(LevelColumn, OffersTheThreeLevelsBesideEachSeatEnabledOnlyForAComputer) {
    ASSERT_TRUE(dialog->lblLevel->isVisible());
    EXPECT_EQ(dialog->lblLevel->text(), "Level:");
    for (int i = 0; i < kColours; ++i) {
        const QComboBox* box = dialog->levelBoxes[i];
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->itemText(0), "Classic");
        EXPECT_EQ(box->itemText(1), "Strong");
        EXPECT_EQ(box->itemText(2), "Expert");
        // Beside its seat: the same row, right of the seat box.
        EXPECT_EQ(box->y(), dialog->seatBoxes[i]->y()) << i;
        EXPECT_GT(box->x(), dialog->seatBoxes[i]->geometry().right()) << i;
    }
    const struct {
        const char* kinds;
        const char* enabled;
    } cases[] = {
        {"H--C--", "...+.."}, {"HCCCCC", ".+++++"}, {"CCCCCC", "++++++"},
        {"H--H--", "......"}, {"C-H--C", "+....+"}, {"HC-OC-", "......"},
    };
    for (const auto& c : cases) {
        SetKinds(c.kinds);
        EXPECT_EQ(Enabled(), c.enabled) << c.kinds;
    }
}

// The levels chosen stay through presets, Cancel and the next opening; an
// Open seat shows Classic everywhere and gives Classic to every seat, but
// the levels come back for the next local game.
TEST_F(LevelColumn, RemembersTheLevelsAndRefusesThemInAnOnlineGame) {
    SetKinds("CC-CC-");
    dialog->levelBoxes[kBlue]->setCurrentIndex(static_cast<int>(L::kStrong));
    dialog->levelBoxes[kOrange]->setCurrentIndex(static_cast<int>(L::kExpert));
    EXPECT_EQ(Shown(), "SCCECC");
    dialog->cbPresets->setCurrentIndex(1); // 1 Human vs 5 Computers: kinds only
    EXPECT_EQ(Shown(), "SCCECC");
    EXPECT_EQ(Enabled(), ".+++++");

    SetKinds("CH-OC-");
    EXPECT_EQ(Shown(), "CCCCCC") << "no level online";
    EXPECT_EQ(Enabled(), "......");
    EXPECT_EQ(dialog->levelBoxes[kBlue]->toolTip(),
              "Online games play every computer seat at Classic");
    SetKinds("CH-CC-");
    EXPECT_EQ(Shown(), "SCCECC") << "back when the seat is no longer open";

    dialog->btnOk->click();
    ASSERT_FALSE(dialog->isVisible());
    EXPECT_EQ(Letters(dialog->ChosenLevels()), "SCCECC");
    EXPECT_EQ(Letters(dialog->Levels()), "SCCECC");

    // A human seat plays no level, and Cancel keeps what OK took.
    dialog->show();
    EXPECT_EQ(Shown(), "SCCECC");
    SetKinds("HC-CC-");
    dialog->levelBoxes[kOrange]->setCurrentIndex(static_cast<int>(L::kClassic));
    dialog->btnOk->click();
    EXPECT_EQ(Letters(dialog->ChosenLevels()), "CCCCCC");
    EXPECT_EQ(Letters(dialog->Levels()), "SCCCCC") << "Blue's level is kept for later";
    dialog->show();
    dialog->levelBoxes[kOrange]->setCurrentIndex(static_cast<int>(L::kStrong));
    dialog->reject();
    EXPECT_EQ(Letters(dialog->Levels()), "SCCCCC");

    // An online configuration: every seat Classic, the levels kept.
    dialog->show();
    SetKinds("CH-OC-");
    dialog->eGamename->setText("Friday");
    dialog->btnOk->click();
    ASSERT_FALSE(dialog->isVisible());
    EXPECT_EQ(Letters(dialog->ChosenLevels()), "CCCCCC");
    EXPECT_EQ(Letters(dialog->Levels()), "SCCCCC");
    dialog->show();
    SetKinds("CH-CC-");
    EXPECT_EQ(Shown(), "SCCCCC");
}

// --- The Levels setting ------------------------------------------------------

class LevelsSetting : public GameWindow {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        GameWindow::SetUp();
    }

    ScratchConfig config;
};

TEST_F(LevelsSetting, IsReadLetterByLetterAnythingElseClassic) {
    const struct {
        const char* file;
        const char* levels;
    } cases[] = {
        {"", "CCCCCC"},
        {"[MAIN]\nLevels=CSCCEC\n", "CSCCEC"},
        {"[main]\nlevels=EEEEEE\n", "EEEEEE"},
        {"[MAIN]\nLevels=SE\n", "SECCCC"},       // too short: the rest Classic
        {"[MAIN]\nLevels=SSSSSSEE\n", "SSSSSS"}, // too long: the first six
        {"[MAIN]\nLevels=sx?E-S\n", "CCCECS"},   // unknown letters Classic
        {"[MAIN]\nLevels=\n", "CCCCCC"},
        {"[MULTI]\nLevels=EEEEEE\n", "CCCCCC"}, // not in its section
    };
    for (const auto& c : cases) {
        QFile::remove(config.IniPath());
        config.Write(c.file);
        fMain = CreateWindows(&prompts);
        fMain->LoadSettings();
        EXPECT_EQ(Letters(fMain->dialogs().players->Levels()), c.levels) << c.file;
    }
}

TEST_F(LevelsSetting, IsWrittenWhenALevelIsChosenOrTheFileHasIt) {
    fMain->SaveSettings();
    EXPECT_FALSE(config.Read().contains("Levels")) << "all Classic adds nothing to a file";

    TfPlayers& dialog = *fMain->dialogs().players;
    dialog.show();
    dialog.seatBoxes[kOrange]->setCurrentIndex(skComputer);
    dialog.levelBoxes[kOrange]->setCurrentIndex(static_cast<int>(L::kExpert));
    dialog.btnOk->click();
    fMain->SaveSettings();
    EXPECT_TRUE(
        config.Read().contains("[MAIN]\nCompSpeed=1000\nJumpBack=0\nMarbleSize=1\nLevels=CCCECC\n"))
        << config.Read().toStdString();

    fMain = CreateWindows(&prompts);
    fMain->LoadSettings();
    EXPECT_EQ(Letters(fMain->dialogs().players->Levels()), "CCCECC");
    fMain->dialogs().players->SetLevels({});
    fMain->SaveSettings();
    EXPECT_TRUE(config.Read().contains("\nLevels=CCCCCC\n")) << "kept in a file that has it";
}

// --- A stronger level in the game -----------------------------------------------

class LevelGame : public GameWindow {
  protected:
    // New Game with these kinds and levels, confirmed with OK.
    void NewGame(const SeatKinds& kinds, const ComputerLevels& levels) {
        AnswerPlayersDialog([kinds, levels](TfPlayers& dialog) {
            for (int i = 0; i < kColours; ++i) {
                dialog.seatBoxes[i]->setCurrentIndex(kinds[i]);
                dialog.levelBoxes[i]->setCurrentIndex(static_cast<int>(levels[i]));
            }
            dialog.btnOk->click();
        });
        Action("aNewGame")->trigger();
        Play();
    }
    void Later(std::function<void()> then, int ms) {
        QTimer::singleShot(ms, fMain.get(), std::move(then));
    }
};

// Blue Strong against Orange Classic through the window, every Strong
// move searched on the worker thread: the very record zellhop-selfplay
// prints for "S--C--", and not the classic game's.
TEST_F(LevelGame, TheComputerPlaysTheLevelChosenForItsSeat) {
    QProcess selfPlay;
    selfPlay.start(ZELLHOP_SELFPLAY, {"--seats", "S--C--"});
    ASSERT_TRUE(selfPlay.waitForFinished(60000));
    ASSERT_EQ(selfPlay.exitCode(), 0);
    const std::string expected = selfPlay.readAllStandardOutput().toStdString();
    std::ifstream transcript(TestDataPath("selfplay/C--C--.txt"));
    const std::string classic{std::istreambuf_iterator<char>(transcript), {}};

    fMain->SetStepDelay(0);
    NewGame({skComputer, skNone, skNone, skComputer, skNone, skNone},
            {L::kStrong, L::kClassic, L::kClassic, L::kClassic, L::kClassic, L::kClassic});
    EXPECT_EQ(fMain->game().LevelOf(kBlue), L::kStrong);
    ASSERT_GE(fMain->game().winner(), 0);
    std::string played;
    for (const TurnRecord& turn : fMain->game().record())
        played += MoveLine(turn) + "\n";
    played += "winner " + std::string(ColourWord(fMain->game().winner())) + " after " +
              std::to_string(fMain->game().record().back().turn) + " turns\n";
    EXPECT_EQ(played, expected);
    EXPECT_NE(played.substr(0, 200), classic.substr(0, 200));
    EXPECT_EQ(fMain->StatusText(2), "");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A search that would take many seconds: the real search without the
// level's node budget, ten plies deeper.  It gives up by itself after
// ten seconds, so that a window that never stops it fails rather than hangs.
LevelMove LongSearch(const SearchPosition& position, ComputerLevel, const std::atomic<bool>* stop) {
    LevelSettings settings = LevelSettingsOf(L::kExpert, 2);
    settings.depth = 15;
    settings.width = 0;
    settings.nodeBudget = 0;
    std::atomic<bool> stopped = false;
    std::jthread watch([&](std::stop_token searched) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!searched.stop_requested() && !stop->load() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stopped = true;
    });
    const LevelSearchResult r = SearchLevelMove(position, settings, &stopped);
    LevelMove move;
    move.abandoned = r.abandoned;
    if (r.marble >= 0) {
        move.colour = position.marbles[r.marble].colour;
        move.number = position.marbles[r.marble].number;
        move.path = r.path;
    }
    return move;
}

// While the computer thinks the window shows it and goes on handling
// events; New Game (while paused), End Current Game and Exit each stop the
// search at once, and no move is made.
TEST_F(LevelGame, ALongSearchIsAbandonedAtOnceAndMakesNoMove) {
    constexpr int kThinkingSeen = 400; // ms: the window says so after 200
    constexpr qint64 kAtOnce = 500;    // ms from the action to the window's return
    const struct {
        const char* how;
        std::function<void()> act;
        bool newGame, closed;
    } cases[] = {
        {"End Current Game",
         [this] {
             prompts.answers = {true};
             Action("aEndGame")->trigger();
         },
         false, false},
        {"New Game while paused",
         [this] {
             Action("aPause")->trigger();
             ASSERT_TRUE(Action("aNewGame")->isEnabled());
             GameWindow::NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
         },
         true, false},
        {"Exit",
         [this] {
             prompts.answers = {true};
             Action("aExit")->trigger();
         },
         false, true},
    };
    for (const auto& c : cases) {
        SetUp(); // a window of its own
        waits = 0;
        fMain->SetLevelSearch(LongSearch);
        QElapsedTimer acted;
        bool thinkingShown = false, busy = false;
        Later(
            [&] {
                thinkingShown = fMain->StatusText(2) == "The computer is thinking...";
                busy = QGuiApplication::overrideCursor() &&
                       QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
                EXPECT_TRUE(Action("aPause")->isEnabled()) << c.how;
                acted.start();
                c.act();
            },
            kThinkingSeen);
        NewGame(kComputerVsHuman,
                {L::kExpert, L::kClassic, L::kClassic, L::kClassic, L::kClassic, L::kClassic});
        ASSERT_TRUE(acted.isValid()) << c.how;
        EXPECT_LT(acted.elapsed(), kAtOnce) << c.how;
        EXPECT_TRUE(thinkingShown) << c.how;
        EXPECT_TRUE(busy) << c.how;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << c.how;
        EXPECT_EQ(waits, 0) << c.how << ": no hole of a move shown";
        EXPECT_FALSE(fMain->game().ComputerMoving()) << c.how;
        for (const TurnRecord& turn : fMain->game().record())
            EXPECT_LT(turn.number, 0) << c.how << ": " << MoveLine(turn);
        if (c.newGame) {
            EXPECT_EQ(ShownMarbles(*fMain), 20) << c.how;
            EXPECT_EQ(fMain->StatusText(0), "It's now player BLUE turn") << c.how;
            EXPECT_EQ(fMain->StatusText(2), "") << c.how;
        } else if (c.closed) {
            EXPECT_TRUE(fMain->Closing()) << c.how;
            EXPECT_FALSE(fMain->isVisible()) << c.how;
        } else {
            EXPECT_EQ(fMain->game().state().phase, kPhaseNoGame) << c.how;
            EXPECT_EQ(ShownMarbles(*fMain), 0) << c.how;
        }
        TearDown();
    }
}

} // namespace
