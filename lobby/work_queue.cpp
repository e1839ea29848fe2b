#include "work_queue.h"

#include <algorithm>

WorkQueue::WorkQueue(std::size_t threads, std::size_t capacity,
                     const std::function<void()>& onThreadStart)
    : capacity_(capacity) {
    threads = std::max<std::size_t>(threads, 1);
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i)
        threads_.emplace_back([this, onThreadStart] {
            if (onThreadStart)
                onThreadStart();
            Work();
        });
}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    jobReady_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

bool WorkQueue::Enqueue(std::function<void()>& job, bool mayRefuse) {
    {
        std::lock_guard lock(mutex_);
        if (mayRefuse && jobs_.size() >= capacity_)
            return false;
        jobs_.push_back(std::move(job));
    }
    jobReady_.notify_one();
    return true;
}

bool WorkQueue::TryPush(std::function<void()> job) {
    return Enqueue(job, true);
}

void WorkQueue::Push(std::function<void()> job) {
    Enqueue(job, false);
}

void WorkQueue::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            jobReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return; // stopping, and nothing left to do
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}
