// One path for datagrams between this program and one other player's,
// found the way ICE finds it (RFC 8445, full ICE, libnice): each end
// gathers its candidate addresses (its own, the one its router shows a
// STUN server, and one on a TURN relay), the two ends swap descriptions
// through the lobby, then both try the pairs of candidates and keep one
// that works: direct on one network, punched through the routers where
// their mappings allow, relayed where nothing else does.  Once ready, it
// carries whole datagrams both ways.
//
// Lifecycle: Start (gathering) -> OnGathered(description) -> SetRemote
// (the other's description) -> checks -> OnReady(kind) -> Send and
// OnDatagram -> OnFailed when no path is found in time (or the agent
// loses it, say its relay allocation), or Close.  Whether the other end
// is still there is not the path's to judge: the link above it counts
// the silence.
//
// Threading: the agent runs on GLib's default main context.  In the
// game that is Qt's own event loop on the main thread (Qt's GLib event
// dispatcher, which QCoreApplication and the offscreen and xcb platforms
// use unless QT_NO_GLIB is set; the constructor refuses anything else),
// so every event comes on the main thread and no call here blocks.  A
// program without a QCoreApplication runs a GLib main loop on the default
// context itself.
//
// No event fires once Close has been called or the path destroyed, also
// from inside a handler.  An exception that leaves a handler is thrown
// again from a Qt event, where QCoreApplication::notify sees it (it must
// not unwind through libnice).  Relay allocations are then given back to the
// relay in the background while the event loop runs (ClosingCount).
#pragma once

#include "fault_seam.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A path that cannot be made or used as asked: not on the main context,
// called out of order.
class TIcePathError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How the datagrams go: between the two programs' own addresses, through
// a mapping of a router (server- or peer-reflexive), or through the relay.
enum class TIcePathKind { Direct, Punched, Relayed };
// "direct", "punched", "relayed"
const char* IcePathKindName(TIcePathKind kind);

// The side that starts a join controls the checks and picks the pair.
enum class TIceRole { Controlling, Controlled };

inline constexpr uint16_t kIceServerPort = 3478;
// libnice keeps up to 8 relays per component; one per address family is
// all a path needs.
inline constexpr std::size_t kMaxIceRelays = 2;

struct TIceServer {
    std::string address; // numeric IPv4 or IPv6
    uint16_t port = kIceServerPort;
};

// A TURN relay (UDP) and the time-limited credentials for it.
struct TIceRelay {
    TIceServer server;
    std::string user;
    std::string password;
};

struct TIceSettings {
    TIceRole role = TIceRole::Controlling;
    // For the server-reflexive candidate where no relay of the same address
    // gives it (a relay's allocation names it too).
    std::optional<TIceServer> stun;
    std::vector<TIceRelay> relays; // for relayed candidates, one per family
    bool relayOnly = false;        // offer and use relayed candidates only
    // From SetRemote to OnReady at most; then OnFailed.
    std::chrono::milliseconds deadline{10000};
};

class TIcePath {
  public:
    // Creates the agent; throws TIcePathError when GLib's default context
    // is not the one the caller's event loop runs.
    explicit TIcePath(const TIceSettings& settings);
    ~TIcePath();
    TIcePath(const TIcePath&) = delete;
    TIcePath& operator=(const TIcePath&) = delete;

    // Events, raised only when set, always on the main context.
    std::function<void(const std::string& description)> OnGathered; // once
    std::function<void(TIcePathKind kind)> OnReady;                 // once
    std::function<void(TIcePathKind kind)> OnKindChanged;           // a better pair after OnReady
    std::function<void(std::string_view datagram)> OnDatagram;
    // Once, with the reason in words; nothing follows it.
    std::function<void(const std::string& why)> OnFailed;

    // Gathers the local candidates; OnGathered follows.
    void Start();
    // The other end's description; checks begin.  Throws
    // TIceDescriptionError for a line that is not one, TIcePathError
    // before Start or when called twice.
    void SetRemote(std::string_view description);
    // One datagram over the path; false (and nothing sent) before SetRemote,
    // after failure or Close, or when longer than kMaxDatagramBytes.
    // Between SetRemote and OnReady a few are kept and go out at OnReady:
    // the other end may be ready and talking first.
    bool Send(std::string_view datagram);
    // Ends the path at once: no event fires after this.
    void Close();

    bool Ready() const;
    TIcePathKind Kind() const;
    // The line OnGathered gave; empty before.
    const std::string& LocalDescription() const;
    // "local 192.168.1.10:50123 host, remote 11.0.2.2:40011 srflx": for logs.
    std::string SelectedPair() const;

    struct TCounts {
        uint64_t sent = 0, received = 0, bytesSent = 0, bytesReceived = 0;
    };
    const TCounts& Counts() const;

    // Passes every datagram sent from now on through a fault seam (the
    // connectivity checks and keep-alives are the agent's and pass
    // untouched); inactive settings take it away.
    void setFaults(const TFaultSettings& settings);

    // Agents of closed paths still giving their relay allocations back.
    static int ClosingCount();

  private:
    struct TState;
    std::unique_ptr<TState> state_;
};
