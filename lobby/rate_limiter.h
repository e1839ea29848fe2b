#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// Token buckets, one per key (an address, an account): each key may spend
// `burst` at once and earns `perSecond` back. Safe to share between threads.
// The number of keys is bounded, so a flood of new addresses cannot grow it
// without end: when it is full, keys whose buckets have filled up again are
// forgotten, and while none has, new keys are refused.
class RateLimiter {
  public:
    using Clock = std::chrono::steady_clock;

    struct Rule {
        double perSecond = 0; // 0: no limit
        double burst = 1;
    };

    explicit RateLimiter(Rule rule, std::size_t maxKeys = kDefaultMaxKeys);

    // Takes one token. Zero when it was there; otherwise how long until it
    // will be (at least one second, for a Retry-After).
    std::chrono::seconds Take(std::string_view key, Clock::time_point now = Clock::now());

    static constexpr std::size_t kDefaultMaxKeys = 100000;

  private:
    struct Bucket {
        double tokens;
        Clock::time_point updated;
    };

    double Refilled(const Bucket& bucket, Clock::time_point now) const;
    void Prune(Clock::time_point now);

    const Rule rule_;
    const std::size_t maxKeys_;
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
    Clock::time_point lastPrune_{};
};
