// Two ice_probe programs in two machines of a router lab, each told the
// other's description through its standard input as the lobby will do
// it, then a stream of datagrams from the first, echoed by the second:
// the kind of path found, the time it took, what got through.
#pragma once

#include "lab_process.h"
#include "router_lab.h"
#include "turn_relay.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TIceProbePair {
  public:
    struct TStream {
        int count = 40;
        std::size_t size = 40;
        std::chrono::milliseconds every{25};
    };
    struct TResult {
        std::string failure;         // "" when both ends found a path
        std::string kind, otherKind; // as each end saw it: direct, punched, relayed
        std::string readyKind;       // the first end's kind when it became ready
        std::string pair;            // the first end's selected pair
        long gatherMs = 0;           // the slower end's gathering
        long pathMs = 0;             // the slower end, from the remote description to a path
        long joinMs = 0;             // from starting both programs to both ready
        int sent = 0, echoed = 0;
        double rttMedianMs = 0, rttMaxMs = 0;
    };

    // The ice_probe program at `program`; `extra` options go to both ends.
    // Both ends get the relay's STUN and TURN addresses (IPv6 too where
    // the site has it) and credentials of their own.
    TIceProbePair(const std::string& program, const TRouterLab& lab, const TTurnRelay& relay,
                  const TLabSite& a, const TLabSite& b, const std::vector<std::string>& extra = {});

    // Connect, WaitForStream and Finish.
    TResult Run(const TStream& stream);
    // Starts both programs, swaps their descriptions and waits for both
    // paths; the first end starts its stream (a count of 0: none) once it
    // has its path.  A result with a failure ends both programs.
    TResult Connect(const TStream& stream);
    // Waits for the stream's report into `r`.
    void WaitForStream(TResult& r);
    // Ends both programs the polite way (they give back their relay
    // allocations).
    void Finish();
    // Kills the second end (SIGKILL: a crash, a pulled cable) and waits up
    // to `limit` for the first to report its path lost; the line.
    std::optional<std::string> KillSecondAndWaitForLoss(std::chrono::milliseconds limit);

  private:
    std::vector<std::string> Arguments(const std::string& name, const TLabSite& site) const;

    std::string program_;
    const TRouterLab& lab_;
    const TTurnRelay& relay_;
    TLabSite a_, b_;
    std::vector<std::string> extra_;
    std::unique_ptr<TLabProcess> first_, second_;
    TStream stream_;
};
