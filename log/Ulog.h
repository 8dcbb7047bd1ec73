// The event log: one text file per serial port, a line per event with date,
// time and line number, at most 512 KiB (oldest lines dropped first), and
// the state-change events derived from successive device states.
//
// The file holds what reading all its lines, adding the new one (after two
// empty lines for a log object's first line), dropping the oldest lines
// until the sum of (line length + 2) is at most kSizeLimit and writing every
// line with CR LF would leave. While the line fits, it is appended; only when
// old lines must go is the file replaced atomically. A line that cannot be
// written uses up neither its number nor the two empty lines: they go with
// the first line that is written. Files are written as the INI store writes
// them: through symbolic links, never over a read-only file, keeping the
// permission bits.
#pragma once

#include "cfgfile/IniStore.h"
#include "monitor/Decoders.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
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
    // A text naming the file and the reason when a line could not be written
    // and the line before it was (or it was the first), once: nothing more
    // while the failure lasts, nor when it has been taken. After a line is
    // written again, the next failure is reported again. A failure stays to
    // be taken even when a later line was written: a line was lost. For the
    // window to show a failure once rather than at every poll.
    std::optional<std::string> TakeNewWriteError();

    // Every line as it is made ("dd.mm.yyyy hh:nn:ss [n] : message"), for a
    // front end that shows events as they happen.
    void SetLineSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }
    // With the file off, an enabled log still runs CheckStates and hands
    // its lines to the sink, but writes no file.
    void SetFileEnabled(bool on) { fileEnabled_ = on; }

    // Formats "dd.mm.yyyy hh:nn:ss [n] : message".
    static std::string FormatLine(const std::tm& t, std::int32_t counter, const std::string& message);

private:
    enum State { Link, Port2, E1Status, Eth1, Eth2, VxIpModule, SLOS, SLOF, SLOT, SRA, SAI, StateCount };
    void Change(State s, std::uint8_t value, const char* upLine, const char* downLine);
    void Alarm(bool lit, State s, const char* line, std::uint8_t& result);
    // Puts `piece` (the line with its CR LF, after the two empty lines for a
    // first line) into the file. `separators` is 4 for a first line, else 0.
    bool Store(const std::string& piece, std::size_t separators, std::string& error);
    // The append path; false with `changed` set when the file is no longer
    // `expected` (somebody else wrote it in between).
    bool Append(const std::string& target, const std::optional<FileStamp>& expected, const std::string& piece,
                bool& changed, std::string& error);

    std::string fileName_;
    bool enabled_;
    Clock clock_;
    std::int32_t lineCounter_ = 1;
    std::array<std::uint8_t, StateCount> states_{};
    std::string rateText_, occupiedText_, freeText_;
    std::string lastError_;
    std::function<void(const std::string&)> sink_;
    bool fileEnabled_ = true;
    bool failing_ = false;                // the last attempt failed
    std::optional<std::string> newError_; // not yet taken
    // The file's content as this object last left it (every line ending in
    // CR LF), and the file's stamp then; no stamp: read the file again.
    std::string content_;
    std::optional<FileStamp> contentStamp_;
};

} // namespace km7
