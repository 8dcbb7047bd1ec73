#include "link/WindowThread.h"

#include <chrono>

namespace km7 {

void MessageQueue::post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_one();
}

void MessageQueue::processMessages()
{
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(20), [this] { return !queue_.empty(); });
        batch.swap(queue_);
    }
    for (auto& fn : batch)
        fn();
}

} // namespace km7
