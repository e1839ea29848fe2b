#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads and the jobs waiting for them. At most `capacity` jobs wait
// when offered with TryPush, so that an overload is refused at once instead
// of growing a queue that nobody will live to see served.
class WorkQueue {
  public:
    // `onThreadStart` runs first on each thread (to lower its priority, say).
    WorkQueue(std::size_t threads, std::size_t capacity,
              const std::function<void()>& onThreadStart = {});
    // Finishes what is queued, then ends the threads.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // False, and the job is dropped, when `capacity` jobs already wait.
    bool TryPush(std::function<void()> job);
    // Never refused: for the few jobs that must wait their turn.
    void Push(std::function<void()> job);

  private:
    bool Enqueue(std::function<void()>& job, bool mayRefuse);
    void Work();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
