// Whole programs as processes of their own: the real lobby server and two
// players (zellhop-bot) on loopback addresses, a game to a win, the same
// record on both.  The ground the tests of killed and restarted players
// stand on.
#include "bot_process.h"
#include "lobby_process.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(BotGame, TwoProgramsPlayAGameToAWinAndKeepTheSameRecord) {
    QTemporaryDir dir;
    const std::filesystem::path db = dir.filePath("lobby.db").toStdString();
    for (const auto& [name, password] : {std::pair{"ann", "secret1"}, {"bob", "secret2"}})
        ASSERT_EQ(RunLobbyCommand({"add-user", "--db", db.string(), name, "--password", password},
                                  "", dir.path().toStdString())
                      .exitCode,
                  0);
    LobbyProcess lobby({"--db", db.string(), "--listen", "127.0.0.1:0", "--quiet"});
    const std::string lobbyHost = "127.0.0.1:" + std::to_string(lobby.Port());

    BotProcess host({"--nickname", "Ann", "--user", "ann", "--password", "secret1", "--lobby",
                     lobbyHost, "--local-address", "127.0.0.2", "--host", "Bots", "--seats",
                     "H--O--"});
    ASSERT_TRUE(host.WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << host.Output();
    BotProcess joiner({"--nickname", "Bob", "--user", "bob", "--password", "secret2", "--lobby",
                       lobbyHost, "--local-address", "127.0.0.3", "--join", "Bots"});

    // The record follows the win.
    ASSERT_TRUE(host.WaitForLinePrefix("record ", 120000)) << host.Output();
    ASSERT_TRUE(joiner.WaitForLinePrefix("record ")) << joiner.Output();
    EXPECT_EQ(host.LineWithPrefix("won "), joiner.LineWithPrefix("won "));
    const std::string record = host.LineWithPrefix("record ");
    EXPECT_GT(record.size(), 100u);
    EXPECT_EQ(joiner.LineWithPrefix("record "), record);
}

} // namespace
