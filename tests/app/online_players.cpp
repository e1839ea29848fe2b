#include "online_players.h"

#include "board.h"
#include "computer_player.h"
#include "marble.h"
#include "players_dialog.h"
#include "tavlo_login_dialog.h"
#include "window_parts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int kPoll = 5; // ms

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

Player::Player(const std::string& nickname, const std::string& localAddress,
               const std::string& lobbyHost) {
    const QString folder = config.path() + "/zellhop";
    QDir().mkpath(folder);
    QFile ini(folder + "/zellhop.ini");
    if (ini.open(QIODevice::WriteOnly))
        ini.write(QString("[MULTI]\nNickname=%1\nLobbyHost=%2\nLocalAddress=%3\n")
                      .arg(Text(nickname), Text(lobbyHost), Text(localAddress))
                      .toUtf8());
    ini.close();
    // Each program reads its own file, and writes it back there at close.
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    window = CreateWindows(&prompts);
    window->LoadSettings();
    qputenv("XDG_CONFIG_HOME", previous);
    window->SetStepDelay(kOnlineStepDelay);
    window->show();
}

Player::~Player() {
    window.reset();
}

QStringList Player::Log() const {
    return Named<QPlainTextEdit>(*window, "mLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
}

int Player::LogCount(const QString& line) const {
    return static_cast<int>(Log().count(line));
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!cond() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(kPoll, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return cond();
}

void WhenModal(QWidget& dialog, std::function<void()> answer) {
    auto* poll = new QTimer(&dialog);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, clock, answer] {
        const bool shown = QApplication::activeModalWidget() == &dialog;
        if (!shown && clock->elapsed() < kOnlineWaitMs)
            return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (shown)
            answer();
        else if (auto* unanswered = qobject_cast<QDialog*>(&dialog))
            unanswered->reject();
    });
    poll->start(kPoll);
}

void AwaitLobby(Player& player) {
    const MainDialogs& dialogs = player->dialogs();
    WaitUntil([&player, &dialogs] {
        return !player->WaitingForLobby() && !dialogs.login->isVisible() &&
               !dialogs.gamelist->isVisible() && !dialogs.players->isVisible();
    });
}

void AnswerLogin(Player& player, const std::string& user, const std::string& password) {
    TfTavloLogin& login = *player->dialogs().login;
    WhenModal(login, [&login, user, password] {
        login.eUsername->setText(Text(user));
        login.ePassword->setText(Text(password));
        login.bLogin->click(); // closes the dialog itself after the success pause
    });
}

void AnswerThisNetwork(Player& player) {
    TfTavloLogin& login = *player->dialogs().login;
    WhenModal(login, [&login] { login.bThisNetwork->click(); });
}

namespace {

void AnswerSeats(Player& host, const std::array<SeatKind, kColours>& kinds,
                 const QString& gameName) {
    TfPlayers& players = *host->dialogs().players;
    WhenModal(players, [&players, kinds, gameName] {
        for (int i = 0; i < kColours; ++i)
            players.seatBoxes[i]->setCurrentIndex(kinds[i]);
        players.eGamename->setText(gameName);
        players.btnOk->click();
    });
}

QTreeWidgetItem* RowNamed(TfGamelist& list, const std::string& gameName,
                          std::vector<TGameListEntry>* listed) {
    QTreeWidget& rows = *list.lvgames;
    QTreeWidgetItem* wanted = nullptr;
    if (listed)
        listed->clear();
    for (int i = 0; i < rows.topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = rows.topLevelItem(i);
        rows.setCurrentItem(row);
        if (listed)
            listed->push_back(*list.SelectedGame());
        if (row->text(0).toStdString() == gameName && !wanted)
            wanted = row;
    }
    rows.clearSelection();
    return wanted;
}

} // namespace

void Publish(Player& host, const std::array<SeatKind, kColours>& kinds, const QString& gameName,
             const std::string& user, const std::string& password) {
    AnswerSeats(host, kinds, gameName);
    AnswerLogin(host, user, password);
    ActionOf(*host, "aNewGame")->trigger();
    AwaitLobby(host);
}

void PublishOnThisNetwork(Player& host, const std::array<SeatKind, kColours>& kinds,
                          const QString& gameName) {
    AnswerSeats(host, kinds, gameName);
    AnswerThisNetwork(host);
    ActionOf(*host, "aNewGame")->trigger();
    AwaitLobby(host);
}

void JoinOnThisNetwork(Player& player, const std::string& gameName,
                       std::vector<TGameListEntry>* listed, int waitMs) {
    AnswerThisNetwork(player);
    TfGamelist& list = *player->dialogs().gamelist;
    WhenModal(list, [&list, gameName, listed, waitMs] {
        // Announcements come every few seconds: the row appears while the
        // list is open.
        QTreeWidgetItem* wanted = nullptr;
        WaitUntil([&] { return (wanted = RowNamed(list, gameName, listed)) != nullptr; },
                  waitMs);
        if (!wanted) {
            list.bCancel->click();
            return;
        }
        list.lvgames->setCurrentItem(wanted);
        list.bJoin->click();
    });
    ActionOf(*player, "aJoinGame")->trigger();
    AwaitLobby(player);
}

void Join(Player& player, const std::string& user, const std::string& password,
          const std::string& gameName, std::vector<TGameListEntry>* listed,
          const std::function<void()>& beforeJoin) {
    if (!IsLoggedIn(player->Session().sessionId))
        AnswerLogin(player, user, password);
    TfGamelist& list = *player->dialogs().gamelist;
    WhenModal(list, [&list, gameName, listed, beforeJoin] {
        QTreeWidget& rows = *list.lvgames;
        QTreeWidgetItem* wanted = RowNamed(list, gameName, listed);
        if (beforeJoin)
            beforeJoin();
        if (!wanted) {
            list.bCancel->click();
            return;
        }
        rows.setCurrentItem(wanted);
        list.bJoin->click();
    });
    ActionOf(*player, "aJoinGame")->trigger();
    AwaitLobby(player);
}

std::vector<std::string> Board(const TfMain& window) {
    std::vector<std::string> board;
    for (const auto& marble : window.game().marbles()) {
        const LatticePoint at = marble->pos->at;
        board.push_back(std::to_string(marble->colour) + "/" + std::to_string(marble->number) +
                        "@" + std::to_string(at.r) + "," + std::to_string(at.c));
    }
    return board;
}

bool ClickMarkerOn(TfMain& window, const TZellhopPos& hole) {
    for (int k = 0; k < kTargetMarkers; ++k)
        if (window.TargetMarker(k)->isVisible() && window.MarkerHole(k) == &hole) {
            QTest::mouseClick(window.TargetMarker(k), Qt::LeftButton);
            return true;
        }
    return false;
}

void Click(TfMain& window, const TZellhopBall& marble) {
    QTest::mouseClick(window.MarblePicture(marble), Qt::LeftButton);
}

bool PlayChosenMove(TfMain& window) {
    const int seat = window.game().state().currentSeat;
    const ComputerChoice choice =
        ChooseComputerMove(window.game().marbles(), window.game().state().homeHoles, seat);
    if (!choice.marble)
        return false;
    TZellhopBall& marble = *choice.marble;
    for (size_t i = 1; i < choice.path.size(); ++i) {
        Click(window, marble);
        if (!ClickMarkerOn(window, *choice.path[i]))
            break; // a hop a player may not make (straight back): the move ends here
        if (window.game().state().currentSeat != seat)
            return true; // the turn ended by itself, or the game was won
    }
    if (window.game().state().currentSeat == seat && ActionOf(window, "aEndTurn")->isEnabled())
        ActionOf(window, "aEndTurn")->trigger();
    return window.game().state().currentSeat != seat;
}
