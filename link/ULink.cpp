#include "link/ULink.h"

#include "link/Frame.h"

#include <chrono>
#include <memory>

namespace km7 {

std::string ErrorText(std::uint8_t errorCode)
{
    switch (errorCode) {
    case 10: return "";
    case 11: return " Error execute command";
    case 12: return " No answer from local mux or firmware is loading!";
    case 20: return " Access disabled from local host!";
    case 21: return " Access disabled from remote multiplexer!";
    case 22: return " Access disabled from remote host!";
    case 23: return " Access denied from local multiplexer!";
    case 24: return " Access denied from remote multiplexer!";
    case 25: return " Access denied from remote host!";
    default: return " Unknown error!";
    }
}

TDeviceLink::TDeviceLink(SerialLibrary& port, WindowThread& window, LinkClient& client)
    : port_(port), window_(window), client_(client)
{
}

bool TDeviceLink::Busy()
{
    SharedLock lock(guard_);
    return busy_ != 0;
}

void TDeviceLink::SetBusy(bool on)
{
    ExclusiveLock lock(guard_);
    busy_ = on ? 1 : 0;
}

bool TDeviceLink::LineReserved() { return Busy() || std::chrono::steady_clock::now() < lineFreeAt_; }

void TDeviceLink::WaitIdle()
{
    while (LineReserved())
        window_.ProcessMessages(PauseLeftMs());
}

int TDeviceLink::PauseLeftMs()
{
    // While a worker runs its reports wake the wait; afterwards only the
    // pause is left to wait for.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(lineFreeAt_ - std::chrono::steady_clock::now());
    return Busy() ? -1 : static_cast<int>(std::max<long long>(left.count(), 0));
}

void TDeviceLink::Abort() { abort_ = true; }

void TDeviceLink::Reopen() { abort_ = false; }

std::uint8_t TDeviceLink::Issue(std::uint8_t code, const std::uint8_t* payload, std::uint8_t length)
{
    WaitIdle();
    if (abort_)
        return kNoAnswerError;
    port_.ClearBuffers();

    std::unique_ptr<TCommand> worker;
    {
        ExclusiveLock lock(guard_);
        busy_ = 1;
        slots_ = RequestSlots{code, payload, length};
        worker = std::make_unique<TCommand>(
            port_, window_, slots_, [this](const Response& r) { HandleResult(r); },
            [this] {
                lineFreeAt_ = std::chrono::steady_clock::now() + kPauseAfterTransaction;
                SetBusy(false);
            },
            &abort_);
    }
    // A nested call made from here waits for this transaction and its pause;
    // this call then returns the nested transaction's result.
    while (Busy())
        window_.ProcessMessages();
    const TransactionEnd end = worker->End();
    worker.reset(); // the worker has ended; its thread is joined here
    if (end == TransactionEnd::Aborted)
        return kNoAnswerError;
    // The pause after the transaction: the line stays reserved, the window
    // keeps working.
    while (!abort_ && std::chrono::steady_clock::now() < lineFreeAt_)
        window_.ProcessMessages(PauseLeftMs());
    return resultCode_;
}

void TDeviceLink::HandleResult(const Response& r)
{
    resultCode_ = 0;
    if (r.code != kErrorResponse)
        client_.OnAnswer();
    switch (r.code) {
    case cmd::Identification:
    case cmd::RemoteIdentification:
        client_.OnIdentification(r);
        break;
    case cmd::StateBlock:
    case cmd::RemoteStateBlock:
        client_.OnStateBlock(r);
        break;
    case cmd::SetupBlock:
    case cmd::RemoteSetupBlock:
        client_.OnSetupBlock(r);
        break;
    case kErrorResponse: {
        const std::uint8_t e = r.data[0];
        resultCode_ = e;
        if (e == kNoAnswerError)
            client_.OnNoAnswer();
        client_.OnErrorText(r.damaged ? std::string(kDamagedAnswerText) : ErrorText(e));
        break;
    }
    default:
        break;
    }
}

} // namespace km7
