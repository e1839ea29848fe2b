// Whole programs coming back into a game under way and watching it: the
// real lobby server and zellhop-bot processes on loopback addresses.  A
// player killed with SIGKILL and started again takes his seat back, a
// stranger who joins the same game watches it, and at the win every program
// holds the same record.
#include "bot_process.h"
#include "loopback_addresses.h"
#include "lobby_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>

namespace {

constexpr int kGameMs = 180000;
constexpr int kGivenUpMs = 24000; // past the 20 s after which a silent member is given up

class RejoinGame : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = dir_.filePath("lobby.db").toStdString();
        for (const auto& [name, password] :
             {std::pair{"ann", "secret1"}, {"bob", "secret2"}, {"cat", "secret3"}})
            ASSERT_EQ(RunLobbyCommand({"add-user", "--db", db_, name, "--password", password}, "",
                                      dir_.path().toStdString())
                          .exitCode,
                      0);
        lobby_ = std::make_unique<LobbyProcess>(
            std::vector<std::string>{"--db", db_, "--listen", "127.0.0.1:0", "--quiet", "--key-file",
                                     dir_.filePath("lobby.key").toStdString()});
        lobbyHost_ = "127.0.0.1:" + std::to_string(lobby_->Port());
    }
    std::unique_ptr<BotProcess> Bot(const std::string& nickname, const std::string& user,
                                    const std::string& password, const std::string& address,
                                    const std::vector<std::string>& role) {
        std::vector<std::string> args{"--nickname", nickname, "--user", user, "--password",
                                      password, "--lobby", lobbyHost_, "--local-address", address,
                                      "--step-delay", "50"};
        args.insert(args.end(), role.begin(), role.end());
        return std::make_unique<BotProcess>(args);
    }
    std::unique_ptr<BotProcess> Ann() {
        return Bot("Ann", "ann", "secret1", annAddress_, {"--host", "Bots", "--seats", "HC-OC-"});
    }
    // Bob thinks a while over each move, so that a kill can find him in
    // his own turn.
    std::unique_ptr<BotProcess> Bob() {
        return Bot("Bob", "bob", "secret2", bobAddress_, {"--join", "Bots", "--think", "300"});
    }
    std::unique_ptr<BotProcess> Cat() {
        return Bot("Cat", "cat", "secret3", catAddress_, {"--join", "Bots"});
    }
    static void Pause(BotProcess& any, int ms) { any.WaitForLine("(nothing)", ms); }
    // A program that starts and comes into the game: the time to its board.
    static int StartedWithin(BotProcess& bot) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(bot.WaitForLine("started")) << bot.Output();
        return static_cast<int>(clock.elapsed());
    }

    QTemporaryDir dir_;
    std::string db_;
    std::unique_ptr<LobbyProcess> lobby_;
    std::string lobbyHost_;
    // Addresses of this process alone: other tests' players bind port 3237 too.
    const std::string annAddress_ = NewLoopbackAddress();
    const std::string bobAddress_ = NewLoopbackAddress();
    const std::string catAddress_ = NewLoopbackAddress();
};

// Killed in his own turn (before his move) and in another's (right after
// his move): back at once, in a seat that still waited for him.  A stranger
// who joins later watches, and chats as a watcher.
TEST_F(RejoinGame, AKilledPlayerComesBackAtOnceAndAStrangerWatchesToTheSameWin) {
    auto ann = Ann();
    ASSERT_TRUE(ann->WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << ann->Output();
    auto bob = Bob();
    ASSERT_TRUE(bob->WaitForLine("started")) << bob->Output();

    ASSERT_TRUE(bob->WaitForLine("my turn")) << bob->Output();
    bob->Kill(); // thinking over his move
    bob = Bob();
    const int restartMs = StartedWithin(*bob);
    ASSERT_TRUE(bob->WaitForLinePrefix("log ***Back in the game")) << bob->Output();
    ASSERT_TRUE(ann->WaitForLine("log *** bob is back in the game")) << ann->Output();
    std::cout << "restart to board: " << restartMs << " ms\n";

    ASSERT_TRUE(bob->WaitForLine("moved")) << bob->Output();
    bob->Kill(); // the computer and Ann play on
    bob = Bob();
    StartedWithin(*bob);
    ASSERT_TRUE(bob->WaitForLinePrefix("log ***Back in the game")) << bob->Output();

    auto cat = Cat();
    ASSERT_TRUE(cat->WaitForLine("log ***Watching the game")) << cat->Output();
    ASSERT_TRUE(ann->WaitForLine("log *** cat is watching the game")) << ann->Output();
    cat->Send("chat hello");
    ASSERT_TRUE(ann->WaitForLine("log cat (watching): hello")) << ann->Output();
    bob->Send("chat welcome");
    ASSERT_TRUE(cat->WaitForLine("log bob: welcome")) << cat->Output();

    ASSERT_TRUE(ann->WaitForLinePrefix("record ", kGameMs)) << ann->Output();
    ASSERT_TRUE(bob->WaitForLinePrefix("record ")) << bob->Output();
    ASSERT_TRUE(cat->WaitForLinePrefix("record ")) << cat->Output();
    const std::string record = ann->LineWithPrefix("record ");
    EXPECT_EQ(bob->LineWithPrefix("record "), record);
    EXPECT_EQ(cat->LineWithPrefix("record "), record);
    EXPECT_EQ(bob->LineWithPrefix("won "), ann->LineWithPrefix("won "));
    EXPECT_EQ(cat->LineWithPrefix("won "), ann->LineWithPrefix("won "));
    EXPECT_TRUE(cat->LineWithPrefix("my turn").empty()) << "a watcher never has a turn";
}

TEST_F(RejoinGame, APlayerWhoseSeatWentToTheComputerGetsItBackAndPlaysToTheWin) {
    auto ann = Ann();
    ASSERT_TRUE(ann->WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << ann->Output();
    auto bob = Bob();
    ASSERT_TRUE(bob->WaitForLine("started")) << bob->Output();
    Pause(*ann, 500);

    bob->Kill();
    ASSERT_TRUE(ann->WaitForLine("log *** bob has timed out", kGivenUpMs)) << ann->Output();
    bob = Bob();
    StartedWithin(*bob);
    ASSERT_TRUE(bob->WaitForLinePrefix("log ***Back in the game"))
        << bob->Output() << "\nann:\n"
        << ann->Output();

    ASSERT_TRUE(ann->WaitForLinePrefix("record ", kGameMs)) << ann->Output();
    ASSERT_TRUE(bob->WaitForLinePrefix("record ")) << bob->Output();
    EXPECT_EQ(bob->LineWithPrefix("record "), ann->LineWithPrefix("record "));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
