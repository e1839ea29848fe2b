// An in-memory network with a clock of its own, for the messaging tests.
// Components made on it (TQComm comm(network)) send and receive through
// it, their timers run on its clock, and time passes only while a test
// runs it, so a case about a 20-second silence takes no time and comes out
// the same at every run.  A datagram arrives `latency` after it was sent;
// a component's fault seam loses, repeats and holds back on this clock
// too.  Host names resolve from a table of the test's, `lookupTime` after
// they were asked for.
//
// Like an event loop, Run* may be entered again from inside a handler (a
// handler that "takes a while" runs the network meanwhile).  An error that
// escapes an event is kept in Escaped(), as the program's notify would
// show it.
#pragma once

#include "comm_environment.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TMemoryNetwork : public TCommEnvironment {
  public:
    TMemoryNetwork();
    ~TMemoryNetwork() override;
    TMemoryNetwork(const TMemoryNetwork&) = delete;
    TMemoryNetwork& operator=(const TMemoryNetwork&) = delete;

    TLinkTime Now() const override { return now_; }
    std::unique_ptr<TCommTimer> MakeTimer(std::function<void()> tick, bool singleShot) override;
    std::unique_ptr<TDatagramSocket> OpenSocket(const std::string& localAddress, int port,
                                                TSocketEvents events) override;

    void SetLatency(TMillis latency) { latency_ = latency; }
    void SetLookupTime(TMillis time) { lookupTime_ = time; }
    void AddHost(const std::string& name, const std::string& address) { hosts_[name] = address; }

    // Runs what is due, in time order, until cond holds or ms of the
    // network's time have passed; cond().
    bool RunUntil(const std::function<bool()>& cond, int ms = 10000);
    void RunFor(int ms);
    // The network's time since it was made.
    TMillis Elapsed() const;
    std::vector<std::string>& Escaped() { return escaped_; }

    // Runs call at `at` (after what is already due then).
    void At(TLinkTime at, std::function<void()> call);

    // A third party on the network: a datagram with any source address,
    // delivered as the others are.
    void Forge(const std::string& bytes, const std::string& from, int fromPort,
               const std::string& to, int toPort) {
        Deliver(bytes, from, fromPort, to, toPort);
    }
    // Sees every datagram put on the network, before its latency; one for
    // which it returns false is lost.  Null: all pass.
    using TFilter = std::function<bool(const std::string& bytes, const std::string& from,
                                       const std::string& to)>;
    void SetFilter(TFilter filter) { filter_ = std::move(filter); }

    struct SocketState;

  private:
    void Deliver(const std::string& bytes, const std::string& from, int fromPort,
                 const std::string& to, int toPort);
    friend class TMemorySocket;

    TLinkTime start_;
    TLinkTime now_;
    TMillis latency_{1};
    TMillis lookupTime_{5};
    uint64_t sequence_ = 0;
    std::map<std::pair<TLinkTime, uint64_t>, std::function<void()>> due_;
    std::map<std::string, std::string> hosts_;
    // Bound sockets by "address:port".
    std::map<std::string, std::weak_ptr<SocketState>> bound_;
    std::vector<std::string> escaped_;
    TFilter filter_;
};
