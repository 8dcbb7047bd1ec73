// One command transaction on a worker thread: send the request frame, read
// and check the response, up to three attempts. Every report and the end
// notification run on the window thread while the worker waits for them.
#pragma once

#include "link/SerialLibrary.h"
#include "link/WindowThread.h"

#include <array>
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
};

// The transaction itself, without a thread: `report` is called for every
// accepted response and for every silent attempt.
void RunTransaction(const SerialLibrary& port, const RequestSlots& request,
                    const std::function<void(const Response&)>& report);

class TCommand {
public:
    using Report = std::function<void(const Response&)>;
    using EndNotification = std::function<void()>;

    // Starts the worker at once.
    TCommand(const SerialLibrary& port, WindowThread& window, const RequestSlots& slots,
             Report onReport, EndNotification onEnd);
    ~TCommand(); // joins the worker
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;

private:
    void Execute();
    void Synchronize(const std::function<void()>& fn);

    const SerialLibrary& port_;
    WindowThread& window_;
    RequestSlots request_;
    Report onReport_;
    EndNotification onEnd_;
    std::thread thread_;
};

} // namespace km7
