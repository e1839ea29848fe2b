#include "http_client.h"
#include "http_errors.h"
#include "scripted_server.h"

#include <chrono>
#include <gtest/gtest.h>
#include <typeindex>

namespace {

constexpr int kTestTimeoutMs = 2000;
const std::string kLobbyHeaders = "Host: 127.0.0.1\r\n"
                                  "Accept: text/html, */*\r\n"
                                  "User-Agent: Mozilla/3.0 (compatible; Zellhop)\r\n"
                                  "\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

// The client as the main window sets it up, aimed at a test server.
void Aim(THttpClient& http, const TScriptedServer& server, int timeoutMs = kTestTimeoutMs) {
    http.Host = "127.0.0.1";
    http.Port = server.Port();
    http.HandleRedirects = true;
    http.Timeout = timeoutMs;
}

// What every lobby request does: connect, GET, disconnect also on error.
std::string LobbyGet(THttpClient& http, const std::string& target) {
    http.Connect();
    try {
        std::string body = http.Get(target);
        http.Disconnect();
        return body;
    } catch (...) {
        http.Disconnect();
        throw;
    }
}

std::string Repeat(char ch, size_t count) {
    return std::string(count, ch);
}

std::string HeaderLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += "X-H" + std::to_string(i) + ": v\r\n";
    return lines;
}

// --- the request on the wire -------------------------------------------

TEST(HttpClient, LobbyRequestGoesOutAsExactlyFiveLines) {
    struct {
        const char* target;
        const char* requestLine;
    } const cases[] = {
        {"tavlo/tavlologin2.php?username=ann&password=pw&progversion=1.4.0.5",
         "GET /tavlo/tavlologin2.php?username=ann&password=pw&progversion=1.4.0.5 HTTP/1.1"},
        {"/tavlo/getgames.php?mysessid=abc&gametype=1",
         "GET /tavlo/getgames.php?mysessid=abc&gametype=1 HTTP/1.1"},
        {"tavlo/tavlologin2.php?username=a\\b&password=c\\d&progversion=1.00",
         "GET /tavlo/tavlologin2.php?username=a/b&password=c/d&progversion=1.00 HTTP/1.1"},
        {"tavlo/tavlologin2.php?username=ann&password=p#w&progversion=1.4.0.5",
         "GET /tavlo/tavlologin2.php?username=ann&password=p HTTP/1.1"},
        {"tavlo/tavlologin2.php?username=ann&password=p#w/x&progversion=1.4.0.5",
         "GET /tavlo/tavlologin2.php?username=ann&password=p#w/x&progversion=1.4.0.5 HTTP/1.1"},
    };
    for (const auto& c : cases) {
        TScriptedServer server({{{kOk}}});
        THttpClient http;
        Aim(http, server);
        EXPECT_EQ(LobbyGet(http, c.target), "ok");
        EXPECT_EQ(server.Requests(),
                  std::vector<std::string>{std::string(c.requestLine) + "\r\n" + kLobbyHeaders})
            << c.target;
    }
}

TEST(HttpClient, ProtocolVersion10AsksForHttp10AndCloses) {
    TScriptedServer server({{{kOk, TAfterReply::Stall}}});
    THttpClient http;
    Aim(http, server);
    http.ProtocolVersion = THttpProtocolVersion::pv1_0;
    http.Connect();
    EXPECT_EQ(http.Get("/a.php"), "ok");
    EXPECT_FALSE(http.Connected());
    EXPECT_EQ(server.Requests(),
              std::vector<std::string>{"GET /a.php HTTP/1.0\r\n" + kLobbyHeaders});
}

TEST(HttpClient, RequestWithALineBreakIsRefusedBeforeAnythingIsSent) {
    TScriptedServer server({{{kOk}}});
    THttpClient http;
    Aim(http, server);
    for (const char* target : {"/x?username=a\r\nX-Evil: 1", "/x?username=a\nb", "/x?u=a\rb"})
        EXPECT_THROW(LobbyGet(http, target), EHttpRequestError) << target;
    http.Request.ExtraHeaders = {"X-A: 1\r\nX-B: 2"};
    EXPECT_THROW(LobbyGet(http, "/x"), EHttpRequestError);
    EXPECT_TRUE(server.Requests().empty());
}

// --- reading the reply ---------------------------------------------------

TEST(HttpClient, ReadsTheBodyAsTheReplyFramesIt) {
    struct {
        const char* name;
        std::string reply;
        TAfterReply after;
        std::string body;
        bool stillConnected;
    } const cases[] = {
        {"Content-Length 5 reads exactly five bytes",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n1\nabc", TAfterReply::Stall, "1\nabc", true},
        {"Content-Length 0 is an empty body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         TAfterReply::Stall, "", true},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n1\n\r\n3\r\nabc\r\n0\r\n\r\n",
         TAfterReply::Stall, "1\nabc", true},
        {"chunked in other letters",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         TAfterReply::Stall, "abc", true},
        {"read to the close", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n1\nabc",
         TAfterReply::Close, "1\nabc", false},
        {"HTTP/1.0 leaves the connection closed", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc",
         TAfterReply::Stall, "abc", false},
        {"Connection: close leaves it closed",
         "HTTP/1.1 200 OK\r\nConnection:  Close \r\nContent-Length: 3\r\n\r\nabc",
         TAfterReply::Stall, "abc", false},
        {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", TAfterReply::Stall, "", true},
        {"a line of 8192 bytes is accepted",
         "HTTP/1.1 200 OK\r\nX-Long: " + Repeat('a', 8192 - 9) + "\r\nContent-Length: 1\r\n\r\nx",
         TAfterReply::Stall, "x", true},
        {"100 header lines are accepted",
         "HTTP/1.1 200 OK\r\n" + HeaderLines(99) + "Content-Length: 1\r\n\r\nx", TAfterReply::Stall,
         "x", true},
        {"a body of 1 MiB is accepted", "HTTP/1.1 200 OK\r\n\r\n" + Repeat('b', 1 << 20),
         TAfterReply::Close, Repeat('b', 1 << 20), false},
    };
    for (const auto& c : cases) {
        TScriptedServer server({{{c.reply, c.after}}});
        THttpClient http;
        Aim(http, server);
        http.Connect();
        EXPECT_EQ(http.Get("/r.php"), c.body) << c.name;
        EXPECT_EQ(http.Connected(), c.stillConnected) << c.name;
    }
}

TEST(HttpClient, BytesBeyondTheCountedBodyStayForTheNextReply) {
    TScriptedServer server({{
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n1\nabc"
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nxy",
         TAfterReply::KeepOpen},
        {"", TAfterReply::KeepOpen},
    }});
    THttpClient http;
    Aim(http, server);
    http.Connect();
    EXPECT_EQ(http.Get("/one.php"), "1\nabc");
    EXPECT_EQ(http.Get("/two.php"), "xy");
}

TEST(HttpClient, KeepsAnHttp11ConnectionForTheNextRequests) {
    TScriptedServer server({{
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\nX-Sum: 1\r\n\r\n",
         TAfterReply::KeepOpen},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb", TAfterReply::KeepOpen},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", TAfterReply::KeepOpen},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nc", TAfterReply::KeepOpen},
    }});
    THttpClient http;
    Aim(http, server);
    http.Connect();
    EXPECT_EQ(http.Get("/1"), "a");
    EXPECT_EQ(http.Get("/2"), "b");
    EXPECT_THROW(http.Get("/3"), EHttpProtocolError);
    EXPECT_EQ(http.Get("/4"), "c");
    EXPECT_EQ(server.ConnectionsAccepted(), 1);
    EXPECT_EQ(server.Requests().size(), 4u);
}

TEST(HttpClient, PlainPathsKeepTheConfiguredPort) {
    TScriptedServer server({{{kOk}}, {{kOk}}});
    THttpClient http;
    Aim(http, server);
    EXPECT_EQ(LobbyGet(http, "/tavlo/getgames.php?mysessid=s&gametype=1"), "ok");
    EXPECT_EQ(http.Port, server.Port());
    EXPECT_EQ(LobbyGet(http, "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5"), "ok");
    EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

// --- redirects -------------------------------------------------------------

TEST(HttpClient, Follows302ToItsLocation) {
    struct {
        const char* location;
        const char* requestLine;
        const char* host;
    } const cases[] = {
        {"/tavlo/next.php?a=1", "GET /tavlo/next.php?a=1 HTTP/1.1", "127.0.0.1"},
        {"next.php", "GET /next.php HTTP/1.1", "127.0.0.1"},
        {"http://127.0.0.1:{port}/tavlo/next.php", "GET /tavlo/next.php HTTP/1.1", "127.0.0.1"},
        {"http://LOCALHOST:{port}/n.php", "GET /n.php HTTP/1.1", "LOCALHOST"},
    };
    for (const auto& c : cases) {
        // The redirect keeps its connection; a Location with another host
        // name is reached on a second one.
        const std::string redirect = "HTTP/1.1 302 Found\r\nLocation: " + std::string(c.location) +
                                     "\r\nContent-Length: 4\r\n\r\ngone";
        TScriptedServer server({{{redirect, TAfterReply::KeepOpen}, {kOk}}, {{kOk}}});
        THttpClient http;
        Aim(http, server);
        EXPECT_EQ(LobbyGet(http, "/tavlo/old.php"), "ok") << c.location;
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u) << c.location;
        EXPECT_EQ(requests[1], std::string(c.requestLine) + "\r\nHost: " + c.host + "\r\n" +
                                   kLobbyHeaders.substr(kLobbyHeaders.find("Accept")))
            << c.location;
        EXPECT_EQ(http.Host, c.host);
        EXPECT_EQ(http.Port, server.Port());
        EXPECT_EQ(server.ConnectionsAccepted(), http.Host == "LOCALHOST" ? 2 : 1) << c.location;
    }
}

TEST(HttpClient, RedirectToAnotherServerMovesHostAndPortForLaterRequests) {
    TScriptedServer target({{{kOk}}, {{kOk}}});
    const std::string location =
        "http://127.0.0.1:" + std::to_string(target.Port()) + "/tavlo/moved.php";
    TScriptedServer origin({{{"HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
                                  "\r\nContent-Length: 0\r\n\r\n",
                              TAfterReply::KeepOpen}}});
    THttpClient http;
    Aim(http, origin);
    EXPECT_EQ(LobbyGet(http, "/tavlo/getgames.php"), "ok");
    EXPECT_EQ(http.Port, target.Port());
    EXPECT_EQ(LobbyGet(http, "/tavlo/refreshgame.php"), "ok");
    EXPECT_EQ(target.Requests().size(), 2u);
    EXPECT_EQ(origin.Requests().size(), 1u);
}

TEST(HttpClient, RedirectChainStopsAtTheMaximum) {
    struct {
        bool handleRedirects;
        int redirectMaximum;
        size_t requests;
        const char* result; // nullptr: EHttpProtocolError "302 Found"
    } const cases[] = {
        {true, 15, 15, "hop 15"}, // 14 followed, the 15th reply is the result
        {true, 3, 3, "hop 3"},
        {true, 1, 1, "hop 1"},
        {false, 15, 1, nullptr},
    };
    for (const auto& c : cases) {
        TConnectionScript hops;
        for (int i = 1; i <= 16; ++i) {
            const std::string body = "hop " + std::to_string(i);
            hops.push_back({"HTTP/1.1 302 Found\r\nLocation: /hop" + std::to_string(i + 1) +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                body,
                            TAfterReply::KeepOpen});
        }
        TScriptedServer server({hops, hops});
        THttpClient http;
        Aim(http, server);
        http.HandleRedirects = c.handleRedirects;
        http.RedirectMaximum = c.redirectMaximum;
        // Twice: every call counts its redirects afresh.
        for (int call = 0; call < 2; ++call) {
            if (c.result) {
                EXPECT_EQ(LobbyGet(http, "/hop1"), c.result);
                EXPECT_EQ(http.ReplyCode(), 302);
                continue;
            }
            try {
                LobbyGet(http, "/hop1");
                ADD_FAILURE() << "no error";
            } catch (const EHttpProtocolError& e) {
                EXPECT_STREQ(e.what(), "302 Found");
                EXPECT_EQ(e.ErrorCode(), 302);
            }
        }
        EXPECT_EQ(server.Requests().size(), 2 * c.requests) << c.redirectMaximum;
    }
}

TEST(HttpClient, RedirectFromAClosingServerReconnects) {
    for (const char* head : {"HTTP/1.1 302 Found\r\nConnection: close", "HTTP/1.0 302 Found"}) {
        TScriptedServer server(
            {{{std::string(head) + "\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n",
               TAfterReply::Stall}},
             {{kOk}}});
        THttpClient http;
        Aim(http, server);
        EXPECT_EQ(LobbyGet(http, "/a"), "ok") << head;
        EXPECT_EQ(server.ConnectionsAccepted(), 2) << head;
    }
}

TEST(HttpClient, RedirectWithoutLocationIsNotFollowed) {
    TScriptedServer server(
        {{{"HTTP/1.1 301 Moved Permanently\r\nContent-Length: 0\r\n\r\n", TAfterReply::KeepOpen}}});
    THttpClient http;
    Aim(http, server);
    try {
        LobbyGet(http, "/a");
        FAIL() << "no error";
    } catch (const EHttpProtocolError& e) {
        EXPECT_STREQ(e.what(), "301 Moved Permanently");
    }
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpClient, HttpsTargetOrLocationFailsWithTheInterceptError) {
    TScriptedServer server({{{"HTTP/1.1 302 Found\r\nLocation: "
                              "https://127.0.0.1/x\r\nContent-Length: 0\r\n\r\n"}}});
    THttpClient http;
    Aim(http, server);
    for (const char* target : {"/a", "https://127.0.0.1/b", "HTTPS://127.0.0.1/c"}) {
        try {
            LobbyGet(http, target);
            ADD_FAILURE() << "no error for " << target;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Intercept value is not valid") << target;
        }
    }
    EXPECT_EQ(server.Requests().size(), 1u);
}

// --- errors ----------------------------------------------------------------

struct TErrorCase {
    const char* name;
    std::string reply;
    TAfterReply after;
    std::type_index type;
    std::string message;
};

void ExpectGetFails(const TErrorCase& c, int timeoutMs = kTestTimeoutMs) {
    TScriptedServer server({{{c.reply, c.after}}});
    THttpClient http;
    Aim(http, server, timeoutMs);
    http.Connect();
    try {
        http.Get("/tavlo/getgames.php");
        ADD_FAILURE() << c.name << ": no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::type_index(typeid(e)), c.type) << c.name << ": " << e.what();
        EXPECT_EQ(e.what(), c.message) << c.name;
    }
    // A reply that broke off leaves nothing half-read on an open connection.
    if (c.type != typeid(EHttpProtocolError)) {
        EXPECT_FALSE(http.Connected()) << c.name;
    }
}

TEST(HttpClient, FailedRepliesRaiseTheirErrors) {
    const TErrorCase cases[] = {
        {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here.", TAfterReply::Stall,
         typeid(EHttpProtocolError), "404 Not Found"},
        {"304 without Location", "HTTP/1.1 304 Not Modified\r\n\r\n", TAfterReply::Stall,
         typeid(EHttpProtocolError), "304 Not Modified"},
        {"500 from HTTP/1.0", "HTTP/1.0 500 Internal Server Error\r\n\r\noops", TAfterReply::Close,
         typeid(EHttpProtocolError), "500 Internal Server Error"},
        {"code not a number", "HTTP/1.1 OK\r\nContent-Length: 0\r\n\r\n", TAfterReply::Stall,
         typeid(EConvertError), "'OK' n'est pas une valeur entière correcte"},
        {"close before the status line", "", TAfterReply::Close, typeid(EConnClosedGracefully),
         "Connection Closed Gracefully."},
        {"close inside the headers", "HTTP/1.1 200 OK\r\nContent-Le", TAfterReply::Close,
         typeid(EConnClosedGracefully), "Connection Closed Gracefully."},
        {"close inside a counted body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
         TAfterReply::Close, typeid(EConnClosedGracefully), "Connection Closed Gracefully."},
        {"close inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab",
         TAfterReply::Close, typeid(EConnClosedGracefully), "Connection Closed Gracefully."},
    };
    for (const auto& c : cases)
        ExpectGetFails(c);
}

TEST(HttpClient, ProtocolErrorCarriesTheCode) {
    TScriptedServer server({{{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}});
    THttpClient http;
    Aim(http, server);
    try {
        LobbyGet(http, "/a");
        FAIL() << "no error";
    } catch (const EHttpProtocolError& e) {
        EXPECT_EQ(e.ErrorCode(), 404);
        EXPECT_EQ(http.ReplyCode(), 404);
        EXPECT_EQ(http.ReplyText(), "404 Not Found");
    }
}

TEST(HttpClient, HostileRepliesAreRefusedAtTheLimits) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const std::string tooLarge = "HTTP reply body larger than 1048576 bytes";
    const std::string longLine = "HTTP reply line longer than 8192 bytes";
    const std::string badChunk = "Invalid chunk size in HTTP reply";
    const std::string manyLines = "HTTP reply has more than 100 header lines";
    const auto error = std::type_index(typeid(EHttpReplyError));
    const auto stall = TAfterReply::Stall;
    const TErrorCase cases[] = {
        {"announced body too large", ok + "Content-Length: 1048577\r\n\r\n", stall, error,
         tooLarge},
        {"negative Content-Length", ok + "Content-Length: -1\r\n\r\n", stall, error,
         "Invalid Content-Length in HTTP reply"},
        {"body to the close too large", ok + "\r\n" + Repeat('x', (1 << 20) + 1),
         TAfterReply::Close, error, tooLarge},
        {"header line too long", ok + "X-Long: " + Repeat('a', 8192 - 8) + "\r\n\r\n", stall, error,
         longLine},
        {"status line without end", Repeat('H', 20000), stall, error, longLine},
        {"too many header lines", ok + HeaderLines(101) + "\r\n", stall, error, manyLines},
        {"chunk size not hexadecimal", chunked + "zz\r\nab\r\n0\r\n\r\n", stall, error, badChunk},
        {"negative chunk size", chunked + "-5\r\nab\r\n0\r\n\r\n", stall, error, badChunk},
        {"empty chunk size", chunked + "\r\nab\r\n0\r\n\r\n", stall, error, badChunk},
        {"huge chunk size", chunked + "FFFFFFFFFFFFFFFFFFFFFF\r\n", stall, error, tooLarge},
        {"chunks adding up too large",
         chunked + "80000\r\n" + Repeat('c', 0x80000) + "\r\n80001\r\n", stall, error, tooLarge},
        {"trailer too long", chunked + "0\r\n" + HeaderLines(101) + "\r\n", stall, error,
         manyLines},
    };
    for (const auto& c : cases)
        ExpectGetFails(c);
}

// --- connecting and waiting ------------------------------------------------

TEST(HttpClient, ConnectFailuresRaiseSocketErrors) {
    struct {
        const char* name;
        std::string host;
        int port;
        std::string localAddress;
        int code;
        std::string message;
    } const cases[] = {
        {"refused", "127.0.0.1", UnusedPort(), "", 10061,
         "Socket Error # 10061\r\nConnection refused."},
        {"port 0", "127.0.0.1", 0, "", 10049,
         "Socket Error # 10049\r\nCannot assign requested address."},
        {"local address not an address", "127.0.0.1", UnusedPort(), "lobby", 10022,
         "Socket Error # 10022\r\nInvalid argument."},
        {"local address not ours", "127.0.0.1", UnusedPort(), "192.0.2.1", 10049,
         "Socket Error # 10049\r\nCannot assign requested address."},
    };
    for (const auto& c : cases) {
        THttpClient http;
        http.Host = c.host;
        http.Port = c.port;
        http.LocalAddress = c.localAddress;
        try {
            http.Connect();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.LastError(), c.code) << c.name;
            EXPECT_EQ(e.what(), c.message) << c.name;
        }
        EXPECT_FALSE(http.Connected()) << c.name;
    }
}

// A name nobody can resolve: "host not found" where a name server answers,
// "try again" where none can be reached (a machine without a network).
TEST(HttpClient, AnUnknownNameRaisesTheResolversError) {
    THttpClient http;
    http.Host = "nosuchhost.invalid";
    http.Port = 80;
    try {
        http.Connect();
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_TRUE(e.LastError() == 11001 || e.LastError() == 11002) << e.LastError();
        EXPECT_EQ(e.what(), "Socket Error # " + std::to_string(e.LastError()) + "\r\n");
    }
    EXPECT_FALSE(http.Connected());
}

TEST(HttpClient, ConnectsByLocalhostInAnyCaseAndFromALocalAddress) {
    TScriptedServer server({{{kOk}}});
    THttpClient http;
    Aim(http, server);
    http.Host = "LocalHost";
    http.LocalAddress = "127.0.0.1";
    EXPECT_EQ(LobbyGet(http, "/a"), "ok");
    EXPECT_EQ(server.Requests().at(0).substr(0, 36), "GET /a HTTP/1.1\r\nHost: LocalHost\r\nAc");
}

TEST(HttpClient, ConnectWhileConnectedSaysAlreadyConnected) {
    TScriptedServer server({{{kOk}}});
    THttpClient http;
    Aim(http, server);
    http.Connect();
    try {
        http.Connect();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    EXPECT_TRUE(http.Connected());
    http.Disconnect();
    http.Disconnect(); // nothing to do the second time
    EXPECT_FALSE(http.Connected());
}

TEST(HttpClient, StalledServerHitsTheTimeOut) {
    constexpr int kShortTimeoutMs = 200;
    const auto timedOut = std::type_index(typeid(ESocketError));
    const std::string message = "Socket Error # 10060\r\nConnection timed out.";
    const TErrorCase cases[] = {
        {"no reply at all", "", TAfterReply::Stall, timedOut, message},
        {"headers never end", "HTTP/1.1 200 OK\r\nServer: slow\r\n", TAfterReply::Stall, timedOut,
         message},
        {"counted body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
         TAfterReply::Stall, timedOut, message},
        {"server never closes", "HTTP/1.1 200 OK\r\n\r\nabc", TAfterReply::Stall, timedOut,
         message},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        ExpectGetFails(c, kShortTimeoutMs);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::milliseconds(kShortTimeoutMs)) << c.name;
        EXPECT_LT(elapsed, std::chrono::milliseconds(kShortTimeoutMs * 10)) << c.name;
    }
}

} // namespace

namespace {

// A server that sends its reply a byte every 12 ms: the head comes within
// the time-out, and so would the body counted from the head; the one
// deadline of the whole request ends it all the same.
TEST(HttpClient, OneDeadlineCoversTheWholeLobbyRequest) {
    constexpr int kShortTimeoutMs = 600;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n"; // 39 bytes: 0.47 s
    TScriptedServer server({{{head + Repeat('b', 30), TAfterReply::Close, 12}}});
    THttpClient http;
    Aim(http, server, kShortTimeoutMs);
    const auto start = std::chrono::steady_clock::now();
    try {
        LobbyGet(http, "/tavlo/getgames.php");
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.LastError(), 10060);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(kShortTimeoutMs));
    EXPECT_LT(elapsed, std::chrono::milliseconds(kShortTimeoutMs + 150));
}

} // namespace
