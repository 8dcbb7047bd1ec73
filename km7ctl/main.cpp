// km7ctl: the KM-7-TL management tool on the command line. It is a front end
// of the device session, as the main window is: the same settings file, port
// list, serial library, request sequences, texts and event log.

#include "km7ctl/Outcome.h"
#include "km7ctl/StatusReport.h"
#include "link/WindowThread.h"
#include "monitor/PortList.h"
#include "monitor/Settings.h"
#include "session/DeviceSession.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace km7ctl;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Writes to stdout at once; false when nobody reads any more.
bool WriteOut(const std::string& text)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        return false;
    return std::fflush(stdout) == 0;
}

// stderr: messages, and the remote progress line while remote requests run
// (only on a terminal).
class Console {
public:
    Console() : tty_(::isatty(STDERR_FILENO) == 1) {}

    void Line(const std::string& text)
    {
        HideProgress();
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
        ShowProgress();
    }
    void Progress(bool on)
    {
        progressOn_ = on;
        percent_ = 0;
        if (on)
            ShowProgress();
        else
            HideProgress();
    }
    // One step of 100 ms: the line fills in ten seconds, as the window's bar.
    void Tick()
    {
        if (!progressOn_)
            return;
        percent_ = std::min(percent_ + 1, 100);
        ShowProgress();
    }

private:
    static constexpr const char* kProgressText = "Waiting for the remote multiplexer";
    void ShowProgress()
    {
        if (!tty_ || !progressOn_)
            return;
        std::fprintf(stderr, "\r%s %3d%%", kProgressText, percent_);
        std::fflush(stderr);
        shown_ = true;
    }
    void HideProgress()
    {
        if (!shown_)
            return;
        const int width = static_cast<int>(std::char_traits<char>::length(kProgressText)) + 5;
        std::fprintf(stderr, "\r%*s\r", width, "");
        std::fflush(stderr);
        shown_ = false;
    }

    bool tty_;
    bool progressOn_ = false;
    bool shown_ = false;
    int percent_ = 0;
};

// Posts `tick` to the window thread every 100 ms between Start and Stop.
class Ticker {
public:
    Ticker(km7::WindowThread& window, std::function<void()> tick) : window_(window), tick_(std::move(tick)) {}
    ~Ticker() { Stop(); }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    void Start()
    {
        if (thread_.joinable())
            return;
        running_ = true;
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!cv_.wait_for(lock, std::chrono::milliseconds(100), [this] { return !running_; }))
                window_.Post(tick_);
        });
    }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = false;
        }
        cv_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    km7::WindowThread& window_;
    std::function<void()> tick_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool running_ = false;
    std::thread thread_;
};

// SIGINT and SIGTERM, taken by a thread of their own and handed to the
// window thread, so that a command can end the way the window closes. The
// signals are blocked in every thread; BlockSignals must run before any
// thread starts.
class SignalWatcher {
public:
    static void BlockSignals()
    {
        sigset_t set = Signals();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

    SignalWatcher(km7::WindowThread& window, std::function<void(int count)> onSignal)
        : window_(window), onSignal_(std::move(onSignal))
    {
        thread_ = std::thread([this] {
            const sigset_t set = Signals();
            const timespec step{0, 100 * 1000 * 1000};
            while (!quit_) {
                if (::sigtimedwait(&set, nullptr, &step) > 0) {
                    const int n = ++count_;
                    window_.Post([this, n] { onSignal_(n); });
                }
            }
        });
    }
    ~SignalWatcher()
    {
        quit_ = true;
        thread_.join();
    }
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    static sigset_t Signals()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        return set;
    }

    km7::WindowThread& window_;
    std::function<void(int)> onSignal_;
    std::atomic<bool> quit_{false};
    std::atomic<int> count_{0};
    std::thread thread_;
};

// What the session reports, turned into output.
class Front : public km7::SessionObserver {
public:
    Front(Console& console, Ticker& ticker) : console_(console), ticker_(ticker) {}

    bool printLog = false;    // event lines to stdout
    int pollOverrideMs = 0;   // --interval; 0: the session's intervals
    bool outputLost = false;  // stdout has no reader any more
    std::optional<SteadyClock::time_point> pollDue;
    km7::PollKind pollKind = km7::PollKind::Statistics;

    // From here on, a failure's text is printed even when it was printed before.
    void MarkErrors()
    {
        lastRed_.clear();
        errorShown_ = false;
    }
    bool ErrorShown() const { return errorShown_; }

    void OnMessage(const std::string& text, km7::Colour colour) override
    {
        if (colour != km7::Colour::Red) {
            lastRed_.clear();
            return;
        }
        // A device that stays silent reports after every attempt: one line
        // per outage.
        const std::string shown = WithoutLeadingBlank(text);
        if (shown.empty() || shown == lastRed_)
            return;
        lastRed_ = shown;
        errorShown_ = true;
        console_.Line(shown);
    }
    void OnRemoteProgress(bool on) override
    {
        console_.Progress(on);
        if (on)
            ticker_.Start();
        else
            ticker_.Stop();
    }
    void StartPoll(km7::PollKind kind, int intervalMs) override
    {
        pollKind = kind;
        pollDue = SteadyClock::now() + std::chrono::milliseconds(pollOverrideMs > 0 ? pollOverrideMs : intervalMs);
    }
    void StopPolls() override { pollDue.reset(); }
    void OnLogLine(const std::string& line) override
    {
        if (printLog && !outputLost && !WriteOut(line + "\n"))
            outputLost = true;
    }

private:
    Console& console_;
    Ticker& ticker_;
    std::string lastRed_;
    bool errorShown_ = false;
};

struct Options {
    std::string port;
    bool remote = false;
    std::string settings;
    std::string library;
    bool json = false;
    int interval = 0;
    int count = 0;
    std::string testAction;
    std::string testType;
};

enum class Command { Ports, Status, Watch, Reset, Clear, Test };

std::string ExecutableDir(const char* argv0)
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        exe = fs::absolute(argv0 ? argv0 : "km7ctl", ec);
    return exe.parent_path().string();
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

class Tool {
public:
    Tool(const Options& opt, Command command, const std::string& exeDir)
        : opt_(opt), command_(command), ticker_(queue_, [this] { console_.Tick(); }), front_(console_, ticker_)
    {
        km7::DeviceSession::Environment env;
        env.settingsPath = opt.settings.empty() ? km7::SettingsPathFor((fs::path(exeDir) / "km7tl").string())
                                                : opt.settings;
        env.libraryPath = opt.library.empty() ? (fs::path(exeDir) / "serial.so").string() : opt.library;
        env.ports.announceFolder = km7::AnnounceFolder();
        env.eventsWithoutLogFile = command == Command::Watch;
        session_ = std::make_unique<km7::DeviceSession>(std::move(env), queue_);
        front_.printLog = command == Command::Watch && !opt.json;
        front_.pollOverrideMs = opt.interval;
        session_->AddObserver(&front_);
    }
    ~Tool()
    {
        if (session_)
            session_->RemoveObserver(&front_);
    }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    int Run()
    {
        SignalWatcher signals(queue_, [this](int n) { OnSignal(n); });
        const int status = command_ == Command::Ports ? Ports() : DeviceCommand();
        // The session goes before the signal thread: nothing is left to hand
        // a signal to.
        session_->RemoveObserver(&front_);
        session_.reset();
        return status;
    }

private:
    void Error(const std::string& text) { console_.Line("km7ctl: " + text); }

    void OnSignal(int count)
    {
        stop_ = true;
        if (count == 1) {
            // Let the request under way finish; a connect stops at once.
            if (session_ && session_->State() == km7::ConnectionState::Connecting)
                session_->CancelConnect();
        } else if (session_) {
            // Asked twice: no more requests, not even the closing one.
            session_->RequestClose();
        }
    }

    int Ports()
    {
        if (!session_->LoadLibrary()) {
            Error("Can't load serial.dll: " + session_->LibraryError());
            return kCannotOpen;
        }
        std::string text;
        for (const auto& name : session_->Ports())
            text += name + "\n";
        if (!WriteOut(text)) {
            Error("cannot write the port list");
            return kDeviceError;
        }
        return kSuccess;
    }

    int DeviceCommand()
    {
        km7::DeviceSession& s = *session_;
        if (!s.LoadLibrary()) {
            Error("Can't load serial.dll: " + s.LibraryError());
            return kCannotOpen;
        }
        s.ReadSettings();
        port_ = opt_.port.empty() ? s.Settings().comPort : opt_.port;
        s.SelectPort(port_);
        if (!s.Log())
            s.StartLog();
        if (opt_.remote && !s.SetRemote(true)) {
            Error("remote mode cannot be set");
            return Finish(kDeviceError);
        }

        front_.MarkErrors();
        if (!s.Connect())
            return Finish(ConnectFailure());
        if (stop_)
            return Finish(kInterrupted, true);

        switch (command_) {
        case Command::Status: return Status();
        case Command::Watch: return Watch();
        case Command::Reset: return Action([&s] { return s.Reset(); }, true);
        case Command::Clear: return Action([&s] { return s.ClearStatistics(); }, true);
        case Command::Test: {
            const bool start = opt_.testAction == "start";
            const std::uint8_t type = Lower(opt_.testType) == "ll" ? 1 : 0;
            // A started test goes on after km7ctl has ended.
            return Action([&s, start, type] { return s.LineTestClick(start, type); }, false);
        }
        case Command::Ports: break;
        }
        return Finish(kSuccess, true);
    }

    int ConnectFailure()
    {
        if (stop_)
            return kInterrupted;
        const km7::PortProblem problem = session_->LastPortProblem();
        if (problem != km7::PortProblem::None) {
            Error(PortProblemMessage(problem, session_->LastPortProblemText(), port_, session_->Ports()));
            return kCannotOpen;
        }
        return Failure(session_->LastResult(), "the connection could not be opened");
    }

    // The exit status of a failed request, with its text when the session
    // showed none.
    int Failure(std::uint8_t result, const char* what)
    {
        const int status = ExitForResult(result);
        if (!front_.ErrorShown()) {
            if (result != 0)
                Error(std::string(what) + ": error response " + std::to_string(result));
            else
                Error(what);
        }
        return status == kSuccess ? kDeviceError : status;
    }

    int Status()
    {
        front_.MarkErrors();
        session_->PollStatistics();
        if (stop_)
            return Finish(kInterrupted, true);
        if (const std::uint8_t r = session_->LastResult(); r != 0)
            return Finish(Failure(r, "the device state could not be read"), true);
        const auto& d = session_->Display();
        const std::string text = opt_.json ? JsonStatus(d).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n"
                                           : PlainStatus(d);
        if (!WriteOut(text)) {
            Error("cannot write the device state");
            return Finish(kDeviceError, true);
        }
        return Finish(kSuccess, true);
    }

    int Watch()
    {
        int polls = 0;
        while (!stop_ && !front_.outputLost) {
            if (opt_.count > 0 && polls >= opt_.count)
                break;
            if (!front_.pollDue)
                break; // the session polls no more (the device was reset)
            const auto now = SteadyClock::now();
            if (now < *front_.pollDue) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*front_.pollDue - now);
                queue_.ProcessMessages(static_cast<int>(std::max<long long>(1, left.count())));
                continue;
            }
            front_.pollDue.reset();
            if (front_.pollKind == km7::PollKind::LineTest)
                session_->PollLineTest();
            else
                session_->PollStatistics();
            ++polls;
            if (opt_.json && !WriteOut(JsonLine(session_->Display()) + "\n"))
                front_.outputLost = true;
        }
        return Finish(kSuccess, true);
    }

    int Action(const std::function<std::uint8_t()>& action, bool stopLineTest)
    {
        front_.MarkErrors();
        const std::uint8_t r = action();
        const int status = r == 0 ? kSuccess : Failure(r, "the device refused the request");
        return Finish(status, true, stopLineTest);
    }

    // Closes the connection (when open) and ends the session as the window
    // ends: settings written, port closed, " stopped." line.
    int Finish(int status, bool disconnect = false, bool stopLineTest = true)
    {
        km7::DeviceSession& s = *session_;
        if (disconnect && s.Connected())
            s.Disconnect(stopLineTest);
        const std::string settingsError = s.Shutdown({});
        if (!settingsError.empty())
            Error("warning: " + WithoutLeadingBlank(settingsError));
        return status;
    }

    const Options& opt_;
    Command command_;
    km7::MessageQueue queue_;
    Console console_;
    Ticker ticker_;
    Front front_;
    std::unique_ptr<km7::DeviceSession> session_;
    std::string port_;
    bool stop_ = false;
};

constexpr const char* kFooter =
    "Exit status: 0 success, 1 error response from the device, 2 wrong usage,\n"
    "3 the port or the serial library cannot be opened, 4 no answer from the device,\n"
    "130 interrupted (SIGINT or SIGTERM) before the command was done; watch ends with 0.";
constexpr const char* kCommandFooter =
    "Options of every command (before or after its name): -p PORT, --remote, --settings FILE,\n"
    "--library PATH; see `km7ctl --help`.";

} // namespace

int main(int argc, char** argv)
{
    SignalWatcher::BlockSignals();
    std::signal(SIGPIPE, SIG_IGN);

    Options opt;
    CLI::App app{"km7ctl: manage a KM-7-TL multiplexer from the command line.\n"
                 "Uses the settings file, serial library and port list of the km7tl window.",
                 "km7ctl"};
    app.footer(kFooter);
    app.require_subcommand(1);
    app.fallthrough();
    auto* portOption = app.add_option("-p,--port", opt.port,
                   "serial port: a name from `km7ctl ports` or a device path (default: COMPort of the settings file)")
        ->type_name("PORT");
    app.add_flag("--remote", opt.remote, "address the remote multiplexer through the local one");
    app.add_option("--settings", opt.settings, "settings file (default: km7tl.ini beside the program)")
        ->type_name("FILE");
    app.add_option("--library", opt.library, "serial library (default: serial.so beside the program)")
        ->type_name("PATH");

    auto* ports = app.add_subcommand("ports", "List the serial ports, one name a line, as the window lists them.");
    auto* status = app.add_subcommand(
        "status", "Connect, read the device state once, print every text of the main window, disconnect.");
    status->add_flag("--json", opt.json, "one JSON object instead of \"label : text\" lines");
    auto* watch = app.add_subcommand(
        "watch", "Connect and poll until Ctrl-C, printing each event-log line as it happens.");
    watch->add_option("--interval", opt.interval, "poll period in ms (default: StatInterval of the settings file)")
        ->type_name("MS")
        ->check(CLI::Range(km7::kMinPollPeriodMs, km7::kMaxPollPeriodMs));
    watch->add_option("--count", opt.count, "stop after N polls")
        ->type_name("N")
        ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    watch->add_flag("--json", opt.json, "one JSON object a poll (as `status --json`) a line instead");
    auto* reset = app.add_subcommand("reset", "Reset the multiplexer.");
    auto* clear = app.add_subcommand("clear", "Clear the link statistics.");
    auto* test = app.add_subcommand(
        "test", "Start or stop a line test on the local multiplexer; a started test runs on after km7ctl ends.");
    test->add_option("action", opt.testAction, "start or stop")->required()->check(CLI::IsMember({"start", "stop"}));
    test->add_option("type", opt.testType, "DL or LL")
        ->required()
        ->check(CLI::IsMember({"dl", "ll"}, CLI::ignore_case));

    for (CLI::App* sub : {ports, status, watch, reset, clear, test})
        sub->footer(std::string(kCommandFooter) + "\n\n" + kFooter);

    try {
        app.parse(argc, argv);
        if (portOption->count() > 0 && opt.port.empty())
            throw CLI::ValidationError("--port", "the port name is empty");
        if (test->parsed() && opt.remote)
            throw CLI::ValidationError("--remote", "the line test runs on the local multiplexer only");
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::fprintf(stderr, "km7ctl: %s\nRun `km7ctl --help` for more information.\n", e.what());
        return kUsage;
    }

    Command command = Command::Ports;
    if (status->parsed()) command = Command::Status;
    else if (watch->parsed()) command = Command::Watch;
    else if (reset->parsed()) command = Command::Reset;
    else if (clear->parsed()) command = Command::Clear;
    else if (test->parsed()) command = Command::Test;
    else if (!ports->parsed())
        return kUsage;

    try {
        Tool tool(opt, command, ExecutableDir(argc > 0 ? argv[0] : nullptr));
        return tool.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "km7ctl: %s\n", e.what());
        return kDeviceError;
    }
}
