#include "session/DeviceSession.h"

#include "cfgfile/IniStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace km7 {

namespace {

const char* const kSetupFailureText = "Can`t enter Setup. Try again!";
const char* const kShortBlockText = " Short configuration block from device!";
const char* const kOutageLine = "No connection to device over port 3";

// Why a port that the serial library could not open stays shut, found by
// trying it once ourselves.
PortProblem DiagnosePort(const std::string& path, std::string& text)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        text = "port " + path + " does not exist (unplugged, or a wrong name)";
        return PortProblem::Missing;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int err = errno;
    if (fd >= 0) {
        ::close(fd);
        text = "port " + path + " cannot be opened as a serial line";
        return PortProblem::OpenFailed;
    }
    if (err == EACCES || err == EPERM) {
        text = "permission denied on " + path +
               ": join the group that owns the port (usually 'dialout': sudo usermod -aG dialout $USER) "
               "and log in again";
        return PortProblem::PermissionDenied;
    }
    if (err == EBUSY) {
        text = "port " + path + " is busy: another program uses it";
        return PortProblem::Busy;
    }
    text = "port " + path + ": " + std::strerror(err);
    return PortProblem::OpenFailed;
}

} // namespace

DeviceSession::DeviceSession(Environment env, WindowThread& window)
    : env_(std::move(env)), window_(window), link_(library_, window, *this)
{
}

DeviceSession::~DeviceSession()
{
    // Never pull the port or the library from under a reading worker.
    link_.Abort();
    link_.WaitIdle();
    library_.ClosePort();
    library_.Unload();
}

void DeviceSession::AddObserver(SessionObserver* o)
{
    if (o && std::find(observers_.begin(), observers_.end(), o) == observers_.end())
        observers_.push_back(o);
}

void DeviceSession::RemoveObserver(SessionObserver* o)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

template <typename F> void DeviceSession::Notify(F&& f)
{
    // A copy: an observer may remove itself while it is told.
    const std::vector<SessionObserver*> copy = observers_;
    for (SessionObserver* o : copy)
        f(*o);
}

void DeviceSession::Message(const std::string& text, Colour colour)
{
    Notify([&](SessionObserver& o) { o.OnMessage(text, colour); });
}

// ---------------------------------------------------------------- start and end

bool DeviceSession::LoadLibrary()
{
    libraryLoaded_ = library_.Load(env_.libraryPath); // a refused library is not kept loaded
    if (libraryLoaded_)
        ports_ = env_.ports.Enumerate();
    return libraryLoaded_;
}

void DeviceSession::ReadSettings()
{
    settings_ = ReadMainSettings(env_.settingsPath);
    currentPortName_ = settings_.comPort;
}

std::string DeviceSession::Caption() const { return std::string(kVersionString) + " " + currentPortName_; }

void DeviceSession::SelectPort(const std::string& name)
{
    if (!libraryLoaded_)
        return;
    // A path names the device itself (the command line); a short name is
    // looked up among the listed and announced ports.
    portPath_ = name.find('/') != std::string::npos ? name : env_.ports.PathFor(name);
    if (name == currentPortName_)
        return;
    if (log_) {
        WriteLog(std::string(kVersionString) + " stopped.");
        log_.reset();
    }
    currentPortName_ = name;
    StartLog();
}

void DeviceSession::StartLog()
{
    log_.reset();
    const bool file = settings_.logEnabled;
    // A port given as a device path must not put folders into the file name.
    std::string caption = Caption();
    std::replace(caption.begin(), caption.end(), '/', '_');
    log_ = std::make_unique<TLog>(caption, file || env_.eventsWithoutLogFile, env_.logDirectory);
    log_->SetFileEnabled(file);
    log_->SetLineSink([this](const std::string& line) {
        Notify([&](SessionObserver& o) { o.OnLogLine(line); });
    });
    WriteLog(std::string(kVersionString) + " started.");
}

void DeviceSession::ReportLogError()
{
    if (!log_)
        return;
    if (auto error = log_->TakeNewWriteError())
        Message(" " + *error, Colour::Red);
}

void DeviceSession::WriteLog(const std::string& message)
{
    if (!log_)
        return;
    log_->WriteLine(message);
    ReportLogError();
}

void DeviceSession::CheckStates()
{
    if (!log_)
        return;
    log_->CheckStates(display_, remote_);
    ReportLogError();
}

void DeviceSession::RequestClose()
{
    closing_ = true;
    StopPolls();
    link_.Abort();
}

std::string DeviceSession::Shutdown(const std::string& selectedPort)
{
    StopPolls();
    std::string error;
    WriteMainSettings(env_.settingsPath, settings_, display_.deviceType, selectedPort, &error);
    ClosePort();
    ports_.clear();
    if (libraryLoaded_) {
        library_.Unload();
        libraryLoaded_ = false;
    }
    WriteLog(std::string(kVersionString) + " stopped.");
    log_.reset();
    return error;
}

void DeviceSession::ClosePort()
{
    link_.WaitIdle(); // never pull the port from under a reading worker
    library_.ClosePort();
}

// ---------------------------------------------------------------- link

std::uint8_t DeviceSession::Issue(std::uint8_t code, const std::uint8_t* payload, std::uint8_t length)
{
    return link_.Issue(code, payload, length);
}

void DeviceSession::OnErrorText(const std::string& text) { Message(text, Colour::Red); }

void DeviceSession::OnAnswer()
{
    if (log_)
        log_->answerFlag = true;
}

void DeviceSession::OnNoAnswer()
{
    if (log_ && log_->answerFlag) {
        WriteLog(kOutageLine);
        log_->answerFlag = false;
    }
}

void DeviceSession::OnIdentification(const Response& r)
{
    Message("", Colour::WindowText);
    DecodeIdentification(display_, r.data.data(), r.length);
    // The stored values change only with the device; write them when they do.
    const std::string type = DeviceTypeName(display_.deviceType);
    std::string error;
    if (type != lastVorxType_) {
        if (WriteProfileString(env_.settingsPath, kSettingsSection, "VORXType", type, &error))
            lastVorxType_ = type;
    }
    if (error.empty() && display_.version.text != lastVorxVersion_) {
        if (WriteProfileString(env_.settingsPath, kSettingsSection, "VORXVersion", display_.version.text, &error))
            lastVorxVersion_ = display_.version.text;
    }
    Notify([&](SessionObserver& o) { o.OnIdentification(display_); });
    // A settings file that cannot be written is said once, not at every poll.
    if (!error.empty() && !settingsErrorShown_) {
        settingsErrorShown_ = true;
        Message(" " + error, Colour::Red);
    }
}

void DeviceSession::OnStateBlock(const Response& r)
{
    if (r.length < ConfigBlock::kSize) {
        // A cut block would replace the configuration with zeros, and a later
        // send would write them into the device: keep the block we have.
        Message(kShortBlockText, Colour::Red);
        return;
    }
    Message("", Colour::WindowText);
    DecodeStateBlock(display_, r.data.data(), r.length);
    Notify([&](SessionObserver& o) { o.OnStateBlock(display_); });
}

void DeviceSession::OnSetupBlock(const Response&)
{
    Notify([](SessionObserver& o) { o.OnSetupBlock(); });
}

// ---------------------------------------------------------------- connection

void DeviceSession::CloseSetupWindow()
{
    setupOpen_ = false;
    Notify([](SessionObserver& o) { o.OnCloseSetup(); });
}

void DeviceSession::RemoteProgress(bool on)
{
    Notify([on](SessionObserver& o) { o.OnRemoteProgress(on); });
}

void DeviceSession::ShowLineGroup()
{
    const bool e1 = display_.block.liType() == 1;
    Notify([e1](SessionObserver& o) { o.OnLineGroup(e1); });
}

void DeviceSession::SetState(ConnectionState s)
{
    state_ = s;
    Notify([s](SessionObserver& o) { o.OnConnectionState(s); });
}

bool DeviceSession::SetRemote(bool remote)
{
    if (state_ != ConnectionState::Disconnected)
        return false;
    remote_ = remote;
    Notify([remote](SessionObserver& o) { o.OnRemoteMode(remote); });
    return true;
}

std::uint8_t DeviceSession::BlockRequestCode() const
{
    // In remote mode the polls and Setup ask the remote device for its own
    // block, as the connect sequence does.
    return remote_ ? cmd::RemoteStateBlock : cmd::StateBlock;
}

bool DeviceSession::OpenPort()
{
    portProblem_ = PortProblem::None;
    portProblemText_.clear();
    if (!libraryLoaded_) {
        portProblem_ = PortProblem::NoLibrary;
        portProblemText_ = "serial library " + env_.libraryPath + " cannot be loaded" +
                           (library_.Error().empty() ? "" : ": " + library_.Error());
        Message(" Can't load serial.dll", Colour::Red);
        return false;
    }
    if (portPath_.empty()) {
        portProblem_ = PortProblem::NoPort;
        portProblemText_ = "no serial port selected";
        Message(" No serial port selected", Colour::Red);
        return false;
    }
    if (library_.OpenPort(portPath_) == 0)
        return true;
    portProblem_ = DiagnosePort(portPath_, portProblemText_);
    Message(" Can't open port " + currentPortName_, Colour::Red);
    return false;
}

bool DeviceSession::Connect()
{
    if (state_ != ConnectionState::Disconnected || closing_)
        return false;
    CloseSetupWindow();
    // From here on the port and the mode stay as they are.
    SetState(ConnectionState::Connecting);
    cancelConnect_ = false;
    if (log_)
        log_->ResetStates();
    bool ok = OpenPort();
    if (ok) {
        const std::vector<std::uint8_t> sequence =
            remote_ ? std::vector<std::uint8_t>{cmd::RemoteOpen, cmd::RemoteConnect, cmd::RemoteIdentification,
                                                cmd::RemoteStateBlock}
                    : std::vector<std::uint8_t>{cmd::Connect, cmd::Identification, cmd::StateBlock};
        if (remote_)
            RemoteProgress(true);
        for (std::uint8_t code : sequence) {
            if (Issue(code) != 0 || cancelConnect_ || closing_) {
                ok = false;
                break;
            }
        }
    }
    RemoteProgress(false);
    if (ok) {
        SetState(ConnectionState::Connected);
        ShowLineGroup();
        if (log_) {
            CheckStates();
            log_->connectionLineFlag = true;
        }
        StartPoll(PollKind::Statistics);
    } else {
        ClosePort();
        SetState(ConnectionState::Disconnected);
    }
    return ok;
}

void DeviceSession::CancelConnect()
{
    if (state_ == ConnectionState::Connecting)
        cancelConnect_ = true;
}

void DeviceSession::ResetLineTest()
{
    const bool was = testDown_ || testRunning_;
    testDown_ = false;
    testRunning_ = false;
    if (was)
        Notify([](SessionObserver& o) { o.OnLineTest(false); });
}

void DeviceSession::Disconnect(bool stopLineTest)
{
    if (state_ != ConnectionState::Connected)
        return;
    CloseSetupWindow();
    SetState(ConnectionState::Disconnecting);
    StopPolls();
    // A line test left running would keep the line out of service with
    // nobody watching it: stop it first. Its result does not matter.
    if (stopLineTest && testRunning_ && !remote_) {
        std::uint8_t type = testType_;
        Issue(cmd::TestStop, &type, 1);
    }
    if (remote_) {
        RemoteProgress(true);
        Issue(cmd::RemoteClose);
    }
    RemoteProgress(false);
    ClosePort();
    ResetLineTest();
    SetState(ConnectionState::Disconnected);
    Message("", Colour::WindowText);
    WriteLog("Connection to " + SideWord() + " " + display_.mux.text + " is closed");
}

// ---------------------------------------------------------------- polls

void DeviceSession::StartPoll(PollKind kind)
{
    ++pollEpoch_;
    const int interval = kind == PollKind::Statistics ? settings_.StatPeriodMs() : settings_.LoopPeriodMs();
    Notify([kind, interval](SessionObserver& o) { o.StartPoll(kind, interval); });
}

void DeviceSession::StopPolls()
{
    ++pollEpoch_;
    Notify([](SessionObserver& o) { o.StopPolls(); });
}

bool DeviceSession::PollMayRun() const { return Connected() && !setupOpen_ && !updateOpen_ && !closing_; }

void DeviceSession::StartRightPoll()
{
    if (PollMayRun())
        StartPoll(testDown_ ? PollKind::LineTest : PollKind::Statistics);
}

void DeviceSession::Poll(PollKind kind)
{
    if (!Connected() || closing_)
        return; // no poll on a closed port
    // Anything the operator does while the requests wait (Setup, a line
    // test, Clear) decides the next poll itself.
    const unsigned epoch = pollEpoch_;
    // The line test runs on the local device only.
    const bool remote = remote_ && kind == PollKind::Statistics;
    Issue(remote ? cmd::RemoteIdentification : cmd::Identification);
    if (!Connected())
        return;
    Issue(remote ? cmd::RemoteStateBlock : cmd::StateBlock);
    if (!Connected())
        return;
    if (log_ && log_->answerFlag)
        CheckStates();
    if (epoch == pollEpoch_ && PollMayRun() && (kind == PollKind::Statistics || testDown_))
        StartPoll(kind);
}

// ---------------------------------------------------------------- actions

std::uint8_t DeviceSession::Reset()
{
    StopPolls();
    std::uint8_t r = Issue(cmd::Reset1);
    if (r == 0)
        r = Issue(cmd::Reset2);
    if (r == 0) {
        // The device starts again: the connection is gone, and so is remote
        // mode; a running test ends with the reset.
        remote_ = false;
        Notify([](SessionObserver& o) { o.OnRemoteMode(false); });
        Disconnect(false);
    } else {
        StartRightPoll();
    }
    return r;
}

std::uint8_t DeviceSession::ClearStatistics()
{
    StopPolls();
    const std::uint8_t r = Issue(remote_ ? cmd::RemoteClearStatistics : cmd::ClearStatistics);
    StartRightPoll();
    return r;
}

std::uint8_t DeviceSession::LineTestClick(bool start, std::uint8_t type)
{
    CloseSetupWindow();
    StopPolls();
    testDown_ = start;
    std::uint8_t payload = type;
    if (start) {
        const std::uint8_t r = Issue(cmd::TestStart, &payload, 1);
        if (r == 0) {
            testType_ = type;
            testRunning_ = true;
            Notify([](SessionObserver& o) { o.OnLineTest(true); });
            if (Connected())
                StartPoll(PollKind::LineTest);
        } else if (Connected()) {
            StartPoll(PollKind::Statistics);
        }
        return r;
    }
    const std::uint8_t r = Issue(cmd::TestStop, &payload, 1);
    if (r == 0) {
        testRunning_ = false;
        display_.block.setTestFlags(0);
        Notify([](SessionObserver& o) { o.OnLineTest(false); });
        if (Connected())
            StartPoll(PollKind::Statistics);
    } else if (Connected()) {
        StartPoll(PollKind::LineTest);
    }
    return r;
}

bool DeviceSession::OpenSetup()
{
    StopPolls();
    if (Issue(BlockRequestCode()) != 0) {
        // The colour stays as the error report left it.
        Message(kSetupFailureText, Colour::Red);
        return false;
    }
    setupOpen_ = true;
    Notify([](SessionObserver& o) { o.OnSetupOpened(); });
    return true;
}

void DeviceSession::CloseSetup()
{
    setupOpen_ = false;
    StartRightPoll();
}

void DeviceSession::SendConfiguration()
{
    const ConfigBlock payload = display_.block; // stays put while the window processes messages
    Issue(remote_ ? cmd::RemoteSetConfig : cmd::SetConfig, payload.Payload(),
          static_cast<std::uint8_t>(ConfigBlock::kSize));
    Issue(remote_ ? cmd::RemoteIdentification : cmd::Identification);
    Issue(remote_ ? cmd::RemoteStateBlock : cmd::StateBlock);
    if (Connected())
        ShowLineGroup();
    Notify([](SessionObserver& o) { o.OnSetupBlock(); });
}

void DeviceSession::BeginUpdate()
{
    StopPolls();
    updateOpen_ = true;
    transferStarted_ = false;
}

void DeviceSession::EndUpdate()
{
    updateOpen_ = false;
    if (transferStarted_)
        Disconnect(false); // the device is in its bootloader now
    else
        StartRightPoll();
}

} // namespace km7
