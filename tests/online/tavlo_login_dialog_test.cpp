#include "http_client.h"
#include "http_errors.h"
#include "lobby_requester.h"
#include "scripted_server.h"
#include "tavlo_login_dialog.h"

#include <QApplication>
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

// The next widget that Tab moves to.
QWidget* NextByTab(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (next != from && !(next->focusPolicy() & Qt::TabFocus))
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
                if (failure)
                    fail(ESocketError(*failure).what());
                else
                    answer(reply);
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
    EXPECT_EQ(dialog.windowTitle(), "Tavlo login");
    EXPECT_EQ(dialog.size(), QSize(201, 199));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.GroupBox1->title(), "Login info");
    EXPECT_EQ(dialog.GroupBox2->title(), "Login status");
    EXPECT_EQ(dialog.GroupBox2->geometry(), QRect(0, 88, 201, 41));
    EXPECT_EQ(dialog.Label1->text(), "Username:");
    EXPECT_EQ(dialog.Label2->text(), "Password:");
    EXPECT_EQ(dialog.eUsername->geometry().topLeft(), QPoint(72, 21));
    EXPECT_EQ(dialog.lblstatus->text(), "Waiting for you to login...");
    EXPECT_EQ(dialog.lblstatus->width(), 177);
    EXPECT_EQ(dialog.bLogin->text(), "Login");
    EXPECT_EQ(dialog.bLogin->geometry(), QRect(16, 168, 75, 25));
    EXPECT_TRUE(dialog.bLogin->isDefault());
    EXPECT_EQ(dialog.bCancel->geometry(), QRect(104, 168, 75, 25));
    EXPECT_EQ(NextByTab(dialog.eUsername), dialog.ePassword);
    EXPECT_EQ(NextByTab(dialog.ePassword), dialog.bLogin);
    EXPECT_EQ(NextByTab(dialog.bLogin), dialog.bCancel);

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

} // namespace
