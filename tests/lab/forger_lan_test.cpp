// A game on this network with a forger on its switch: two zellhop-bot
// programs on the namespace lab's switch (tests/lab/lan_lab.sh) play to a
// win while a third namespace on the same switch (the switch floods it
// everything) sends the host datagrams with the joiner's source address:
// moves without the trailer, connect requests, datagrams that look sealed,
// replays of what it captured, captures altered, acknowledgements that
// lie.  The game ends in the same win on both ends, and the host's drop
// counts rise.  Needs root; skips otherwise.
#include "bot_process.h"

#include <QProcess>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kLab = ZELLHOP_LAN_LAB;
constexpr int kLabImpossible = 3; // the lab's script: this machine cannot build it
constexpr int kForgerSeconds = 20;
constexpr int kGameMs = 50000;
const std::string kHostAddress = "10.27.1.2", kJoinerAddress = "10.27.1.3";
const std::string kForgerAddress = "10.27.1.9";

int Run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The lab, with the forger's namespace on its switch; the switch learns no
// addresses, so it floods every frame to every port, the forger's too.
class ForgerLab {
  public:
    ForgerLab() : name_("forger" + std::to_string(::getpid())) {
        exitCode_ = Run(kLab + " up " + name_);
        if (exitCode_ != 0)
            return;
        const std::string f = name_ + "-f", sw = name_ + "-sw";
        const char* steps[] = {"ip netns add F", "ip -n F link set lo up",
                               "ip -n F link add eth0 type veth peer name port-f netns SW",
                               "ip -n SW link set port-f master br0 up",
                               "ip -n F link set eth0 up",
                               "ip -n F addr add 10.27.1.9/24 dev eth0",
                               "ip -n F link set eth0 promisc on",
                               "ip netns exec SW bridge link set dev port-a learning off",
                               "ip netns exec SW bridge link set dev port-b learning off",
                               "ip netns exec SW bridge link set dev port-r learning off",
                               "ip netns exec SW bridge link set dev port-f learning off",
                               "ip -n SW link set br0 type bridge ageing_time 0"};
        for (std::string step : steps) {
            for (std::size_t at; (at = step.find('F')) != std::string::npos;)
                step.replace(at, 1, f);
            for (std::size_t at; (at = step.find("SW")) != std::string::npos;)
                step.replace(at, 2, sw);
            if (Run(step) != 0) {
                failedStep_ = step;
                return;
            }
        }
        // What it learnt while the lab came up goes (older iproute2 cannot say so).
        Run("ip netns exec " + sw + " bridge fdb flush dev br0 dynamic");
    }
    ~ForgerLab() {
        Run("ip netns del " + name_ + "-f");
        Run(kLab + " down " + name_);
    }
    ForgerLab(const ForgerLab&) = delete;
    ForgerLab& operator=(const ForgerLab&) = delete;

    bool Impossible() const { return exitCode_ == kLabImpossible; }
    // Empty when the lab stands; else what failed.
    std::string Failure() const {
        return exitCode_ != 0 ? "the lab could not be built: " + kLab : failedStep_;
    }
    // A program on host a or b, with settings (and so a key) of its own.
    std::vector<std::string> On(const std::string& host) const {
        return {kLab, "run", name_, host, "env", "XDG_CONFIG_HOME=/tmp/" + name_ + "-" + host};
    }
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
    int exitCode_ = -1;
    std::string failedStep_;
};

std::vector<std::string> Bot(const std::string& nickname, const std::string& address,
                             std::vector<std::string> role) {
    std::vector<std::string> args{"--nickname",      nickname, "--this-network",
                                  "--local-address", address,  "--lobby",
                                  "10.27.9.9:8080"};
    args.insert(args.end(), role.begin(), role.end());
    return args;
}

// "drops unsealed N forged N ..." read into its numbers by name.
std::map<std::string, int> Drops(const std::string& line) {
    std::map<std::string, int> counts;
    std::istringstream in(line.substr(std::string("drops ").size()));
    std::string name;
    int count = 0;
    while (in >> name >> count)
        counts[name] = count;
    return counts;
}

TEST(ForgerLan, AForgerOnTheSwitchChangesNothingAndIsCounted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: network namespaces (ip netns) and raw sockets";
    ForgerLab lab;
    if (lab.Impossible())
        GTEST_SKIP() << "needs network namespaces and iproute2 (ip netns), which this machine lacks";
    ASSERT_EQ(lab.Failure(), "");

    BotProcess host(Bot("Ann", kHostAddress, {"--host", "Lan", "--seats", "H--O--"}),
                    lab.On("a"));
    ASSERT_TRUE(host.WaitForLine("log ***Multiplayer game started. Waiting for 1 players"))
        << host.Output();
    // It forges from before the join to well into the game.
    QProcess forger;
    forger.start("ip", {"netns", "exec", QString::fromStdString(lab.Name() + "-f"),
                        ZELLHOP_FORGER_PROBE, "--as", QString::fromStdString(kJoinerAddress),
                        "--to", QString::fromStdString(kHostAddress), "--seconds",
                        QString::number(kForgerSeconds), "--every", "5"});
    ASSERT_TRUE(forger.waitForStarted());
    BotProcess joiner(Bot("Bob", kJoinerAddress, {"--join", "Lan"}), lab.On("b"));

    ASSERT_TRUE(host.WaitForLinePrefix("record ", kGameMs)) << host.Output();
    ASSERT_TRUE(joiner.WaitForLinePrefix("record ")) << joiner.Output() << "\nhost:" << host.Output();
    EXPECT_EQ(host.LineWithPrefix("won "), joiner.LineWithPrefix("won "));
    EXPECT_EQ(joiner.LineWithPrefix("record "), host.LineWithPrefix("record "));
    host.Send("board");
    joiner.Send("board");
    ASSERT_TRUE(host.WaitForLinePrefix("board"));
    ASSERT_TRUE(joiner.WaitForLinePrefix("board"));
    EXPECT_EQ(host.LineWithPrefix("board"), joiner.LineWithPrefix("board"));

    forger.waitForFinished((kForgerSeconds + 5) * 1000);
    const std::string forged = forger.readAllStandardOutput().toStdString();
    host.Send("drops");
    ASSERT_TRUE(host.WaitForLinePrefix("drops ")) << host.Output();
    const std::string drops = host.LineWithPrefix("drops ");
    std::cout << "forger: " << forged << "host: " << drops << "\n";
    const std::map<std::string, int> counts = Drops(drops);
    for (const char* counter : {"unsealed", "forged", "replayed", "refusedRequests"})
        EXPECT_GT(counts.contains(counter) ? counts.at(counter) : 0, 0) << counter << ": " << drops;
    EXPECT_EQ(host.LineWithPrefix("log ***Gave up"), "") << host.Output();
}

} // namespace
