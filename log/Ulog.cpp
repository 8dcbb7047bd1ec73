#include "log/Ulog.h"

#include "cfgfile/IniStore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace km7 {

namespace fs = std::filesystem;

namespace {

std::tm LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Reads the log file. A file far over the limit is read from its tail
// only: the head would be dropped anyway, and `cut` tells that the first
// piece read is the tail of a cut line. False when the file cannot be read
// (then it must not be rewritten).
bool ReadLog(const std::string& path, std::string& data, bool& cut, std::string& error)
{
    data.clear();
    cut = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    off_t at = 0;
    if (static_cast<std::size_t>(st.st_size) > 2 * TLog::kSizeLimit) {
        at = st.st_size - static_cast<off_t>(TLog::kSizeLimit);
        cut = true;
    }
    data.resize(static_cast<std::size_t>(st.st_size - at) + 1); // one more: a file that grew shows here
    std::size_t got = 0;
    for (;;) {
        if (got == data.size())
            data.resize(data.size() * 2);
        const ssize_t n = ::pread(fd, data.data() + got, data.size() - got, at + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(got);
    return true;
}

// The lines of `data` (without the first when `cut`), each ended by CR LF:
// what rewriting them leaves.
std::string Normalised(const std::string& data, bool cut)
{
    const std::vector<std::string> lines = SplitLines(data);
    std::string out;
    out.reserve(data.size() + lines.size() + 2);
    for (std::size_t i = cut ? 1 : 0; i < lines.size(); ++i) {
        out += lines[i];
        out += "\r\n";
    }
    return out;
}

// Whether rewriting the lines of `text` gives `text` again: empty, or every
// LF preceded by a CR and the last character an LF.
bool EveryLineEndsInCrLf(const std::string& text)
{
    if (text.empty())
        return true;
    if (text.back() != '\n')
        return false;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        if (at == 0 || text[at - 1] != '\r')
            return false;
    return true;
}

} // namespace

TLog::TLog(const std::string& caption, bool enabled, const std::string& directory, Clock clock)
    : enabled_(enabled), clock_(clock ? std::move(clock) : Clock(LocalNow))
{
    std::error_code ec;
    const fs::path dir = directory.empty() ? fs::current_path(ec) : fs::path(directory);
    fileName_ = (dir / (Lower(caption) + ".log")).string();
    ResetStates();
}

std::string TLog::FormatLine(const std::tm& t, std::int32_t counter, const std::string& message)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return std::string(stamp) + " [" + std::to_string(counter) + "] : " + message;
}

void TLog::WriteLine(const std::string& message)
{
    if (!enabled_)
        return;
    const bool first = lineCounter_ == 1;
    const std::string line = FormatLine(clock_(), lineCounter_, message);
    if (sink_)
        sink_(line); // shown even when the file cannot take it
    if (!fileEnabled_) {
        ++lineCounter_;
        return;
    }
    std::string piece = first ? "\r\n\r\n" : "";
    piece += line;
    piece += "\r\n";
    std::string error;
    if (Store(piece, first ? 4 : 0, error)) {
        ++lineCounter_;
        lastError_.clear();
        failing_ = false;
        return;
    }
    lastError_ = "Event log not written: " + error;
    if (!failing_)
        newError_ = lastError_;
    failing_ = true;
}

std::optional<std::string> TLog::TakeNewWriteError()
{
    std::optional<std::string> e = std::move(newError_);
    newError_.reset();
    return e;
}

bool TLog::Store(const std::string& piece, std::size_t separators, std::string& error)
{
    for (int attempt = 0;; ++attempt) {
        std::optional<FileStamp> stamp;
        const auto target = WritableTarget(fileName_, &stamp, &error);
        if (!target) {
            contentStamp_.reset();
            return false;
        }
        // What the file holds now, as its lines would be rewritten, and
        // whether its bytes are exactly that.
        bool exact = true;
        if (!stamp) {
            content_.clear();
        } else if (!contentStamp_ || *contentStamp_ != *stamp) {
            contentStamp_.reset();
            std::string data;
            bool cut = false;
            if (!ReadLog(*target, data, cut, error))
                return false; // leave an unreadable log alone rather than lose it
            exact = !cut && EveryLineEndsInCrLf(data);
            content_ = exact ? std::move(data) : Normalised(data, cut);
        }

        if (exact && content_.size() + piece.size() <= kSizeLimit && attempt < 2) {
            bool changed = false;
            if (Append(*target, stamp, piece, changed, error))
                return true;
            if (changed)
                continue; // somebody wrote the file in between: look again
            return false;
        }

        // Old lines must go (or the file's line ends must be rewritten):
        // drop the fewest oldest lines that make room, then replace the file.
        // Inside `piece` only the empty lines and the whole new line count.
        const std::size_t contentSize = content_.size();
        content_ += piece;
        std::size_t keepFrom = 0;
        if (content_.size() > kSizeLimit) {
            const std::size_t excess = content_.size() - kSizeLimit;
            if (excess <= contentSize) {
                const std::size_t lf = content_.find('\n', excess - 1);
                keepFrom = lf < contentSize ? lf + 1 : contentSize;
            }
            for (std::size_t end = 2; keepFrom < excess; end += 2)
                keepFrom = contentSize + (end <= separators ? end : piece.size());
        }
        content_.erase(0, keepFrom);
        FileStamp written;
        AtomicWriteOptions options;
        options.sync = false; // every line would pay a disk flush of up to 512 KiB
        options.written = &written;
        if (!WriteFileAtomically(*target, content_, &error, options)) {
            contentStamp_.reset();
            return false;
        }
        if (EveryLineEndsInCrLf(piece))
            contentStamp_ = written;
        else
            contentStamp_.reset(); // a message with line breaks: read them back as lines
        return true;
    }
}

bool TLog::Append(const std::string& target, const std::optional<FileStamp>& expected, const std::string& piece,
                  bool& changed, std::string& error)
{
    changed = false;
    // A missing file is made with O_EXCL, which tells whether somebody else
    // made it in between.
    const int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (expected ? 0 : O_CREAT | O_EXCL), 0666);
    if (fd < 0) {
        const int err = errno;
        if ((expected && err == ENOENT) || (!expected && err == EEXIST)) {
            changed = true;
            contentStamp_.reset();
            return false;
        }
        error = "cannot write " + fileName_ + ": " + std::strerror(err);
        return false;
    }
    struct stat st {};
    const std::uint64_t before = expected ? expected->size : 0;
    if (::fstat(fd, &st) != 0 || (expected && StampOfStatus(st) != *expected) ||
        static_cast<std::uint64_t>(st.st_size) != before) {
        ::close(fd);
        changed = true;
        contentStamp_.reset();
        return false;
    }
    std::size_t done = 0;
    while (done < piece.size()) {
        const ssize_t n = ::write(fd, piece.data() + done, piece.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            // Take back a part line; a file made here goes again.
            if (expected) {
                const int undone = ::ftruncate(fd, static_cast<off_t>(before));
                (void)undone;
            } else {
                ::unlink(target.c_str());
            }
            ::close(fd);
            contentStamp_.reset();
            error = "cannot write " + fileName_ + ": " + std::strerror(err);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool stamped = ::fstat(fd, &st) == 0;
    if (::close(fd) != 0) {
        contentStamp_.reset();
        error = "cannot write " + fileName_ + ": " + std::strerror(errno);
        return false;
    }
    content_ += piece;
    // Somebody appending at the same moment makes the size differ: the file
    // is then read again at the next line.
    if (stamped && static_cast<std::uint64_t>(st.st_size) == before + piece.size() && EveryLineEndsInCrLf(piece))
        contentStamp_ = StampOfStatus(st);
    else
        contentStamp_.reset();
    return true;
}

void TLog::ResetStates()
{
    connectionLineFlag = false;
    answerFlag = true;
    states_.fill(1);
    rateText_ = occupiedText_ = freeText_ = " ";
}

void TLog::Change(State s, std::uint8_t value, const char* upLine, const char* downLine)
{
    if (value == states_[s])
        return;
    WriteLine(value == 2 ? upLine : downLine);
    states_[s] = value;
}

void TLog::Alarm(bool lit, State s, const char* line, std::uint8_t& result)
{
    if (!lit) {
        states_[s] = 3;
        return;
    }
    if (states_[s] != 2)
        WriteLine(line);
    states_[s] = 2;
    result = 3;
}

void TLog::CheckStates(const MonitorDisplay& d, bool remoteMode)
{
    if (!enabled_)
        return;
    const IdentificationRecord& r = d.ident;
    const ConfigBlock& b = d.block;

    if (!connectionLineFlag) {
        std::string line = std::string("Connection to ") + (remoteMode ? "remote " : "local ") + d.mux.text +
                           " is established";
        line += ", FW version " + d.version.text;
        line += ", interface " + d.interface.text;
        if (b.liType() == 0)
            line += ", cable " + d.cable.text;
        line += ", available modules ";
        switch (r.phoneModule()) {
        case 0: line += "FXS"; break;
        case 1: line += "FXO"; break;
        case 2: line += "4TF"; break;
        default: line += "???"; break;
        }
        switch (r.port1Module()) {
        case 0: line += ", E1"; break;
        case 1: line += ", Ethernet TQR"; break;
        case 2: line += ", Ethernet TQR-100"; break;
        case 4: line += ", VX-IP"; break;
        default: break;
        }
        line += ", full time " + d.fillTime.text + ", curr time " + d.currTime.text;
        line += ", Rx OK packets " + d.rxOk.text + ", Rx Err packets " + d.rxErr.text;
        WriteLine(line);
    }

    const std::uint8_t link = r.linkUp() ? 2 : 3;
    if (link != states_[Link]) {
        if (link == 2)
            rateText_ = "  ";
        else
            WriteLine("Link DOWN");
        states_[Link] = link;
    }

    if (states_[Link] == 2 &&
        (d.bitRatePx.text != rateText_ || d.occupied.text != occupiedText_ || d.freeRate.text != freeText_)) {
        std::string line = "Link UP, bitrate";
        const bool external = b.liBitRateSource() == 1;
        const unsigned index = external ? r.externalRateIndex() : b.liBitRate();
        if (index >= 1 && index <= 6)
            line += d.rateTexts[index] + "kbit/s";
        else
            line += " ???";
        line += external ? " (ext)" : " (int)";
        line += ", occupied " + d.occupied.text + ", free " + d.freeRate.text;
        WriteLine(line);
        rateText_ = d.bitRatePx.text;
        occupiedText_ = d.occupied.text;
        freeText_ = d.freeRate.text;
    }

    auto lit = [](Colour c) { return c == Colour::Lime; };
    if (b.liType() == 1) {
        if (states_[Port2] == 2) {
            WriteLine("Port 2 (UPI-2) status is changed to DOWN");
            states_[Port2] = 3;
        }
        std::uint8_t result = 2;
        if (lit(d.e1[LOS])) {
            if (states_[SLOS] != 2)
                WriteLine("E1 port is detected alarm: Loss Of Signal");
            states_[SLOS] = 2;
            result = 3;
        } else {
            states_[SLOS] = 3;
            Alarm(lit(d.e1[LOF]), SLOF, "E1 port is detected alarm: Loss Of Frame", result);
            Alarm(lit(d.e1[AI]), SAI, "E1 port is detected alarm: Alarm Indication signal", result);
            Alarm(lit(d.e1[RA]), SRA, "E1 port is detected alarm: Remote Alarm", result);
        }
        Alarm(lit(d.e1[LOT]), SLOT, "E1 port is detected alarm: Loss Of Transmitter", result);
        Change(E1Status, result, "E1 port status is changed to UP", "E1 port status is changed to DOWN");
    } else {
        if (states_[E1Status] == 2) {
            WriteLine("E1 port status is changed to DOWN");
            states_[E1Status] = 3;
        }
        const bool all = std::all_of(d.p2.begin(), d.p2.end(), lit);
        Change(Port2, all ? 2 : 3, "Port 2 (UPI-2) status is changed to UP",
               "Port 2 (UPI-2) status is changed to DOWN");
    }

    switch (r.port1Module()) {
    case 1:
    case 2:
        Change(Eth1, (r.ethLink() & 1u) ? 2 : 3, "Ethernet port link status is changed to UP",
               "Ethernet port link status is changed to DOWN");
        break;
    case 4: {
        const std::uint8_t module = lit(d.vxip.state.colour) ? 2 : 3;
        Change(VxIpModule, module, "VX-IP module status is changed to UP", "VX-IP module status is changed to DOWN");
        if (module == 3)
            break;
        Change(Eth1, d.vxip.n1.colour == Colour::Green ? 3 : 2, "Ethernet port 1 link status is changed to UP",
               "Ethernet port 1 link status is changed to DOWN");
        Change(Eth2, d.vxip.n2.colour == Colour::Green ? 3 : 2, "Ethernet port 2 link status is changed to UP",
               "Ethernet port 2 link status is changed to DOWN");
        break;
    }
    default:
        break;
    }
}

} // namespace km7
