#include "bounded_task_queue.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <latch>

namespace {

using namespace std::chrono_literals;

TEST(BoundedTaskQueue, AcceptingWaitsWhileEveryConnectionSlotIsHeld) {
    BoundedTaskQueue queue(1, 2);
    std::latch release(1);
    std::atomic<int> finished{0};
    const auto held = [&] {
        release.wait();
        ++finished;
    };
    queue.enqueue(held); // running
    queue.enqueue(held); // waiting for the one worker

    auto third = std::async(std::launch::async, [&] { queue.enqueue([&] { ++finished; }); });
    EXPECT_EQ(third.wait_for(200ms), std::future_status::timeout);

    release.count_down();
    EXPECT_EQ(third.wait_for(5s), std::future_status::ready);
    queue.shutdown();
    EXPECT_EQ(finished, 3);
}

TEST(BoundedTaskQueue, ShutdownServesWhatIsQueuedFirst) {
    std::atomic<int> finished{0};
    {
        BoundedTaskQueue queue(2, 50);
        for (int i = 0; i < 50; ++i)
            queue.enqueue([&] {
                std::this_thread::sleep_for(1ms);
                ++finished;
            });
        queue.shutdown();
    }
    EXPECT_EQ(finished, 50);
}

} // namespace
