#include "tavlo_login_dialog.h"

#include "file_version.h"
#include "http_errors.h"
#include "lobby_extensions.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

// The Lobby field is one more row of the login info, under the password:
// what lies below it moves down by that row, and the Play on this network
// button takes a row of its own under Login and Cancel.
constexpr int kRow = 24; // from one field of the login info to the next
constexpr int kButtonRow = 32;
constexpr QSize kClientSize{201, 199 + kRow + kButtonRow};
constexpr QRect kLoginInfo{0, 0, 201, 81 + kRow};
constexpr QPoint kUserLabel{8, 24};
constexpr QPoint kPasswordLabel{8, 48};
constexpr QPoint kLobbyLabel{8, 48 + kRow};
constexpr QRect kUserField{72, 21, 113, 21};
constexpr QRect kPasswordField{72, 45, 113, 21};
constexpr QRect kLobbyField{72, 45 + kRow, 113, 21};
constexpr QRect kLoginStatus{0, 88 + kRow, 201, 41};
constexpr QPoint kStatusLine{8, 19};
constexpr int kStatusWidth = 177; // a longer text is cut off at its right edge
constexpr QPoint kCreateAccountLink{4, 132 + kRow};
constexpr QPoint kForgotPasswordLink{4, 148 + kRow};
constexpr QRect kLoginButton{16, 168 + kRow, 75, 25};
constexpr QRect kCancelButton{104, 168 + kRow, 75, 25};
constexpr QRect kThisNetworkButton{16, 168 + kRow + kButtonRow, 163, 25};
constexpr int kSuccessPause = 1000; // ms, "Successfully logged." before the dialog closes

const char* const kWaiting = "Waiting for you to login...";
const char* const kMandatory = "ERROR: Username and password are mandatory.";
const char* const kNoSpace = "ERROR: No space allowed in username/password.";
const char* const kContacting = "Contacting Tavlo...";
const char* const kLogged = "Successfully logged.";
const char* const kBadPassword = "Bad Username/Password";
const char* const kBadVersion = "Bad version.";
const char* const kUnknownError = "Unkown error";
const char* const kLobbyBlank = "ERROR: The lobby is mandatory.";
const char* const kLobbyBadHost = "ERROR: Bad lobby host name.";
const char* const kLobbyBadPort = "ERROR: Bad lobby port.";
const char* const kLobbyTooLong = "ERROR: Lobby name too long.";
const char* const kCreateAccountPath = "/main.php?pageno=100";
const char* const kForgotPasswordPath = "/main.php?pageno=101";

QString StatusFor(TLoginOutcome outcome) {
    switch (outcome) {
    case TLoginOutcome::Success:
        return kLogged;
    case TLoginOutcome::BadPassword:
        return kBadPassword;
    case TLoginOutcome::BadVersion:
        return kBadVersion;
    case TLoginOutcome::Unknown:
        break;
    }
    return kUnknownError;
}

QString LobbyProblemText(TLobbyFieldProblem problem) {
    switch (problem) {
    case TLobbyFieldProblem::None:
        break;
    case TLobbyFieldProblem::Blank:
        return kLobbyBlank;
    case TLobbyFieldProblem::BadHost:
        return kLobbyBadHost;
    case TLobbyFieldProblem::BadPort:
        return kLobbyBadPort;
    case TLobbyFieldProblem::TooLong:
        return kLobbyTooLong;
    }
    return {};
}

} // namespace

TfTavloLogin::TfTavloLogin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      urlOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName("fTavloLogin");
    setWindowTitle("Tavlo login");
    setFixedSize(kClientSize);
    CreateControls();
    setTabOrder(eUsername, ePassword);
    setTabOrder(ePassword, cbLobby);
    setTabOrder(cbLobby, bLogin);
    setTabOrder(bLogin, bCancel);
    setTabOrder(bCancel, bThisNetwork);
}

void TfTavloLogin::CreateControls() {
    GroupBox1 = new QGroupBox("Login info", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(kLoginInfo);
    auto label = [](QWidget* parent, const char* name, const QString& text, QPoint at) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(name);
        l->move(at);
        l->adjustSize();
        return l;
    };
    Label1 = label(GroupBox1, "Label1", "Username:", kUserLabel);
    Label2 = label(GroupBox1, "Label2", "Password:", kPasswordLabel);
    eUsername = new QLineEdit(GroupBox1);
    eUsername->setObjectName("eUsername");
    eUsername->setGeometry(kUserField);
    eUsername->setMaxLength(kLoginFieldLength);
    ePassword = new QLineEdit(GroupBox1);
    ePassword->setObjectName("ePassword");
    ePassword->setGeometry(kPasswordField);
    ePassword->setMaxLength(kLoginFieldLength);
    ePassword->setEchoMode(QLineEdit::Password);
    // Stars, as the dialog always showed, rather than the style's dots.
    ePassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    CreateLobbyField();

    GroupBox2 = new QGroupBox("Login status", this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(kLoginStatus);
    lblstatus = label(GroupBox2, "lblstatus", kWaiting, kStatusLine);
    lblstatus->setFixedWidth(kStatusWidth);
    lblstatus->setWordWrap(false);

    Label3 = CreateLink("Label3", "Create a new Tavlo account", kCreateAccountLink);
    connect(Label3, &QLabel::linkActivated, this, &TfTavloLogin::Label3Click);
    Label4 = CreateLink("Label4", "Forgot your password?", kForgotPasswordLink);
    connect(Label4, &QLabel::linkActivated, this, &TfTavloLogin::Label4Click);
    CreateButtons();
}

void TfTavloLogin::CreateLobbyField() {
    cbLobby = new QComboBox(GroupBox1);
    cbLobby->setObjectName("cbLobby");
    cbLobby->setGeometry(kLobbyField);
    cbLobby->setEditable(true);
    // The list is the lobbies used before, kept by the dialog, not by Enter.
    cbLobby->setInsertPolicy(QComboBox::NoInsert);
    cbLobby->setCompleter(nullptr);
    cbLobby->lineEdit()->setMaxLength(static_cast<int>(kMaxLobbyFieldLength));
    cbLobby->setEditText(kDefaultLobby);
    lLobby = new QLabel("&Lobby:", GroupBox1);
    lLobby->setObjectName("lLobby");
    lLobby->move(kLobbyLabel);
    lLobby->adjustSize();
    lLobby->setBuddy(cbLobby);
}

void TfTavloLogin::CreateButtons() {
    bLogin = new QPushButton("Login", this);
    bLogin->setObjectName("bLogin");
    bLogin->setGeometry(kLoginButton);
    bLogin->setDefault(true);
    connect(bLogin, &QPushButton::clicked, this, &TfTavloLogin::bLoginClick);
    bCancel = new QPushButton("Cancel", this);
    bCancel->setObjectName("bCancel");
    bCancel->setGeometry(kCancelButton);
    bCancel->setAutoDefault(false);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    bThisNetwork = new QPushButton("&Play on this network", this);
    bThisNetwork->setObjectName("bThisNetwork");
    bThisNetwork->setGeometry(kThisNetworkButton);
    bThisNetwork->setAutoDefault(false);
    connect(bThisNetwork, &QPushButton::clicked, this, &TfTavloLogin::bThisNetworkClick);
}

QLabel* TfTavloLogin::CreateLink(const char* name, const QString& text, QPoint at) {
    // Blue and underlined, as links are; the page itself is ours to choose
    // at the click, so the anchor carries no address.
    auto* link = new QLabel(
        QString("<a href=\"#\" style=\"color:#0000ff; text-decoration:underline\">%1</a>")
            .arg(text.toHtmlEscaped()),
        this);
    link->setObjectName(name);
    link->setTextFormat(Qt::RichText);
    link->setCursor(Qt::PointingHandCursor);
    link->move(at);
    link->adjustSize();
    return link;
}

void TfTavloLogin::SetLobby(LobbyRequest request, LoggedIn loggedIn) {
    request_ = std::move(request);
    loggedIn_ = std::move(loggedIn);
}

void TfTavloLogin::SetWebHost(const std::string& host) {
    webHost_ = host;
    cbLobby->setEditText(QString::fromStdString(host));
    cbLobby->lineEdit()->setCursorPosition(0); // the host's start in sight
}

void TfTavloLogin::SetLobbies(const std::vector<std::string>& used, const std::string& current) {
    usedLobbies_ = used;
    ShowUsedLobbies();
    SetWebHost(current);
}

void TfTavloLogin::ShowUsedLobbies() {
    const QString typed = cbLobby->currentText();
    cbLobby->clear();
    for (const std::string& lobby : usedLobbies_)
        cbLobby->addItem(QString::fromStdString(lobby));
    cbLobby->setEditText(typed);
}

std::optional<TLobbyAddress> TfTavloLogin::ChosenLobby() const {
    const TLobbyFieldReading reading = ReadLobbyField(cbLobby->currentText().toStdString());
    if (reading.problem != TLobbyFieldProblem::None)
        return std::nullopt;
    return reading.lobby;
}

std::string TfTavloLogin::WebHost() const {
    const std::optional<TLobbyAddress> lobby = ChosenLobby();
    return lobby ? LobbyFieldText(*lobby) : webHost_;
}

QUrl TfTavloLogin::CreateAccountPage() const {
    return QUrl(QString::fromStdString("http://" + WebHost() + kCreateAccountPath));
}

QUrl TfTavloLogin::ForgotPasswordPage() const {
    return QUrl(QString::fromStdString("http://" + WebHost() + kForgotPasswordPath));
}

void TfTavloLogin::Label3Click() {
    urlOpener_(CreateAccountPage());
}

void TfTavloLogin::Label4Click() {
    urlOpener_(ForgotPasswordPage());
}

QString TfTavloLogin::FieldsProblem() const {
    const QString user = eUsername->text();
    const QString password = ePassword->text();
    if (user.trimmed().isEmpty() || password.trimmed().isEmpty())
        return kMandatory;
    if ((user + password).contains(' '))
        return kNoSpace;
    return LobbyProblemText(ReadLobbyField(cbLobby->currentText().toStdString()).problem);
}

void TfTavloLogin::bLoginClick() {
    if (const QString problem = FieldsProblem(); !problem.isEmpty()) {
        lblstatus->setText(problem);
        return;
    }
    if (!request_ || requesting_)
        return;
    bLogin->setEnabled(false);
    lblstatus->setText(kContacting);
    // Busy, but Cancel still answers.
    setCursor(Qt::BusyCursor);
    bCancel->setCursor(Qt::ArrowCursor);
    const std::optional<TLobbyAddress> lobby = ChosenLobby();
    if (!lobby)
        return; // FieldsProblem has said why
    if (lobbyChosen_)
        lobbyChosen_(*lobby);
    requesting_ = true;
    const std::string user = eUsername->text().toStdString();
    request_(
        programKey_ ? LoginTargetWithKey(user, ePassword->text().toStdString(), OwnFileVersion(),
                                         *programKey_)
                    : LoginTarget(user, ePassword->text().toStdString(), OwnFileVersion()),
        [this, user, lobby = *lobby](const std::string& reply) {
            LoginReplied(reply, user, lobby);
        },
        [this](const std::string& error) {
            if (!requesting_)
                return; // cancelled: nothing of it comes back
            LoginOver();
            if (errorBox_)
                errorBox_(QString::fromLocal8Bit(error.c_str()));
        });
}

// The lobby's answer: the outcome in the status line, and after a success
// a moment to read it before the dialog closes.
void TfTavloLogin::LoginReplied(const std::string& reply, const std::string& user,
                                const TLobbyAddress& lobby) {
    if (!requesting_)
        return; // cancelled: nothing of it comes back
    // Our items after the written reply, if the lobby added any, are
    // not the player number's.
    const TLoginReply login = ParseExtendedLoginReply(reply).login;
    lblstatus->setText(StatusFor(login.outcome));
    if (login.outcome != TLoginOutcome::Success) {
        LoginOver();
        return;
    }
    usedLobbies_ = RememberLobby(usedLobbies_, lobby);
    ShowUsedLobbies();
    SetWebHost(LobbyFieldText(lobby));
    if (loggedIn_)
        loggedIn_(login, user);
    QTimer::singleShot(kSuccessPause, this, [this] {
        if (!requesting_)
            return; // cancelled meanwhile
        LoginOver();
        accept();
    });
}

void TfTavloLogin::LoginOver() {
    requesting_ = false;
    unsetCursor();
    bLogin->setEnabled(true);
}

// Cancel (or Escape) closes at once; the owner ends the request from the
// rejected() signal, and nothing of it comes back.
void TfTavloLogin::reject() {
    if (requesting_)
        LoginOver();
    QDialog::reject();
}

// No lobby at all: a log-in under way is abandoned as by Cancel.
void TfTavloLogin::bThisNetworkClick() {
    if (requesting_)
        LoginOver();
    emit playOnThisNetwork();
    done(kPlayOnThisNetwork);
}

bool TfTavloLogin::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TfTavloLogin::FormActivate() {
    // A returning player types only the password.
    if (ePassword->isEnabled() && ePassword->isVisible())
        ePassword->setFocus();
}

void TfTavloLogin::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
