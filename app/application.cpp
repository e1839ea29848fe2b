#include "application.h"

#include "about_box.h"
#include "design_font.h"
#include "game_list_dialog.h"
#include "http_errors.h"
#include "main_window.h"
#include "message_box_prompts.h"
#include "options_dialog.h"
#include "players_dialog.h"
#include "program_icon.h"
#include "program_key.h"
#include "tavlo_login_dialog.h"
#include "user_prompts.h"

#include <QApplication>
#include <QIcon>

ZellhopApplication::ZellhopApplication(int& argc, char** argv)
    : QApplication(argc, argv), prompts_(std::make_unique<MessageBoxPrompts>()) {}

ZellhopApplication::~ZellhopApplication() = default;

bool ZellhopApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const ERequestCancelled&) {
        return false; // cancelled on purpose: nothing to show
    } catch (const std::exception& e) {
        prompts_->ShowMessage(QString::fromUtf8(e.what()));
        return false;
    }
}

void InitApplication(QApplication& app) {
    // Only the name: a display name would be appended to every window's caption.
    app.setApplicationName(kApplicationTitle);
    // Ties the windows to the menu entry that packaging installs.
    QGuiApplication::setDesktopFileName(QStringLiteral("zellhop"));
    app.setWindowIcon(ProgramIcon());
}

std::unique_ptr<TfMain> CreateWindows(UserPrompts* prompts) {
    auto fMain = std::make_unique<TfMain>(prompts);
    TfMain* main = fMain.get();
    MainDialogs dialogs;
    dialogs.options = new TfOptions(main);
    dialogs.players = new TfPlayers(main->Prompts(), main);
    dialogs.about = new TAboutBox(main);
    auto* login = new TfTavloLogin(main);
    login->setFont(DesignFont());
    login->SetLobby(
        [main](const std::string& target, TfTavloLogin::LobbyReply reply,
               TfTavloLogin::LobbyFailure failure) {
            main->LoginRequest(target, std::move(reply), std::move(failure));
        },
        [main, login](const TLoginReply& reply, const std::string& userName) {
            main->Online().LoggedIn(reply, userName);
            if (const std::optional<TLobbyAddress> lobby = login->ChosenLobby())
                main->KeepLobby(LobbyFieldText(*lobby), login->UsedLobbies());
        });
    // Login asks the lobby in the field, whichever the settings named.
    login->SetLobbyChosen([main](const TLobbyAddress& lobby) {
        main->LobbyHttp().Host = lobby.host;
        main->LobbyHttp().Port = lobby.port;
    });
    // Cancel ends a login request under way at once.
    QObject::connect(login, &QDialog::rejected, main, [main] { main->CancelLoginRequest(); });
    QObject::connect(login, &TfTavloLogin::playOnThisNetwork, main,
                     [main] { main->CancelLoginRequest(); });
    login->SetErrorBox([main](const QString& message) { main->Prompts().ShowMessage(message); });
    login->SetProgramKey(ThisProgramKey().publicKey);
    dialogs.login = login;
    auto* gamelist = new TfGamelist(main);
    gamelist->setFont(DesignFont());
    gamelist->SetMessageBox([main](const QString& text) { main->Prompts().ShowMessage(text); });
    dialogs.gamelist = gamelist;
    main->SetDialogs(dialogs);
    main->ApplyOnlineSettings();
    return fMain;
}
