#include "loopback_addresses.h"
#include "net_test_support.h"
#include "socket_error.h"
#include "udp_endpoint.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(UDPEndpoint, DeliversADatagramWithItsSenderAndSourcePort) {
    const std::string from = NewLoopbackAddress(), to = NewLoopbackAddress();
    RawPeer a(from);
    RawPeer b(to);
    std::vector<std::string> seen;
    b.endpoint.OnDataReceived = [&](TUDPEndpoint& sender, int count, const std::string& from,
                                    int port) {
        TMemoryStream stream(std::string("xyz"));
        stream.Seek(1);
        sender.ReadStream(stream); // written at position 1, position back to 0
        seen.push_back(std::to_string(count) + " " + from + ":" + std::to_string(port) + " " +
                       stream.Bytes() + " @" + std::to_string(stream.Position()));
    };
    a.SendTo("hello", to);
    ASSERT_TRUE(WaitUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0], "5 " + from + ":" + std::to_string(kPeerPort) + " xhello @0");
}

TEST(UDPEndpoint, SkipsADatagramTooLongForTheReceiveArea) {
    const std::string address = NewLoopbackAddress();
    RawPeer receiver(address);
    const int raw = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(raw, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPeerPort);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    for (const std::string& payload : {std::string(3000, 'L'), std::string("small")})
        ::sendto(raw, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    ::close(raw);
    ASSERT_TRUE(WaitUntil([&] { return !receiver.received.empty(); }));
    RunEventsFor(50);
    EXPECT_EQ(receiver.received, std::vector<std::string>{"small"});
}

TEST(UDPEndpoint, RefusesWhatItCannotSend) {
    const struct {
        const char* what;
        std::string host;
        std::string bytes;
        const char* error;
        bool socketError; // UDPSockError, or a plain error
    } cases[] = {
        {"address 0.0.0.0", "0.0.0.0", "x", kNullAddressText, true},
        {"empty stream", "192.0.2.1", "", kStreamInvalidText, false},
        {"host name over 127 characters", std::string(128, 'h'), "x", kLookupCancelledText, true},
        {"more than 2048 bytes", "192.0.2.1", std::string(2049, 'x'), kMessageTooLongText, false},
    };
    TUDPEndpoint endpoint;
    for (const auto& c : cases) {
        endpoint.setRemoteHost(c.host);
        TMemoryStream stream(c.bytes);
        try {
            endpoint.SendStream(stream);
            ADD_FAILURE() << c.what << ": sent";
        } catch (const UDPSockError& e) {
            EXPECT_TRUE(c.socketError) << c.what;
            EXPECT_STREQ(e.what(), c.error) << c.what;
        } catch (const std::exception& e) {
            EXPECT_FALSE(c.socketError) << c.what;
            EXPECT_STREQ(e.what(), c.error) << c.what;
        }
    }
}

// A datagram to a host name goes once the name is looked up, from the
// event loop: SendStream itself never waits.
TEST(UDPEndpoint, LooksUpAHostNameAndTriesOnceMoreWhenAsked) {
    const std::string address = NewLoopbackAddress();
    RawPeer receiver(address);
    TUDPEndpoint endpoint;
    endpoint.setRemotePort(kPeerPort);
    int invalid = 0;
    std::vector<std::string> failures;
    endpoint.OnSendFailed = [&](TUDPEndpoint&, const std::string& text) {
        failures.push_back(text);
    };
    endpoint.OnInvalidHost = [&](bool& handled) {
        ++invalid;
        endpoint.setRemoteHost(AsHostName(address)); // not dotted: resolved by a look-up
        handled = true;
    };
    endpoint.setRemoteHost("");
    TMemoryStream stream(std::string("found"));
    endpoint.SendStream(stream);
    EXPECT_EQ(invalid, 0) << "the answer comes from the event loop";
    ASSERT_TRUE(WaitUntil([&] { return !receiver.received.empty(); }));
    EXPECT_EQ(invalid, 1);
    EXPECT_EQ(receiver.received[0], "found");
    EXPECT_TRUE(failures.empty());

    // A name that does not resolve, with a second look-up asked for or not:
    // the datagram is dropped with the look-up's text.
    endpoint.OnInvalidHost = [&](bool& handled) {
        ++invalid;
        handled = true; // but the second look-up fails as well
    };
    endpoint.setRemoteHost("");
    endpoint.SendStream(stream);
    ASSERT_TRUE(WaitUntil([&] { return failures.size() == 1; }));
    EXPECT_EQ(invalid, 2);
    endpoint.OnInvalidHost = nullptr;
    endpoint.SendStream(stream);
    ASSERT_TRUE(WaitUntil([&] { return failures.size() == 2; }));
    EXPECT_EQ(invalid, 2);
    EXPECT_EQ(failures, (std::vector<std::string>{kLookupCancelledText, kLookupCancelledText}));
    EXPECT_EQ(endpoint.LastError(), kWsaHostNotFound);
    EXPECT_EQ(receiver.received.size(), 1u);

    // Without a handler the error reaches the event loop as UDPSockError.
    endpoint.OnSendFailed = nullptr;
    EscapedErrors().clear();
    endpoint.SendStream(stream);
    ASSERT_TRUE(WaitUntil([&] { return !EscapedErrors().empty(); }));
    EXPECT_EQ(EscapedErrors(), std::vector<std::string>{kLookupCancelledText});
}

TEST(UDPEndpoint, DropsWhatWaitsForALookUpWhenClosed) {
    const std::string address = NewLoopbackAddress();
    RawPeer receiver(address);
    auto endpoint = std::make_unique<TUDPEndpoint>();
    endpoint->setRemotePort(kPeerPort);
    std::vector<std::string> failures;
    endpoint->OnSendFailed = [&](TUDPEndpoint&, const std::string& text) {
        failures.push_back(text);
    };
    endpoint->setRemoteHost(AsHostName(address));
    TMemoryStream stream(std::string("never"));
    endpoint->SendStream(stream);
    endpoint->Close();
    endpoint->SendStream(stream);
    endpoint.reset(); // the second look-up ends with the endpoint
    RunEventsFor(kQuietSpell);
    EXPECT_TRUE(receiver.received.empty());
    EXPECT_TRUE(failures.empty());
}

TEST(UDPEndpoint, AsksForTheStreamOnceMoreWhenItIsEmpty) {
    const std::string address = NewLoopbackAddress();
    RawPeer receiver(address);
    TUDPEndpoint endpoint;
    endpoint.setRemoteHost(address);
    endpoint.setRemotePort(kPeerPort);
    endpoint.OnStreamInvalid = [](bool& handled, TMemoryStream& stream) {
        stream.Write("filled");
        handled = true;
    };
    TMemoryStream empty;
    endpoint.SendStream(empty);
    ASSERT_TRUE(WaitUntil([&] { return !receiver.received.empty(); }));
    EXPECT_EQ(receiver.received[0], "filled");

    endpoint.OnStreamInvalid = [](bool& handled, TMemoryStream&) { handled = true; };
    TMemoryStream stillEmpty;
    EXPECT_THROW(endpoint.SendStream(stillEmpty), std::runtime_error);
}

TEST(UDPEndpoint, ReportsStatusTextsUpToItsLevel) {
    TUDPEndpoint endpoint;
    std::vector<std::string> statuses;
    endpoint.OnStatus = [&](TUDPEndpoint&, const std::string& text) { statuses.push_back(text); };
    endpoint.setRemoteHost(NewLoopbackAddress());
    TMemoryStream stream(std::string("x"));
    endpoint.SendStream(stream); // level 1: nothing
    EXPECT_TRUE(statuses.empty());

    endpoint.setReportLevel(16);
    endpoint.SendStream(stream);
    errno = EWOULDBLOCK;
    endpoint.CheckError(); // would block: examined, not an error
    errno = ECONNREFUSED;
    try {
        endpoint.CheckError();
        ADD_FAILURE() << "no error raised";
    } catch (const UDPSockError& e) {
        EXPECT_STREQ(e.what(), "N° d'erreur inconnu. 10061");
    }
    EXPECT_EQ(endpoint.LastError(), 10061);
    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "Envoi de données",
                            "Vérification de l'erreur dans le Gestionnaire d'erreurs",
                            "Vérification de l'erreur dans le Gestionnaire d'erreurs",
                            "Recherche du message d'erreur"
                            "N° d'erreur inconnu. 10061",
                        }));
    EXPECT_EQ(endpoint.StatusText(), statuses.back());
}

TEST(UDPEndpoint, KeepsQuietWhenItsPortIsTaken) {
    const std::string address = NewLoopbackAddress();
    RawPeer first(address);
    TUDPEndpoint second;
    second.setLocalAddress(address);
    second.setLocalPort(kPeerPort); // no exception
    EXPECT_EQ(second.LastError(), 10048);
}

} // namespace
