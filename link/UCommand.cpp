#include "link/UCommand.h"

#include "link/Frame.h"

#include <chrono>
#include <future>

namespace km7 {

namespace {

using Clock = std::chrono::steady_clock;

// Time the rest of a frame needs on the line at 115200 bit/s (10 bits a
// byte), with room for the scheduler: a header that arrives just before
// the attempt's time-out still gets its data.
int FrameTimeMs(int bytes) { return bytes * 10 * 1000 / 115200 + 20; }

int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool Aborted(const std::atomic<bool>* abort) { return abort && abort->load(); }

// Reads `count` bytes, waiting until `deadline` at the most, in slices short
// enough that an abort is noticed soon. Returns how many arrived.
int ReadUntil(const SerialLibrary& port, std::uint8_t* buf, int count, Clock::time_point deadline,
              const std::atomic<bool>* abort)
{
    constexpr int kSliceMs = 100;
    int got = 0;
    while (got < count) {
        const int left = MsUntil(deadline);
        if (left == 0 || Aborted(abort))
            break;
        port.SetReadTimeout(std::min(left, kSliceMs));
        got += std::max(port.Read(buf + got, count - got), 0);
    }
    return got;
}

} // namespace

TransactionEnd RunTransaction(const SerialLibrary& port, const RequestSlots& request,
                              const std::function<void(const Response&)>& report,
                              const std::atomic<bool>* abort)
{
    const std::vector<std::uint8_t> frame = BuildFrame(request.code, request.payload, request.length);
    const int timeout = ReadTimeoutMs(request.code);
    TransactionEnd end = TransactionEnd::Aborted;

    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Aborted(abort))
            return TransactionEnd::Aborted;
        std::array<std::uint8_t, kFrameBufferSize> buf{};
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
        port.Write(frame.data(), static_cast<int>(frame.size()));

        // Header: six bytes starting with E5 E5; anything else is skipped in
        // six-byte steps until a header, silence, or the end of the attempt's
        // time: a port that never stops sending must not hold the line.
        bool silent = false, header = false;
        while (MsUntil(deadline) > 0 && !Aborted(abort)) {
            buf.fill(0);
            const int n = ReadUntil(port, buf.data(), 6, deadline, abort);
            if (Aborted(abort))
                break;
            // Nothing, or a few bytes and then quiet until the time ran out:
            // the device said nothing we can use in this attempt.
            if (n == 0 || (n < 6 && MsUntil(deadline) == 0)) {
                silent = true;
                break;
            }
            if (n == 6 && buf[0] == kFrameStart && buf[1] == kFrameStart) {
                header = true;
                break;
            }
        }
        if (Aborted(abort) && !header)
            return TransactionEnd::Aborted;
        if (silent) {
            Response none;
            none.code = kErrorResponse;
            none.length = 0;
            none.data[0] = kNoAnswerError;
            report(none);
            end = TransactionEnd::Silent;
            continue;
        }
        end = TransactionEnd::Damaged;
        if (!header)
            continue; // bytes until the time ran out, never a header

        const int length = buf[2];
        if (length > 0) {
            const auto restDeadline =
                std::max(deadline, Clock::now() + std::chrono::milliseconds(FrameTimeMs(length + 2)));
            if (ReadUntil(port, buf.data() + 6, length, restDeadline, abort) != length)
                continue; // short frame: send again, no report
        }

        const ParsedFrame parsed = ParseFrame(buf.data(), static_cast<std::size_t>(length) + kFrameOverhead);
        if (!parsed.ok)
            continue; // CRC mismatch: send again, no report

        Response r;
        r.length = parsed.length;
        r.code = parsed.code;
        std::copy(parsed.data.begin(), parsed.data.end(), r.data.begin());
        report(r);
        return TransactionEnd::Accepted;
    }
    return end;
}

TCommand::TCommand(const SerialLibrary& port, WindowThread& window, const RequestSlots& slots,
                   Report onReport, EndNotification onEnd, const std::atomic<bool>* abort)
    : port_(port), window_(window), request_(slots), onReport_(std::move(onReport)), onEnd_(std::move(onEnd)),
      abort_(abort)
{
    thread_ = std::thread([this] { Execute(); });
}

TCommand::~TCommand()
{
    if (thread_.joinable())
        thread_.join();
}

void TCommand::Synchronize(const std::function<void()>& fn)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    window_.Post([fn, done] {
        // The worker must be released even when the handler throws; the
        // exception then goes on to the window thread's own handling.
        struct Release {
            std::shared_ptr<std::promise<void>> p;
            ~Release() { p->set_value(); }
        } release{done};
        fn();
    });
    finished.wait();
}

void TCommand::Execute()
{
    const TransactionEnd end = RunTransaction(
        port_, request_, [this](const Response& r) { Synchronize([this, &r] { if (onReport_) onReport_(r); }); },
        abort_);
    if (end == TransactionEnd::Damaged) {
        // Bytes came, but never a good frame: the caller must not take the
        // transaction for a success.
        Response damaged;
        damaged.code = kErrorResponse;
        damaged.data[0] = kNoAnswerError;
        damaged.damaged = true;
        Synchronize([this, &damaged] { if (onReport_) onReport_(damaged); });
    }
    Synchronize([this, end] {
        end_ = end;
        if (onEnd_)
            onEnd_();
    });
}

} // namespace km7
