#include "link/CSWMRG.h"

namespace km7 {

void CSWMRG::AcquireShared()
{
    bool wait;
    {
        std::lock_guard<std::mutex> lock(entry_);
        wait = waitingWriters_ > 0 || active_ < 0;
        if (wait)
            ++waitingReaders_;
        else
            ++active_;
    }
    if (wait)
        readers_.acquire();
}

void CSWMRG::AcquireExclusive()
{
    bool wait;
    {
        std::lock_guard<std::mutex> lock(entry_);
        wait = active_ != 0;
        if (wait)
            ++waitingWriters_;
        else
            active_ = -1;
    }
    if (wait)
        writers_.acquire();
}

void CSWMRG::Release()
{
    int wakeReaders = 0;
    bool wakeWriter = false;
    {
        std::lock_guard<std::mutex> lock(entry_);
        if (active_ > 0)
            --active_;
        else if (active_ < 0)
            ++active_;
        if (active_ == 0) {
            if (waitingWriters_ > 0) {
                active_ = -1;
                --waitingWriters_;
                wakeWriter = true;
            } else if (waitingReaders_ > 0) {
                active_ = waitingReaders_;
                wakeReaders = waitingReaders_;
                waitingReaders_ = 0;
            }
        }
    }
    if (wakeWriter)
        writers_.release();
    else if (wakeReaders > 0)
        readers_.release(wakeReaders);
}

int CSWMRG::WaitingReaders()
{
    std::lock_guard<std::mutex> lock(entry_);
    return waitingReaders_;
}

int CSWMRG::WaitingWriters()
{
    std::lock_guard<std::mutex> lock(entry_);
    return waitingWriters_;
}

} // namespace km7
