#include "main_window.h"

#include "about_box.h"
#include "board_layout.h"
#include "board_widget.h"
#include "colours.h"
#include "design_font.h"
#include "file_version.h"
#include "game_list_dialog.h"
#include "http_errors.h"
#include "marble_pictures.h"
#include "message_box_prompts.h"
#include "options_dialog.h"
#include "picture_widget.h"
#include "pin_pictures.h"
#include "players_dialog.h"
#include "lobby_choice_settings.h"
#include "settings.h"
#include "tavlo_login_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

namespace {

const char* const kCaption = "Quorvik's Zellhop Online BETA";
// The client area below the menu, status bar included, at start; the
// window never gets smaller.
constexpr QSize kInitialClientSize{624, 549};
constexpr int kStatusBarHeight = 19;
constexpr std::array<int, kStatusPanels> kPanelWidths = {150, 100, 50};

constexpr QRect kBoardDesignRect{104, 0, 518, 530};
constexpr QPoint kYourTurnPlace{10, 5};
constexpr int kYourTurnPixelSize = 16;
constexpr int kRefreshGameInterval = 100000; // ms
const char* const kWaitingForLobby = "Waiting for the lobby...";

QRect Rect(const PictureRect& r) {
    return {r.left, r.top, r.width, r.height};
}

UserPrompts& PromptsOrOwn(UserPrompts* given, std::unique_ptr<UserPrompts>& own) {
    if (given)
        return *given;
    own = std::make_unique<MessageBoxPrompts>();
    return *own;
}

} // namespace

TfMain::TfMain(UserPrompts* prompts, QWidget* parent)
    : QMainWindow(parent), game_(std::make_shared<Match>()),
      online_(OnlineView()),
      prompts_(PromptsOrOwn(prompts, ownPrompts_)) {
    setObjectName("fMain");
    setWindowTitle(kCaption);
    setFont(DesignFont());
    CreateControls();
    CreateActions();
    CreateMenu();
    FormCreate();
    CreatePlayAids();
    ReplaceGame();

    const QSize initial(kInitialClientSize.width(),
                        kInitialClientSize.height() + menuBar()->sizeHint().height());
    resize(initial);
    setMinimumSize(initial);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

TfMain::~TfMain() {
    FormDestroy();
}

void TfMain::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setAutoFillBackground(true);
    QPalette white = client->palette();
    white.setColor(QPalette::Window, Qt::white);
    client->setPalette(white);
    client->installEventFilter(this);
    setCentralWidget(client);

    // Created first, so that it lies below every marble and marker.
    imMain = new BoardWidget(boardDrawn_, client);
    imMain->setObjectName("imMain");
    imMain->setGeometry(kBoardDesignRect);

    lblYourTurn = new QLabel("YOUR TURN", client);
    lblYourTurn->setObjectName("lblYourTurn");
    QFont bold = lblYourTurn->font();
    bold.setBold(true);
    bold.setPixelSize(kYourTurnPixelSize);
    lblYourTurn->setFont(bold);
    QPalette red = lblYourTurn->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblYourTurn->setPalette(red);
    lblYourTurn->move(kYourTurnPlace);
    lblYourTurn->adjustSize();
    lblYourTurn->hide();

    mLog = new QPlainTextEdit(client);
    mLog->setObjectName("mLog");
    mLog->setReadOnly(true);
    mLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mLog->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    mLog->hide();

    eChat = new QLineEdit(client);
    eChat->setObjectName("eChat");
    eChat->installEventFilter(this);
    eChat->hide();

    sb = new QStatusBar(this);
    sb->setObjectName("sb");
    sb->setFixedHeight(kStatusBarHeight);
    for (int i = 0; i < kStatusPanels; ++i) {
        sbPanels[i] = new QLabel(sb);
        sbPanels[i]->setObjectName(QString("sbPanel%1").arg(i));
        sbPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The last panel reaches to the end of the bar: the longest praise
        // needs far more than its 50 pixels.
        const bool last = i == kStatusPanels - 1;
        if (last)
            sbPanels[i]->setMinimumWidth(kPanelWidths[i]);
        else
            sbPanels[i]->setFixedWidth(kPanelWidths[i]);
        sb->addWidget(sbPanels[i], last ? 1 : 0);
    }
    sbLobby = new QLabel(kWaitingForLobby, sb);
    sbLobby->setObjectName("sbLobby");
    sbLobby->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sb->addPermanentWidget(sbLobby);
    sbLobby->hide();
    setStatusBar(sb);

    // The computer's wait before each hole of its move; the game's driver
    // runs it.
    tm = new QTimer(this);
    tm->setObjectName("tm");
    tm->setSingleShot(true);

    tmrRefreshGame = new QTimer(this);
    tmrRefreshGame->setObjectName("tmrRefreshGame");
    tmrRefreshGame->setInterval(kRefreshGameInterval);
    connect(tmrRefreshGame, &QTimer::timeout, this,
            [this] { ShowingErrors([this] { tmrRefreshGameTimer(); }); });
}

void TfMain::CreateActions() {
    struct Design {
        QAction*& action;
        const char* name;
        const char* caption;
        const char* category;
        QKeySequence shortcut;
        bool enabled;
        void (TfMain::*handler)();
        bool heldForLobby; // waits for a lobby request under way
    };
    // Exit and About have no shortcut of their own; their menu entries
    // carry Ctrl+Q and F1, and in Qt the entry is the action.
    const Design actions[] = {
        {aNewGame, "aNewGame", "New Game", "Game", Qt::Key_F2, true, &TfMain::aNewGameExecute,
         true},
        {aEndGame, "aEndGame", "End Current Game", "Game", Qt::CTRL | Qt::Key_E, false,
         &TfMain::aEndGameExecute, true},
        {aJoinGame, "aJoinGame", "Join a game on Tavlo", "Game", Qt::Key_F4, true,
         &TfMain::aJoinGameExecute, true},
        {aExit, "aExit", "Exit", "File", Qt::CTRL | Qt::Key_Q, true, &TfMain::aExitExecute, false},
        {aEndTurn, "aEndTurn", "End Turn", "Play", Qt::Key_F10, false, &TfMain::aEndTurnExecute,
         true},
        {aAbout, "aAbout", "About Zellhop", "", Qt::Key_F1, true, &TfMain::aAboutExecute, false},
        {aPause, "aPause", "Pause", "Play", Qt::Key_F3, false, &TfMain::aPauseExecute, false},
    };
    for (const Design& d : actions) {
        d.action = new QAction(d.caption, this);
        d.action->setObjectName(d.name);
        d.action->setProperty("category", QString(d.category));
        d.action->setShortcut(d.shortcut);
        d.action->setEnabled(d.enabled);
        connect(d.action, &QAction::triggered, this,
                [this, action = d.action, handler = d.handler, held = d.heldForLobby] {
                    if (held && HeldForLobby([action] {
                            if (action->isEnabled())
                                action->trigger();
                        }))
                        return;
                    ShowingErrors([this, handler] { (this->*handler)(); });
                });
        addAction(d.action); // shortcuts work while the menu is closed
    }
}

void TfMain::CreateMenu() {
    File1 = menuBar()->addMenu("File");
    File1->setObjectName("File1");
    File1->addAction(aExit);
    TavloLogin1 = File1->addAction("TavloLogin", this, [this] {
        if (!HeldForLobby([this] { TavloLogin1->trigger(); }))
            ShowingErrors([this] { TavloLogin1Click(); });
    });
    TavloLogin1->setObjectName("TavloLogin1");

    Game1 = menuBar()->addMenu("Game");
    Game1->setObjectName("Game1");
    Game1->addActions({aNewGame, aJoinGame, aEndGame});
    Options1 =
        Game1->addAction("Options", this, [this] { ShowingErrors([this] { Options1Click(); }); });
    Options1->setObjectName("Options1");
    Options1->setShortcut(Qt::CTRL | Qt::Key_O);
    addAction(Options1);

    Play1 = menuBar()->addMenu("Play");
    Play1->setObjectName("Play1");
    Play1->addActions({aEndTurn, aPause});

    N1 = menuBar()->addMenu("?");
    N1->setObjectName("N1");
    N1->addAction(aAbout);
}

void TfMain::FormCreate() {
    // The game starts with no marbles, no seat taking part and no turn;
    // the seat panel starts empty.
    heldInput_ = new HeldInput(
        [this] { return WaitingForLobby(); },
        [this](const std::function<void()>& input) { ShowingErrors(input); }, this);
    online_.Requests().OnBusyChanged = [this](bool busy) { LobbyBusyChanged(busy); };
    online_.Requests().OnRequest = [this](const std::string& target) {
        if (OnLobbyRequest)
            OnLobbyRequest(target);
    };
    lobbyHost_ = kDefaultLobbyHost;
    localAddress_ = kAnyLocalAddress;
    ApplyOnlineSettings();

    const QPixmap whitePin = LoadPinPicture(kWhitePin);
    for (int i = 0; i < kTargetMarkers; ++i) {
        auto* marker = new PictureWidget(centralWidget());
        marker->setObjectName(QString("targetMarker%1").arg(i));
        marker->SetPicture(whitePin);
        marker->hide();
        connect(marker, &PictureWidget::clicked, this,
                [this, i] { ShowingErrors([this, i] { MarkerClick(i); }); });
        targetMarkers_[i] = marker;
    }
    stepDelay_ = kDefaultStepDelay;
    closing_ = paused_ = interruptRequested_ = false;
    seatPanel_ = std::make_unique<SeatPanel>(*centralWidget());
    marbles_ = std::make_unique<MarblePictures>(
        *centralWidget(),
        [this](QWidget& picture, const TZellhopPos& hole) { CentreOnHole(picture, hole); },
        [this](const TZellhopBall& marble) {
            ShowingErrors([this, &marble] { MarbleClick(marble); });
        });
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    // The client area is resized when the window is, and when it is first shown.
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        FormResize();
    if (watched == eChat && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ShowingErrors([this] { eChatKeyDown(); });
            return true; // the key is consumed
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfMain::FormResize() {
    if (closing_)
        return;
    QWidget* client = centralWidget();
    const int clientHeight = client->height() + sb->height();
    const PictureRect board = BoardRectFor(client->width(), clientHeight, sb->height());
    imMain->setGeometry(Rect(board));
    const ChatPanes panes = ChatPanesFor(board, clientHeight, sb->height());
    mLog->setGeometry(Rect(panes.log));
    eChat->setGeometry(Rect(panes.chat));
    // The pins take their new size before they are centred again.
    SetPinDiameter(*client, PinDiameterFor(board.width, marbleSize_));
    marbles_->PlaceAll(game_->marbles());
    PlaceMarkers();
    seatPanel_->Place();
    playAids_->LayOut(BoardRect());
}

void TfMain::PlaceMarkers() {
    for (int k = 0; k < kTargetMarkers; ++k)
        if (targetMarkers_[k]->isVisible() && MarkerHole(k))
            CentreOnHole(*targetMarkers_[k], *MarkerHole(k));
}

PictureRect TfMain::BoardRect() const {
    const QRect r = imMain->geometry();
    return {r.left(), r.top(), r.width(), r.height()};
}

void TfMain::SetOnlineSettings(const std::string& lobbyHost, const std::string& localAddress) {
    lobbyHost_ = lobbyHost;
    localAddress_ = localAddress;
    ApplyOnlineSettings();
}

void TfMain::CentreOnHole(QWidget& picture, const TZellhopPos& hole) const {
    const PictureRect board = BoardRect();
    const PixelPoint corner = CentredCorner(hole, board, picture.width(), picture.height());
    auto* pin = qobject_cast<PictureWidget*>(&picture);
    if (!pin) {
        picture.move(corner.x, corner.y);
        return;
    }
    // The pin's middle on the hole's dot, to a fraction of a pixel.
    const QPointF centre =
        QPointF(board.left, board.top) + HoleCentre(hole, QSizeF(board.width, board.height));
    pin->PlaceCentre({corner.x, corner.y}, centre);
}

void TfMain::SetStatusText(int panel, const QString& text) {
    sbPanels.at(panel)->setText(text);
}

QString TfMain::StatusText(int panel) const {
    return sbPanels.at(panel)->text();
}

void TfMain::ShowingErrors(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        prompts_.ShowMessage(QString::fromUtf8(e.what()));
    }
}

void TfMain::Log(const QString& line) {
    mLog->appendPlainText(line);
}

void TfMain::aExitExecute() {
    if (!prompts_.Confirm("Are you sure you wish to quit Zellhop?"))
        return;
    closing_ = true;
    game_->Halt();
    close();
}

void TfMain::aAboutExecute() {
    TAboutBox* about = dialogs_.about;
    if (!about)
        return;
    about->Version->setText(QString::fromStdString(OwnFileVersion()));
    about->Version->adjustSize();
    about->exec();
}

void TfMain::Options1Click() {
    if (!dialogs_.options)
        return;
    // There is no Cancel: closing the dialog any way keeps what was changed.
    dialogs_.options->exec();
    ApplyOptions();
}

void TfMain::ApplyOptions() {
    TfOptions* options = dialogs_.options;
    if (!options)
        return;
    game_->SetJumpBackAllowed(options->cbAllowBack->isChecked());
    stepDelay_ = StepDelayFor(options->tbCompSpeed->value());
    const MarbleSize size = static_cast<MarbleSize>(options->cbMarbleSize->currentIndex());
    if (size != marbleSize_) {
        marbleSize_ = size;
        FormResize();
    }
}

void TfMain::LoadSettings() {
    settingsPath_ = DefaultSettingsPath();
    try {
        const StoredSettings stored = ReadSettings(ProfileFile(settingsPath_));
        if (TfOptions* options = dialogs_.options) {
            options->tbCompSpeed->setValue(stored.compSpeed); // the slider clamps it
            options->cbAllowBack->setChecked(stored.jumpBack);
            options->cbMarbleSize->setCurrentIndex(stored.marbleSize);
        }
        playAids_->SetShowLastMove(stored.showLastMove);
        if (TfPlayers* players = dialogs_.players)
            players->SetLevels(stored.levels);
        Messaging().setClientName(stored.clientName);
        Session().nickname = NicknameOf(stored.clientName);
        lobbyHost_ = stored.lobbyHost;
        localAddress_ = stored.localAddress;
        usedLobbies_ = ReadUsedLobbies(ProfileFile(settingsPath_));
    } catch (const std::exception&) {
        // An unreadable file leaves the options at their design values.
    }
    ApplyOptions();
    ApplyOnlineSettings();
}

void TfMain::SaveSettings() {
    TfOptions* options = dialogs_.options;
    if (!options)
        return;
    StoredSettings stored;
    stored.compSpeed = options->tbCompSpeed->value();
    stored.jumpBack = options->cbAllowBack->isChecked();
    stored.marbleSize = static_cast<MarbleSize>(options->cbMarbleSize->currentIndex());
    stored.showLastMove = playAids_->ShowLastMove();
    if (const TfPlayers* players = dialogs_.players)
        stored.levels = players->Levels();
    stored.clientName = Messaging().ClientName();
    stored.lobbyHost = lobbyHost_;
    stored.localAddress = localAddress_;
    try {
        // The file read at start, wherever the environment points now.
        ProfileFile ini(settingsPath_.empty() ? DefaultSettingsPath() : settingsPath_);
        WriteSettings(ini, stored);
        WriteUsedLobbies(ini, usedLobbies_);
    } catch (const std::exception&) {
        // The program closes all the same.
    }
}

void TfMain::KeepLobby(const std::string& lobbyHost, const std::vector<std::string>& used) {
    lobbyHost_ = lobbyHost;
    usedLobbies_ = used;
    ApplyOnlineSettings();
    KeepLobbyChoice(settingsPath_.empty() ? DefaultSettingsPath() : settingsPath_, lobbyHost_,
                    usedLobbies_);
}

void TfMain::ApplyOnlineSettings() {
    const LobbyHostPort lobby =
        ParseLobbyHost(lobbyHost_).value_or(LobbyHostPort{kDefaultLobbyHost, kDefaultLobbyPort});
    LobbyHttp().Host = lobby.host;
    LobbyHttp().Port = lobby.port;
    const bool anyAddress = localAddress_.empty() || localAddress_ == kAnyLocalAddress;
    LobbyHttp().LocalAddress = anyAddress ? std::string() : localAddress_;
    Messaging().setLocalAddress(anyAddress ? std::string(kAnyLocalAddress) : localAddress_);
    const QString webHost = QString::fromStdString(lobbyHost_);
    if (dialogs_.about)
        dialogs_.about->SetWebPage(QUrl("http://" + webHost + "/"));
    if (dialogs_.login)
        dialogs_.login->SetWebHost(lobbyHost_);
}

void TfMain::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept(); // the close is never refused
}

void TfMain::FormCloseQuery() {
    closing_ = true;
    game_->Halt();
    online_.Close();
    SaveSettings();
}

void TfMain::FormDestroy() {
    // The game would tell a view that is half gone what it does.
    game_->SetListener(nullptr);
    online_.SetMatch(nullptr);
    driver_.reset();
    RemoveMarblePictures();
    seatPanel_->Clear();
}
