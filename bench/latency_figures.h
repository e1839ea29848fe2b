// What the two latency tools share: the fault seam's command-line options
// and the figures they print.
#pragma once

#include "fault_seam.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Takes --loss, --duplicate, --reorder (shares), --late MS and --seed N
// into faults; false when name is none of them.
inline bool ReadFaultOption(const std::string& name, const char* value, TFaultSettings& faults) {
    if (name == "--loss")
        faults.loss = std::atof(value);
    else if (name == "--duplicate")
        faults.duplicate = std::atof(value);
    else if (name == "--reorder")
        faults.reorder = std::atof(value);
    else if (name == "--late")
        faults.lateMs = std::atoi(value);
    else if (name == "--seed")
        faults.seed = static_cast<uint32_t>(std::atoll(value));
    else
        return false;
    return true;
}

// "what ms: median M  p99 P  max X" of the latencies, sorted here.
inline void PrintLatencies(const char* what, std::vector<double> latencies) {
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double share) {
        const auto i =
            static_cast<std::size_t>(share * static_cast<double>(latencies.size() - 1) + 0.5);
        return latencies[std::min(i, latencies.size() - 1)];
    };
    std::printf("%s ms: median %.2f  p99 %.2f  max %.2f\n", what, at(0.5), at(0.99),
                latencies.back());
}
