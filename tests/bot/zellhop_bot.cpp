// A player of online games for tests that need whole programs: the real
// main window (the app library) off screen, its dialogs answered as a
// player would and its human seats played with the move the computer would
// choose, clicked hop by hop.  It runs as a process of its own, so a test
// can start it in a network namespace, kill it and start it again.
//
//   zellhop-bot --nickname Ann --lobby 10.0.0.1:8080 --user ann --password pw
//               [--local-address A.B.C.D] [--step-delay MS] [--think MS] [--written 1]
//               (--host "Game name" --seats H--O-O | --join "Game name")
//   zellhop-bot --nickname Ann --this-network [--local-address A.B.C.D] ...
//               (the same without a lobby: "Play on this network")
//
// --shot FILE saves the screen once the game list shows a game.
//
// --config DIR takes the settings and the program's key from DIR (as
// XDG_CONFIG_HOME would): a program started again with the same DIR is the
// same program to its peers.
//
// --written 1 makes it a program of the written protocol: it announces no
// extension to its peers and logs in to the lobby without a key.
//
// It prints, a line each and flushed: "log <line>" for every line of the
// game log, "started" when its game starts, "won <COLOUR>" and "record
// <turns>" when the game is won, "my turn" and "moved" around each move of
// its own (made `--think` ms after its turn began), "board <marbles>" or "record <turns>"
// whenever a line "board" or "record" comes on its standard input, "drops
// unsealed N forged N replayed N lyingAcks N refusedRequests N" (what its
// messaging dropped) for a line "drops"; "chat
// <text>" sends a chat line, "end" ends the game (End Current Game),
// "quit" closes the window.  Marbles are "colour/number@r,c" separated by
// blanks, in list order; turns are the game record's move lines, separated
// by " | ".  A joiner says "listed <name> | <players>" for each row of the
// game list it last saw, and "not found" when its game was not among them.
#include "colours.h"
#include "game_list_dialog.h"
#include "move_record.h"
#include "online_players.h"
#include "tavlo_login_dialog.h"
#include "window_parts.h"

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTreeWidget>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr int kPlayPoll = 20; // ms between looks at whether a human seat here may move

void Say(const std::string& line) {
    std::cout << line << std::endl;
}

std::string BoardLine(const TfMain& window) {
    std::string line = "board";
    for (const std::string& marble : Board(window))
        line += " " + marble;
    return line;
}

std::string RecordLine(const TfMain& window) {
    std::string line = "record";
    const char* separator = " ";
    for (const TurnRecord& turn : window.game().Line()) {
        line += separator + MoveLine(turn);
        separator = " | ";
    }
    return line;
}

std::optional<std::array<SeatKind, kColours>> SeatsFrom(const std::string& text) {
    static const std::map<char, SeatKind> kinds = {
        {'-', skNone}, {'H', skHuman}, {'C', skComputer}, {'O', skOpen}};
    std::array<SeatKind, kColours> seats{};
    if (text.size() != kColours)
        return std::nullopt;
    for (int i = 0; i < kColours; ++i) {
        const auto kind = kinds.find(text[i]);
        if (kind == kinds.end())
            return std::nullopt;
        seats[i] = kind->second;
    }
    return seats;
}

// The options, as --name value pairs; a flag stands alone.
std::map<std::string, std::string> Options(int argc, char* argv[]) {
    static const std::string kFlags[] = {"--this-network"};
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags))
            options[name] = "yes";
        else if (i + 1 < argc)
            options[name] = argv[++i];
    }
    return options;
}

// A joiner's look at the game list.
void SayListed(const std::vector<TGameListEntry>& listed, const std::string& gameName) {
    bool found = false;
    for (const TGameListEntry& game : listed) {
        Say("listed " + game.name + " | " + game.players);
        found = found || game.name == gameName;
    }
    if (!found)
        Say("not found");
}

// Every new line of the log, as it comes.
void ForwardLog(TfMain& window) {
    auto* log = Named<QPlainTextEdit>(window, "mLog");
    auto* said = new int(0);
    QObject::connect(log, &QPlainTextEdit::textChanged, log, [log, said] {
        const QStringList lines = log->toPlainText().split('\n', Qt::SkipEmptyParts);
        for (; *said < lines.size(); ++*said)
            Say("log " + lines[*said].toStdString());
    });
}

// Plays each turn of a human seat here once the game waits for it, after
// `thinkMs`, and says when the game starts, when such a turn begins ("my
// turn"), when its move is made ("moved") and when the game is won.
void PlayAlong(TfMain& window, int thinkMs) {
    auto* poll = new QTimer(&window);
    auto* started = new bool(false);
    auto* won = new bool(false);
    auto* announced = new int(-1); // the turn last said to be ours
    auto* thinking = new QElapsedTimer();
    QObject::connect(poll, &QTimer::timeout, &window, [&window, started, won, announced,
                                                       thinking, thinkMs] {
        const Match& game = window.game();
        if (!*started && !game.marbles().empty()) {
            *started = true;
            Say("started");
        }
        if (*started && !*won && game.winner() >= 0) {
            *won = true;
            Say("won " + std::string(ColourWord(game.winner())));
            Say(RecordLine(window));
        }
        if (!game.HumanMayMove() || !window.TurnsSettled() || window.WaitingForLobby() ||
            QApplication::activeModalWidget())
            return;
        if (game.state().phase == kPhaseTurnStart) {
            const int turn = game.state().turnNumber * kColours + game.state().currentSeat;
            if (*announced != turn) {
                *announced = turn;
                thinking->start();
                Say("my turn");
            }
            if (thinking->elapsed() >= thinkMs && PlayChosenMove(window))
                Say("moved");
        } else if (game.CanEndTurn()) // back in a turn that an earlier run had begun
            ActionOf(window, "aEndTurn")->trigger();
    });
    poll->start(kPlayPoll);
}

// The whole screen, once, when the game list first shows a game: what a
// player sees there (under xvfb-run, for a look by hand).
void ShootGameList(TfMain& window, const QString& file) {
    auto* look = new QTimer(&window);
    QObject::connect(look, &QTimer::timeout, &window, [&window, look, file] {
        const TfGamelist& list = *window.dialogs().gamelist;
        if (!list.isVisible() || list.lvgames->topLevelItemCount() == 0)
            return;
        look->stop();
        QTimer::singleShot(300, &window, [file] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(file);
            Say("shot " + file.toStdString());
        });
    });
    look->start(100);
}

// Commands on the standard input.
void Listen(TfMain& window, ScriptedPrompts& prompts) {
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &window);
    QObject::connect(input, &QSocketNotifier::activated, &window, [&window, &prompts, input] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            input->setEnabled(false);
            return;
        }
        if (line == "board") {
            Say(BoardLine(window));
        } else if (line == "record") {
            Say(RecordLine(window));
        } else if (line == "drops") {
            const TDropCounts& d = window.Online().Messaging().Dropped();
            Say("drops unsealed " + std::to_string(d.unsealed) + " forged " +
                std::to_string(d.forged) + " replayed " + std::to_string(d.replayed) +
                " lyingAcks " + std::to_string(d.lyingAcks) + " refusedRequests " +
                std::to_string(d.refusedRequests));
        } else if (line.rfind("chat ", 0) == 0) {
            auto* chat = Named<QLineEdit>(window, "eChat");
            chat->setText(QString::fromStdString(line.substr(5)));
            QTest::keyClick(chat, Qt::Key_Return);
        } else if (line == "end") {
            prompts.answers = {true};
            ActionOf(window, "aEndGame")->trigger();
        } else if (line == "quit") {
            window.close();
            QApplication::quit();
        }
    });
}

} // namespace

int main(int argc, char* argv[]) {
    std::map<std::string, std::string> options = Options(argc, argv);
    // Before anything reads the settings or the program's key.
    if (const auto config = options.find("--config"); config != options.end())
        ::setenv("XDG_CONFIG_HOME", config->second.c_str(), 1);
    QApplication app(argc, argv);
    InitApplication(app);
    const auto option = [&options](const std::string& name, const std::string& fallback = "") {
        const auto found = options.find("--" + name);
        return found == options.end() ? fallback : found->second;
    };
    const std::string user = option("user");
    const std::string password = option("password");
    const bool thisNetwork = !option("this-network").empty();
    if ((user.empty() && !thisNetwork) || (option("host").empty() == option("join").empty())) {
        std::cerr << "usage: zellhop-bot --nickname N (--lobby HOST:PORT --user U --password P "
                     "| --this-network) [--local-address A] [--config DIR] [--step-delay MS] "
                     "[--think MS] [--written 1] [--shot FILE] "
                     "(--host NAME --seats H--O-O | --join NAME)\n";
        return 2;
    }
    Player player(option("nickname", user), option("local-address", "0.0.0.0"),
                  option("lobby", "localhost"));
    player.window->SetStepDelay(std::stoi(option("step-delay", "20")));
    if (option("written") == "1") {
        player->Online().Messaging().setReliable(false);
        player->dialogs().login->SetProgramKey(nullptr, nullptr);
    }
    ForwardLog(*player.window);
    PlayAlong(*player.window, std::stoi(option("think", "0")));
    Listen(*player.window, player.prompts);
    if (!option("shot").empty())
        ShootGameList(*player.window, QString::fromStdString(option("shot")));

    QTimer::singleShot(0, player.window.get(), [&] {
        if (!option("host").empty()) {
            const auto seats = SeatsFrom(option("seats", "H--O--"));
            if (!seats) {
                std::cerr << "seats: six of H C O -\n";
                QApplication::exit(2);
                return;
            }
            const QString name = QString::fromStdString(option("host"));
            if (thisNetwork)
                PublishOnThisNetwork(player, *seats, name);
            else
                Publish(player, *seats, name, user, password);
        } else {
            std::vector<TGameListEntry> listed;
            if (thisNetwork)
                JoinOnThisNetwork(player, option("join"), &listed);
            else
                Join(player, user, password, option("join"), &listed);
            SayListed(listed, option("join"));
        }
    });
    return app.exec();
}
