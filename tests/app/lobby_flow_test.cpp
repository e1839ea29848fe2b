// The main window's lobby settings and what it does when the lobby cannot be
// reached.  Nothing here opens the game's UDP port.
#include "about_box.h"
#include "game_window.h"
#include "lobby_client.h"
#include "qt_printers.h"
#include "scripted_server.h"
#include "settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Nothing listens on port 1 of the loopback: a connection is refused at once.
const char* const kDeadLobby = "127.0.0.1:1";
const char* const kRefused = "Socket Error # 10061\r\nConnection refused.";

TEST(OnlineSettings, TheLobbyHostAndTheLocalAddressReachTheClientsAndTheLinks) {
    const struct {
        const char* file;
        std::string httpHost;
        int httpPort;
        std::string httpLocal, peerLocal;
        const char* web;
    } cases[] = {
        {"", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LobbyHost=lobby.example\nLocalAddress=127.0.0.3\n", "lobby.example", 80, "127.0.0.3",
         "127.0.0.3", "lobby.example"},
        {"LobbyHost=127.0.0.1:8080\n", "127.0.0.1", 8080, "", "0.0.0.0", "127.0.0.1:8080"},
        {"LobbyHost=lobby.example:0\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LobbyHost=lobby.example:70000\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LobbyHost=lobby.example:http\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LobbyHost=:8080\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LobbyHost=\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LocalAddress=0.0.0.0\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LocalAddress=256.1.1.1\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LocalAddress=127.0.0\n", "localhost", 80, "", "0.0.0.0", "localhost"},
        {"LocalAddress=localhost\n", "localhost", 80, "", "0.0.0.0", "localhost"},
    };
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    for (const auto& c : cases) {
        QTemporaryDir config;
        QDir().mkpath(config.path() + "/zellhop");
        QFile ini(config.path() + "/zellhop/zellhop.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray("[MULTI]\n") + c.file);
        ini.close();
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        ScriptedPrompts prompts;
        auto fMain = CreateWindows(&prompts);
        fMain->LoadSettings();
        EXPECT_EQ(fMain->LobbyHttp().Host, c.httpHost) << c.file;
        EXPECT_EQ(fMain->LobbyHttp().Port, c.httpPort) << c.file;
        EXPECT_EQ(fMain->LobbyHttp().LocalAddress, c.httpLocal) << c.file;
        EXPECT_EQ(fMain->Messaging().LocalAddress(), c.peerLocal) << c.file;
        const QString web = QString("http://%1/").arg(c.web);
        EXPECT_EQ(fMain->dialogs().login->CreateAccountPage(), QUrl(web + "main.php?pageno=100"));
        EXPECT_EQ(fMain->dialogs().login->ForgotPasswordPage(), QUrl(web + "main.php?pageno=101"));
        EXPECT_EQ(fMain->dialogs().about->WebPage(), QUrl(web)) << c.file;

        // Written back as they were read (or as their defaults).
        fMain->SaveSettings();
        const ProfileFile written(config.path().toStdString() + "/zellhop/zellhop.ini");
        EXPECT_EQ(written.ReadString("MULTI", "LobbyHost"), std::string(c.web)) << c.file;
        EXPECT_EQ(written.ReadString("MULTI", "LocalAddress"), c.peerLocal) << c.file;
    }
    qputenv("XDG_CONFIG_HOME", previous);
}

TEST(OnlineStart, TheLobbyDialogsComeLastAndTheMessagingWaitsDisabled) {
    ScriptedPrompts prompts;
    const auto fMain = CreateWindows(&prompts);
    std::vector<const char*> dialogs;
    for (const QObject* child : fMain->children())
        if (const auto* dialog = qobject_cast<const QDialog*>(child)) {
            dialogs.push_back(dialog->metaObject()->className());
            EXPECT_FALSE(dialog->isVisible());
        }
    const std::vector<std::string> order(dialogs.begin(), dialogs.end());
    EXPECT_EQ(order, (std::vector<std::string>{"TfOptions", "TfPlayers", "TAboutBox",
                                               "TfTavloLogin", "TfGamelist"}));
    EXPECT_EQ(fMain->Messaging().Port(), 3237);
    EXPECT_EQ(fMain->Messaging().Timeout(), 2000u);
    EXPECT_EQ(fMain->Messaging().PacketRetries(), 0u);
    EXPECT_TRUE(fMain->Messaging().Reliable()) << "the extension, towards peers that announce it";
    EXPECT_EQ(fMain->Messaging().MaxConnections(), 0);
    EXPECT_FALSE(fMain->Messaging().Enabled());
    EXPECT_TRUE(fMain->LobbyHttp().HandleRedirects);
    EXPECT_EQ(fMain->LobbyHttp().Port, 80);
}

class LobbyFlow : public GameWindow {
  protected:
    void SetUp() override {
        GameWindow::SetUp();
        fMain->SetOnlineSettings(kDeadLobby, kAnyLocalAddress);
    }
    // Logged in as far as the window can tell.
    void PretendLoggedIn() { fMain->Session().sessionId = std::string(kSessionIdLength, 'a'); }
    // A tick of the lobby refresh timer, without its hundred seconds.
    void RefreshTimerTicks() {
        QMetaObject::invokeMethod(Part<QTimer>("tmrRefreshGame"), "timeout", Qt::DirectConnection);
    }
};

TEST_F(LobbyFlow, TheLoginMenuOffersTheNicknameAndALobbyThatFailsShowsTheErrorBox) {
    fMain->Messaging().setClientName("Bartholomew Quincey-Ashford");
    fMain->Session().nickname = "Bartholomew Quin";
    fMain->dialogs().login->lblstatus->setText("left from before");
    QString offered, status;
    bool loginEnabled = false, stillOpen = false;
    AnswerLoginDialog([&](TfTavloLogin& dialog) {
        offered = dialog.eUsername->text();
        status = dialog.lblstatus->text();
        dialog.eUsername->setText("ann");
        dialog.ePassword->setText("secret");
        dialog.bLogin->click();
        Play(); // the lobby's answer
        loginEnabled = dialog.bLogin->isEnabled();
        stillOpen = dialog.isVisible();
        status += " / " + dialog.lblstatus->text();
        dialog.bCancel->click();
    });
    Action("TavloLogin1")->trigger();
    EXPECT_EQ(offered, "Bartholomew Quin");
    EXPECT_EQ(status, "Waiting for you to login... / Contacting Tavlo...");
    EXPECT_EQ(prompts.messages, QStringList{kRefused});
    EXPECT_TRUE(loginEnabled);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(IsLoggedIn(fMain->Session().sessionId));
    // Whatever the outcome, the peers are told the nickname.
    EXPECT_EQ(fMain->Messaging().ClientName(), "Bartholomew Quin");
}

TEST_F(LobbyFlow, APublicationThatFailsStartsNothingAndShowsTheError) {
    PretendLoggedIn();
    NewGame({skHuman, skNone, skNone, skOpen, skNone, skNone}, "Friday game");
    EXPECT_EQ(prompts.messages, QStringList{kRefused});
    EXPECT_TRUE(ShownMarbles(*fMain) == 0);
    EXPECT_FALSE(Part<QPlainTextEdit>("mLog")->isVisible());
    EXPECT_FALSE(fMain->Messaging().Enabled());
    EXPECT_EQ(fMain->Session().gameNumber, 0);
    EXPECT_TRUE(Action("aNewGame")->isEnabled()) << "the player may try again";
}

TEST_F(LobbyFlow, AListingThatFailsLeavesTheSeatsRemoteAndShowsTheError) {
    PretendLoggedIn();
    Action("aJoinGame")->trigger();
    Play();
    EXPECT_EQ(prompts.messages, QStringList{kRefused});
    for (const Seat& seat : fMain->game().seats())
        EXPECT_EQ(seat.kind, skRemote);
    EXPECT_FALSE(fMain->Messaging().Enabled());
    EXPECT_TRUE(Action("aJoinGame")->isEnabled());
}

// The lobby hears of a published game until it ends: the start keeps its
// number, a win is reported once and ends the refreshes, and so does End
// Current Game.  The reports go out after the handler that made them.
TEST_F(LobbyFlow, RefreshesGoOutForAPublishedGameUntilItEnds) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1";
    TScriptedServer lobby({{{ok}}, {{ok}}, {{ok}}, {{ok}}});
    fMain->SetOnlineSettings("127.0.0.1:" + std::to_string(lobby.Port()), kAnyLocalAddress);
    PretendLoggedIn();
    const std::string session(kSessionIdLength, 'a');
    const auto requestsSoFar = [&](std::size_t count) {
        QElapsedTimer clock;
        clock.start();
        while (lobby.Requests().size() < count && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        // Anything more would be a fault: give it the time to come.
        for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < 100;) {
            if (!settle.isValid())
                settle.start();
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return lobby.Requests().size();
    };

    RefreshTimerTicks(); // nothing published
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    fMain->Session().gameNumber = 5; // as a publication would have it
    RefreshTimerTicks();
    EXPECT_EQ(requestsSoFar(1), 1u);

    // A win of a remote player's seat: reported with the winner, once.
    const TpContact ann = std::make_shared<TContact>(TContact{"Ann", "127.0.0.3", 12});
    fMain->StartOnlineGame({skRemote, skNone, skNone, skHuman, skNone, skNone},
                           {ann, nullptr, nullptr, nullptr, nullptr, nullptr});
    EXPECT_EQ(fMain->Session().gameNumber, 5) << "the start keeps the game";
    SetPosition(BlueNineHome(5, 1));
    EXPECT_TRUE(fMain->game().CheckWin());
    EXPECT_EQ(fMain->Session().gameNumber, 0);
    RefreshTimerTicks(); // over
    EXPECT_EQ(requestsSoFar(2), 2u);

    // A win of a seat of this computer names no winner.
    Action("aNewGame")->setEnabled(true); // as End Current Game would after the win
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    fMain->Session().gameNumber = 5;
    SetPosition(BlueNineHome(5, 1));
    EXPECT_TRUE(fMain->game().CheckWin());
    RefreshTimerTicks();
    EXPECT_EQ(requestsSoFar(3), 3u);

    // End Current Game: no report, no refresh after.
    Action("aNewGame")->setEnabled(true);
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    fMain->Session().gameNumber = 5;
    prompts.answers = {true};
    Action("aEndGame")->trigger();
    EXPECT_EQ(fMain->Session().gameNumber, 0);
    RefreshTimerTicks();
    EXPECT_EQ(requestsSoFar(3), 3u);

    std::vector<std::string> lines;
    for (const std::string& request : lobby.Requests())
        lines.push_back(request.substr(0, request.find("\r\n")));
    const std::string refresh =
        "GET /tavlo/refreshgame.php?mysessid=" + session + "&gametype=1&gameno=5";
    EXPECT_EQ(lines, (std::vector<std::string>{refresh + " HTTP/1.1",
                                               refresh + "&newgamestate=3&winner=12 HTTP/1.1",
                                               refresh + "&newgamestate=3 HTTP/1.1"}));
    EXPECT_TRUE(prompts.messages.contains("Player BLUE won!"));
}

// A background report that fails is written to the log; the player is not
// stopped by a message box, and the reports queued behind it go with it.
TEST_F(LobbyFlow, AFailedReportIsLoggedNotShown) {
    PretendLoggedIn();
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    fMain->Session().gameNumber = 5;
    RefreshTimerTicks();
    SetPosition(BlueNineHome(5, 1));
    EXPECT_TRUE(fMain->game().CheckWin());
    const QString failure =
        QString("***Couldn't report to the lobby: %1").arg(QString(kRefused).replace("\r\n", " "));
    QElapsedTimer clock;
    clock.start();
    while (!Part<QPlainTextEdit>("mLog")->toPlainText().contains(failure) && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(Part<QPlainTextEdit>("mLog")->toPlainText(), failure);
    EXPECT_EQ(prompts.messages, QStringList{"Player BLUE won!"});
}

// Cancel in the login dialog ends a log-in that waits for a lobby that
// never answers, at once and with nothing to show.
TEST_F(LobbyFlow, CancelEndsAWaitingLoginAtOnce) {
    TScriptedServer lobby({{{"", TAfterReply::Stall}}});
    fMain->SetOnlineSettings("127.0.0.1:" + std::to_string(lobby.Port()), kAnyLocalAddress);
    bool busyMeanwhile = false;
    qint64 waited = -1;
    AnswerLoginDialog([&](TfTavloLogin& dialog) {
        dialog.eUsername->setText("ann");
        dialog.ePassword->setText("secret");
        QTimer::singleShot(300, &dialog, [&] {
            busyMeanwhile = fMain->WaitingForLobby() && Part<QLabel>("sbLobby")->isVisible();
            dialog.bCancel->click();
        });
        QElapsedTimer clock;
        clock.start();
        dialog.bLogin->click();
        while (fMain->WaitingForLobby() && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        waited = clock.elapsed();
    });
    Action("TavloLogin1")->trigger();
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 2000);
    EXPECT_FALSE(fMain->dialogs().login->isVisible());
    EXPECT_FALSE(fMain->WaitingForLobby());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("|").toStdString();
    EXPECT_FALSE(IsLoggedIn(fMain->Session().sessionId));
}

// While a report waits for the lobby, a click on the board and End Current
// Game wait too, and are carried out in order once it has ended.
TEST_F(LobbyFlow, InputThatWouldChangeTheGameWaitsForTheLobby) {
    TScriptedServer lobby({{{"", TAfterReply::Stall}}, {{"", TAfterReply::Stall}}});
    fMain->SetOnlineSettings("127.0.0.1:" + std::to_string(lobby.Port()), kAnyLocalAddress);
    fMain->LobbyHttp().Timeout = 500;
    PretendLoggedIn();
    NewGame({skHuman, skNone, skNone, skHuman, skNone, skNone});
    fMain->Session().gameNumber = 5;
    const auto duringTheWait = [&](std::function<void()> input) {
        bool ran = false;
        QTimer::singleShot(100, fMain.get(), [&] {
            EXPECT_TRUE(fMain->WaitingForLobby());
            input();
            ran = true;
        });
        RefreshTimerTicks();
        QElapsedTimer clock;
        clock.start();
        while (!(ran && !fMain->WaitingForLobby()) && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(ran);
    };
    const auto settle = [](const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 2000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    };

    bool heldClick = false;
    duringTheWait([&] {
        ClickOnly(Marble(0, 3));
        heldClick = ShownTargets().empty();
    });
    EXPECT_TRUE(heldClick);
    EXPECT_TRUE(settle([&] { return !ShownTargets().empty(); })) << "the click, after the wait";

    bool heldEnd = false;
    duringTheWait([&] {
        prompts.answers = {true};
        Action("aEndGame")->trigger();
        heldEnd = prompts.questions.isEmpty() && Action("aEndGame")->isEnabled();
    });
    EXPECT_TRUE(heldEnd);
    EXPECT_TRUE(settle([&] { return Action("aNewGame")->isEnabled(); }));
    EXPECT_EQ(prompts.questions, QStringList{"Are you sure you wish to end current game?"});
    EXPECT_EQ(fMain->Session().gameNumber, 0);
    EXPECT_EQ(Part<QPlainTextEdit>("mLog")->toPlainText().count("***Couldn't report to the lobby"),
              2);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

} // namespace
