// Whole games across home routers: two zellhop-bot programs in the router
// lab, the real lobby and coturn on the public side, a game played to a
// win.  Between programs of this version the join goes over an ICE path
// swapped through the lobby: punched where the routers allow it, through
// the relay where they do not.  Each case prints its join time.
#include "lab_process.h"
#include "relay_lab_suite.h"
#include "upnp_gateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>

namespace {

using std::chrono::milliseconds;
using TClock = std::chrono::steady_clock;

constexpr long kDirectJoinMs = 5000;
constexpr long kRelayedJoinMs = 8000;
constexpr milliseconds kGameTime{180000};
constexpr int kLobbyPort = 8080;

struct TAccount {
    const char* user;
    const char* password;
    const char* nickname;
};
constexpr TAccount kHost{"ann", "secret1", "Ann"};
constexpr TAccount kJoiner{"bob", "secret2", "Bob"};
constexpr TAccount kThird{"cid", "secret3", "Cid"};

class GameAcrossRouters : public TRelayLabSuite {
  protected:
    static void SetUpTestSuite() {
        if (!StartLab(false))
            return;
        const std::string folder = lab_->Folder();
        const std::string db = folder + "/lobby.db";
        for (const TAccount& account : {kHost, kJoiner, kThird})
            RunCommand({ZELLHOP_LOBBY_PROGRAM, "add-user", "--db", db, account.user, "--password",
                        account.password});
        const std::string secretFile = folder + "/turn-secret";
        std::ofstream(secretFile) << relay_->Secret() << "\n";
        std::filesystem::permissions(secretFile, std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write);
        lobby_ = std::make_unique<TLabProcess>(
            server_->machine,
            std::vector<std::string>{
                ZELLHOP_LOBBY_PROGRAM, "--db", db, "--listen",
                server_->public4 + ":" + std::to_string(kLobbyPort), "--quiet", "--key-file",
                folder + "/lobby.key", "--turn",
                server_->public4 + ":" + std::to_string(TTurnRelay::kPort), "--turn-secret-file",
                secretFile},
            folder + "/lobby.err");
        lobbyUp_ = lobby_->WaitFor("zellhop-lobby: listening", milliseconds(10000)).has_value();
    }
    static void TearDownTestSuite() {
        lobby_.reset();
        StopLab();
    }
    void SetUp() override {
        TRelayLabSuite::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(lobbyUp_) << ReadWholeFile(lab_->Folder() + "/lobby.err");
    }

    static std::unique_ptr<TLabProcess> Bot(const TLabSite& site, const TAccount& account,
                                            const std::vector<std::string>& role) {
        static int made = 0;
        return Bot(site, account, role, std::to_string(++made));
    }
    // The same tag is the same machine's program started again: the same
    // configuration folder, so the same key.
    static std::unique_ptr<TLabProcess> Bot(const TLabSite& site, const TAccount& account,
                                            const std::vector<std::string>& role,
                                            const std::string& tag) {
        std::vector<std::string> argv = {ZELLHOP_BOT_PROGRAM, "--nickname", account.nickname,
                                         "--user", account.user, "--password", account.password,
                                         "--lobby",
                                         server_->public4 + ":" + std::to_string(kLobbyPort)};
        argv.insert(argv.end(), role.begin(), role.end());
        // Each program keeps a key of its own, as on players' machines.
        return std::make_unique<TLabProcess>(
            site.machine, argv, lab_->Folder() + "/bot-" + tag + ".err",
            std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                     "XDG_CONFIG_HOME=" + lab_->Folder() + "/config" + tag});
    }

    static std::string Joined(const std::vector<std::string>& lines) {
        std::string all;
        for (const std::string& line : lines)
            all += line + "\n";
        return all;
    }

    struct TPlayed {
        long joinMs = -1;
        // Through the relay machine's outside interface (coturn, and the
        // lobby beside it) from the join to the win, and how long that was.
        uint64_t relayBytes = 0;
        double gameSeconds = 0;
        std::string hostPath, joinerPath; // the log's line naming the other's path
    };

    // A game between a host at `hostSite` and a joiner at `joinerSite`,
    // played to a win with the same record and board on both.
    static TPlayed Play(const TLabSite& hostSite, const TLabSite& joinerSite,
                        const std::string& game) {
        TPlayed played;
        auto host = Bot(hostSite, kHost, {"--host", game, "--seats", "H--O--"});
        EXPECT_TRUE(host->WaitFor("log ***Multiplayer game started", milliseconds(20000)))
            << Joined(host->Lines());
        auto joiner = Bot(joinerSite, kJoiner, {"--join", game});
        if (!joiner->WaitFor("log ***Trying to join remote computer", milliseconds(20000))) {
            ADD_FAILURE() << Joined(joiner->Lines());
            return played;
        }
        const TClock::time_point asked = TClock::now();
        const TTurnRelay::TTraffic before = relay_->Traffic();
        if (!joiner->WaitFor("log ***Connected to the server", milliseconds(30000))) {
            ADD_FAILURE() << Joined(joiner->Lines()) << "\nhost:\n" << Joined(host->Lines());
            return played;
        }
        played.joinMs =
            std::chrono::duration_cast<milliseconds>(TClock::now() - asked).count();
        const auto won = host->WaitFor("record ", kGameTime);
        EXPECT_TRUE(won) << Joined(host->Lines());
        const TTurnRelay::TTraffic after = relay_->Traffic();
        played.relayBytes = after.received - before.received + after.sent - before.sent;
        played.gameSeconds = std::chrono::duration<double>(TClock::now() - asked).count();
        const auto joinerWon = joiner->WaitFor("record ", milliseconds(30000));
        EXPECT_EQ(won, joinerWon);
        host->WriteLine("board");
        joiner->WriteLine("board");
        const auto board = host->WaitFor("board", milliseconds(10000));
        EXPECT_TRUE(board);
        EXPECT_EQ(board, joiner->WaitFor("board", milliseconds(10000)));
        for (const std::string& line : host->Lines())
            if (line.rfind("log *** Bob: ", 0) == 0 || line.rfind("log *** bob: ", 0) == 0)
                played.hostPath = line;
        for (const std::string& line : joiner->Lines())
            if (line.rfind("log *** Ann: ", 0) == 0 || line.rfind("log *** ann: ", 0) == 0)
                played.joinerPath = line;
        host->WriteLine("quit");
        joiner->WriteLine("quit");
        return played;
    }

    static inline std::unique_ptr<TLabProcess> lobby_;
    static inline bool lobbyUp_ = false;
};

TEST_F(GameAcrossRouters, EachPairOfRoutersGetsThePathItAllowsAndPlaysToAWin) {
    const struct {
        const char* what;
        TRouterKind host, joiner;
        bool ipv6;
        double loss;
        const char* path; // as the log names it on both ends
        long limitMs;
    } cases[] = {
        {"both behind port-keeping routers", TRouterKind::PortKeeping, TRouterKind::PortKeeping,
         false, 0, ": direct path", kDirectJoinMs},
        {"the joiner behind the symmetric router", TRouterKind::PortKeeping,
         TRouterKind::Symmetric, false, 0, ": through the relay", kRelayedJoinMs},
        {"the host behind a carrier NAT", TRouterKind::CarrierNat, TRouterKind::PortKeeping,
         false, 0, ": direct path", kDirectJoinMs},
        {"IPv6 on both sides", TRouterKind::PortKeeping, TRouterKind::PortKeeping, true, 0,
         ": direct path", kDirectJoinMs},
        {"5 % loss at both routers", TRouterKind::PortKeeping, TRouterKind::PortKeeping, false,
         0.05, ": direct path", kDirectJoinMs},
    };
    int game = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TLabSite host = lab_->AddSite(c.host, c.ipv6);
        const TLabSite joiner = lab_->AddSite(c.joiner, c.ipv6);
        if (c.loss > 0) {
            lab_->SetLoss(host, c.loss);
            lab_->SetLoss(joiner, c.loss);
        }
        const TPlayed played = Play(host, joiner, "Game" + std::to_string(++game));
        std::cout << "join, " << c.what << ": " << played.joinMs << " ms; relay machine "
                  << played.relayBytes << " B in " << played.gameSeconds << " s to the win\n";
        EXPECT_GE(played.joinMs, 0);
        EXPECT_LE(played.joinMs, c.limitMs);
        EXPECT_NE(played.hostPath.find(c.path), std::string::npos) << played.hostPath;
        EXPECT_NE(played.joinerPath.find(c.path), std::string::npos) << played.joinerPath;
    }
}

// The last line of the log that names `name`'s path, or "".
std::string PathLine(const TLabProcess& bot, const std::string& name) {
    std::string found;
    for (const std::string& line : bot.Lines())
        if (line.rfind("log *** " + name + ": ", 0) == 0)
            found = line;
    return found;
}

// The host won with `won`: the others hold the same record, and all the
// same board.
void ExpectTheSameEnd(const std::optional<std::string>& won, TLabProcess& host,
                      std::initializer_list<TLabProcess*> others) {
    for (TLabProcess* bot : others)
        EXPECT_EQ(won, bot->WaitFor("record ", milliseconds(30000)));
    host.WriteLine("board");
    for (TLabProcess* bot : others)
        bot->WriteLine("board");
    const auto board = host.WaitFor("board", milliseconds(10000));
    EXPECT_TRUE(board);
    for (TLabProcess* bot : others)
        EXPECT_EQ(board, bot->WaitFor("board", milliseconds(10000)));
}

// Three programs: every pair of members gets a path of its own (the host
// relays nothing), the pair with the symmetric router through the relay.
TEST_F(GameAcrossRouters, ThreeProgramsPlayToAWinOverAPathPerPair) {
    const TLabSite hostSite = lab_->AddSite(TRouterKind::PortKeeping, false);
    const TLabSite bobSite = lab_->AddSite(TRouterKind::PortKeeping, false);
    const TLabSite cidSite = lab_->AddSite(TRouterKind::Symmetric, false);
    auto host = Bot(hostSite, kHost, {"--host", "Three", "--seats", "H-O-O-"});
    ASSERT_TRUE(host->WaitFor("log ***Multiplayer game started", milliseconds(20000)))
        << Joined(host->Lines());
    auto bob = Bot(bobSite, kJoiner, {"--join", "Three"});
    ASSERT_TRUE(bob->WaitFor("log ***Connected to the server", milliseconds(30000)))
        << Joined(bob->Lines());
    auto cid = Bot(cidSite, kThird, {"--join", "Three"});
    ASSERT_TRUE(cid->WaitFor("log ***Connected to the server", milliseconds(30000)))
        << Joined(cid->Lines());
    const auto won = host->WaitFor("record ", kGameTime);
    ASSERT_TRUE(won) << Joined(host->Lines()) << "\nbob:\n"
                     << Joined(bob->Lines()) << "\ncid:\n"
                     << Joined(cid->Lines());
    ExpectTheSameEnd(won, *host, {bob.get(), cid.get()});
    EXPECT_NE(PathLine(*bob, "cid").find("through the relay"), std::string::npos)
        << Joined(bob->Lines());
    EXPECT_NE(PathLine(*cid, "bob").find("through the relay"), std::string::npos)
        << Joined(cid->Lines());
    EXPECT_NE(PathLine(*bob, "ann").find("direct path"), std::string::npos)
        << Joined(bob->Lines());
    for (TLabProcess* bot : {host.get(), bob.get(), cid.get()})
        bot->WriteLine("quit");
}

// A joiner of the written protocol knows nothing of paths: it gets in
// where the host's router forwards the game's port on the host's asking,
// and where none does it fails with the written texts, once.
TEST_F(GameAcrossRouters, AWrittenJoinerGetsInWhereTheHostsRouterForwardsThePort) {
    if (const auto why = TUpnpGateway::Unavailable())
        GTEST_SKIP() << *why;
    const TLabSite joinerSite = lab_->AddSite(TRouterKind::None, false);
    for (const bool forwarding : {true, false}) {
        SCOPED_TRACE(forwarding ? "a router that forwards" : "a router that does not");
        const TLabSite hostSite = lab_->AddSite(TRouterKind::PortKeeping, false);
        std::unique_ptr<TUpnpGateway> gateway;
        if (forwarding)
            gateway = std::make_unique<TUpnpGateway>(*lab_, hostSite, TUpnpGateway::TOptions{});
        const std::string game = forwarding ? "Forwarded" : "Closed";
        auto host = Bot(hostSite, kHost, {"--host", game, "--seats", "H--O--"});
        ASSERT_TRUE(host->WaitFor("log ***The router forwards", milliseconds(20000)))
            << Joined(host->Lines());
        EXPECT_EQ(host->Lines().back().find("log ***The router forwards port 3237") == 0,
                  forwarding)
            << host->Lines().back();
        auto joiner = Bot(joinerSite, kJoiner, {"--join", game, "--written", "1"});
        if (forwarding) {
            ASSERT_TRUE(joiner->WaitFor("log ***Connected to the server", milliseconds(30000)))
                << Joined(joiner->Lines());
            const auto won = host->WaitFor("record ", kGameTime);
            EXPECT_TRUE(won) << Joined(host->Lines());
            EXPECT_EQ(won, joiner->WaitFor("record ", milliseconds(30000)));
        } else {
            EXPECT_TRUE(joiner->WaitFor("log ***Couldn't reach the remote server",
                                        milliseconds(40000)))
                << Joined(joiner->Lines());
            EXPECT_FALSE(joiner->WaitFor("log ***Couldn't reach", milliseconds(5000)))
                << "said once";
        }
        host->WriteLine("quit");
        joiner->WriteLine("quit");
    }
}

// Behind home routers as joining is: a player killed mid-game (SIGKILL,
// nothing said) starts again on the same machine and takes his seat back
// over a new path, with 5 % loss at his router; a third account watches,
// and chats both ways.  Each comes back on the path its router allows, the
// relay included.  Every program ends with the same record.
TEST_F(GameAcrossRouters, AKilledPlayerComesBackAndAStrangerWatchesOnThePathTheirRoutersAllow) {
    const struct {
        TRouterKind bob, cid;
        const char *bobPath, *cidPath;
    } cases[] = {
        {TRouterKind::PortKeeping, TRouterKind::Symmetric, ": direct path", ": through the relay"},
        {TRouterKind::Symmetric, TRouterKind::CarrierNat, ": through the relay", ": direct path"},
    };
    int game = 0;
    for (const auto& c : cases) {
        const std::string name = "Back" + std::to_string(++game);
        SCOPED_TRACE(name);
        const TLabSite hostSite = lab_->AddSite(TRouterKind::PortKeeping, false);
        const TLabSite bobSite = lab_->AddSite(c.bob, false);
        const TLabSite cidSite = lab_->AddSite(c.cid, false);
        lab_->SetLoss(bobSite, 0.05);
        auto host =
            Bot(hostSite, kHost, {"--host", name, "--seats", "HC-O--", "--step-delay", "50"});
        ASSERT_TRUE(host->WaitFor("log ***Multiplayer game started", milliseconds(20000)))
            << Joined(host->Lines());
        const std::vector<std::string> bobRole{"--join", name, "--think", "300"};
        const std::string bobMachine = "bob-machine-" + name;
        auto bob = Bot(bobSite, kJoiner, bobRole, bobMachine);
        ASSERT_TRUE(bob->WaitFor("started", milliseconds(30000))) << Joined(bob->Lines());
        ASSERT_TRUE(bob->WaitFor("my turn", milliseconds(30000))) << Joined(bob->Lines());

        kill(bob->Pid(), SIGKILL);
        bob->Stop();
        const auto restarted = TClock::now();
        bob = Bot(bobSite, kJoiner, bobRole, bobMachine);
        ASSERT_TRUE(bob->WaitFor("started", milliseconds(30000))) << Joined(bob->Lines());
        std::cout << "restart to board, " << c.bobPath + 2 << ", 5 % loss: "
                  << std::chrono::duration_cast<milliseconds>(TClock::now() - restarted).count()
                  << " ms\n";
        const auto& bobSaid = bob->Lines();
        EXPECT_TRUE(std::any_of(bobSaid.begin(), bobSaid.end(), [](const std::string& line) {
            return line.rfind("log ***Back in the game", 0) == 0;
        })) << Joined(bobSaid);
        EXPECT_TRUE(host->WaitFor("log *** bob is back in the game", milliseconds(10000)))
            << Joined(host->Lines());
        EXPECT_NE(PathLine(*bob, "ann").find(c.bobPath), std::string::npos)
            << Joined(bob->Lines());

        auto cid = Bot(cidSite, kThird, {"--join", name});
        ASSERT_TRUE(cid->WaitFor("log ***Watching the game", milliseconds(30000)))
            << Joined(cid->Lines());
        EXPECT_NE(PathLine(*cid, "ann").find(c.cidPath), std::string::npos)
            << Joined(cid->Lines());
        cid->WriteLine("chat hello");
        EXPECT_TRUE(host->WaitFor("log cid (watching): hello", milliseconds(10000)))
            << Joined(host->Lines());
        bob->WriteLine("chat welcome");
        EXPECT_TRUE(cid->WaitFor("log bob: welcome", milliseconds(10000)))
            << Joined(cid->Lines());

        const auto won = host->WaitFor("record ", kGameTime);
        ASSERT_TRUE(won) << Joined(host->Lines()) << "\nbob:\n" << Joined(bob->Lines());
        EXPECT_EQ(won, bob->WaitFor("record ", milliseconds(30000)));
        EXPECT_EQ(won, cid->WaitFor("record ", milliseconds(30000)));
        for (TLabProcess* bot : {host.get(), bob.get(), cid.get()})
            bot->WriteLine("quit");
    }
}

// Everything at once: three programs, one behind the symmetric router, 5 %
// of datagrams lost at every router, a forger on the host's router who
// copies what Bob sends the host and sends forgeries in Bob's name, and a
// lobby that stops answering once the game is under way (and its paths
// are there).  The game is the
// players' alone: it is won with the same record and board everywhere, and
// nobody is given up.
TEST_F(GameAcrossRouters, ThreeProgramsWinThroughLossAForgerOnThePathAndALobbyThatHangs) {
    const TLabSite hostSite = lab_->AddSite(TRouterKind::PortKeeping, false);
    const TLabSite bobSite = lab_->AddSite(TRouterKind::PortKeeping, false);
    const TLabSite cidSite = lab_->AddSite(TRouterKind::Symmetric, false);
    for (const TLabSite* site : {&hostSite, &bobSite, &cidSite})
        lab_->SetLoss(*site, 0.05);
    auto host = Bot(hostSite, kHost, {"--host", "Storm", "--seats", "H-O-O-"});
    ASSERT_TRUE(host->WaitFor("log ***Multiplayer game started", milliseconds(20000)))
        << Joined(host->Lines());
    auto bob = Bot(bobSite, kJoiner, {"--join", "Storm"});
    ASSERT_TRUE(bob->WaitFor("log ***Connected to the server", milliseconds(30000)))
        << Joined(bob->Lines());
    auto cid = Bot(cidSite, kThird, {"--join", "Storm"});
    ASSERT_TRUE(cid->WaitFor("started", milliseconds(30000))) << Joined(cid->Lines());
    const auto started = TClock::now();
    // The joiners' own path is swapped through the lobby too: it hangs
    // once the paths are there.  Cid may have its path to Bob before the
    // start is announced, so the lines already read count.
    ASSERT_TRUE(bob->Saw("log *** cid: ", milliseconds(20000))) << Joined(bob->Lines());
    ASSERT_TRUE(cid->Saw("log *** bob: ", milliseconds(20000))) << Joined(cid->Lines());

    // The lobby hangs: it takes connections and answers nothing.
    struct THung {
        pid_t lobby;
        explicit THung(pid_t pid) : lobby(pid) { kill(lobby, SIGSTOP); }
        ~THung() { kill(lobby, SIGCONT); }
    } hung(lobby_->Pid());
    TLabProcess forger(hostSite.router,
                       {ZELLHOP_FORGER_PROBE, "--as", bobSite.public4, "--to", hostSite.public4,
                        "--deliver", hostSite.address4, "--port", "0", "--seconds", "20",
                        "--every", "5"},
                       lab_->Folder() + "/forger.err");
    ASSERT_TRUE(forger.WaitFor("capturing", milliseconds(10000)))
        << ReadWholeFile(lab_->Folder() + "/forger.err");

    const auto won = host->WaitFor("record ", kGameTime);
    ASSERT_TRUE(won) << Joined(host->Lines()) << "\nbob:\n"
                     << Joined(bob->Lines()) << "\ncid:\n"
                     << Joined(cid->Lines());
    const double gameSeconds = std::chrono::duration<double>(TClock::now() - started).count();
    ExpectTheSameEnd(won, *host, {bob.get(), cid.get()});
    for (TLabProcess* bot : {host.get(), bob.get(), cid.get()})
        for (const std::string& line : bot->Lines())
            EXPECT_EQ(line.find("has timed out"), std::string::npos) << line;

    const auto forged = forger.WaitFor("forged ", milliseconds(30000));
    ASSERT_TRUE(forged) << ReadWholeFile(lab_->Folder() + "/forger.err");
    host->WriteLine("drops");
    const auto drops = host->WaitFor("drops ", milliseconds(10000));
    EXPECT_TRUE(drops);
    std::cout << "storm: won in " << gameSeconds << " s after the start; forger " << *forged
              << "; host " << drops.value_or("") << "\n";
    for (TLabProcess* bot : {host.get(), bob.get(), cid.get()})
        bot->WriteLine("quit");
}

} // namespace
