// The event log: one text file per serial port, a line per event with date,
// time and line number, at most 512 KiB (oldest lines dropped first), and
// the state-change events derived from successive device states.
#pragma once

#include "monitor/Decoders.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace km7 {

class TLog {
public:
    static constexpr std::size_t kSizeLimit = 524288;
    using Clock = std::function<std::tm()>;

    // `caption` is the main window's caption when the log object is made;
    // the file is <directory>/<caption in lower case>.log, `directory`
    // being the current directory when empty.
    TLog(const std::string& caption, bool enabled, const std::string& directory = {}, Clock clock = {});

    void WriteLine(const std::string& message);
    void ResetStates();
    // Compares what the main window now shows with what was remembered and
    // writes a line per change.
    void CheckStates(const MonitorDisplay& d, bool remoteMode);

    bool answerFlag = true;          // the device answered since the last outage line
    bool connectionLineFlag = false; // the connection line of this connection is written

    const std::string& FileName() const { return fileName_; }
    std::int32_t LineCounter() const { return lineCounter_; }
    bool Enabled() const { return enabled_; }
    // The last file problem, empty when the last line was written.
    const std::string& LastError() const { return lastError_; }

    // Formats "dd.mm.yyyy hh:nn:ss [n] : message".
    static std::string FormatLine(const std::tm& t, std::int32_t counter, const std::string& message);

private:
    enum State { Link, Port2, E1Status, Eth1, Eth2, VxIpModule, SLOS, SLOF, SLOT, SRA, SAI, StateCount };
    void Change(State s, std::uint8_t value, const char* upLine, const char* downLine);
    void Alarm(bool lit, State s, const char* line, std::uint8_t& result);

    std::string fileName_;
    bool enabled_;
    Clock clock_;
    std::int32_t lineCounter_ = 1;
    std::array<std::uint8_t, StateCount> states_{};
    std::string rateText_, occupiedText_, freeText_;
    std::string lastError_;
};

} // namespace km7
