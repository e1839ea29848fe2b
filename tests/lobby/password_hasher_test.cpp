#include "password_hasher.h"
#include "work_queue.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <latch>

namespace {

TEST(WorkQueue, RefusesWhatWouldWaitBeyondItsCapacityAndFinishesWhatItTook) {
    std::latch release(1);
    std::atomic<int> done{0};
    int taken = 0;
    {
        WorkQueue queue(1, 2);
        std::promise<void> busy;
        queue.Push([&] {
            busy.set_value();
            release.wait();
        });
        busy.get_future().wait(); // the one thread is held
        for (int i = 0; i < 5; ++i)
            taken += queue.TryPush([&] { ++done; }) ? 1 : 0;
        queue.Push([&] { ++done; }); // never refused
        release.count_down();
    }
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(done, 3);
}

TEST(PasswordHasher, QueuedVerificationAnswersAndANameWithoutAccountCostsAHashToo) {
    PasswordHasher hasher(1);
    const std::string hash = hasher.Hash("password1");
    const auto verify = [&](std::optional<std::string> stored, std::string password) {
        std::promise<std::optional<bool>> matches;
        EXPECT_TRUE(
            hasher.TryVerify(std::move(stored), std::move(password),
                             [&](std::optional<bool> result) { matches.set_value(result); }));
        return matches.get_future().get().value_or(false);
    };
    EXPECT_TRUE(verify(hash, "password1"));
    EXPECT_FALSE(verify(hash, "password2"));
    const std::uint64_t before = hasher.Verifications();
    EXPECT_FALSE(verify(std::nullopt, "password1"));
    EXPECT_EQ(hasher.Verifications(), before + 1);
    EXPECT_TRUE(PasswordHasher::StandInMatchesCost());
}

TEST(PasswordHasher, AFullQueueRefusesAtOnceAndNeverAnswersWhatItRefused) {
    constexpr int kOffered = 12;
    std::atomic<int> answered{0};
    int taken = 0;
    {
        PasswordHasher hasher(1, 2);
        for (int i = 0; i < kOffered; ++i)
            taken += hasher.TryVerify(std::nullopt, "password1",
                                      [&](std::optional<bool>) { ++answered; })
                         ? 1
                         : 0;
    }
    // One may already be hashing when the others are offered.
    EXPECT_GE(taken, 2);
    EXPECT_LE(taken, 3);
    EXPECT_EQ(answered, taken);
}

TEST(PasswordHasher, AHashThatWaitedTooLongIsNotDone) {
    std::atomic<int> done{0}, late{0};
    {
        PasswordHasher hasher(1, 4, std::chrono::milliseconds(1));
        for (int i = 0; i < 4; ++i)
            hasher.TryVerify(std::nullopt, "password1", [&](std::optional<bool> matches) {
                ++done;
                late += matches ? 0 : 1;
            });
    }
    // The first may start in time; those behind it wait a whole hash.
    EXPECT_EQ(done, 4);
    EXPECT_GE(late, 3);
}

} // namespace
