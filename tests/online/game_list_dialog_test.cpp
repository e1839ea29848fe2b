#include "game_list_dialog.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

const std::vector<TGameListEntry> kGames = {{"Joes game 1", "1/3", "127.0.0.2"},
                                            {"Friday\r", "2/3\r", "host.example"}};

class GameList : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog.SetMessageBox([this](const QString& text) { messages << text; });
    }
    TfGamelist dialog;
    QStringList messages;
};

TEST_F(GameList, ShowsEachGameAsARowAndKeepsTheAddressOutOfSight) {
    EXPECT_EQ(dialog.windowTitle(), "Game list");
    dialog.SetGames(kGames);
    dialog.show();
    QTreeWidget& list = *dialog.lvgames;
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(list.headerItem()->text(0), "Game name");
    EXPECT_EQ(list.headerItem()->text(1), "Players");
    EXPECT_EQ(list.topLevelItem(0)->text(0), "Joes game 1");
    EXPECT_EQ(list.topLevelItem(0)->text(1), "1/3");
    EXPECT_TRUE(list.topLevelItem(0)->textAlignment(1) & Qt::AlignRight);
    EXPECT_TRUE(list.isColumnHidden(2));
    EXPECT_FALSE(list.isColumnHidden(0) || list.isColumnHidden(1));
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(dialog.bJoin->text(), "Join game");
    EXPECT_EQ(dialog.bJoin->geometry(), QRect(16, 8, 75, 25));
    EXPECT_EQ(dialog.bCancel->geometry(), QRect(200, 8, 75, 25));
    EXPECT_EQ(dialog.Panel1->height(), 41);
    EXPECT_FALSE(dialog.SelectedGame()) << "nothing is selected at first";

    list.setCurrentItem(list.topLevelItem(1));
    EXPECT_EQ(dialog.SelectedGame(), kGames[1]) << "texts come back byte for byte";
}

TEST_F(GameList, JoinWithoutARowSelectedSaysSoAndStaysOpen) {
    dialog.SetGames({});
    QTimer::singleShot(0, &dialog, [&] {
        dialog.bJoin->click();
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(dialog.lvgames, Qt::Key_Escape); // does nothing here
        EXPECT_TRUE(dialog.isVisible());
        dialog.bCancel->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(messages, QStringList{"You didn't select a game."});
}

TEST_F(GameList, JoinWithARowSelectedClosesWithOkAndANewListForgetsTheSelection) {
    dialog.SetGames(kGames);
    QTimer::singleShot(0, &dialog, [&] {
        QTreeWidget& list = *dialog.lvgames;
        const QRect row = list.visualItemRect(list.topLevelItem(0));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
        dialog.bJoin->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedGame(), kGames[0]);
    EXPECT_TRUE(messages.isEmpty());

    dialog.SetGames(kGames);
    EXPECT_FALSE(dialog.SelectedGame());
}

} // namespace
