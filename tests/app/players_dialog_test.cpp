#include "application.h"
#include "main_window.h"
#include "players_dialog.h"
#include "qt_printers.h"
#include "scripted_prompts.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PlayersDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        fMain = CreateWindows(&prompts);
        dialog = fMain->dialogs().players;
        dialog->show(); // FormShow
        QApplication::processEvents();
    }
    QString Kinds() const {
        QString kinds;
        for (const QComboBox* box : dialog->seatBoxes)
            kinds += "-HCO"[box->currentIndex()];
        return kinds;
    }
    // The kinds OK last took from the dialog.
    QString Stored() const {
        QString kinds;
        for (SeatKind kind : dialog->ChosenKinds())
            kinds += "-HCOR"[kind];
        return kinds;
    }
    bool NameShown() const { return dialog->eGamename->isVisible(); }

    ScriptedPrompts prompts;
    std::unique_ptr<TfMain> fMain;
    TfPlayers* dialog = nullptr;
};

TEST_F(PlayersDialog, EachPresetSetsTheSixSeatsAndTheGameNamesVisibility) {
    const struct {
        const char* text;
        const char* kinds; // Blue Red Purple Orange Green Yellow
        bool name;
    } presets[] = {
        {"1 Human vs 1 Computer", "H--C--", false}, {"1 Human vs 5 Computers", "HCCCCC", false},
        {"2 Players - Humans", "H--H--", false},    {"4 Players - Humans", "HH-HH-", false},
        {"6 Players - Humans", "HHHHHH", false},    {"2 Players - Tavlo", "H--O--", true},
        {"4 Players - Tavlo", "HO-OO-", true},      {"6 Players - Tavlo", "HOOOOO", true},
    };
    ASSERT_EQ(dialog->cbPresets->count(), 8);
    for (int i = 7; i >= 0; --i) { // from the last, so that every choice changes the box
        dialog->cbPresets->setCurrentIndex(i);
        EXPECT_EQ(dialog->cbPresets->currentText(), presets[i].text) << i;
        EXPECT_EQ(Kinds(), presets[i].kinds) << i;
        EXPECT_EQ(NameShown(), presets[i].name) << i;
        EXPECT_EQ(dialog->lblGamename->isVisible(), presets[i].name) << i;
    }
}

TEST_F(PlayersDialog, OpensOnTheFirstPresetWhateverWasChosenBefore) {
    EXPECT_EQ(dialog->windowTitle(), "Choose your player configuration");
    EXPECT_EQ(dialog->size(), QSize(333, 242)); // wider for the level column
    EXPECT_EQ(dialog->cbPresets->currentIndex(), 0);
    EXPECT_EQ(Kinds(), "H--C--");
    EXPECT_FALSE(NameShown());
    EXPECT_EQ(dialog->seatBoxes[0]->itemText(3), "Open for Multiplayer");

    dialog->cbPresets->setCurrentIndex(7);
    dialog->eGamename->setText("Friday");
    dialog->seatBoxes[5]->setCurrentIndex(skComputer); // by hand: the preset box stays
    EXPECT_EQ(dialog->cbPresets->currentIndex(), 7);
    dialog->reject();
    dialog->show();
    EXPECT_EQ(dialog->cbPresets->currentIndex(), 0);
    EXPECT_EQ(Kinds(), "H--C--");
    EXPECT_EQ(dialog->eGamename->text(), "Friday") << "the name is kept";
}

TEST_F(PlayersDialog, ShowsTheGameNameExactlyWhileASeatIsOpen) {
    dialog->seatBoxes[4]->setCurrentIndex(skOpen);
    EXPECT_TRUE(NameShown());
    dialog->seatBoxes[2]->setCurrentIndex(skOpen);
    dialog->seatBoxes[4]->setCurrentIndex(skHuman);
    EXPECT_TRUE(NameShown());
    dialog->seatBoxes[2]->setCurrentIndex(skNone);
    EXPECT_FALSE(NameShown());
}

TEST_F(PlayersDialog, RefusesFewerThanTwoSeatsAndAnOpenGameWithoutName) {
    const struct {
        const char* kinds;
        const char* name;
        bool accepted;
    } cases[] = {
        {"H-----", "", false}, {"------", "", false}, {"-C----", "x", false}, {"H--O--", "", false},
        {"H--O--", " ", true}, {"CCCCCC", "", true},  {"C--O--", "g", true},  {"-H-H--", "", true},
    };
    for (const auto& c : cases) {
        dialog->show();
        for (int i = 0; i < kColours; ++i)
            dialog->seatBoxes[i]->setCurrentIndex(QString("-HCO").indexOf(c.kinds[i]));
        dialog->eGamename->setText(c.name);
        prompts.messages.clear();
        const QString before = Stored();
        QTest::mouseClick(dialog->btnOk, Qt::LeftButton);

        EXPECT_EQ(dialog->isVisible(), !c.accepted) << c.kinds << " '" << c.name << "'";
        EXPECT_EQ(dialog->result(), c.accepted ? QDialog::Accepted : QDialog::Rejected) << c.kinds;
        EXPECT_EQ(prompts.messages, c.accepted ? QStringList{} : QStringList{"Invalid selection"})
            << c.kinds;
        EXPECT_EQ(Stored(), c.accepted ? QString(c.kinds) : before) << c.kinds;
        if (!c.accepted) {
            EXPECT_EQ(Kinds(), c.kinds) << "the choice stays for the user to mend";
        }
        dialog->setResult(QDialog::Rejected);
    }
}

TEST_F(PlayersDialog, CancelEscapeAndTheCloseBoxChangeNoSeat) {
    const std::function<void()> ways[] = {
        [this] { dialog->btnCancel->click(); },
        [this] { QTest::keyClick(dialog, Qt::Key_Escape); },
        [this] { dialog->close(); },
    };
    for (const auto& cancel : ways) {
        dialog->show();
        const QString before = Stored();
        dialog->cbPresets->setCurrentIndex(4);
        cancel();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(Stored(), before);
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

TEST_F(PlayersDialog, TabGoesFromOkThroughTheSeatsToTheGameName) {
    dialog->cbPresets->setCurrentIndex(5); // the name shows
    QStringList order;
    QWidget* w = dialog->btnOk;
    for (int i = 0; i < 10; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisible());
    }
    EXPECT_EQ(order, (QStringList{"btnOk", "btnCancel", "cbPBlue", "cbPRed", "cbPPurple",
                                  "cbPOrange", "cbPGreen", "cbPYellow", "cbPresets", "eGamename"}));
}

} // namespace
