// Games on this network across real network namespaces (tests/lab): two
// hosts on one switch see each other's game; a host behind a router does
// not, though plain datagrams between them pass.  Needs root.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kLab = ZELLHOP_LAN_LAB;
const std::string kProbe = ZELLHOP_LAN_PROBE;

// A program started on a host of the lab, read when it has ended.
class Started {
  public:
    explicit Started(const std::string& command) : pipe_(::popen(command.c_str(), "r")) {}
    ~Started() {
        if (pipe_)
            ::pclose(pipe_);
    }
    std::string Output() {
        std::string text;
        char buffer[512];
        while (pipe_ && std::fgets(buffer, sizeof buffer, pipe_))
            text += buffer;
        if (pipe_)
            ::pclose(pipe_);
        pipe_ = nullptr;
        return text;
    }

  private:
    FILE* pipe_;
};

// The lab's script says 3 when this machine cannot build it at all.
constexpr int kLabImpossible = 3;

class Lab {
  public:
    Lab() : name_("lanlab" + std::to_string(::getpid())) {
        const int status = std::system((kLab + " up " + name_ + " >/dev/null 2>&1").c_str());
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Lab() { std::system((kLab + " down " + name_ + " >/dev/null 2>&1").c_str()); }
    bool Up() const { return exitCode_ == 0; }
    bool Impossible() const { return exitCode_ == kLabImpossible; }
    std::string On(const std::string& host, const std::string& probeArguments) const {
        return kLab + " run " + name_ + " " + host + " " + kProbe + " " + probeArguments + " 2>&1";
    }

  private:
    std::string name_;
    int exitCode_ = -1;
};

TEST(LanLab, AGameIsSeenOnItsSwitchAndNotBehindTheRouter) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: network namespaces (ip netns)";
    Lab lab;
    if (lab.Impossible())
        GTEST_SKIP()
            << "needs network namespaces and iproute2 (ip netns), which this machine lacks";
    ASSERT_TRUE(lab.Up()) << "the lab could not be built: " << kLab;

    // The router passes plain datagrams from a to c, on the game's port.
    {
        Started hearing(lab.On("c", "hear 10.27.2.2 3237 2000"));
        ::usleep(300 * 1000);
        EXPECT_EQ(std::system(lab.On("a", "tell 10.27.1.2 10.27.2.2 3237 >/dev/null").c_str()), 0);
        EXPECT_EQ(hearing.Output(), "heard 10.27.1.2\nend\n");
    }

    Started onSwitch(lab.On("b", "watch 10.27.1.3 4000"));
    Started behindRouter(lab.On("c", "watch 10.27.2.2 4000"));
    ::usleep(300 * 1000);
    EXPECT_EQ(std::system(lab.On("a", "announce 10.27.1.2 Lab 2500 >/dev/null").c_str()), 0);
    // b sees the game from a's address, then its withdrawal; c nothing.
    EXPECT_EQ(onSwitch.Output(), "list: 10.27.1.2 Lab 1/2;\nlist:\nend\n");
    EXPECT_EQ(behindRouter.Output(), "end\n");
}

} // namespace
