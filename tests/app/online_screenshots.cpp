// Pictures of online play for a person to look at: the login dialog, the
// game list with a game in it, and the main windows of a running online
// game with its log and chat.  The real lobby runs in this process; the two
// programs bind 127.0.0.2 and 127.0.0.3 and talk over UDP port 3237, so run
// it alone, under xvfb-run (or with QT_QPA_PLATFORM=offscreen).  It writes
// PNG files into the folder given.
#include "computer_player.h"
#include "online_players.h"
#include "picture_widget.h"
#include "players_dialog.h"
#include "screenshot.h"
#include "tavlo_login_dialog.h"
#include "test_lobby.h"
#include "window_parts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

namespace {

// The move the computer would choose, clicked hop by hop.
void PlayOneTurn(TfMain& window) {
    const int seat = window.game().state().currentSeat;
    const ComputerChoice choice =
        ChooseComputerMove(window.game().marbles(), window.game().state().homeHoles, seat);
    if (!choice.marble)
        return;
    for (size_t i = 1; i < choice.path.size() && window.game().state().currentSeat == seat; ++i) {
        QTest::mouseClick(window.MarblePicture(*choice.marble), Qt::LeftButton);
        bool clicked = false;
        for (int k = 0; k < kTargetMarkers && !clicked; ++k)
            if (window.TargetMarker(k)->isVisible() && window.MarkerHole(k) == choice.path[i]) {
                QTest::mouseClick(window.TargetMarker(k), Qt::LeftButton);
                clicked = true;
            }
        if (!clicked)
            break;
    }
    if (window.game().state().currentSeat == seat && ActionOf(window, "aEndTurn")->isEnabled())
        ActionOf(window, "aEndTurn")->trigger();
}

void Chat(TfMain& window, const char* line) {
    QTest::keyClicks(Named<QLineEdit>(window, "eChat"), line);
    QTest::keyClick(Named<QLineEdit>(window, "eChat"), Qt::Key_Return);
}

// Asks for the player's game list; when it opens (once the lobby has
// answered, after this returns), pictures it with its first game selected
// and joins that game.  `ok` must outlive the dialog.
void JoinFirstListed(Player& player, const QString& folder, const char* file, bool& ok) {
    TfGamelist& list = *player->dialogs().gamelist;
    WhenModal(list, [&list, folder, file, &ok] {
        if (list.lvgames->topLevelItemCount() > 0)
            list.lvgames->setCurrentItem(list.lvgames->topLevelItem(0));
        QTest::qWait(50);
        ok &= Save(list, folder, file);
        list.bJoin->click();
    });
    ActionOf(*player, "aJoinGame")->trigger();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    const QString folder = argc > 1 ? argv[1] : ".";
    QDir().mkpath(folder);
    const QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());

    TestLobby lobby(true);
    lobby.AddPlayer("Quorvik", "quorvik-secret");
    lobby.AddPlayer("Ann", "ann-secret");
    lobby.AddPlayer("Zoe", "zoe-secret");
    Player host("Quorvik", "127.0.0.2", lobby.HostSetting());
    Player ann("Ann", "127.0.0.3", lobby.HostSetting());
    host->SetStepDelay(100);
    ann->SetStepDelay(100);
    bool ok = true;

    // The login dialog as the host fills it in, before Login.
    TfTavloLogin& login = *host->dialogs().login;
    WhenModal(*host->dialogs().players, [&] {
        // Blue at this computer, Orange for Ann, Green for the computer.
        const std::array<SeatKind, kColours> kinds = {skHuman, skNone,     skNone,
                                                      skOpen,  skComputer, skNone};
        for (int i = 0; i < kColours; ++i)
            host->dialogs().players->seatBoxes[i]->setCurrentIndex(kinds[i]);
        host->dialogs().players->eGamename->setText("Friday night");
        host->dialogs().players->btnOk->click();
    });
    WhenModal(login, [&] {
        login.eUsername->setText("Quorvik");
        login.ePassword->setText("quorvik-secret");
        ok &= Save(login, folder, "login_dialog.png");
        login.bLogin->click();
    });
    ActionOf(*host, "aNewGame")->trigger();

    // Ann's game list with the published game selected.
    AnswerLogin(ann, "Ann", "ann-secret");
    JoinFirstListed(ann, folder, "game_list.png", ok);
    ok &= WaitUntil(
        [&] { return !host->game().marbles().empty() && !ann->game().marbles().empty(); });

    // A few turns and a few words.
    for (int turn = 0; turn < 4 && ok; ++turn) {
        WaitUntil([&] { return !host->game().ComputerMoving() && !ann->game().ComputerMoving(); });
        TfMain& mover = Named<QLabel>(*host, "lblYourTurn")->isVisible() ? *host : *ann;
        PlayOneTurn(mover);
        QTest::qWait(300);
    }
    Chat(*host, "Good luck, Ann!");
    Chat(*ann, "Thanks, you too");
    WaitUntil([&] { return host.LogCount("Ann: Thanks, you too") == 1; }, 3000);
    WaitUntil([&] { return !host->game().ComputerMoving() && !ann->game().ComputerMoving(); });
    QTest::qWait(100);
    ok &= Save(*host, folder, "online_game_host.png");
    ok &= Save(*ann, folder, "online_game_joiner.png");

    // Zoe finds the game under way and watches it.
    Player zoe("Zoe", "127.0.0.4", lobby.HostSetting());
    AnswerLogin(zoe, "Zoe", "zoe-secret");
    JoinFirstListed(zoe, folder, "game_list_running.png", ok);
    ok &= WaitUntil([&] { return zoe.LogCount("***Watching the game") == 1; }, 15000);
    ok &= WaitUntil([&] { return !zoe->game().marbles().empty(); });
    Chat(*zoe, "Go Ann!");
    Chat(*ann, "Thanks Zoe");
    WaitUntil([&] { return zoe.LogCount("Ann: Thanks Zoe") == 1; }, 3000);
    QTest::qWait(300);
    ok &= Save(*host, folder, "online_game_host_watched.png");
    ok &= Save(*zoe, folder, "online_game_watcher.png");
    return ok ? 0 : 1;
}
