#pragma once

#include "lobby_store.h"

#include <string>
#include <string_view>
#include <vector>

// The lobby's public front page: the games waiting for players and who is
// in them, the last finished games with their winners, and the players by
// games won.
namespace front_page {

constexpr std::string_view kTitle = "Zellhop lobby";

struct Content {
    std::vector<OpenGame> openGames;
    std::vector<FinishedGame> lastFinished;
    std::vector<PlayerWins> mostWins;
};

std::string Render(const Content& content);

// Seats taken of the seats in play, as the game list shows it ("2/5"): the
// host's own seats count as taken, and so does each player who has joined.
std::string PlayersText(std::string_view seats, int joinedPlayers);

} // namespace front_page
