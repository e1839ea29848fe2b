// A player of online games for tests that need whole programs: the real
// main window (the app library) off screen, its dialogs answered as a
// player would and its human seats played with the move the computer would
// choose, clicked hop by hop.  It runs as a process of its own, so a test
// can start it in a network namespace, kill it and start it again.
//
//   zellhop-bot --nickname Ann --lobby 10.0.0.1:8080 --user ann --password pw
//               [--local-address A.B.C.D] [--step-delay MS] [--think MS]
//               (--host "Game name" --seats H--O-O | --join "Game name")
//
// It prints, a line each and flushed: "log <line>" for every line of the
// game log, "started" when its game starts, "won <COLOUR>" and "record
// <turns>" when the game is won, "my turn" and "moved" around each move of
// its own (made `--think` ms after its turn began), "board <marbles>" or "record <turns>"
// whenever a line "board" or "record" comes on its standard input; "chat
// <text>" sends a chat line, "end" ends the game (End Current Game),
// "quit" closes the window.  Marbles are "colour/number@r,c" separated by
// blanks, in list order; turns are the game record's move lines, separated
// by " | ".
#include "colours.h"
#include "move_record.h"
#include "online_players.h"
#include "window_parts.h"

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
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

// The options, as --name value pairs.
std::map<std::string, std::string> Options(int argc, char* argv[]) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2)
        options[argv[i]] = argv[i + 1];
    return options;
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
    QApplication app(argc, argv);
    InitApplication(app);
    std::map<std::string, std::string> options = Options(argc, argv);
    const auto option = [&options](const std::string& name, const std::string& fallback = "") {
        const auto found = options.find("--" + name);
        return found == options.end() ? fallback : found->second;
    };
    const std::string user = option("user");
    const std::string password = option("password");
    if (user.empty() || (option("host").empty() == option("join").empty())) {
        std::cerr << "usage: zellhop-bot --nickname N --lobby HOST:PORT --user U --password P "
                     "[--local-address A] [--step-delay MS] [--think MS] "
                     "(--host NAME --seats H--O-O | --join NAME)\n";
        return 2;
    }
    Player player(option("nickname", user), option("local-address", "0.0.0.0"),
                  option("lobby", "localhost"));
    player.window->SetStepDelay(std::stoi(option("step-delay", "20")));
    ForwardLog(*player.window);
    PlayAlong(*player.window, std::stoi(option("think", "0")));
    Listen(*player.window, player.prompts);

    QTimer::singleShot(0, player.window.get(), [&] {
        if (!option("host").empty()) {
            const auto seats = SeatsFrom(option("seats", "H--O--"));
            if (!seats) {
                std::cerr << "seats: six of H C O -\n";
                QApplication::exit(2);
                return;
            }
            Publish(player, *seats, QString::fromStdString(option("host")), user, password);
        } else {
            Join(player, user, password, option("join"));
        }
    });
    return app.exec();
}
