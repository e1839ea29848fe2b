#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <thread>
#include <vector>

// The server's worker threads. Each task is one accepted connection; at most
// `capacity` of them are held at once (being served or waiting for a
// worker). When all are held, the accepting thread waits here, so further
// clients wait in the system's listen queue instead of piling up as open
// sockets in the server.
class BoundedTaskQueue : public httplib::TaskQueue {
  public:
    BoundedTaskQueue(std::size_t threads, std::size_t capacity);
    ~BoundedTaskQueue() override;

    void enqueue(std::function<void()> task) override;
    // Serves what is queued, then ends the workers.
    void shutdown() override;

  private:
    void Work();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable taskReady_;
    std::condition_variable slotFree_;
    std::deque<std::function<void()>> tasks_;
    std::size_t held_ = 0; // queued plus running
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
