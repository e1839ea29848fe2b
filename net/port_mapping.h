// While this program hosts a game, asks the home router to forward a UDP
// port from outside to this machine, so that a program that speaks only
// the written protocol (and so knows nothing of ICE) can still reach it:
// first through UPnP IGD (libminiupnpc), then through NAT-PMP
// (libnatpmp).  The outside port is the inside one, or nothing: such a
// program sends to and expects answers from that very port.
//
// The libraries block (discovery, HTTP to the router), so everything runs
// on a worker thread of the object's own; the result comes back as an
// event on the thread that made the object, through its Qt event loop.
// The lease is renewed at half its time while the mapping lives; Remove
// (the game ended) and destruction take the mapping away again.  No event
// fires after Remove or during destruction; destruction waits for the
// worker, which is bounded by the discovery time and the libraries' own
// time-outs of a few seconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class TMappingMethod { UpnpIgd, NatPmp };
// "UPnP IGD", "NAT-PMP"
const char* MappingMethodName(TMappingMethod method);

inline constexpr uint16_t kMappedGamePort = 3237;

struct TPortMappingSettings {
    uint16_t port = kMappedGamePort; // inside and outside
    std::chrono::seconds lease{3600};
    // How long each method looks for a router that answers.
    std::chrono::milliseconds discovery{2000};
    bool upnp = true;
    bool natpmp = true;
    std::string description = "Zellhop";
};

struct TPortMappingResult {
    bool mapped = false;
    TMappingMethod method = TMappingMethod::UpnpIgd;
    std::string externalAddress; // as the router tells it
    uint16_t externalPort = 0;
    std::chrono::seconds lease{0}; // as granted; 0: until removed
    std::string why;               // without a mapping: what each method met
};

class TPortMapping {
  public:
    explicit TPortMapping(const TPortMappingSettings& settings);
    ~TPortMapping();
    TPortMapping(const TPortMapping&) = delete;
    TPortMapping& operator=(const TPortMapping&) = delete;

    // Once: a mapping, or why there is none.
    std::function<void(const TPortMappingResult& result)> OnResult;
    // The router refused a renewal: the mapping is gone.
    std::function<void(const std::string& why)> OnLost;
    // A renewal went through (for logs and tests).
    std::function<void()> OnRenewed;

    // Starts asking, on the worker.
    void Start();
    // The game ended: the worker takes the mapping away and ends; no event
    // follows.
    void Remove();

  private:
    class TWorker;
    std::unique_ptr<TWorker> worker_;
};
