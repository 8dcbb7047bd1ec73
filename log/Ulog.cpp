#include "log/Ulog.h"

#include "cfgfile/IniStore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <sys/stat.h>

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

// Reads the log's lines. A file far over the limit is read from its tail
// only: the head would be dropped anyway. False when the file exists but
// cannot be read (then it must not be rewritten).
bool ReadLines(const std::string& path, std::deque<std::string>& lines, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT)
            return true;
        error = "cannot read " + path;
        return false;
    }
    struct stat st {};
    bool skipFirst = false;
    if (::fstat(fileno(f), &st) == 0 && static_cast<std::size_t>(st.st_size) > 2 * TLog::kSizeLimit) {
        std::fseek(f, static_cast<long>(st.st_size - static_cast<off_t>(TLog::kSizeLimit)), SEEK_SET);
        skipFirst = true; // the first piece is the tail of a cut line
    }
    std::string data;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    std::vector<std::string> split = SplitLines(data);
    lines.insert(lines.end(), split.begin() + (skipFirst && !split.empty() ? 1 : 0), split.end());
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
    std::deque<std::string> lines;
    std::string error;
    if (!ReadLines(fileName_, lines, error)) {
        lastError_ = error; // leave an unreadable log alone rather than lose it
        return;
    }
    if (lineCounter_ == 1) {
        lines.emplace_back();
        lines.emplace_back();
    }
    lines.push_back(FormatLine(clock_(), lineCounter_, message));
    ++lineCounter_;

    std::size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + 2;
    while (total > kSizeLimit && !lines.empty()) {
        total -= lines.front().size() + 2;
        lines.pop_front();
    }
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    if (WriteFileAtomically(fileName_, out, &error))
        lastError_.clear();
    else
        lastError_ = error;
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
