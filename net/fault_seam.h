// A seam under the UDP endpoint that makes the network worse on purpose:
// it loses, repeats, holds back (so that later datagrams overtake) and
// delays the datagrams this endpoint sends.  Every decision comes from a
// generator seeded by the settings, so one seed gives one sequence of
// decisions.  Tests switch it on per endpoint or per TQComm; a player never
// meets it.  For by-hand runs of the real program the environment variable
// ZELLHOP_NET_FAULTS sets it for every TQComm of the process, for example
//   ZELLHOP_NET_FAULTS="loss=0.1,duplicate=0.05,reorder=0.1,late=60,delay=5,seed=7"
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

class QObject;

inline constexpr const char* kFaultsVariable = "ZELLHOP_NET_FAULTS";

struct TFaultSettings {
    double loss = 0;      // share of datagrams dropped
    double duplicate = 0; // share sent twice; the copy comes up to `late` ms later
    double reorder = 0;   // share held back 1..`late` ms, so that later ones overtake
    int lateMs = 60;      // the longest hold of a held-back or repeated datagram
    int delayMs = 0;      // added to every datagram
    uint32_t seed = 1;

    bool Active() const { return loss > 0 || duplicate > 0 || reorder > 0 || delayMs > 0; }

    // "loss=0.1,duplicate=0.05,reorder=0.1,late=60,delay=5,seed=7"; any
    // subset, in any order.  Nothing for a text it cannot read.
    static std::optional<TFaultSettings> FromText(std::string_view text);
    // The settings of ZELLHOP_NET_FAULTS; none (all zero) when it is unset
    // or unreadable.
    static TFaultSettings FromEnvironment();
};

class TFaultSeam {
  public:
    using TDeliver = std::function<void(const std::string& bytes)>;
    // Runs call ms milliseconds from now: the clock that holds datagrams
    // back.  Without one, Qt's timers on the event loop.
    using TLater = std::function<void(int ms, std::function<void()> call)>;

    explicit TFaultSeam(const TFaultSettings& settings, TLater later = nullptr);
    ~TFaultSeam();
    TFaultSeam(const TFaultSeam&) = delete;
    TFaultSeam& operator=(const TFaultSeam&) = delete;

    // Passes one datagram: deliver runs now, later, twice or never.  Held
    // datagrams are dropped with the seam.
    void Pass(const std::string& bytes, const TDeliver& deliver);

    // Datagrams passed, dropped, sent twice and held back so far.
    struct TCounts {
        int passed = 0, lost = 0, repeated = 0, held = 0;
    };
    const TCounts& Counts() const { return counts_; }

  private:
    bool Chance(double share);
    int Hold();
    void DeliverAfter(int ms, const std::string& bytes, const TDeliver& deliver);

    TFaultSettings settings_;
    std::mt19937 random_; // fully specified by the standard: one seed, one sequence
    TCounts counts_;
    TLater later_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // for calls of later_
    std::unique_ptr<QObject> context_; // owns the Qt timers of held datagrams
};
