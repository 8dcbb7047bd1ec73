#include "link/UCommand.h"

#include "link/Frame.h"

#include <future>

namespace km7 {

void RunTransaction(const SerialLibrary& port, const RequestSlots& request,
                    const std::function<void(const Response&)>& report)
{
    const std::vector<std::uint8_t> frame = buildFrame(request.code, request.payload, request.length);
    const int timeout = readTimeoutMs(request.code);

    for (int attempt = 0; attempt < 3; ++attempt) {
        std::array<std::uint8_t, kFrameBufferSize> buf{};
        port.setReadTimeout(timeout);
        port.write(frame.data(), static_cast<int>(frame.size()));

        // Header: six bytes starting with E5 E5; anything else is skipped in
        // six-byte steps until a header or silence.
        bool silent = false;
        for (;;) {
            buf.fill(0);
            const int n = port.read(buf.data(), 6);
            if (n <= 0) {
                silent = true;
                break;
            }
            if (n == 6 && buf[0] == kFrameStart && buf[1] == kFrameStart)
                break;
        }
        if (silent) {
            Response none;
            none.code = kErrorResponse;
            none.length = 0;
            none.data[0] = kNoAnswerError;
            report(none);
            continue;
        }

        const int length = buf[2];
        if (length > 0 && port.read(buf.data() + 6, length) != length)
            continue; // short frame: send again, no report

        const ParsedFrame parsed = parseFrame(buf.data(), static_cast<std::size_t>(length) + kFrameOverhead);
        if (!parsed.ok)
            continue; // CRC mismatch: send again, no report

        Response r;
        r.length = parsed.length;
        r.code = parsed.code;
        std::copy(parsed.data.begin(), parsed.data.end(), r.data.begin());
        report(r);
        return;
    }
}

TCommand::TCommand(const SerialLibrary& port, WindowThread& window, const RequestSlots& slots,
                   Report onReport, EndNotification onEnd)
    : port_(port), window_(window), request_(slots), onReport_(std::move(onReport)), onEnd_(std::move(onEnd))
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
    window_.post([fn, done] {
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
    RunTransaction(port_, request_, [this](const Response& r) {
        Synchronize([this, &r] { if (onReport_) onReport_(r); });
    });
    Synchronize([this] { if (onEnd_) onEnd_(); });
}

} // namespace km7
