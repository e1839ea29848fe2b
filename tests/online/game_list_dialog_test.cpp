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

// Games announced on this network, beside the lobby's.
const std::vector<TLanGameEntry> kLanGames = {{"10.0.0.7", 1, "Kitchen", "1/2"},
                                              {"10.0.0.8", 9, "Office", ""}};

QStringList Rows(const QTreeWidget& list) {
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        rows << list.topLevelItem(i)->text(0) + " | " + list.topLevelItem(i)->text(1);
    return rows;
}

TEST_F(GameList, GamesOnThisNetworkAreListedBelowTheLobbysAndSaySo) {
    dialog.SetGames(kGames);
    dialog.SetLanGames(kLanGames);
    dialog.show();
    QTreeWidget& list = *dialog.lvgames;
    EXPECT_EQ(Rows(list), QStringList({"Joes game 1 | 1/3", "Friday  | 2/3 ",
                                       "Kitchen | 1/2 (this network)", "Office | (this network)"}));
    EXPECT_TRUE(list.topLevelItem(2)->textAlignment(1) & Qt::AlignRight);
    EXPECT_TRUE(list.isColumnHidden(2));
    // The column shows all of "(this network)".
    const int needed = list.fontMetrics().horizontalAdvance("1/2 (this network)");
    EXPECT_GE(list.columnWidth(1), needed);

    list.setCurrentItem(list.topLevelItem(2));
    EXPECT_EQ(dialog.SelectedGame(), (TGameListEntry{"Kitchen", "1/2", "10.0.0.7"}));
    EXPECT_TRUE(dialog.SelectedIsOnThisNetwork());
    list.setCurrentItem(list.topLevelItem(0));
    EXPECT_EQ(dialog.SelectedGame(), kGames[0]);
    EXPECT_FALSE(dialog.SelectedIsOnThisNetwork());

    // Without games on this network the column is as it was designed.
    dialog.SetLanGames({});
    EXPECT_EQ(list.columnWidth(1), 60);
    EXPECT_EQ(list.topLevelItemCount(), 2);
}

TEST_F(GameList, GamesOnThisNetworkComeAndGoWhileTheChoiceStays) {
    dialog.SetGames({});
    dialog.SetLanGames({kLanGames[0]});
    QTreeWidget& list = *dialog.lvgames;
    list.setCurrentItem(list.topLevelItem(0));

    // Another game arrives and the chosen one changes its players: the
    // choice stays on the same game.
    dialog.SetLanGames({{"10.0.0.8", 9, "Office", ""}, {"10.0.0.7", 1, "Kitchen", "2/2"}});
    EXPECT_EQ(Rows(list), QStringList({"Kitchen | 2/2 (this network)", "Office | (this network)"}));
    EXPECT_EQ(dialog.SelectedGame(), (TGameListEntry{"Kitchen", "2/2", "10.0.0.7"}));

    // It starts: still listed, as a game under way, and still chosen.
    dialog.SetLanGames({{"10.0.0.8", 9, "Office", ""}, {"10.0.0.7", 1, "Kitchen", "2/2", true}});
    EXPECT_EQ(Rows(list),
              QStringList({"Kitchen | playing 2/2 (this network)", "Office | (this network)"}));
    EXPECT_EQ(dialog.SelectedGame(), (TGameListEntry{"Kitchen", "playing 2/2", "10.0.0.7"}));

    // The chosen game leaves: nothing is chosen, and Join says so.
    dialog.SetLanGames({{"10.0.0.8", 9, "Office", ""}});
    EXPECT_EQ(Rows(list), QStringList({"Office | (this network)"}));
    EXPECT_FALSE(dialog.SelectedGame());
    dialog.bJoinClick();
    EXPECT_EQ(messages, QStringList{"You didn't select a game."});

    // A lobby list of a new join attempt keeps the games on this network
    // and forgets the choice.
    list.setCurrentItem(list.topLevelItem(0));
    dialog.SetGames(kGames);
    EXPECT_EQ(Rows(list),
              QStringList({"Joes game 1 | 1/3", "Friday  | 2/3 ", "Office | (this network)"}));
    EXPECT_FALSE(dialog.SelectedGame());
}

TEST_F(GameList, AHostileNameStaysOnOneRowAsPlainText) {
    // Names of this network arrive plain already; the row shows them as
    // text, markup and all, on one line.
    dialog.SetGames({{"<img src=x>\nline two", "1/2", "10.0.0.2"}});
    dialog.SetLanGames({{"10.0.0.7", 1, "<b>Kitchen</b> &amp;", "1/2"}});
    QTreeWidget& list = *dialog.lvgames;
    EXPECT_EQ(list.topLevelItem(0)->text(0), "<img src=x> line two");
    EXPECT_EQ(list.topLevelItem(1)->text(0), "<b>Kitchen</b> &amp;");
}

} // namespace
