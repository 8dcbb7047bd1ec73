#include "link/WindowThread.h"

#include <algorithm>
#include <chrono>

namespace km7 {

void MessageQueue::Post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_one();
}

void MessageQueue::ProcessMessages(int maxWaitMs)
{
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const int wait = maxWaitMs < 0 ? 20 : std::min(maxWaitMs, 20);
        cv_.wait_for(lock, std::chrono::milliseconds(wait), [this] { return !queue_.empty(); });
        batch.swap(queue_);
    }
    for (auto& fn : batch)
        fn();
}

} // namespace km7
