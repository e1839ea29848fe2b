// What the connection manager needs from the world around it: the time,
// timers, and one datagram socket bound to its address and port.  In the
// program that is the Qt event loop and a UDP socket (qt_environment.h);
// the tests put an in-memory network with a clock of their own in its
// place, so that the messaging runs without sockets and without waiting.
#pragma once

#include "fault_seam.h"
#include "peer_link.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// A timer that calls its tick from the event loop, every interval, or once
// after it when single-shot; as a QTimer does, Start restarts it and a new
// interval restarts a running one.
class TCommTimer {
  public:
    virtual ~TCommTimer() = default;
    virtual void SetInterval(TMillis interval) = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
};

// Sees every datagram a socket puts on the wire (after the fault seam).
using TOnWire = std::function<void(const std::string& bytes, const std::string& toIP, int port)>;

// What a socket reports to its owner.
struct TSocketEvents {
    // A datagram arrived from fromIP (dotted) and its source port.
    std::function<void(std::string_view bytes, const std::string& fromIP, int sourcePort)> received;
    // A datagram to a host name was dropped; the endpoint's text says why.
    std::function<void(const std::string& text)> sendFailed;
};

// One bound datagram socket.  Its owner may destroy it from inside its own
// events.
class TDatagramSocket {
  public:
    virtual ~TDatagramSocket() = default;
    // One datagram to address:port: at once to a dotted address, once the
    // name has been looked up to a host name.  Throws UDPSockError for what
    // cannot be sent at all (0.0.0.0, a name over 127 characters).
    virtual void SendTo(const std::string& address, int port, const std::string& bytes) = 0;
    // Binds afresh, keeping the fault seam.
    virtual void Rebind(const std::string& localAddress, int port) = 0;
    virtual void SetFaults(const TFaultSettings& settings) = 0;
    virtual const TFaultSeam* Faults() const = 0;
    virtual void SetWireTap(TOnWire tap) = 0;
};

class TCommEnvironment {
  public:
    virtual ~TCommEnvironment() = default;
    virtual TLinkTime Now() const = 0;
    // A stopped timer.  Its tick never runs after the timer is destroyed.
    virtual std::unique_ptr<TCommTimer> MakeTimer(std::function<void()> tick,
                                                  bool singleShot = false) = 0;
    // A socket bound to localAddress (dotted, "0.0.0.0" for all) at port;
    // a failed bind is silent: the socket then receives nothing.
    virtual std::unique_ptr<TDatagramSocket> OpenSocket(const std::string& localAddress, int port,
                                                        TSocketEvents events) = 0;
};
