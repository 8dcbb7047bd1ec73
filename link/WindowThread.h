// What the device link needs of the window thread: a way for a worker to
// have a function run there, and a way for a waiting caller on the window
// thread to keep processing its messages.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace km7 {

class WindowThread {
public:
    virtual ~WindowThread() = default;
    // Any thread: queue `fn` to run on the window thread.
    virtual void Post(std::function<void()> fn) = 0;
    // Window thread: process the pending messages, waiting for one to
    // arrive when there is none, but at most `maxWaitMs` (negative: as long
    // as the toolkit likes; a queued Post always ends the wait).
    virtual void ProcessMessages(int maxWaitMs = -1) = 0;
};

// A plain message queue for programs and tests without a windowing toolkit.
class MessageQueue : public WindowThread {
public:
    void Post(std::function<void()> fn) override;
    void ProcessMessages(int maxWaitMs = -1) override;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};

} // namespace km7
