// km7ctl: its text and JSON output over a hand-made display, and the program
// itself run as a child process against the device simulator.
#include "km7ctl/Outcome.h"
#include "km7ctl/StatusReport.h"

#include "SimProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <optional>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using km7::Colour;
using nlohmann::json;

namespace {

// ------------------------------------------------------------ child processes

extern "C" char** environ;

struct RunOptions {
    std::string program = KM7_CTL;
    std::string cwd;
    std::map<std::string, std::string> env; // added to (or replacing in) the test's environment
    bool unprivileged = false;               // as root: run as nobody, so that permissions apply
};

struct Outcome {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out, err;
};

// Exit status of a child that could not become an unprivileged user.
constexpr int kCannotDropPrivileges = 126;

class Child {
public:
    Child(const std::vector<std::string>& args, const RunOptions& o, bool captureErr = true)
    {
        int outPipe[2], errPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
            return;
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!o.env.count(entry.substr(0, entry.find('='))))
                env.push_back(entry);
        }
        for (const auto& [k, v] : o.env)
            env.push_back(k + "=" + v);
        std::vector<std::string> argv = {o.program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv, cenv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (auto& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);

        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(outPipe[1], STDOUT_FILENO);
            if (captureErr)
                ::dup2(errPipe[1], STDERR_FILENO);
            for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
                ::close(fd);
            if (!o.cwd.empty() && ::chdir(o.cwd.c_str()) != 0)
                std::_Exit(125);
            if (o.unprivileged && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                std::_Exit(kCannotDropPrivileges);
            ::execve(cargv[0], cargv.data(), cenv.data());
            std::_Exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out_ = outPipe[0];
        err_ = errPipe[0];
    }
    ~Child()
    {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, err_})
            if (fd >= 0)
                ::close(fd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads stdout until `text` has arrived (true) or stdout closed.
    bool ReadUntil(const std::string& text)
    {
        while (out.find(text) == std::string::npos)
            if (!Pump())
                return false;
        return true;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

    // Collects all output and the exit status. A child still running after a
    // minute is killed: that is a hang, reported as status -1.
    Outcome Wait()
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (Pump(giveUp)) {
        }
        Outcome r;
        int st = 0;
        if (std::chrono::steady_clock::now() >= giveUp)
            ::kill(pid_, SIGKILL);
        if (pid_ > 0 && ::waitpid(pid_, &st, 0) == pid_ && WIFEXITED(st))
            r.status = WEXITSTATUS(st);
        waited_ = true;
        r.out = out;
        r.err = err;
        return r;
    }

    std::string out, err;

private:
    // One read from whichever pipe has data; false once both are closed or
    // the time is up.
    bool Pump(std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::now() +
                                                            std::chrono::seconds(60))
    {
        while (out_ >= 0 || err_ >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
            if (::poll(p, 2, static_cast<int>(left.count())) <= 0)
                return false;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                int& fd = i == 0 ? out_ : err_;
                char buf[4096];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fd);
                    fd = -1;
                    continue;
                }
                (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
                return true;
            }
        }
        return false;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool waited_ = false;
};

Outcome RunCtl(const std::vector<std::string>& args, const RunOptions& o = {})
{
    Child c(args, o);
    return c.Wait();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The message of an event-log line "dd.mm.yyyy hh:nn:ss [n] : message",
// with its number; nullopt when the line has another form.
std::optional<std::pair<int, std::string>> LogMessage(const std::string& line)
{
    static const std::regex form(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d \[(\d+)\] : (.*)$)");
    std::smatch m;
    if (!std::regex_match(line, m, form))
        return std::nullopt;
    return std::make_pair(std::stoi(m[1].str()), m[2].str());
}

// A simulator announced as "ttySIMT" in a folder of its own, a settings file
// that names it, and the environment that lets km7ctl find it.
struct Bench {
    explicit Bench(std::vector<std::string> simArgs, const std::string& settings = "")
    {
        const std::string run = dir.file("run");
        std::filesystem::create_directories(run);
        sim.emplace(std::move(simArgs), run + "/km7tl-ports", "ttySIMT");
        settingsFile = dir.file("km7tl.ini");
        WriteText(settingsFile, "[Settings]\r\nCOMPort=ttySIMT\r\n" + settings);
        options.cwd = dir.path();
        options.env["XDG_RUNTIME_DIR"] = run;
    }
    // km7ctl with this bench's settings file.
    Outcome Ctl(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--settings", settingsFile});
        return RunCtl(args, options);
    }

    TempDir dir;
    std::optional<SimProcess> sim;
    std::string settingsFile;
    RunOptions options;
};

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

json ParseJson(const std::string& text)
{
    return json::parse(text, nullptr, false);
}

} // namespace

// ------------------------------------------------------------ output format

namespace {

// A display as the window would hold it for a KM-7-TL-2 with VX-IP module in
// its bootloader on an E1 line.
km7::MonitorDisplay HandMadeDisplay()
{
    km7::MonitorDisplay d;
    d.mux = {"KM-7-TL-2", Colour::WindowText};
    d.version = {"4.05.209", Colour::WindowText};
    d.state = {"Error", Colour::Red};
    d.interface = {"E1", Colour::WindowText};
    d.cable = {"No Cable", Colour::Green};
    d.modules = {"4TF, VX-IP", Colour::WindowText};
    d.bitRatePx = {" 33,6 Internal", Colour::WindowText};
    d.occupied = {"33600 bit/s", Colour::Red};
    d.freeRate = {"0 bit/s", Colour::Red};
    d.fillTime = {"10 d 0:00:00", Colour::WindowText};
    d.currTime = {"0:00:59", Colour::WindowText};
    d.rxOk = {"1.234.567", Colour::WindowText};
    d.rxErr = {"0", Colour::WindowText};
    d.channels.phone[0] = {{"On, VX-IP   FM Clip", Colour::Green}, true, {"Transit Clip", Colour::Red}, "Pri 11"};
    d.channels.data[5] = {{"Clipped, VX-IP, MMO 19200", Colour::Red}, true, {"Transit On", Colour::Green}, "Pri 256"};
    d.channels.ethernet = {"On, 24000 bit/s", Colour::Green};
    d.channels.ethernetPri = "Pri 1";
    d.block.setLiType(1);
    d.e1.fill(Colour::Green);
    d.e1[km7::LOS] = Colour::Lime;
    d.e1[km7::CRC] = Colour::Lime;
    d.p2.fill(Colour::Lime); // the hidden group keeps its last colours
    d.vxipVisible = true;
    d.vxip.state = {Colour::Green, "Bootloader", true};
    d.vxip.n1 = {Colour::Red, "FirmWare", true};
    d.vxip.n2 = {Colour::Lime, "RAM", true};
    d.vxip.n3 = {Colour::Red, "Network interface", true};
    d.vxip.n4 = {Colour::Green, "RX", false};
    return d;
}

} // namespace

TEST(Km7ctlOutput, ColourNames)
{
    const std::pair<Colour, const char*> cases[] = {
        {Colour::Red, "red"},       {Colour::Green, "green"},           {Colour::Lime, "lime"},
        {Colour::Teal, "teal"},     {Colour::Blue, "blue"},             {Colour::WindowText, "windowtext"},
        {Colour::ButtonFace, "buttonface"},
    };
    for (const auto& [colour, name] : cases)
        EXPECT_STREQ(km7ctl::ColourName(colour), name);
}

TEST(Km7ctlOutput, PlainLinesUseTheWindowLabelsAndColumns)
{
    const std::string expected = "Multiplexer : KM-7-TL-2\n"
                                 "Version : 4.05.209\n"
                                 "State : Error\n"
                                 "Interface : E1\n"
                                 "Cable : No Cable\n"
                                 "Modules : 4TF, VX-IP\n"
                                 "BitRate P2 :  33,6 Internal\n"
                                 "Occupied : 33600 bit/s\n"
                                 "Free : 0 bit/s\n"
                                 "Full time : 10 d 0:00:00\n"
                                 "Curr. time : 0:00:59\n"
                                 "RxOK packets : 1.234.567\n"
                                 "RxErr packets : 0\n"
                                 "Phone #1 : On, VX-IP   FM Clip       Transit Clip  Pri 11\n"
                                 "Phone #2 :\n"
                                 "Phone #3 :\n"
                                 "Phone #4 :\n"
                                 "Data #1 :\n"
                                 "Data #2 :\n"
                                 "Data #3 :\n"
                                 "Data #4 :\n"
                                 "Data #5 :\n"
                                 "Data #6 : Clipped, VX-IP, MMO 19200  Transit On    Pri 256\n"
                                 "Ethernet : On, 24000 bit/s           Pri 1\n"
                                 "E1 : LOF green, LOS lime, RA green, AI green, LOT green, E green, CRC lime, CV green\n"
                                 "VX-IP : Bootloader green, FirmWare red, RAM lime, Network interface red\n";
    EXPECT_EQ(km7ctl::PlainStatus(HandMadeDisplay()), expected);
}

TEST(Km7ctlOutput, JsonHoldsEveryTextAndOnlyTheShownIndicators)
{
    const json expected = json::parse(R"({
      "Mux": {"text": "KM-7-TL-2", "colour": "windowtext"},
      "Version": {"text": "4.05.209", "colour": "windowtext"},
      "State": {"text": "Error", "colour": "red"},
      "Interface": {"text": "E1", "colour": "windowtext"},
      "Cable": {"text": "No Cable", "colour": "green"},
      "Modules": {"text": "4TF, VX-IP", "colour": "windowtext"},
      "BitRatePx": {"text": " 33,6 Internal", "colour": "windowtext"},
      "BitRateOccupied": {"text": "33600 bit/s", "colour": "red"},
      "BitRateFree": {"text": "0 bit/s", "colour": "red"},
      "FillTime": {"text": "10 d 0:00:00", "colour": "windowtext"},
      "CurrTime": {"text": "0:00:59", "colour": "windowtext"},
      "PacketsRxOK": {"text": "1.234.567", "colour": "windowtext"},
      "PacketsRxErr": {"text": "0", "colour": "windowtext"},
      "channels": [
        {"name": "Phone #1", "text": "On, VX-IP   FM Clip", "colour": "green",
         "transit": {"text": "Transit Clip", "colour": "red"}, "priority": "Pri 11"},
        {"name": "Phone #2", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Phone #3", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Phone #4", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #1", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #2", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #3", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #4", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #5", "text": "", "colour": "windowtext", "transit": null, "priority": ""},
        {"name": "Data #6", "text": "Clipped, VX-IP, MMO 19200", "colour": "red",
         "transit": {"text": "Transit On", "colour": "green"}, "priority": "Pri 256"},
        {"name": "Ethernet", "text": "On, 24000 bit/s", "colour": "green", "transit": null, "priority": "Pri 1"}
      ],
      "indicators": {"LOF": "green", "LOS": "lime", "RA": "green", "AI": "green", "LOT": "green",
                     "E": "green", "CRC": "lime", "CV": "green",
                     "State": "green", "N1": "red", "N2": "lime", "N3": "red"},
      "labels": {"State": "Bootloader", "N1": "FirmWare", "N2": "RAM", "N3": "Network interface"}
    })");
    EXPECT_EQ(json::parse(km7ctl::JsonStatus(HandMadeDisplay()).dump()), expected);
    EXPECT_EQ(ParseJson(km7ctl::JsonLine(HandMadeDisplay())), expected);
    EXPECT_EQ(km7ctl::JsonLine(HandMadeDisplay()).find('\n'), std::string::npos) << "one object a line";
}

TEST(Km7ctlOutput, Port2GroupWithoutVxIp)
{
    km7::MonitorDisplay d = HandMadeDisplay();
    d.block.setLiType(0);
    d.vxipVisible = false;
    d.p2 = {Colour::Lime, Colour::Green, Colour::Lime, Colour::Green, Colour::Green}; // DTR DSR RTS CTS DCD
    const json j = json::parse(km7ctl::JsonStatus(d).dump());
    EXPECT_EQ(j["indicators"],
              json::parse(R"({"DTR": "lime", "DSR": "green", "RTS": "lime", "CTS": "green", "DCD": "green"})"));
    EXPECT_FALSE(j.contains("labels"));
    const std::string plain = km7ctl::PlainStatus(d);
    EXPECT_NE(plain.find("\nPort 2 : DTR lime, DSR green, RTS lime, CTS green, DCD green\n"), std::string::npos);
    EXPECT_EQ(plain.find("E1 :"), std::string::npos);
    EXPECT_EQ(plain.find("VX-IP :"), std::string::npos);
}

TEST(Km7ctlOutput, TextsThatAreNotUtf8DoNotBreakTheJsonLine)
{
    km7::MonitorDisplay d;
    d.mux = {"KM-7-TL \xff\xfe", Colour::Red};
    const json j = ParseJson(km7ctl::JsonLine(d));
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(j["Mux"]["colour"], "red");
}

TEST(Km7ctlOutcome, ExitStatusesAndMessages)
{
    const std::pair<int, int> results[] = {{0, 0}, {12, 4}, {11, 1}, {20, 1}, {25, 1}, {10, 1}, {255, 1}};
    for (const auto& [result, status] : results)
        EXPECT_EQ(km7ctl::ExitForResult(static_cast<std::uint8_t>(result)), status) << "result " << result;

    EXPECT_EQ(km7ctl::WithoutLeadingBlank(" No answer from local mux or firmware is loading!"),
              "No answer from local mux or firmware is loading!");
    EXPECT_EQ(km7ctl::WithoutLeadingBlank(""), "");

    using km7::PortProblem;
    const std::string denied = km7ctl::PortProblemMessage(PortProblem::PermissionDenied, "", "ttyS3", {});
    EXPECT_NE(denied.find("ttyS3"), std::string::npos) << denied;
    EXPECT_NE(denied.find("dialout"), std::string::npos) << denied;
    const std::string missing = km7ctl::PortProblemMessage(PortProblem::Missing, "", "ttyUSB7", {"ttyS0", "ttyUSB0"});
    EXPECT_NE(missing.find("ttyUSB7"), std::string::npos) << missing;
    EXPECT_NE(missing.find("ttyS0, ttyUSB0"), std::string::npos) << missing;
    EXPECT_NE(km7ctl::PortProblemMessage(PortProblem::Busy, "", "ttyS1", {}).find("busy"), std::string::npos);
}

// ------------------------------------------------------------ against the simulator

namespace {

// An expected text: one of the listed texts (the simulator's clocks and
// counters run on while the test runs) and its colour.
struct Expect {
    std::vector<std::string> texts;
    const char* colour;
};

struct StatusCase {
    const char* name;
    std::vector<std::string> simArgs;
    bool remote;
    std::map<std::string, Expect> texts;
    // Channel rows by index: text, colour, transit text ("" hidden), priority.
    std::map<int, std::vector<std::string>> rows;
    const char* indicators; // the whole "indicators" object
};

} // namespace

TEST(Km7ctlStatus, JsonForTwoDeviceTypesAndRemoteMode)
{
    const StatusCase cases[] = {
        {"KM-7-TL-1, factory configuration, UPI",
         {},
         false,
         {{"Mux", {{"KM-7-TL-1"}, "windowtext"}},
          {"Version", {{"3.05.209"}, "windowtext"}},
          {"State", {{"Normal"}, "windowtext"}},
          {"Interface", {{"UPI"}, "windowtext"}},
          {"Cable", {{"DTE V.35"}, "windowtext"}},
          {"Modules", {{"FXS, E1"}, "windowtext"}},
          {"BitRatePx", {{" 16,8 Internal"}, "windowtext"}},
          {"BitRateOccupied", {{"9500 bit/s"}, "windowtext"}},
          {"BitRateFree", {{"7300 bit/s"}, "windowtext"}},
          {"FillTime", {{"1 d 2:03:04", "1 d 2:03:05", "1 d 2:03:06", "1 d 2:03:07"}, "windowtext"}},
          {"CurrTime", {{"0:10:00", "0:10:01", "0:10:02", "0:10:03"}, "windowtext"}},
          {"PacketsRxOK", {{"1.234", "1.271", "1.308", "1.345"}, "windowtext"}},
          {"PacketsRxErr", {{"0"}, "windowtext"}}},
         {{0, {"On, UPI     ", "green", "", "Pri 1"}},
          {3, {"Off, UPI     ", "windowtext", "", "Pri 4"}},
          {4, {"On, UPI, MMO 2400", "green", "", "Pri 6"}},
          {5, {"On, UPI, TM 100", "green", "", "Pri 7"}},
          {9, {"Off, UPI, MMO 9600", "windowtext", "", "Pri 11"}},
          {10, {"No module", "windowtext", "", ""}}},
         R"({"DTR": "lime", "DSR": "lime", "RTS": "lime", "CTS": "lime", "DCD": "lime"})"},
        {"KM-7-TL-2 with VX-IP on E1, link down",
         {"--set", "model=4", "--set", "port1=4", "--set", "vxip=0x34", "--set", "li=e1", "--set", "e1=0x02",
          "--set", "link=0", "--set", "cable=31", "--set", "rxok=1234567", "--set", "rxerr=1000", "--set",
          "fulltime=864000", "--set", "currtime=59"},
         false,
         {{"Mux", {{"KM-7-TL-2"}, "windowtext"}},
          {"Version", {{"4.05.209"}, "windowtext"}},
          {"State", {{"Error"}, "red"}},
          {"Interface", {{"E1"}, "windowtext"}},
          {"Cable", {{"No Cable"}, "green"}},
          {"Modules", {{"FXS, VX-IP"}, "windowtext"}},
          {"BitRatePx", {{" 33,6 Internal"}, "windowtext"}},
          {"BitRateOccupied", {{"33600 bit/s"}, "red"}},
          {"BitRateFree", {{"0 bit/s"}, "red"}},
          {"FillTime", {{"10 d 0:00:00", "10 d 0:00:01", "10 d 0:00:02", "10 d 0:00:03"}, "windowtext"}},
          {"CurrTime", {{"0:00:59", "0:01:00", "0:01:01", "0:01:02"}, "windowtext"}},
          {"PacketsRxOK", {{"1.234.567"}, "windowtext"}},
          {"PacketsRxErr", {{"1.000"}, "windowtext"}}},
         {{0, {"On, UPI     ", "green", "Transit Off", "Pri 1"}},
          {6, {"Off, UPI, MMO 9600", "windowtext", "Transit Off", "Pri 8"}},
          {10, {"On, 24000 bit/s", "green", "", "Pri 1"}}},
         R"({"LOF": "green", "LOS": "lime", "RA": "green", "AI": "green", "LOT": "green", "E": "green",
             "CRC": "green", "CV": "green", "State": "lime", "N1": "lime", "N2": "lime", "N3": "green",
             "N4": "green"})"},
        {"remote KM-7-TL-2 with 4TF behind a local KM-7-TL-1",
         {"--remote-set", "model=4", "--remote-set", "rate=5", "--remote-set", "phone=2", "--remote-set", "cable=2",
          "--remote-set", "circuits=0x06"},
         true,
         {{"Mux", {{"KM-7-TL-2"}, "windowtext"}},
          {"Version", {{"4.05.209"}, "windowtext"}},
          {"Cable", {{"DTE RS-232/V.24"}, "windowtext"}},
          {"Modules", {{"4TF, E1"}, "windowtext"}},
          {"BitRatePx", {{" 50,4 Internal"}, "windowtext"}},
          {"BitRateOccupied", {{"9500 bit/s"}, "windowtext"}},
          {"BitRateFree", {{"40900 bit/s"}, "windowtext"}}},
         {{0, {"On, UPI     FM Off", "green", "", "Pri 1"}}, {1, {"Off, UPI     FM Off", "windowtext", "", "Pri 2"}}},
         R"({"DTR": "lime", "DSR": "green", "RTS": "lime", "CTS": "green", "DCD": "green"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.simArgs);
        ASSERT_TRUE(bench.sim->ok());
        std::vector<std::string> args = {"status", "--json"};
        if (c.remote)
            args.insert(args.begin(), "--remote");
        const Outcome r = bench.Ctl(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const json j = ParseJson(r.out);
        ASSERT_TRUE(j.is_object()) << r.out;
        for (const auto& [key, e] : c.texts) {
            ASSERT_TRUE(j.contains(key)) << key;
            const std::string text = j[key].value("text", "?");
            EXPECT_NE(std::find(e.texts.begin(), e.texts.end(), text), e.texts.end()) << key << ": " << text;
            EXPECT_EQ(j[key].value("colour", "?"), e.colour) << key;
        }
        ASSERT_EQ(j["channels"].size(), 11u);
        for (const auto& [index, row] : c.rows) {
            const json& got = j["channels"][static_cast<std::size_t>(index)];
            EXPECT_EQ(got["text"], row[0]) << got;
            EXPECT_EQ(got["colour"], row[1]) << got;
            if (row[2].empty())
                EXPECT_TRUE(got["transit"].is_null()) << got;
            else
                EXPECT_EQ(got["transit"], (json{{"text", row[2]}, {"colour", "windowtext"}})) << got;
            EXPECT_EQ(got["priority"], row[3]) << got;
        }
        EXPECT_EQ(j["channels"][0]["name"], "Phone #1");
        EXPECT_EQ(j["channels"][9]["name"], "Data #6");
        EXPECT_EQ(j["channels"][10]["name"], "Ethernet");
        EXPECT_EQ(j["indicators"], json::parse(c.indicators));
    }
}

TEST(Km7ctlStatus, PlainLinesOfTheFactoryDevice)
{
    Bench bench({});
    ASSERT_TRUE(bench.sim->ok());
    const Outcome r = bench.Ctl({"status"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 25u) << r.out;
    const std::pair<std::size_t, const char*> expected[] = {
        {0, "Multiplexer : KM-7-TL-1"},
        {1, "Version : 3.05.209"},
        {2, "State : Normal"},
        {3, "Interface : UPI"},
        {4, "Cable : DTE V.35"},
        {5, "Modules : FXS, E1"},
        {6, "BitRate P2 :  16,8 Internal"},
        {7, "Occupied : 9500 bit/s"},
        {8, "Free : 7300 bit/s"},
        {12, "RxErr packets : 0"},
        {13, "Phone #1 : On, UPI                   Pri 1"},
        {17, "Data #1 : On, UPI, MMO 2400          Pri 6"},
        {22, "Data #6 : Off, UPI, MMO 9600         Pri 11"},
        {23, "Ethernet : No module"},
        {24, "Port 2 : DTR lime, DSR lime, RTS lime, CTS lime, DCD lime"},
    };
    for (const auto& [index, line] : expected)
        EXPECT_EQ(lines[index], line);
    EXPECT_EQ(lines[9].rfind("Full time : 1 d 2:03:0", 0), 0u) << lines[9];
    EXPECT_EQ(lines[10].rfind("Curr. time : 0:10:0", 0), 0u) << lines[10];
    EXPECT_EQ(lines[11].rfind("RxOK packets : 1.", 0), 0u) << lines[11];
}

// The requests each command sends, as the simulator saw them.
TEST(Km7ctlCommands, RequestSequences)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> requests;
    };
    const Case cases[] = {
        {{"status"}, {"10", "11", "13", "11", "13"}},
        {{"--remote", "status"}, {"30", "32", "33", "35", "33", "35", "31"}},
        {{"clear"}, {"10", "11", "13", "12"}},
        {{"--remote", "clear"}, {"30", "32", "33", "35", "34", "31"}},
        {{"reset"}, {"10", "11", "13", "16", "17"}},
        {{"--remote", "reset"}, {"30", "32", "33", "35", "16", "17"}},
        // A started test keeps running: nothing stops it on the way out.
        {{"test", "start", "LL"}, {"10", "11", "13", "18 01"}},
        {{"test", "stop", "dl"}, {"10", "11", "13", "19 00"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        Bench bench({"--verbose"});
        ASSERT_TRUE(bench.sim->ok());
        const Outcome r = bench.Ctl(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(bench.sim->Requests(), c.requests);
    }
}

TEST(Km7ctlCommands, PortsListsTheAnnouncedSimulator)
{
    Bench bench({});
    ASSERT_TRUE(bench.sim->ok());
    const Outcome r = bench.Ctl({"ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ttySIMT"), lines.end()) << r.out;
}

TEST(Km7ctlCommands, DefaultSettingsFileIsTheWindowsBesideTheProgram)
{
    Bench bench({});
    ASSERT_TRUE(bench.sim->ok());
    // A copy of the program in a folder of its own, with km7tl.ini beside it.
    const std::string bin = bench.dir.file("bin");
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(KM7_CTL, bin + "/km7ctl");
    WriteText(bin + "/km7tl.ini", "[Settings]\r\nCOMPort=ttySIMT\r\n");
    RunOptions o = bench.options;
    o.program = bin + "/km7ctl";
    const Outcome r = RunCtl({"--library", KM7_SERIAL_LIB, "status", "--json"}, o);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ParseJson(r.out)["Mux"]["text"], "KM-7-TL-1") << r.out;
    // The run identified the device and stored it in that file.
    EXPECT_NE(ReadText(bin + "/km7tl.ini").find("VORXType=MUX_TYPE_1ch"), std::string::npos)
        << ReadText(bin + "/km7tl.ini");
}

// ------------------------------------------------------------ watch

TEST(Km7ctlWatch, EventLinesOfAScriptedLinkLoss)
{
    TempDir scriptDir;
    const std::string script = scriptDir.file("states.txt");
    WriteText(script, "3 link=0\n"); // the second poll's identification
    Bench bench({"--script", script});
    ASSERT_TRUE(bench.sim->ok());
    const Outcome r = bench.Ctl({"watch", "--interval", "100", "--count", "2"});
    ASSERT_EQ(r.status, 0) << r.err;

    const std::vector<std::string> expected = {
        "KM-7-TL_v2.09 started.",
        "Connection to local KM-7-TL-1 is established, FW version 3.05.209, interface UPI, cable DTE V.35, "
        "available modules FXS, E1, full time 1 d 2:03:0",
        "Link UP, bitrate 16,8 kbit/s (int), occupied 9500 bit/s, free 7300 bit/s",
        "Port 2 (UPI-2) status is changed to UP",
        "Link DOWN",
        "Connection to local KM-7-TL-1 is closed",
        "KM-7-TL_v2.09 stopped.",
    };
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), expected.size()) << r.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto m = LogMessage(lines[i]);
        ASSERT_TRUE(m) << lines[i];
        EXPECT_EQ(m->first, static_cast<int>(i + 1)) << lines[i];
        if (i == 1)
            EXPECT_EQ(m->second.rfind(expected[i], 0), 0u) << m->second;
        else
            EXPECT_EQ(m->second, expected[i]);
    }
    // CreateLogFile is not set: the lines are printed, no file is written.
    for (const auto& entry : std::filesystem::directory_iterator(bench.dir.path()))
        EXPECT_NE(entry.path().extension(), ".log") << entry.path();
}

TEST(Km7ctlWatch, JsonObjectAPoll)
{
    TempDir scriptDir;
    const std::string script = scriptDir.file("states.txt");
    WriteText(script, "3 link=0\n");
    Bench bench({"--script", script});
    ASSERT_TRUE(bench.sim->ok());
    const Outcome r = bench.Ctl({"watch", "--json", "--interval", "100", "--count", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    const json first = ParseJson(lines[0]), second = ParseJson(lines[1]);
    EXPECT_EQ(first["State"], (json{{"text", "Normal"}, {"colour", "windowtext"}}));
    EXPECT_EQ(second["State"], (json{{"text", "Error"}, {"colour", "red"}}));
    EXPECT_EQ(second["BitRateFree"], (json{{"text", "7300 bit/s"}, {"colour", "red"}}));
    EXPECT_EQ(second["Mux"]["text"], "KM-7-TL-1");
}

// Ctrl-C (or a SIGTERM) ends a watch as the window's close does: the poll
// under way finishes, remote mode sends 31, the port is closed and the log
// gets its last lines.
TEST(Km7ctlWatch, SignalClosesTheConnectionAndTheLog)
{
    for (const bool remote : {false, true}) {
        SCOPED_TRACE(remote ? "remote, SIGTERM" : "local, SIGINT");
        Bench bench({"--verbose"}, "CreateLogFile=yes\r\n");
        ASSERT_TRUE(bench.sim->ok());
        std::vector<std::string> args = {"--settings", bench.settingsFile, "watch", "--interval", "100"};
        if (remote)
            args.insert(args.begin(), "--remote");
        Child child(args, bench.options);
        ASSERT_TRUE(child.ReadUntil("Port 2 (UPI-2) status is changed to UP\n")) << child.out;
        child.Signal(remote ? SIGTERM : SIGINT);
        const Outcome r = child.Wait();
        EXPECT_EQ(r.status, 0) << r.err;

        std::vector<std::string> logLines;
        for (const auto& line : Lines(ReadText(bench.dir.file("km-7-tl_v2.09 ttysimt.log"))))
            if (!line.empty())
                logLines.push_back(line);
        ASSERT_GE(logLines.size(), 3u);
        const auto closed = LogMessage(logLines[logLines.size() - 2]);
        const auto stopped = LogMessage(logLines.back());
        ASSERT_TRUE(closed && stopped);
        EXPECT_EQ(closed->second, remote ? "Connection to remote KM-7-TL-1 is closed"
                                         : "Connection to local KM-7-TL-1 is closed");
        EXPECT_EQ(stopped->second, "KM-7-TL_v2.09 stopped.");
        const auto printed = Lines(r.out);
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(printed.back(), logLines.back()) << "the same line on stdout";

        const auto requests = bench.sim->Requests();
        ASSERT_FALSE(requests.empty());
        if (remote)
            EXPECT_EQ(requests.back(), "31");
        else
            EXPECT_EQ(std::count(requests.begin(), requests.end(), "31"), 0);
    }
}

// ------------------------------------------------------------ failures

TEST(Km7ctlExit, DeviceAndPortFailures)
{
    struct Case {
        const char* name;
        std::vector<std::string> simArgs;
        std::vector<std::string> args;
        int status;
        const char* stderrText; // the first line, or a part of it when `part`
        bool part;
    };
    const std::string missingLib = "/nonexistent/km7/serial.so";
    const Case cases[] = {
        {"silent device", {"--fault", "silent"}, {"status"}, 4, "No answer from local mux or firmware is loading!", false},
        {"remote way refused", {"--fault", "error,param=21,code=30"}, {"--remote", "status"}, 1,
         "Access disabled from remote multiplexer!", false},
        {"error response to connect", {"--fault", "error,param=20,code=10"}, {"status"}, 1,
         "Access disabled from local host!", false},
        {"error response to clear", {"--fault", "error,param=11,code=12"}, {"clear"}, 1, "Error execute command", false},
        {"error response to the test", {"--fault", "error,param=24,code=18"}, {"test", "start", "dl"}, 1,
         "Access denied from remote multiplexer!", false},
        {"missing port", {}, {"-p", "ttyNOPE", "status"}, 3, "ttyNOPE", true},
        {"missing device path", {}, {"-p", "/dev/km7-no-such-port", "clear"}, 3, "/dev/km7-no-such-port", true},
        {"no serial library", {}, {"--library", missingLib, "status"}, 3, "Can't load serial.dll", true},
        {"incomplete serial library", {}, {"--library", KM7_INCOMPLETE_LIB, "reset"}, 3, "Can't load serial.dll", true},
        {"port list without library", {}, {"--library", missingLib, "ports"}, 3, "Can't load serial.dll", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.simArgs);
        ASSERT_TRUE(bench.sim->ok());
        const Outcome r = bench.Ctl(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        const auto lines = Lines(r.err);
        ASSERT_FALSE(lines.empty());
        if (c.part)
            EXPECT_NE(r.err.find(c.stderrText), std::string::npos) << r.err;
        else
            EXPECT_EQ(lines[0], c.stderrText) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(Km7ctlExit, WrongUsage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"status", "--nope"},
        {"status", "extra"},
        {"--remote", "test", "start", "dl"},
        {"test", "--remote", "stop", "ll"},
        {"test", "start"},
        {"test", "start", "xx"},
        {"test", "begin", "dl"},
        {"watch", "--count", "0"},
        {"watch", "--count", "-3"},
        {"watch", "--count", "many"},
        {"watch", "--interval", "50"},
        {"watch", "--interval", "99999999999999999999"},
        {"-p"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(Joined(args));
        const Outcome r = RunCtl(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err.rfind("km7ctl: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    for (const char* command : {"ports", "status", "watch", "reset", "clear", "test"}) {
        const Outcome r = RunCtl({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: km7ctl ") + command), std::string::npos) << r.out;
    }
}

namespace {

// A folder and files that an unprivileged child can read.
void OpenForOthers(const std::string& path)
{
    ::chmod(path.c_str(), 0755);
}

} // namespace

TEST(Km7ctlExit, PortWithoutPermission)
{
    Bench bench({});
    OpenForOthers(bench.dir.path());
    ::chmod(bench.settingsFile.c_str(), 0644);
    const std::string locked = bench.dir.file("ttyLOCKED");
    WriteText(locked, "");
    ::chmod(locked.c_str(), 0);
    RunOptions o = bench.options;
    o.unprivileged = true;
    const Outcome r = RunCtl({"--settings", bench.settingsFile, "-p", locked, "status"}, o);
    if (r.status == kCannotDropPrivileges || r.status == 127)
        GTEST_SKIP() << "km7ctl cannot run as an unprivileged user here, and permissions do not apply to root";
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("permission denied"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("dialout"), std::string::npos) << r.err;
}

TEST(Km7ctlExit, PortInUse)
{
    Bench bench({});
    ASSERT_TRUE(bench.sim->ok());
    OpenForOthers(bench.dir.path());
    ::chmod(bench.settingsFile.c_str(), 0644);
    ::chmod(bench.sim->pts().c_str(), 0666);
    Child holder({"--settings", bench.settingsFile, "watch", "--interval", "100"}, bench.options);
    ASSERT_TRUE(holder.ReadUntil("Port 2 (UPI-2) status is changed to UP\n")) << holder.out;

    RunOptions o = bench.options;
    o.unprivileged = true; // root may open a line another program holds exclusively
    const Outcome r = RunCtl({"--settings", bench.settingsFile, "-p", bench.sim->pts(), "status"}, o);
    holder.Signal(SIGINT);
    EXPECT_EQ(holder.Wait().status, 0);
    if (r.status == kCannotDropPrivileges || r.status == 127)
        GTEST_SKIP() << "km7ctl cannot run as an unprivileged user here, and root may open a held line";
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("busy"), std::string::npos) << r.err;
}
