#include "bounded_task_queue.h"

#include <algorithm>

BoundedTaskQueue::BoundedTaskQueue(std::size_t threads, std::size_t capacity)
    : capacity_(std::max(capacity, std::size_t{1})) {
    threads = std::max(threads, std::size_t{1});
    workers_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i)
        workers_.emplace_back([this] { Work(); });
}

BoundedTaskQueue::~BoundedTaskQueue() {
    shutdown();
}

void BoundedTaskQueue::enqueue(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    slotFree_.wait(lock, [this] { return held_ < capacity_; });
    ++held_;
    tasks_.push_back(std::move(task));
    taskReady_.notify_one();
}

void BoundedTaskQueue::shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    taskReady_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable())
            worker.join();
}

void BoundedTaskQueue::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            taskReady_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty())
                return; // stopping, and nothing left to serve
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        {
            std::lock_guard lock(mutex_);
            --held_;
        }
        slotFree_.notify_one();
    }
}
