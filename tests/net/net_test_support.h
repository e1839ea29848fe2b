// Helpers of the messaging tests: running the event loop until something
// happens, bytes written as hex, bare sockets that play a peer (on real
// loopback addresses or on an in-memory network), and components that
// write down every event they raise.
#pragma once

#include "loopback_addresses.h"
#include "memory_network.h"
#include "qcomm.h"
#include "udp_endpoint.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Errors that escaped an event handler into the event loop, in order.
std::vector<std::string>& EscapedErrors();

// Runs the event loop until cond holds or timeoutMs has passed; cond().
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 3000);
// Runs the event loop for a while (to show that something does NOT happen).
void RunEventsFor(int ms);

// "0B 00 FF" -> the three bytes, and back.
std::string Hex(std::string_view text);
std::string ToHex(std::string_view bytes);

// Cases that bind real sockets take their addresses from
// loopback_addresses.h, each its own, and the tests' port.
inline constexpr int kPeerPort = kTestUdpPort;
// The retry timer of the test components, in ms: long enough that a busy
// machine does not make a loopback acknowledgement late.
inline constexpr int kTestTimeout = 200;
// The retry timer of the cases about retries, where nobody answers anyway.
inline constexpr int kFastTimeout = 50;
// How long a case watches to see that nothing (more) happens.
inline constexpr int kQuietSpell = 100;

// A bare endpoint at address:port that keeps what it receives.
class RawPeer {
  public:
    explicit RawPeer(const std::string& address, int port = kPeerPort);
    void SendTo(const std::string& bytes, const std::string& address, int port = kPeerPort);

    TUDPEndpoint endpoint;
    std::vector<std::string> received;
};

// The same on an in-memory network.
class MemoryPeer {
  public:
    MemoryPeer(TMemoryNetwork& network, const std::string& address, int port = kPeerPort);
    void SendTo(const std::string& bytes, const std::string& address, int port = kPeerPort);
    const std::string& Address() const { return address_; }

    std::vector<std::string> received;

  private:
    std::string address_;
    std::unique_ptr<TDatagramSocket> socket_;
};

// A component that writes down its events: "msg 2 Ann", "ack 2 Ann",
// "failed - 0", "success", "connected", "newclient Ann", "timeout 254
// Dummy", "disconnect Ann 1", "error <text>".  Enabled at address, on
// real loopback or on an in-memory network.
struct Member {
    Member(const std::string& name, const std::string& address, int maxConnections = 0);
    Member(TCommEnvironment& environment, const std::string& name, const std::string& address,
           int maxConnections = 0);
    // The events, leaving out those that start with `prefix`.
    std::vector<std::string> EventsWithout(const std::string& prefix) const;
    int Count(const std::string& event) const;

    TQComm comm;
    std::vector<std::string> events;

  private:
    void Start(const std::string& name, const std::string& address, int maxConnections);
};

// Addresses on an in-memory network: 192.0.2.n.
std::string MemoryAddress(int n);

// The contact table as "Name@Address".
std::vector<std::string> Table(const TQComm& comm);
// A message from its kind and items, encoded.
std::string Datagram(int kind, const std::vector<std::variant<int, std::string>>& items);

// What `to` reads of a datagram that `from` sent it: opened when it is
// sealed (the plain datagram, or empty when it does not open), else as it is.
std::string Plain(const std::string& datagram, const TQComm& from, const TQComm& to);

// A peer of the extension played by hand, datagram by datagram: its key
// pair and session, and the seal with the one host it asks.
struct HandPeer {
    explicit HandPeer(uint32_t session, unsigned char seed = 1);
    // Its connect request, with the host's cookie once it has one.
    std::string Request(const std::string& name, const std::string& version) const;
    // Takes the host's cookie answer: the cookie for the next request, and
    // the seal agreed with the host's key in it.  False when it is none.
    bool TakeCookie(const std::string& answer);
    // A datagram of its own, given with its (unsealed) trailer, sealed.
    std::string Seal(const std::string& plain);
    // A datagram of the host opened; empty when it does not open.
    std::string Open(const std::string& sealed);

    TLinkKeyPair pair;
    uint32_t session;
    std::string cookie;
    std::optional<TLinkSeal> seal;
};
