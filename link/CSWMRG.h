// Single-writer / multiple-reader guard; waiting writers are served before
// waiting readers.
#pragma once

#include <mutex>
#include <semaphore>

namespace km7 {

class CSWMRG {
public:
    void AcquireShared();
    void AcquireExclusive();
    void Release();

    // How many wait, for diagnostics and tests.
    int WaitingReaders();
    int WaitingWriters();

private:
    std::mutex entry_;
    std::counting_semaphore<0x7FFFFFFF> readers_{0};
    std::counting_semaphore<0x7FFFFFFF> writers_{0};
    int waitingReaders_ = 0;
    int waitingWriters_ = 0;
    int active_ = 0; // >0 readers, -1 one writer, 0 free
};

// Scoped holders.
class SharedLock {
public:
    explicit SharedLock(CSWMRG& g) : g_(g) { g_.AcquireShared(); }
    ~SharedLock() { g_.Release(); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    CSWMRG& g_;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(CSWMRG& g) : g_(g) { g_.AcquireExclusive(); }
    ~ExclusiveLock() { g_.Release(); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    CSWMRG& g_;
};

} // namespace km7
