#include "http_client.h"
#include "file_version.h"
#include "http_errors.h"
#include "lobby_extensions.h"
#include "lobby_requester.h"
#include "scripted_server.h"
#include "tavlo_login_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const std::string kSession = "0123456789abcdefghijABCDEFGHIJ12";

// The next widget that Tab moves to.  A widget that hands its focus on
// (the line edit inside a combo box hands it to the box) is passed over.
QWidget* NextByTab(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (next != from && (!(next->focusPolicy() & Qt::TabFocus) || next->focusProxy()))
        next = next->nextInFocusChain();
    return next;
}

// The dialog with a lobby that answers from the test, writing down what
// it was asked and what the login changed.
class LoginDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog.SetLobby(
            [this](const std::string& target, TfTavloLogin::LobbyReply answer,
                   TfTavloLogin::LobbyFailure fail) {
                targets.push_back(target);
                duringRequest.push_back({dialog.bLogin->isEnabled(), dialog.lblstatus->text()});
                if (failure) {
                    fail(ESocketError(*failure).what());
                } else if (!replies.empty()) {
                    const std::string next = replies.front();
                    replies.erase(replies.begin());
                    answer(next);
                } else {
                    answer(reply);
                }
            },
            [this](const TLoginReply& login, const std::string& userName) {
                logins.push_back(login.sessionId + " " + std::to_string(login.playerNumber) + " " +
                                 userName);
            });
        dialog.SetErrorBox([this](const QString& message) { errors << message; });
    }
    void Fill(const QString& user, const QString& password) {
        dialog.eUsername->setText(user);
        dialog.ePassword->setText(password);
    }

    TfTavloLogin dialog;
    std::string reply;
    std::vector<std::string> replies; // one per request while any are left, then `reply`
    std::optional<int> failure;
    std::vector<std::string> targets;
    std::vector<std::pair<bool, QString>> duringRequest;
    std::vector<std::string> logins;
    QStringList errors;
};

TEST_F(LoginDialog, RefusesBlankFieldsAndSpacesWithoutAsking) {
    const struct {
        const char *user, *password, *status;
    } cases[] = {
        {"", "secret", "ERROR: Username and password are mandatory."},
        {"   ", "a b", "ERROR: Username and password are mandatory."}, // blanks come first
        {"ann", "", "ERROR: Username and password are mandatory."},
        {"ann", "  ", "ERROR: Username and password are mandatory."},
        {"a b", "secret", "ERROR: No space allowed in username/password."},
        {"ann", "secret ", "ERROR: No space allowed in username/password."},
        {" ann", "secret", "ERROR: No space allowed in username/password."},
    };
    dialog.show();
    for (const auto& c : cases) {
        Fill(c.user, c.password);
        dialog.bLoginClick();
        EXPECT_EQ(dialog.lblstatus->text(), c.status) << c.user << "/" << c.password;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.bLogin->isEnabled());
    }
    EXPECT_TRUE(targets.empty());
}

TEST_F(LoginDialog, ARefusedLoginLeavesTheDialogOpenForAnotherTry) {
    const struct {
        std::string reply;
        const char* status;
    } cases[] = {
        {"1", "Bad Username/Password"},
        {"2", "Bad version."},
        {"", "Unkown error"},
        {"<html>", "Unkown error"},
    };
    dialog.show();
    Fill("ann", "secret");
    for (const auto& c : cases) {
        reply = c.reply;
        dialog.bLoginClick();
        EXPECT_EQ(dialog.lblstatus->text(), c.status) << c.reply;
        EXPECT_TRUE(dialog.isVisible()) << c.reply;
        EXPECT_TRUE(dialog.bLogin->isEnabled()) << c.reply;
    }
    EXPECT_TRUE(logins.empty());
    ASSERT_EQ(duringRequest.size(), std::size(cases));
    EXPECT_EQ(duringRequest[0], std::make_pair(false, QString("Contacting Tavlo...")));
    EXPECT_EQ(targets[0], "tavlo/tavlologin2.php?username=ann&password=secret&progversion=1.4.0.5");
}

TEST_F(LoginDialog, ASuccessfulLoginIsShownForASecondAndClosesWithOk) {
    reply = "0" + kSession + "XYZ\n17";
    Fill("ann", "secret");
    QElapsedTimer clock;
    QTimer::singleShot(0, &dialog, [&] {
        clock.start();
        dialog.bLogin->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_EQ(dialog.lblstatus->text(), "Successfully logged.");
    EXPECT_EQ(logins, std::vector<std::string>{kSession + " 17 ann"});
    EXPECT_TRUE(dialog.bLogin->isEnabled());
    EXPECT_EQ(dialog.ePassword->text(), "secret") << "kept for the next showing";
}

// With the program's key the log-in carries it and hands the lobby's items
// on before the session; a lobby that cannot read such a log-in is asked
// once more the written way, and one that ignores the key gives no items.
TEST_F(LoginDialog, WithTheProgramsKeyTheItemsComeBeforeTheSession) {
    TProgramKey key{};
    key.fill(7);
    std::vector<std::string> seen;
    dialog.SetProgramKey([key] { return key; }, [&](const TLobbyItems& items) {
        seen.push_back(items.turn ? items.turn->password : "none");
        seen.push_back("logins " + std::to_string(logins.size()));
    });
    const std::string written = "0" + kSession + "XYZ\n17";
    const struct {
        const char* what;
        std::vector<std::string> replies;
        std::size_t requests;
        std::string items;
    } cases[] = {
        {"a lobby of ours", {written + "\nturn=198.51.100.1:3478\nturnuser=1700043200:ann\nturnpass=cA==\n"}, 1, "cA=="},
        {"a written lobby that ignores the key", {written}, 1, "none"},
        {"a lobby the key confuses", {"<html>oops</html>", written}, 2, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        targets.clear();
        logins.clear();
        seen.clear();
        replies = c.replies;
        Fill("ann", "secret");
        QTimer::singleShot(0, &dialog, [&] { dialog.bLogin->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        ASSERT_EQ(targets.size(), c.requests);
        EXPECT_EQ(targets[0], LoginTargetWithKey("ann", "secret", OwnFileVersion(), key));
        if (c.requests == 2) {
            EXPECT_EQ(targets[1], LoginTarget("ann", "secret", OwnFileVersion()));
        }
        EXPECT_EQ(seen, (std::vector<std::string>{c.items, "logins 0"}));
        EXPECT_EQ(logins.size(), 1u);
    }
}

TEST_F(LoginDialog, AFailedRequestGoesToTheErrorBoxAndTheDialogStaysOpen) {
    failure = 10061;
    Fill("ann", "secret");
    dialog.show();
    dialog.bLoginClick();
    EXPECT_EQ(errors, QStringList{"Socket Error # 10061\r\nConnection refused."});
    EXPECT_EQ(dialog.lblstatus->text(), "Contacting Tavlo...");
    EXPECT_TRUE(dialog.bLogin->isEnabled());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(LoginDialog, EnterLogsInAndEscapeCancels) {
    reply = "1";
    QTimer::singleShot(0, &dialog, [&] {
        Fill("ann", "secret");
        QTest::keyClick(dialog.ePassword, Qt::Key_Return);
        QTest::keyClick(dialog.eUsername, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(targets.size(), 1u);
    EXPECT_EQ(dialog.lblstatus->text(), "Bad Username/Password");
}

TEST_F(LoginDialog, FieldsTakeSixteenCharactersAndThePasswordShowsStars) {
    dialog.show();
    QTest::keyClicks(dialog.eUsername, "abcdefghijklmnopq");
    QTest::keyClicks(dialog.ePassword, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(dialog.eUsername->text(), "abcdefghijklmnop");
    EXPECT_EQ(dialog.ePassword->text(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(dialog.ePassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.ePassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                   dialog.ePassword),
              '*');
}

TEST_F(LoginDialog, IsLaidOutAsDesignedAndFocusesThePassword) {
    // The Lobby field's row (24) and the Play on this network button's (32)
    // are added below the password; see TheLobbyFieldLiesBelowThePassword.
    const int below = 24;
    EXPECT_EQ(dialog.windowTitle(), "Tavlo login");
    EXPECT_EQ(dialog.size(), QSize(201, 199 + below + 32));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.GroupBox1->title(), "Login info");
    EXPECT_EQ(dialog.GroupBox2->title(), "Login status");
    EXPECT_EQ(dialog.GroupBox2->geometry(), QRect(0, 88 + below, 201, 41));
    EXPECT_EQ(dialog.Label1->text(), "Username:");
    EXPECT_EQ(dialog.Label2->text(), "Password:");
    EXPECT_EQ(dialog.eUsername->geometry().topLeft(), QPoint(72, 21));
    EXPECT_EQ(dialog.lblstatus->text(), "Waiting for you to login...");
    EXPECT_EQ(dialog.lblstatus->width(), 177);
    EXPECT_EQ(dialog.bLogin->text(), "Login");
    EXPECT_EQ(dialog.bLogin->geometry(), QRect(16, 168 + below, 75, 25));
    EXPECT_TRUE(dialog.bLogin->isDefault());
    EXPECT_EQ(dialog.bCancel->geometry(), QRect(104, 168 + below, 75, 25));
    EXPECT_EQ(NextByTab(dialog.eUsername), dialog.ePassword);
    EXPECT_EQ(NextByTab(dialog.ePassword), dialog.cbLobby);
    EXPECT_EQ(NextByTab(dialog.cbLobby), dialog.bLogin);
    EXPECT_EQ(NextByTab(dialog.bLogin), dialog.bCancel);
    EXPECT_EQ(NextByTab(dialog.bCancel), dialog.bThisNetwork);

    dialog.eUsername->setText("ann");
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::focusWidget(), dialog.ePassword);
}

TEST_F(LoginDialog, TheLinksOpenTheAccountPagesOfTheLobbysWebHost) {
    QList<QUrl> opened;
    dialog.SetUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    EXPECT_TRUE(dialog.Label3->text().contains("Create a new Tavlo account"));
    EXPECT_TRUE(dialog.Label4->text().contains("Forgot your password?"));
    EXPECT_EQ(dialog.Label3->cursor().shape(), Qt::PointingHandCursor);
    dialog.Label3Click();
    dialog.SetWebHost("lobby.example:8080");
    emit dialog.Label3->linkActivated("#");
    emit dialog.Label4->linkActivated("#");
    EXPECT_EQ(opened, QList<QUrl>({QUrl("http://localhost/main.php?pageno=100"),
                                   QUrl("http://lobby.example:8080/main.php?pageno=100"),
                                   QUrl("http://lobby.example:8080/main.php?pageno=101")}));
}

// Cancel while the login request runs beside the event loop: with the
// lobby requester wired as the main window wires it, and with a request
// that ignores Cancel and answers after all.  Either way the dialog closes
// at once, shows no error and does not log in.
TEST(LoginDialogBusy, CancelDuringTheRequestClosesAtOnceAndDeliversNothing) {
    TScriptedServer hanging({{{"", TAfterReply::Stall}}});
    THttpClient http;
    http.Host = "127.0.0.1";
    http.Port = hanging.Port();
    TLobbyRequester lobby(http);
    const std::string success = "0" + kSession + "\n17";
    const struct {
        const char* what;
        std::function<void(QObject& context, const std::string&, TfTavloLogin::LobbyReply,
                           TfTavloLogin::LobbyFailure)>
            request;
    } cases[] = {
        {"lobby requester",
         [&](QObject&, const std::string& target, TfTavloLogin::LobbyReply reply,
             TfTavloLogin::LobbyFailure failure) {
             lobby.Get(target, reply, [failure](std::exception_ptr error) {
                 try {
                     std::rethrow_exception(error);
                 } catch (const std::exception& e) {
                     failure(e.what());
                 }
             });
         }},
        {"a request that answers after Cancel",
         [&](QObject& context, const std::string&, TfTavloLogin::LobbyReply reply,
             TfTavloLogin::LobbyFailure) {
             QTimer::singleShot(400, &context, [reply, &success] { reply(success); });
         }},
    };
    for (const auto& c : cases) {
        TfTavloLogin dialog;
        std::vector<std::string> logins;
        QStringList errors;
        dialog.SetLobby(
            [&](const std::string& target, TfTavloLogin::LobbyReply reply,
                TfTavloLogin::LobbyFailure failure) { c.request(dialog, target, reply, failure); },
            [&](const TLoginReply& login, const std::string&) {
                logins.push_back(login.sessionId);
            });
        dialog.SetErrorBox([&](const QString& message) { errors << message; });
        QObject::connect(&dialog, &QDialog::rejected, [&] { lobby.Cancel(); });
        dialog.eUsername->setText("ann");
        dialog.ePassword->setText("secret");

        struct {
            Qt::CursorShape cursor = Qt::ArrowCursor;
            QString status;
            bool loginEnabled = true, cancelEnabled = false;
        } during;
        QElapsedTimer clock;
        qint64 clickReturned = -1;
        QTimer::singleShot(0, &dialog, [&] {
            clock.start();
            dialog.bLogin->click(); // the request goes on beside the event loop
            clickReturned = clock.elapsed();
        });
        QTimer::singleShot(200, &dialog, [&] {
            during = {dialog.cursor().shape(), dialog.lblstatus->text(), dialog.bLogin->isEnabled(),
                      dialog.bCancel->isEnabled()};
            dialog.bCancel->click();
        });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected) << c.what;
        EXPECT_FALSE(lobby.Busy()) << c.what << ": Cancel ends the request at once";
        // Whatever would still come, comes now, and is dropped.
        QElapsedTimer late;
        late.start();
        while (late.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 20);

        EXPECT_LT(clickReturned, 100) << c.what;
        EXPECT_EQ(during.cursor, Qt::BusyCursor) << c.what;
        EXPECT_EQ(during.status, "Contacting Tavlo...") << c.what;
        EXPECT_FALSE(during.loginEnabled) << c.what;
        EXPECT_TRUE(during.cancelEnabled) << c.what;
        EXPECT_FALSE(dialog.isVisible()) << c.what;
        EXPECT_TRUE(logins.empty()) << c.what;
        EXPECT_TRUE(errors.isEmpty()) << c.what << ": " << errors.join("|").toStdString();
        EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor) << c.what;
    }
}

// The lobby chosen in the dialog, and playing with no lobby at all.
class LobbyChoice : public LoginDialog {
  protected:
    void SetUp() override {
        LoginDialog::SetUp();
        dialog.SetLobbyChosen([this](const TLobbyAddress& lobby) {
            chosen.push_back(LobbyFieldText(lobby) + " " + std::to_string(lobby.port));
        });
        QObject::connect(&dialog, &TfTavloLogin::playOnThisNetwork, [this] { ++playHere; });
    }
    QStringList Offered() const {
        QStringList items;
        for (int i = 0; i < dialog.cbLobby->count(); ++i)
            items << dialog.cbLobby->itemText(i);
        return items;
    }

    std::vector<std::string> chosen;
    int playHere = 0;
};

TEST_F(LobbyChoice, TheLobbyFieldLiesBelowThePasswordAndEverythingBelowMovesDownOneRow) {
    const struct {
        QWidget* control;
        QRect geometry; // in the dialog
    } cases[] = {
        // clang-format off
        {dialog.GroupBox1, {0, 0, 201, 105}},
        {dialog.eUsername, {72, 21, 113, 21}},
        {dialog.ePassword, {72, 45, 113, 21}},
        {dialog.cbLobby, {72, 69, 113, 21}},
        {dialog.GroupBox2, {0, 112, 201, 41}},
        {dialog.bLogin, {16, 192, 75, 25}},
        {dialog.bCancel, {104, 192, 75, 25}},
        {dialog.bThisNetwork, {16, 224, 163, 25}},
        // clang-format on
    };
    dialog.show();
    for (const auto& c : cases) {
        const QRect inDialog(c.control->mapTo(&dialog, QPoint(0, 0)), c.control->size());
        EXPECT_EQ(inDialog, c.geometry) << c.control->objectName().toStdString();
    }
    const auto at = [&](QWidget* w) { return w->mapTo(&dialog, QPoint(0, 0)); };
    EXPECT_EQ(at(dialog.Label1), QPoint(8, 24));
    EXPECT_EQ(at(dialog.Label2), QPoint(8, 48));
    EXPECT_EQ(at(dialog.lLobby), QPoint(8, 72));
    EXPECT_EQ(at(dialog.Label3), QPoint(4, 156));
    EXPECT_EQ(at(dialog.Label4), QPoint(4, 172));
    EXPECT_EQ(dialog.lLobby->text(), "&Lobby:");
    EXPECT_EQ(dialog.lLobby->buddy(), dialog.cbLobby);
    EXPECT_EQ(dialog.bThisNetwork->text(), "&Play on this network");
    EXPECT_TRUE(dialog.cbLobby->isEditable());
    EXPECT_EQ(dialog.cbLobby->currentText(), "localhost");
    EXPECT_TRUE(dialog.bLogin->isDefault());
    EXPECT_FALSE(dialog.bThisNetwork->isDefault() || dialog.bThisNetwork->autoDefault());
    // Every control lies inside the dialog, whose size holds them all.
    for (const auto& c : cases)
        EXPECT_TRUE(dialog.rect().contains(c.geometry)) << c.control->objectName().toStdString();
}

TEST_F(LobbyChoice, AltLGoesToTheLobbyFieldAndAltPPlaysOnThisNetwork) {
    dialog.eUsername->setText("ann");
    int result = -1;
    QWidget* focusAfterAltL = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.activateWindow();
        if (!QTest::qWaitForWindowActive(&dialog))
            ADD_FAILURE() << "the dialog never became active";
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
        focusAfterAltL = QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
    });
    result = dialog.exec();
    EXPECT_TRUE(focusAfterAltL == dialog.cbLobby || focusAfterAltL == dialog.cbLobby->lineEdit());
    EXPECT_EQ(result, TfTavloLogin::kPlayOnThisNetwork);
    EXPECT_EQ(playHere, 1);
    EXPECT_TRUE(targets.empty()) << "no lobby is asked";
    EXPECT_TRUE(chosen.empty());
}

TEST_F(LobbyChoice, EnterInTheLobbyFieldLogsInToTheLobbyTyped) {
    reply = "1";
    Fill("ann", "secret");
    dialog.SetLobbies({}, "localhost");
    QTimer::singleShot(0, &dialog, [&] {
        dialog.cbLobby->setFocus();
        dialog.cbLobby->lineEdit()->selectAll();
        QTest::keyClicks(dialog.cbLobby->lineEdit(), "Lobby.Example:8080");
        QTest::keyClick(dialog.cbLobby->lineEdit(), Qt::Key_Return);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(chosen, std::vector<std::string>{"lobby.example:8080 8080"});
    EXPECT_EQ(targets.size(), 1u);
    EXPECT_EQ(dialog.cbLobby->count(), 0) << "Enter adds nothing to the list";
}

TEST_F(LobbyChoice, ABadLobbyIsRefusedInTheStatusLineWithoutAsking) {
    const struct {
        const char *user, *lobby, *status;
    } cases[] = {
        {"ann", "", "ERROR: The lobby is mandatory."},
        {"ann", "   ", "ERROR: The lobby is mandatory."},
        {"ann", "lobby.example:", "ERROR: Bad lobby port."},
        {"ann", "lobby.example:0", "ERROR: Bad lobby port."},
        {"ann", "lobby.example:65536", "ERROR: Bad lobby port."},
        {"ann", "lobby example", "ERROR: Bad lobby host name."},
        {"ann", "http://lobby.example/", "ERROR: Bad lobby host name."},
        {"ann", "<b>lobby</b>", "ERROR: Bad lobby host name."},
        // the name and password are checked first
        {"", "lobby.example:0", "ERROR: Username and password are mandatory."},
        {"a b", "", "ERROR: No space allowed in username/password."},
    };
    dialog.show();
    for (const auto& c : cases) {
        Fill(c.user, "secret");
        dialog.cbLobby->setEditText(c.lobby);
        dialog.bLoginClick();
        EXPECT_EQ(dialog.lblstatus->text(), c.status) << c.lobby;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.bLogin->isEnabled());
        EXPECT_FALSE(dialog.ChosenLobby()) << c.lobby;
    }
    // Over-long: the field takes no more than a host and a port can be.
    dialog.cbLobby->setEditText("");
    QTest::keyClicks(dialog.cbLobby->lineEdit(), QString(300, 'a'));
    EXPECT_EQ(dialog.cbLobby->currentText().size(), 259);
    Fill("ann", "secret");
    dialog.bLoginClick();
    EXPECT_EQ(dialog.lblstatus->text(), "ERROR: Lobby name too long.");
    EXPECT_TRUE(targets.empty());
    EXPECT_TRUE(chosen.empty());
}

TEST_F(LobbyChoice, ASuccessfulLoginPutsItsLobbyFirstAndTheLinksFollowTheField) {
    QList<QUrl> opened;
    dialog.SetUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    dialog.SetLobbies({"a.example", "b.example:8080"}, "a.example");
    EXPECT_EQ(Offered(), QStringList({"a.example", "b.example:8080"}));
    EXPECT_EQ(dialog.cbLobby->currentText(), "a.example");
    Fill("ann", "secret");
    dialog.show();

    // A refusal changes nothing: the player may correct the field.
    dialog.cbLobby->setEditText("typo.example");
    reply = "1";
    dialog.bLoginClick();
    EXPECT_EQ(dialog.UsedLobbies(), (std::vector<std::string>{"a.example", "b.example:8080"}));
    dialog.Label3Click(); // the pages of the lobby in the field

    // Picked from the list, then logged in.
    dialog.cbLobby->setCurrentIndex(1);
    reply = "0" + kSession + "\n17";
    QTimer::singleShot(0, &dialog, [&] { dialog.bLogin->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(chosen, (std::vector<std::string>{"typo.example 80", "b.example:8080 8080"}));
    EXPECT_EQ(dialog.UsedLobbies(), (std::vector<std::string>{"b.example:8080", "a.example"}));
    EXPECT_EQ(Offered(), QStringList({"b.example:8080", "a.example"}));
    EXPECT_EQ(dialog.cbLobby->currentText(), "b.example:8080");
    EXPECT_EQ(dialog.ChosenLobby(), (TLobbyAddress{"b.example", 8080}));
    dialog.Label4Click();

    // A field that reads as no lobby leaves the links on the last one set.
    dialog.cbLobby->setEditText("bad lobby");
    dialog.Label3Click();
    EXPECT_EQ(opened, QList<QUrl>({QUrl("http://typo.example/main.php?pageno=100"),
                                   QUrl("http://b.example:8080/main.php?pageno=101"),
                                   QUrl("http://b.example:8080/main.php?pageno=100")}));
}

// Playing on this network while the login request runs: the dialog closes
// at once with its own result, and the login's late reply logs nobody in.
TEST_F(LobbyChoice, PlayOnThisNetworkDuringALoginRequestAbandonsIt) {
    TfTavloLogin busy;
    std::vector<std::string> logins;
    QStringList errors;
    busy.SetLobby(
        [&](const std::string&, TfTavloLogin::LobbyReply reply, TfTavloLogin::LobbyFailure) {
            QTimer::singleShot(400, &busy, [reply] { reply("0" + kSession + "\n17"); });
        },
        [&](const TLoginReply& login, const std::string&) { logins.push_back(login.sessionId); });
    busy.SetErrorBox([&](const QString& message) { errors << message; });
    busy.eUsername->setText("ann");
    busy.ePassword->setText("secret");
    QElapsedTimer clock;
    qint64 closedAt = -1;
    QTimer::singleShot(0, &busy, [&] {
        clock.start();
        busy.bLogin->click();
    });
    QTimer::singleShot(100, &busy, [&] { busy.bThisNetwork->click(); });
    QObject::connect(&busy, &QDialog::finished, [&] { closedAt = clock.elapsed(); });
    EXPECT_EQ(busy.exec(), TfTavloLogin::kPlayOnThisNetwork);
    EXPECT_LT(closedAt, 300);
    QTest::qWait(400); // whatever the late reply would still do
    EXPECT_TRUE(logins.empty());
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(busy.UsedLobbies(), std::vector<std::string>{});
}

} // namespace
