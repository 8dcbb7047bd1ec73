// The issue operation: one command at a time, synchronous for its caller,
// with the window thread processing its messages while it waits. Results are
// routed by their response code to the client; errors become status texts.
#pragma once

#include "link/CSWMRG.h"
#include "link/SerialLibrary.h"
#include "link/UCommand.h"
#include "link/WindowThread.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace km7 {

// Command codes of the device.
namespace cmd {
constexpr std::uint8_t Connect = 10, Identification = 11, ClearStatistics = 12, StateBlock = 13,
                       SetupBlock = 14, SetConfig = 15, Reset1 = 16, Reset2 = 17, TestStart = 18,
                       TestStop = 19, LoadProfile = 20, SaveProfile = 21, ResetVxIp = 22,
                       RemoteOpen = 30, RemoteClose = 31;
constexpr std::uint8_t kRemoteOffset = 22; // 10..15 -> 32..37
constexpr std::uint8_t RemoteConnect = 32, RemoteIdentification = 33, RemoteClearStatistics = 34,
                       RemoteStateBlock = 35, RemoteSetupBlock = 36, RemoteSetConfig = 37,
                       RemoteLoadProfile = 38, RemoteSaveProfile = 39;
} // namespace cmd

// Text for an error code of an error response (most start with a blank).
std::string ErrorText(std::uint8_t errorCode);

// Shown when bytes kept coming in every attempt but never a good frame
// (another device on the port, a wrong speed, line noise).
constexpr const char* kDamagedAnswerText = " Damaged answers from local mux: check the port and the cable!";

// What the window side does with results. All calls come on the window thread.
class LinkClient {
public:
    virtual ~LinkClient() = default;
    virtual void OnIdentification(const Response&) {}
    virtual void OnStateBlock(const Response&) {}
    virtual void OnSetupBlock(const Response&) {}
    // Error report: show `text` in red in the status pane.
    virtual void OnErrorText(const std::string& text) { (void)text; }
    // A response that is not an error arrived (the log's answer flag).
    virtual void OnAnswer() {}
    // No answer (error 12): the log writes its outage line once per outage.
    virtual void OnNoAnswer() {}
};

class TDeviceLink {
public:
    TDeviceLink(SerialLibrary& port, WindowThread& window, LinkClient& client);

    // Runs one transaction and returns the result code (0 success, 12 no
    // answer, else the device's error code). Window thread only.
    std::uint8_t Issue(std::uint8_t code, const std::uint8_t* payload = nullptr, std::uint8_t length = 0);

    // Waits, processing messages, until no transaction runs and the pause
    // after the last one is over. Anything that closes the port or unloads
    // the library goes through here first.
    void WaitIdle();
    // A transaction's worker is running.
    bool Busy();

    // Stops the running transaction after the read under way and refuses
    // every later Issue (it returns 12 at once, without a report) until
    // Reopen. For closing the program, or an operator who cancels.
    void Abort();
    void Reopen();
    bool Aborting() const { return abort_.load(); }

    std::uint8_t ResultCode() const { return resultCode_; }

    // The result handler (public for the tests of routing).
    void HandleResult(const Response& r);

private:
    void SetBusy(bool on);
    bool LineReserved();
    int PauseLeftMs();

    SerialLibrary& port_;
    WindowThread& window_;
    LinkClient& client_;
    CSWMRG guard_;
    std::uint8_t busy_ = 0;
    std::uint8_t resultCode_ = 0;
    RequestSlots slots_;
    std::atomic<bool> abort_{false};
    // The line stays reserved for a short pause after each transaction; the
    // window keeps processing its messages meanwhile.
    std::chrono::steady_clock::time_point lineFreeAt_{};
};

// The pause after each transaction.
constexpr std::chrono::milliseconds kPauseAfterTransaction{33};

} // namespace km7
