#include "front_page.h"

#include "html_page.h"

#include <algorithm>
#include <ctime>

namespace front_page {
namespace {

constexpr char kSeatNone = '0';
constexpr char kSeatOpen = '3';
constexpr std::int64_t kMsPerSecond = 1000;

std::string Cell(std::string_view text) {
    return "<td>" + html::Escape(text) + "</td>";
}

std::string UtcTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / kMsPerSecond);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string all;
    for (const std::string& name : names)
        all += (all.empty() ? "" : ", ") + name;
    return all;
}

std::string OpenGamesSection(const std::vector<OpenGame>& games) {
    std::string html = "<section>\n<h2>Open games</h2>\n";
    if (games.empty())
        return html + "<p class=\"empty\">No game is waiting for players right now.</p>\n"
                      "</section>\n";
    html += "<table>\n<thead><tr><th>Game</th><th>Host</th><th>Joined</th>"
            "<th class=\"number\">Seats taken</th></tr></thead>\n<tbody>\n";
    for (const OpenGame& game : games) {
        const int joined = static_cast<int>(game.joinedNames.size());
        html += "<tr>" + Cell(game.name.empty() ? "(no name)" : game.name) + Cell(game.hostName) +
                Cell(Joined(game.joinedNames)) + "<td class=\"number\">" +
                PlayersText(game.seats, joined) + "</td></tr>\n";
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string LastWinnersSection(const std::vector<FinishedGame>& games) {
    std::string html = "<section>\n<h2>Last winners</h2>\n";
    if (games.empty())
        return html + "<p class=\"empty\">No game has finished yet.</p>\n</section>\n";
    html += "<table>\n<thead><tr><th>Winner</th><th>Game</th><th>Host</th><th>Finished</th>"
            "</tr></thead>\n<tbody>\n";
    for (const FinishedGame& game : games) {
        // The game reports a winner only for a player at another computer.
        const std::string winner =
            game.winnerName ? *game.winnerName : "a seat at " + game.hostName + "'s computer";
        html += "<tr>" + Cell(winner) + Cell(game.name.empty() ? "(no name)" : game.name) +
                Cell(game.hostName) + Cell(UtcTime(game.finishedMs)) + "</tr>\n";
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string MostWinsSection(const std::vector<PlayerWins>& players) {
    std::string html = "<section>\n<h2>Players by games won</h2>\n";
    if (players.empty())
        return html + "<p class=\"empty\">Nobody has won a game here yet.</p>\n</section>\n";
    html += "<table>\n<thead><tr><th class=\"number\">Rank</th><th>Player</th>"
            "<th class=\"number\">Games won</th></tr></thead>\n<tbody>\n";
    int rank = 0;
    std::int64_t previousWins = -1;
    for (std::size_t i = 0; i < players.size(); ++i) {
        // Equal counts share a rank.
        if (players[i].wins != previousWins)
            rank = static_cast<int>(i) + 1;
        previousWins = players[i].wins;
        html += "<tr><td class=\"number\">" + std::to_string(rank) + "</td>" +
                Cell(players[i].name) + "<td class=\"number\">" + std::to_string(players[i].wins) +
                "</td></tr>\n";
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

} // namespace

std::string PlayersText(std::string_view seats, int joinedPlayers) {
    const auto inPlay =
        std::count_if(seats.begin(), seats.end(), [](char c) { return c != kSeatNone; });
    const auto open = std::count(seats.begin(), seats.end(), kSeatOpen);
    const auto taken = std::min<long>(inPlay - open + joinedPlayers, inPlay);
    return std::to_string(taken) + "/" + std::to_string(inPlay);
}

std::string Render(const Content& content) {
    const std::string intro =
        "<p class=\"intro\">Games of Zellhop meet here. To play, "
        "<a href=\"/main.php?pageno=100\">create an account</a>, choose "
        "<strong>Game &#9656; Join a game on Tavlo</strong> or publish a game of your own with "
        "seats Open for Multiplayer, and type this lobby's address in the "
        "<strong>Lobby</strong> field of the game's log-in dialog.</p>\n";
    return html::Page(kTitle, intro + OpenGamesSection(content.openGames) +
                                  LastWinnersSection(content.lastFinished) +
                                  MostWinsSection(content.mostWins));
}

} // namespace front_page
