#include "lobby_store.h"
#include "lobby_test_support.h"
#include "sqlite_connection.h"

#include <gtest/gtest.h>

namespace {

TEST(LobbyStore, RefusesADatabaseOfANewerLobby) {
    TempDir dir;
    const std::string path = (dir.Path() / "lobby.db").string();
    {
        LobbyStore store(path);
        SqliteConnection(path, std::chrono::milliseconds(100)).Execute("PRAGMA user_version = 2");
    }
    EXPECT_THROW(LobbyStore{path}, std::runtime_error);
}

TEST(LobbyStore, NamesDifferingOnlyInCaseAreOneAccount) {
    TempDir dir;
    LobbyStore store((dir.Path() / "lobby.db").string());
    EXPECT_EQ(store.AddPlayer("Alice", "hash", 0), 1);
    EXPECT_EQ(store.AddPlayer("aLICE", "hash", 0), std::nullopt);
    EXPECT_EQ(store.FindPlayer("ALICE")->number, 1);
    EXPECT_EQ(store.AddPlayer("bob", "hash", 0), 2);
}

} // namespace
