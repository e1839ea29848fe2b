// Lobby requests beside the event loop: a lobby that hangs while a peer's
// datagrams keep coming, cancelling, requests asked for while one runs, and
// the client's errors passing through unchanged.  The caller goes on at
// once; the reply or the error comes back by callback.
#include "http_client.h"
#include "http_errors.h"
#include "lobby_client.h"
#include "lobby_requester.h"
#include "loopback_addresses.h"
#include "qcomm.h"
#include "scripted_server.h"
#include "udp_endpoint.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int kPeerPort = kTestUdpPort;
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
const std::string kTarget = "/tavlo/refreshgame.php?mysessid=s&gametype=1&gameno=5";

void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Aim(THttpClient& http, const TScriptedServer& server, int timeoutMs) {
    http.Host = "127.0.0.1";
    http.Port = server.Port();
    http.HandleRedirects = true;
    http.Timeout = timeoutMs;
}

// The text of the error that a request raises, or "" for none.
template <typename Request> std::string ErrorOf(Request request) {
    try {
        request();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// What came back for one request.
struct Answer {
    bool done = false;
    std::string body;
    std::exception_ptr error;
    qint64 at = -1; // ms on the clock given, when it came
};

void Ask(TLobbyRequester& requester, const std::string& target, Answer& answer,
         const QElapsedTimer* clock = nullptr) {
    requester.Get(
        target,
        [&answer, clock](const std::string& body) {
            answer = {true, body, nullptr, clock ? clock->elapsed() : -1};
        },
        [&answer, clock](std::exception_ptr error) {
            answer = {true, "", error, clock ? clock->elapsed() : -1};
        });
}

// Runs the event loop until the answer has come (or 10 s have passed).
void AwaitAnswer(const Answer& answer) {
    QElapsedTimer clock;
    clock.start();
    while (!answer.done && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

std::string Rethrown(const Answer& answer) {
    return ErrorOf([&] {
        if (answer.error)
            std::rethrow_exception(answer.error);
    });
}

// A host waits for players while its lobby accepts the refresh and never
// answers; a player's datagrams arrive every 100 ms all the while.
TEST(LobbyRequester, AHangingLobbyCostsOneTimeOutWhileEveryDatagramIsAcknowledged) {
    constexpr int kTimeoutMs = 1500;
    constexpr int kAckWithinMs = 500;
    TScriptedServer lobby({{{"", TAfterReply::Stall}}});
    THttpClient http;
    Aim(http, lobby, kTimeoutMs);
    TLobbyRequester requester(http);

    const std::string hostAddress = NewLoopbackAddress();
    TQComm host;
    host.setLocalAddress(hostAddress);
    host.setPort(kPeerPort);
    host.setTimeout(2000);
    host.setEnabled(true);
    TUDPEndpoint player;
    player.setLocalAddress(NewLoopbackAddress());
    player.setLocalPort(kPeerPort);
    player.setRemoteHost(hostAddress);
    player.setRemotePort(kPeerPort);

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt, ackedAt;
    player.OnDataReceived = [&](TUDPEndpoint&, int, const std::string&, int) {
        ackedAt.push_back(clock.elapsed());
    };
    QTimer every100ms;
    QObject::connect(&every100ms, &QTimer::timeout, [&] {
        TMemoryStream chat(std::string("\x0C\x00\x00\x00\x00\x01\x01\x03\x00"
                                       "abc",
                                       12));
        sentAt.push_back(clock.elapsed());
        player.SendStream(chat);
    });
    every100ms.start(100);

    int timeOuts = 0;
    Answer answer;
    Ask(requester, kTarget, answer);
    AwaitAnswer(answer);
    try {
        if (answer.error)
            std::rethrow_exception(answer.error);
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.LastError(), 10060);
        ++timeOuts;
    }
    const qint64 requestEnded = clock.elapsed();
    every100ms.stop();
    RunEventsFor(kAckWithinMs);

    EXPECT_EQ(timeOuts, 1);
    EXPECT_GE(requestEnded, kTimeoutMs);
    EXPECT_LT(requestEnded, kTimeoutMs + 500);
    ASSERT_GE(sentAt.size(), static_cast<size_t>(kTimeoutMs / 100 - 2));
    ASSERT_EQ(ackedAt.size(), sentAt.size()); // one acknowledgement each, in order
    for (size_t i = 0; i < sentAt.size(); ++i)
        EXPECT_LT(ackedAt[i] - sentAt[i], kAckWithinMs) << "datagram " << i;
}

TEST(LobbyRequester, CancelEndsTheRequestAtOnceAndTheNextOneRuns) {
    TScriptedServer hanging({{{"", TAfterReply::Stall}}});
    TScriptedServer answering({{{kOk}}});
    THttpClient http;
    Aim(http, hanging, 5000);
    TLobbyRequester requester(http);
    std::vector<bool> busy;
    requester.OnBusyChanged = [&](bool b) { busy.push_back(b); };

    Answer cancelled;
    Ask(requester, kTarget, cancelled);
    EXPECT_TRUE(requester.Busy());
    RunEventsFor(200);
    requester.Cancel();
    EXPECT_FALSE(requester.Busy());
    RunEventsFor(200);
    EXPECT_FALSE(cancelled.done) << "a cancelled request answers nothing";

    Aim(http, answering, 5000);
    QElapsedTimer clock;
    clock.start();
    Answer next;
    Ask(requester, kTarget, next);
    AwaitAnswer(next);
    EXPECT_EQ(next.body, "ok");
    EXPECT_LT(clock.elapsed(), 400) << "the cancelled one holds nothing up";
    EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));
    requester.Cancel(); // nothing runs: nothing happens
}

// A refresh asked for while a login's request runs (a timer tick, say): it
// waits for the login's request, then runs; both get their replies.
TEST(LobbyRequester, ARequestAskedForWhileAnotherRunsWaitsForIt) {
    const std::string slowOk = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nslow";
    TScriptedServer lobby({{{slowOk, TAfterReply::Close, 8}}, {{kOk}}}); // 0.35 s, then at once
    THttpClient http;
    Aim(http, lobby, 5000);
    TLobbyRequester requester(http);
    int busyChanges = 0;
    requester.OnBusyChanged = [&](bool) { ++busyChanges; };
    QElapsedTimer clock;
    clock.start();
    Answer first, second;
    QTimer::singleShot(50, [&] { Ask(requester, "/second", second, &clock); });
    Ask(requester, "/first", first, &clock);
    AwaitAnswer(second);
    EXPECT_EQ(first.body, "slow");
    EXPECT_EQ(second.body, "ok");
    EXPECT_LE(first.at, second.at);
    EXPECT_GE(second.at, 300);
    EXPECT_EQ(busyChanges, 2);
    ASSERT_EQ(lobby.Requests().size(), 2u);
    EXPECT_EQ(lobby.Requests()[0].substr(0, 11), "GET /first ");
}

// A requester with a time-out of its own (the candidate polls, asked
// again soon anyway) gives a stalled lobby up after it, whatever the
// client's; the next request runs at once.
TEST(LobbyRequester, ItsOwnTimeOutEndsAStalledRequestEarly) {
    constexpr int kOwnMs = 300;
    TScriptedServer lobby({{{"", TAfterReply::Stall}}, {{kOk}}});
    THttpClient http;
    Aim(http, lobby, 5000);
    TLobbyRequester requester(http);
    requester.SetTimeout(kOwnMs);
    QElapsedTimer clock;
    clock.start();
    Answer stalled, next;
    Ask(requester, kTarget, stalled, &clock);
    Ask(requester, kTarget, next, &clock);
    AwaitAnswer(next);
    EXPECT_TRUE(stalled.error) << stalled.body;
    EXPECT_GE(stalled.at, kOwnMs);
    EXPECT_LT(stalled.at, kOwnMs + 1000);
    EXPECT_EQ(next.body, "ok");
    EXPECT_EQ(http.Timeout, 5000) << "the client's own stays";
}

TEST(LobbyRequester, ErrorsArriveAsTheClientRaisesThem) {
    TScriptedServer notFound({{{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}},
                              {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}});
    const int nobody = UnusedPort();
    for (int port : {notFound.Port(), nobody}) {
        THttpClient direct, background;
        for (THttpClient* http : {&direct, &background}) {
            http->Host = "127.0.0.1";
            http->Port = port;
        }
        TLobbyRequester requester(background);
        const std::string expected = ErrorOf([&] { LobbyGet(direct, kTarget); });
        EXPECT_FALSE(expected.empty());
        Answer answer;
        Ask(requester, kTarget, answer);
        AwaitAnswer(answer);
        EXPECT_EQ(Rethrown(answer), expected) << port;
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
