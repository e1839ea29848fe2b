// The lobby's login dialog: the player's lobby name and password, their
// checks, the login request and its outcome in a status line, and two links
// to the lobby's account pages.  It is created once and reused, so the
// password stays between showings.
//
// The dialog reaches the lobby only through what its owner gives it: the
// request (the main window's lobby request, answered later by one of its
// two callbacks) and what a successful login changes (the session).  A
// request that fails leaves the dialog open and its error goes to the
// owner's error box.
//
// While the request runs, the dialog shows a busy cursor and "Contacting
// Tavlo...", and Cancel stays enabled.  Cancel (or Escape) closes the
// dialog at once; the owner ends the request from the dialog's rejected()
// signal, for example
//   QObject::connect(fTavloLogin, &QDialog::rejected, [&] { lobby.Cancel(); });
// after which nothing of it comes back.
#pragma once

#include "lobby_client.h"

#include <QDialog>
#include <QUrl>
#include <functional>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

inline constexpr int kLoginFieldLength = 16; // characters, in each field

class TfTavloLogin : public QDialog {
    Q_OBJECT
  public:
    using LobbyReply = std::function<void(const std::string& body)>;
    using LobbyFailure = std::function<void(const std::string& error)>;
    using LobbyRequest =
        std::function<void(const std::string& target, LobbyReply reply, LobbyFailure failure)>;
    using LoggedIn = std::function<void(const TLoginReply& reply, const std::string& userName)>;
    using ErrorBox = std::function<void(const QString& message)>;
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit TfTavloLogin(QWidget* parent = nullptr);

    void SetLobby(LobbyRequest request, LoggedIn loggedIn);
    void SetErrorBox(ErrorBox errorBox) { errorBox_ = std::move(errorBox); }
    // The links open pages of this web host ("host" or "host:port").
    void SetWebHost(const std::string& host);
    QUrl CreateAccountPage() const;
    QUrl ForgotPasswordPage() const;
    // How a page is opened: the user's browser unless a test says otherwise.
    void SetUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* eUsername;
    QLineEdit* ePassword;
    QGroupBox* GroupBox2;
    QLabel* lblstatus;
    QLabel* Label3; // "Create a new Tavlo account"
    QLabel* Label4; // "Forgot your password?"
    QPushButton* bLogin;
    QPushButton* bCancel;

  public slots:
    void bLoginClick();
    void Label3Click();
    void Label4Click();

  public slots:
    void reject() override;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    QLabel* CreateLink(const char* name, const QString& text, QPoint at);
    // The status line's complaint about the fields, or nothing when they
    // may be sent.
    QString FieldsProblem() const;
    void LoginReplied(const std::string& reply, const std::string& user);
    void LoginOver();
    void FormActivate();

    LobbyRequest request_;
    LoggedIn loggedIn_;
    ErrorBox errorBox_;
    UrlOpener urlOpener_;
    std::string webHost_ = "localhost";
    bool requesting_ = false; // a login request runs, or its success is shown
};
