// One command transaction on a worker thread: send the request frame, read
// and check the response, up to three attempts. Every report and the end
// notification run on the window thread while the worker waits for them.
#pragma once

#include "link/SerialLibrary.h"
#include "link/WindowThread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace km7 {

constexpr std::uint8_t kNoAnswerError = 12;

struct RequestSlots {
    std::uint8_t code = 0;
    const std::uint8_t* payload = nullptr;
    std::uint8_t length = 0;
};

struct Response {
    std::uint8_t length = 0;
    std::uint8_t code = 0;
    std::array<std::uint8_t, 256> data{}; // zero beyond `length`
    // Made by the worker, not by the device: no attempt brought a whole
    // frame with a good CRC although bytes kept arriving (code 255, error 12).
    bool damaged = false;
};

// How a transaction ended.
enum class TransactionEnd {
    Accepted, // a response was accepted and reported
    Silent,   // the last attempt heard nothing (reported as no answer)
    Damaged,  // the last attempt brought bytes but no good frame
    Aborted,  // stopped on request before a response was accepted
};

// The transaction itself, without a thread: `report` is called for every
// accepted response and for every silent attempt. Each attempt ends within
// its read time-out plus one frame time, whatever the port brings; `abort`
// (may be null) stops the transaction after the read under way.
TransactionEnd RunTransaction(const SerialLibrary& port, const RequestSlots& request,
                              const std::function<void(const Response&)>& report,
                              const std::atomic<bool>* abort = nullptr);

class TCommand {
public:
    using Report = std::function<void(const Response&)>;
    using EndNotification = std::function<void()>;

    // Starts the worker at once.
    TCommand(const SerialLibrary& port, WindowThread& window, const RequestSlots& slots,
             Report onReport, EndNotification onEnd, const std::atomic<bool>* abort = nullptr);
    ~TCommand(); // joins the worker
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

    // Valid once the end notification has run.
    TransactionEnd End() const { return end_; }

private:
    void Execute();
    void Synchronize(const std::function<void()>& fn);

    const SerialLibrary& port_;
    WindowThread& window_;
    RequestSlots request_;
    Report onReport_;
    EndNotification onEnd_;
    const std::atomic<bool>* abort_;
    TransactionEnd end_ = TransactionEnd::Aborted;
    std::thread thread_;
};

} // namespace km7
