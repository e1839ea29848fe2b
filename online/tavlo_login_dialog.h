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
//
// The lobby is chosen below the password: host or host:port, typed or
// picked from the lobbies used before.  Login asks the lobby in the field
// (the owner points its requests there from SetLobbyChosen's callback) and,
// once logged in, puts it in front of the lobbies used before.  "Play on
// this network" closes the dialog with kPlayOnThisNetwork: no lobby at all.
// A request under way is then abandoned as by Cancel, so the owner ends it
// from playOnThisNetwork() as from rejected().
#pragma once

#include "lobby_address.h"
#include "lobby_client.h"
#include "lobby_ticket.h"

#include <QDialog>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
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
    using LobbyChosen = std::function<void(const TLobbyAddress& lobby)>;

    // The dialog's result when the player chose to play without a lobby
    // (QDialog's own results are Rejected 0 and Accepted 1).
    static constexpr int kPlayOnThisNetwork = 2;

    explicit TfTavloLogin(QWidget* parent = nullptr);

    void SetLobby(LobbyRequest request, LoggedIn loggedIn);
    void SetErrorBox(ErrorBox errorBox) { errorBox_ = std::move(errorBox); }
    // Called when Login has checked the fields, just before the request:
    // the lobby that the request is for.
    void SetLobbyChosen(LobbyChosen lobbyChosen) { lobbyChosen_ = std::move(lobbyChosen); }
    // The log-in carries this program key (a program of this version).
    void SetProgramKey(const TProgramKey& key) { programKey_ = key; }

    // The lobbies used before, the last chosen first, offered by the Lobby
    // field, and the lobby the field shows ("host" or "host:port").
    void SetLobbies(const std::vector<std::string>& used, const std::string& current);
    // The lobbies used before, with the one of the last successful login
    // in front: what the settings keep.
    const std::vector<std::string>& UsedLobbies() const { return usedLobbies_; }
    // The lobby in the field, when it reads as one.
    std::optional<TLobbyAddress> ChosenLobby() const;
    // The lobby the field shows; the links open its pages.
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
    QLabel* lLobby;            // "&Lobby:"
    QComboBox* cbLobby;        // host or host:port, editable
    QPushButton* bThisNetwork; // "&Play on this network"

  signals:
    // "Play on this network" was chosen; the dialog closes with
    // kPlayOnThisNetwork right after.
    void playOnThisNetwork();

  public slots:
    void bLoginClick();
    void Label3Click();
    void Label4Click();
    void bThisNetworkClick();

  public slots:
    void reject() override;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    void CreateLobbyField();
    void CreateButtons();
    QLabel* CreateLink(const char* name, const QString& text, QPoint at);
    // The status line's complaint about the fields, or nothing when they
    // may be sent.
    QString FieldsProblem() const;
    void LoginReplied(const std::string& reply, const std::string& user,
                      const TLobbyAddress& lobby);
    void LoginOver();
    void FormActivate();
    // The host of the account pages: the lobby in the field, or the last
    // one set when the field reads as none.
    std::string WebHost() const;
    void ShowUsedLobbies();

    LobbyRequest request_;
    LoggedIn loggedIn_;
    ErrorBox errorBox_;
    UrlOpener urlOpener_;
    LobbyChosen lobbyChosen_;
    std::optional<TProgramKey> programKey_;
    std::string webHost_ = kDefaultLobby;
    std::vector<std::string> usedLobbies_;
    bool requesting_ = false; // a login request runs, or its success is shown
};
