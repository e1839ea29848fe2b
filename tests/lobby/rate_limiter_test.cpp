#include "rate_limiter.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = RateLimiter::Clock;

TEST(RateLimiter, BurstThenRateAndEachKeyOnItsOwn) {
    RateLimiter limiter({2, 3}); // 3 at once, then 2 a second
    const Clock::time_point start{};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(limiter.Take("a", start), 0s) << i;
    EXPECT_EQ(limiter.Take("a", start), 1s);
    EXPECT_EQ(limiter.Take("b", start), 0s);
    EXPECT_EQ(limiter.Take("a", start + 499ms), 1s); // not quite one token yet
    EXPECT_EQ(limiter.Take("a", start + 1000ms), 0s);
    EXPECT_EQ(limiter.Take("a", start + 1000ms), 0s);
    EXPECT_EQ(limiter.Take("a", start + 1000ms), 1s);
    EXPECT_EQ(limiter.Take("a", start + 1h), 0s);
}

TEST(RateLimiter, RetryAfterSaysWhenATokenIsBack) {
    RateLimiter limiter({0.1, 1}); // one every 10 s
    const Clock::time_point start{};
    EXPECT_EQ(limiter.Take("a", start), 0s);
    EXPECT_EQ(limiter.Take("a", start), 10s);
    EXPECT_EQ(limiter.Take("a", start + 4s), 6s);
}

TEST(RateLimiter, NoRateMeansNoLimit) {
    RateLimiter limiter({});
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(limiter.Take("a"), 0s);
}

TEST(RateLimiter, AFullTableForgetsIdleKeysAndOtherwiseRefusesNewOnes) {
    RateLimiter limiter({1, 1}, 2);
    const Clock::time_point start{};
    EXPECT_EQ(limiter.Take("a", start), 0s);
    EXPECT_EQ(limiter.Take("b", start), 0s);
    EXPECT_EQ(limiter.Take("c", start), 1s); // "a" and "b" are still spent
    EXPECT_EQ(limiter.Take("a", start + 500ms), 1s);
    // Both buckets have filled up again: forgotten, and "c" gets a place.
    EXPECT_EQ(limiter.Take("c", start + 3s), 0s);
    EXPECT_EQ(limiter.Take("d", start + 3s), 0s);
    EXPECT_EQ(limiter.Take("e", start + 3s), 1s);
}

} // namespace
