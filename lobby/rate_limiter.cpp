#include "rate_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::chrono::seconds kRetryAtLeast{1};
// A full table is swept at most this often, so a flood of new keys does
// not make every request walk it.
constexpr std::chrono::seconds kPruneInterval{1};

} // namespace

RateLimiter::RateLimiter(Rule rule, std::size_t maxKeys)
    : rule_(rule), maxKeys_(std::max<std::size_t>(maxKeys, 1)) {}

double RateLimiter::Refilled(const Bucket& bucket, Clock::time_point now) const {
    const double elapsed = std::chrono::duration<double>(now - bucket.updated).count();
    return std::min(rule_.burst, bucket.tokens + std::max(elapsed, 0.0) * rule_.perSecond);
}

void RateLimiter::Prune(Clock::time_point now) {
    if (now - lastPrune_ < kPruneInterval)
        return;
    lastPrune_ = now;
    std::erase_if(buckets_,
                  [&](const auto& entry) { return Refilled(entry.second, now) >= rule_.burst; });
}

std::chrono::seconds RateLimiter::Take(std::string_view key, Clock::time_point now) {
    if (rule_.perSecond <= 0)
        return std::chrono::seconds{0};
    std::lock_guard lock(mutex_);
    auto found = buckets_.find(std::string(key));
    if (found == buckets_.end()) {
        if (buckets_.size() >= maxKeys_)
            Prune(now);
        if (buckets_.size() >= maxKeys_)
            return kRetryAtLeast;
        found = buckets_.emplace(std::string(key), Bucket{rule_.burst, now}).first;
    }
    Bucket& bucket = found->second;
    bucket.tokens = Refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens >= 1) {
        bucket.tokens -= 1;
        return std::chrono::seconds{0};
    }
    const double wait = (1 - bucket.tokens) / rule_.perSecond;
    return std::max(kRetryAtLeast, std::chrono::seconds(static_cast<long>(std::ceil(wait))));
}
