// Holes ordered by a value of each, answering "which holes' values exceed
// this threshold?" with a ready set: the searches' bounds ask it at every
// node.
#pragma once

#include "board.h"
#include "hole_set.h"

#include <algorithm>
#include <array>
#include <numeric>

class KeyedHoles {
  public:
    template <typename Key> void Build(Key key) {
        std::array<double, kHoleCount> byHole;
        for (int h = 0; h < kHoleCount; ++h)
            byHole[h] = key(h);
        std::array<int, kHoleCount> order;
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return byHole[a] > byHole[b]; });
        prefix_[0] = HoleSet();
        for (int k = 0; k < kHoleCount; ++k) {
            keys_[k] = byHole[order[k]];
            prefix_[k + 1] = prefix_[k];
            prefix_[k + 1].add(order[k]);
        }
    }
    // The holes whose value exceeds `threshold`.
    const HoleSet& Above(double threshold) const {
        const auto end = std::partition_point(keys_.begin(), keys_.end(),
                                              [&](double k) { return k > threshold; });
        return prefix_[end - keys_.begin()];
    }

  private:
    std::array<double, kHoleCount> keys_;
    std::array<HoleSet, kHoleCount + 1> prefix_;
};
