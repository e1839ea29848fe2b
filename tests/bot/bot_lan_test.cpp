// Games on this network between whole programs, with no lobby anywhere:
// two programs on one switch of the namespace lab (tests/lab/lan_lab.sh)
// play a game to a win, and a third behind the lab's router never sees it;
// a player killed mid-game comes back into his seat and a neighbour
// watches.  Needs root; skips otherwise.
#include "bot_process.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kLab = ZELLHOP_LAN_LAB;
constexpr int kLabImpossible = 3; // the lab's script: this machine cannot build it

class LanLab {
  public:
    LanLab() : name_("botlan" + std::to_string(::getpid())) {
        const int status = std::system((kLab + " up " + name_ + " >/dev/null 2>&1").c_str());
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~LanLab() { std::system((kLab + " down " + name_ + " >/dev/null 2>&1").c_str()); }
    LanLab(const LanLab&) = delete;
    LanLab& operator=(const LanLab&) = delete;

    bool Up() const { return exitCode_ == 0; }
    bool Impossible() const { return exitCode_ == kLabImpossible; }
    std::vector<std::string> On(const std::string& host) const {
        return {kLab, "run", name_, host};
    }

  private:
    std::string name_;
    int exitCode_ = -1;
};

std::vector<std::string> Bot(const std::string& nickname, const std::string& address,
                             std::vector<std::string> role, const QTemporaryDir* config = nullptr) {
    // The lobby named is nowhere: a game on this network must not need it.
    std::vector<std::string> args{"--nickname",      nickname, "--this-network",
                                  "--local-address", address,  "--lobby",
                                  "10.27.9.9:8080"};
    args.insert(args.end(), role.begin(), role.end());
    if (config) // a program's own settings and key
        args.insert(args.end(), {"--config", config->path().toStdString()});
    return args;
}

#define LAN_LAB_OR_SKIP(lab)                                                                      \
    if (::geteuid() != 0)                                                                          \
        GTEST_SKIP() << "needs root: network namespaces (ip netns)";                               \
    LanLab lab;                                                                                    \
    if (lab.Impossible())                                                                          \
        GTEST_SKIP() << "needs network namespaces and iproute2 (ip netns), which this machine "    \
                        "lacks";                                                                   \
    ASSERT_TRUE(lab.Up()) << "the lab could not be built: " << kLab

TEST(BotLan, TwoProgramsOnOneSwitchPlayWithoutALobbyAndTheNextNetworkSeesNothing) {
    LAN_LAB_OR_SKIP(lab);

    BotProcess host(Bot("Ann", "10.27.1.2", {"--host", "Lan", "--seats", "H--O--"}), lab.On("a"));
    ASSERT_TRUE(host.WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << host.Output();
    BotProcess behindRouter(Bot("Cid", "10.27.2.2", {"--join", "Lan"}), lab.On("c"));
    BotProcess joiner(Bot("Bob", "10.27.1.3", {"--join", "Lan"}), lab.On("b"));

    // No lobby answers anywhere: the game the joiner saw was announced here.
    ASSERT_TRUE(joiner.WaitForLine("listed Lan | 1/2")) << joiner.Output();
    ASSERT_TRUE(host.WaitForLinePrefix("record ", 180000)) << host.Output();
    ASSERT_TRUE(joiner.WaitForLinePrefix("record ")) << joiner.Output();
    EXPECT_EQ(host.LineWithPrefix("won "), joiner.LineWithPrefix("won "));
    EXPECT_GT(host.LineWithPrefix("record ").size(), 100u);
    EXPECT_EQ(joiner.LineWithPrefix("record "), host.LineWithPrefix("record "));

    ASSERT_TRUE(behindRouter.WaitForLine("not found", 30000)) << behindRouter.Output();
    EXPECT_EQ(behindRouter.LineWithPrefix("listed Lan"), "") << behindRouter.Output();
    EXPECT_EQ(behindRouter.LineWithPrefix("started"), "");
}

// No lobby vouches for anyone here: Bob's seat is his program's, known by
// the key it keeps in its settings and the name he plays under.
TEST(BotLan, AKilledPlayerComesBackIntoHisSeatAndANeighbourWatchesToTheSameWin) {
    LAN_LAB_OR_SKIP(lab);
    const QTemporaryDir annConfig, bobConfig, danConfig;
    const auto bob = [&] {
        return std::make_unique<BotProcess>(
            Bot("Bob", "10.27.1.3", {"--join", "Lan", "--think", "300"}, &bobConfig), lab.On("b"));
    };

    BotProcess ann(Bot("Ann", "10.27.1.2",
                       {"--host", "Lan", "--seats", "HC-OC-", "--step-delay", "50"}, &annConfig),
                   lab.On("a"));
    ASSERT_TRUE(ann.WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << ann.Output();
    auto bobNow = bob();
    ASSERT_TRUE(bobNow->WaitForLine("my turn")) << bobNow->Output();
    bobNow->Kill(); // thinking over his move
    QElapsedTimer restart;
    restart.start();
    bobNow = bob();
    // The game under way is still announced, as one under way.
    ASSERT_TRUE(bobNow->WaitForLine("listed Lan | playing 4/4")) << bobNow->Output();
    ASSERT_TRUE(bobNow->WaitForLinePrefix("log ***Back in the game")) << bobNow->Output();
    std::cout << "restart to back in the game: " << restart.elapsed() << " ms\n";
    ASSERT_TRUE(ann.WaitForLine("log *** Bob is back in the game")) << ann.Output();

    BotProcess dan(Bot("Dan", "10.27.1.4", {"--join", "Lan"}, &danConfig), lab.On("d"));
    ASSERT_TRUE(dan.WaitForLine("log ***Watching the game")) << dan.Output();
    ASSERT_TRUE(ann.WaitForLine("log *** Dan is watching the game")) << ann.Output();
    dan.Send("chat hello");
    ASSERT_TRUE(ann.WaitForLine("log Dan (watching): hello")) << ann.Output();

    ASSERT_TRUE(ann.WaitForLinePrefix("record ", 180000)) << ann.Output();
    ASSERT_TRUE(bobNow->WaitForLinePrefix("record ")) << bobNow->Output();
    ASSERT_TRUE(dan.WaitForLinePrefix("record ")) << dan.Output();
    const std::string record = ann.LineWithPrefix("record ");
    EXPECT_EQ(bobNow->LineWithPrefix("record "), record);
    EXPECT_EQ(dan.LineWithPrefix("record "), record);
    EXPECT_EQ(dan.LineWithPrefix("won "), ann.LineWithPrefix("won "));
    EXPECT_TRUE(dan.LineWithPrefix("my turn").empty()) << "a watcher never has a turn";
}

} // namespace
