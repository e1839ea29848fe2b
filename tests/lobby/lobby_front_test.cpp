// The lobby's HTTP side against hostile and heavy clients: raw bytes on
// loopback connections, some from chosen source addresses (127.0.41.x).
#include "lobby_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <mutex>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace req = game_requests;

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Whether the server has closed the connection (it reads as the end).
bool ClosedByServer(int socket, std::chrono::milliseconds wait) {
    pollfd ready{socket, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0)
        return false;
    char byte;
    return recv(socket, &byte, 1, MSG_DONTWAIT) <= 0;
}

TEST(LobbyFront, KeepsConnectionsAliveOnlyForClientsThatAsk) {
    RunningLobby lobby;
    const std::string page = "GET /main.php?pageno=101 HTTP/1.";
    const struct {
        std::string bytes;
        int replies;
        bool closed;
    } cases[] = {
        {page + "1\r\nHost: x\r\n\r\n", 1, false},
        {page + "1\r\nHost: x\r\n\r\n" + page + "1\r\nHost: x\r\n\r\n", 2, false},
        {page + "1\r\nHost: x\r\n\r\n" + page + "1\r\nHost: x\r\nConnection: close\r\n\r\n", 2,
         true},
        {page + "0\r\n\r\n", 1, true},
        {page + "0\r\nConnection: keep-alive\r\n\r\n", 1, false},
    };
    for (const auto& c : cases) {
        const RawReply reply = RawExchange(lobby.Port(), c.bytes, 500ms);
        EXPECT_EQ(CountOf(reply.bytes, " 200 OK\r\n"), c.replies) << c.bytes;
        EXPECT_EQ(reply.closed, c.closed) << c.bytes;
    }
}

TEST(LobbyFront, RangeIsIgnoredAndTheWholeReplyComesOnce) {
    RunningLobby lobby;
    const std::string plain =
        "GET /main.php?pageno=100 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    std::string ranges = "Range: bytes=0-";
    while (ranges.size() < 7000)
        ranges += ",0-";
    const RawReply whole = RawExchange(lobby.Port(), plain + "\r\n");
    const RawReply asked = RawExchange(lobby.Port(), plain + ranges + "\r\n\r\n");
    EXPECT_NE(asked.bytes.find("HTTP/1.1 200 OK\r\n"), std::string::npos)
        << asked.bytes.substr(0, 200);
    EXPECT_EQ(asked.bytes.size(), whole.bytes.size());
    EXPECT_EQ(asked.bytes.find("multipart"), std::string::npos);
}

TEST(LobbyFront, TheLogShowsEachRequestOnOneLineWithItsBytesEscaped) {
    std::mutex mutex;
    std::vector<std::string> lines;
    RunningLobby lobby(RunningLobby::TestLobbySettings(), RunningLobby::TestServerSettings(),
                       [&](const std::string& line) {
                           std::lock_guard lock(mutex);
                           lines.push_back(line);
                       });
    lobby.Get("/tavlo/x%0a127.0.0.9%20GET%20/forged%20200%00%ff.php?password=secret");
    RawExchange(lobby.Port(), "GET /raw\x01\x1b[2J\xff.php HTTP/1.1\r\nHost: x\r\n\r\n", 300ms);
    RawExchange(lobby.Port(), "GET /split\nX-Evil: 1 HTTP/1.1\r\n\r\n", 300ms);
    lobby.Get("/tavlo/getgames.php?mysessid=x&gametype=1");
    std::lock_guard lock(mutex);
    const std::string all = [&] {
        std::string joined;
        for (const std::string& line : lines)
            joined += line + "\n";
        return joined;
    }();
    EXPECT_EQ(lines.size(), 4u) << all;
    for (const std::string& line : lines) {
        for (const char c : line)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << all;
        EXPECT_EQ(line.find("secret"), std::string::npos) << all;
    }
    EXPECT_NE(all.find("127.0.0.1 GET /tavlo/x%0a127.0.0.9%20GET%20/forged%20200%00%ff.php 404\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("127.0.0.1 GET /tavlo/getgames.php 200\n"), std::string::npos) << all;
}

TEST(LobbyFront, ConnectionsBeyondTheLimitsAreAnswered503AndClosed) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.maxConnections = 5;
    settings.maxConnectionsPerAddress = 3;
    RunningLobby lobby(RunningLobby::TestLobbySettings(), settings);
    std::vector<int> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(OpenConnection(lobby.Port(), "127.0.41.1"));
    const std::string request = "GET /main.php?pageno=101 HTTP/1.1\r\nHost: x\r\n\r\n";
    std::this_thread::sleep_for(100ms); // the server has taken the three
    const RawReply fourth = RawExchange(lobby.Port(), request, 2000ms, "127.0.41.1");
    EXPECT_TRUE(fourth.bytes.starts_with("HTTP/1.1 503 Service Unavailable\r\n")) << fourth.bytes;
    EXPECT_NE(fourth.bytes.find("Retry-After: 5\r\n"), std::string::npos);
    EXPECT_TRUE(fourth.closed);

    EXPECT_NE(RawExchange(lobby.Port(), request, 300ms, "127.0.41.2").bytes.find(" 200 OK"),
              std::string::npos);
    held.push_back(OpenConnection(lobby.Port(), "127.0.41.2"));
    held.push_back(OpenConnection(lobby.Port(), "127.0.41.3"));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(RawExchange(lobby.Port(), request, 2000ms, "127.0.41.4")
                    .bytes.starts_with("HTTP/1.1 503 "));
    for (const int socket : held)
        close(socket);
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(RawExchange(lobby.Port(), request, 300ms, "127.0.41.1").bytes.find(" 200 OK"),
              std::string::npos);
}

TEST(LobbyFront, RequestsBeyondTheRateOfAnAddressAreAnswered429) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.requestsPerAddress = {1, 3};
    RunningLobby lobby(RunningLobby::TestLobbySettings(), settings);
    const std::string request =
        "GET /main.php?pageno=101 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(RawExchange(lobby.Port(), request, 300ms, "127.0.41.5").bytes.find(" 200 OK"),
                  std::string::npos);
    const RawReply over = RawExchange(lobby.Port(), request, 300ms, "127.0.41.5");
    EXPECT_TRUE(over.bytes.starts_with("HTTP/1.1 429 Too Many Requests\r\n")) << over.bytes;
    EXPECT_NE(over.bytes.find("Retry-After: 1\r\n"), std::string::npos);
    EXPECT_NE(RawExchange(lobby.Port(), request, 300ms, "127.0.41.6").bytes.find(" 200 OK"),
              std::string::npos);
}

TEST(LobbyFront, SlowHeadersAreCutAtTheDeadlineCountedFromAccept) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.requestDeadline = 1s;
    RunningLobby lobby(RunningLobby::TestLobbySettings(), settings);
    const int slow = OpenConnection(lobby.Port());
    const auto accepted = std::chrono::steady_clock::now();
    const std::string head = "GET /main.php?pageno=101 HTTP/1.1\r\nX-Slow: ";
    send(slow, head.data(), head.size(), MSG_NOSIGNAL);
    // A byte every 100 ms: well within any time-out per read, never done.
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - accepted < 5s) {
        send(slow, "a", 1, MSG_NOSIGNAL);
        closed = ClosedByServer(slow, 100ms);
    }
    close(slow);
    EXPECT_TRUE(closed);
    const auto held = std::chrono::steady_clock::now() - accepted;
    EXPECT_GE(held, 900ms);
    EXPECT_LT(held, 2500ms);
    EXPECT_EQ(lobby.Get("/main.php?pageno=101").status, 200);
}

TEST(LobbyFront, ATrustedProxyNamesTheClientForListingAndLimits) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.trustedProxies.Add(AddressRange::Parse("127.0.41.10"));
    settings.requestsPerAddress = {0.01, 2};
    settings.maxConnectionsPerAddress = 1;
    RunningLobby lobby(RunningLobby::TestLobbySettings(), settings);
    const auto viaProxy = [&](const std::string& source, const std::string& forwardedFor,
                              const std::string& target) {
        return RawExchange(lobby.Port(),
                           "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                               "X-Forwarded-For: " + forwardedFor + "\r\n\r\n",
                           10s, source)
            .bytes;
    };
    lobby.Store().AddPlayer("host", lobby.Hasher().Hash("password1"), 0);
    const std::string login =
        viaProxy("127.0.41.10", "203.0.113.1", req::Login("host", "password1"));
    const LoginResult host = ParseLogin(login.substr(login.find("\r\n\r\n") + 4));
    ASSERT_EQ(host.outcome, '0') << login;
    const std::string publish = req::CreateGame(host.session, "Proxied", "130000");
    const std::string list = req::ListGames(host.session);

    // An untrusted peer's header is ignored.
    viaProxy("127.0.41.11", "203.0.113.7", publish);
    EXPECT_NE(viaProxy("127.0.41.11", "203.0.113.7", list).find("Proxied\n1/2\n127.0.41.11\n"),
              std::string::npos);
    // Through the proxy the right-most address it did not add is the client.
    viaProxy("127.0.41.10", "198.51.100.1, 203.0.113.7", publish);
    EXPECT_NE(viaProxy("127.0.41.10", "203.0.113.7", list).find("Proxied\n1/2\n203.0.113.7\n"),
              std::string::npos);
    // Limits count the clients behind it, each on its own.
    EXPECT_NE(viaProxy("127.0.41.10", "203.0.113.7", list).find(" 429 "), std::string::npos);
    EXPECT_NE(viaProxy("127.0.41.10", "203.0.113.8", list).find(" 200 "), std::string::npos);
    // The proxy may hold many connections.
    const int first = OpenConnection(lobby.Port(), "127.0.41.10");
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(viaProxy("127.0.41.10", "203.0.113.9", list).find(" 200 "), std::string::npos);
    close(first);
}

TEST(LobbyFront, RequestsBeyondTheWaitingRoomOfTheWorkersAreAnswered503) {
    ServerSettings settings = RunningLobby::TestServerSettings();
    settings.threads = 1;
    settings.maxQueued = 1;
    RunningLobby lobby(RunningLobby::TestLobbySettings(), settings);
    const LoginResult host = lobby.NewPlayer("host");
    // Another process's writer holds the database: a publication waits.
    auto database = SqlDatabase::Open(lobby.DatabasePath(), 1);
    std::optional<SqlDatabase::Lease> writer(std::in_place, *database, true);
    std::vector<std::thread> clients;
    std::vector<int> statuses(3, 0);
    for (int i = 0; i < 3; ++i) {
        clients.emplace_back([&, i] {
            statuses[i] =
                lobby.Get(req::CreateGame(host.session, "G" + std::to_string(i), "130000")).status;
        });
        std::this_thread::sleep_for(200ms);
    }
    writer.reset();
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 503}));
}

} // namespace
