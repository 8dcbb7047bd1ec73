// The device session: everything the operator does with a multiplexer,
// without a window. It owns the serial library binding, the link, the
// current identification record, configuration block and device type, the
// event log, remote mode and the connection state, and runs every sequence
// (connect, poll, disconnect, reset, line test, clear statistics, send the
// configuration). It reports what happened to its observers and never
// touches a widget; the windows and the command-line tool are its front
// ends. Window thread only: every wait for the device processes the
// window thread's messages through the WindowThread given at construction.
#pragma once

#include "link/SerialLibrary.h"
#include "link/ULink.h"
#include "log/Ulog.h"
#include "monitor/Decoders.h"
#include "monitor/PortList.h"
#include "monitor/Settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace km7 {

enum class PollKind { Statistics, LineTest };

enum class ConnectionState { Disconnected, Connecting, Connected, Disconnecting };

// Why a connection could not start before any request was sent.
enum class PortProblem { None, NoLibrary, NoPort, Missing, PermissionDenied, Busy, OpenFailed };

// What a session tells its front ends. Every call comes on the window
// thread; the default does nothing.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // A text for the status line: red for errors, window text to clear it.
    virtual void OnMessage(const std::string& text, Colour colour) { (void)text, (void)colour; }
    // The identification record was decoded (texts, indicators, VX-IP group).
    virtual void OnIdentification(const MonitorDisplay&) {}
    // The configuration block was decoded and is now the current one.
    virtual void OnStateBlock(const MonitorDisplay&) {}
    // A response with the setup block arrived (setup window refresh).
    virtual void OnSetupBlock() {}
    virtual void OnConnectionState(ConnectionState) {}
    // Which line group to show: E1 (true) or Port 2 (false).
    virtual void OnLineGroup(bool e1) { (void)e1; }
    // The remote progress indicator: on while remote requests run.
    virtual void OnRemoteProgress(bool on) { (void)on; }
    // A poll wants to run again after `intervalMs`; StopPolls cancels both.
    virtual void StartPoll(PollKind kind, int intervalMs) { (void)kind, (void)intervalMs; }
    virtual void StopPolls() {}
    // The line test was started (true) or returned to idle (false).
    virtual void OnLineTest(bool running) { (void)running; }
    // Remote mode changed (only while disconnected; a successful reset ends it).
    virtual void OnRemoteMode(bool remote) { (void)remote; }
    // A new line for the event log, with its date, time and number, as it
    // would stand in the file (also when the file is not written).
    virtual void OnLogLine(const std::string& line) { (void)line; }
    // The setup window is to close (a connection starts or ends, a line
    // test is switched), or to open: the block for it has just been read.
    virtual void OnCloseSetup() {}
    virtual void OnSetupOpened() {}
};

class DeviceSession : private LinkClient {
public:
    struct Environment {
        std::string settingsPath;
        std::string libraryPath;
        PortCatalog ports;
        std::string logDirectory; // empty: the current directory
        // Event lines go to observers even when the settings do not ask for
        // a log file (the command-line tool prints them).
        bool eventsWithoutLogFile = false;
    };

    DeviceSession(Environment env, WindowThread& window);
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    void AddObserver(SessionObserver* o);
    void RemoveObserver(SessionObserver* o);

    // ---- start and end
    // Loads the serial library and lists the ports. False without a usable
    // library (LibraryError says why).
    bool LoadLibrary();
    bool LibraryLoaded() const { return libraryLoaded_; }
    const std::string& LibraryError() const { return library_.Error(); }
    const std::vector<std::string>& Ports() const { return ports_; }
    // Reads the program settings (the window does this when it is shown).
    void ReadSettings();
    const MainSettings& Settings() const { return settings_; }
    const std::string& SettingsPath() const { return env_.settingsPath; }
    // Port change: `name` is the listed short name, a device path, or empty.
    // Releases the old log object with its " stopped." line and starts a new
    // one when the name changes.
    void SelectPort(const std::string& name);
    const std::string& CurrentPortName() const { return currentPortName_; }
    const std::string& PortPath() const { return portPath_; }
    std::string Caption() const; // version string, blank, current port name
    // A new log object for the current port with its " started." line.
    void StartLog();
    // Program end: stops polling, writes the settings (`selectedPort` empty
    // keeps the stored port), closes the port after the running transaction,
    // unloads the library and writes the " stopped." line. Returns the
    // settings write error, empty on success.
    std::string Shutdown(const std::string& selectedPort);
    // A close was asked for: no further command is issued and the running
    // transaction stops after the read under way.
    void RequestClose();
    bool Closing() const { return closing_; }
    // A transaction is running or the line is still reserved.
    bool Busy() { return link_.Busy(); }
    void WaitIdle() { link_.WaitIdle(); }

    // ---- connection
    bool Remote() const { return remote_; }
    // Refused (false) unless disconnected.
    bool SetRemote(bool remote);
    ConnectionState State() const { return state_; }
    bool Connected() const { return state_ == ConnectionState::Connected; }
    // The connect sequence; true when every request succeeded.
    bool Connect();
    // Stops the connect sequence under way (the operator changed his mind).
    void CancelConnect();
    // Closes the connection; a running line test is stopped first when
    // `stopLineTest` (the window does; `km7ctl test start` leaves it running).
    void Disconnect(bool stopLineTest = true);
    PortProblem LastPortProblem() const { return portProblem_; }
    const std::string& LastPortProblemText() const { return portProblemText_; }
    // The result code of the last request (0, 12 no answer, device error).
    std::uint8_t LastResult() const { return link_.ResultCode(); }

    // ---- polls (the front end's timers call these)
    void PollStatistics() { Poll(PollKind::Statistics); }
    void PollLineTest() { Poll(PollKind::LineTest); }
    // The poll that should run now (after the setup window closes, say).
    void StartRightPoll();
    void StopPolls();

    // ---- operator actions; each returns the result code (0 success)
    std::uint8_t Reset();
    std::uint8_t ClearStatistics();
    // The test button went down (`start`) or up; `type` 0 "DL", 1 "LL".
    std::uint8_t LineTestClick(bool start, std::uint8_t type);
    bool LineTestDown() const { return testDown_; }
    bool LineTestRunning() const { return testRunning_; }
    // Reads the block for the setup window; false with the setup failure text.
    bool OpenSetup();
    void CloseSetup();
    bool SetupOpen() const { return setupOpen_; }
    void SendConfiguration();
    // The update window opens (polls stop) and closes; a firmware transfer
    // started in between ends the connection (the device is in its
    // bootloader then).
    void BeginUpdate();
    void MarkTransferStarted() { transferStarted_ = true; }
    bool TransferStarted() const { return transferStarted_; }
    void EndUpdate();

    // ---- what the front ends read
    const MonitorDisplay& Display() const { return display_; }
    ConfigBlock& Block() { return display_.block; }
    std::uint8_t DeviceTypeCode() const { return display_.deviceType; }
    TLog* Log() { return log_.get(); }
    std::string SideWord() const { return remote_ ? "remote" : "local"; }
    // Issues one command directly (profiles, VX-IP reset, tests).
    std::uint8_t Issue(std::uint8_t code, const std::uint8_t* payload = nullptr, std::uint8_t length = 0);

private:
    // LinkClient
    void OnIdentification(const Response& r) override;
    void OnStateBlock(const Response& r) override;
    void OnSetupBlock(const Response& r) override;
    void OnErrorText(const std::string& text) override;
    void OnAnswer() override;
    void OnNoAnswer() override;

    template <typename F> void Notify(F&& f);
    void Message(const std::string& text, Colour colour);
    void WriteLog(const std::string& message);
    void CheckStates();
    void Poll(PollKind kind);
    void StartPoll(PollKind kind);
    // Connected, and neither the setup nor the update window holds the polls.
    bool PollMayRun() const;
    void CloseSetupWindow();
    void RemoteProgress(bool on);
    void ShowLineGroup(); // E1 or Port 2, from the current block
    void ClosePort();
    void SetState(ConnectionState s);
    void ResetLineTest();
    bool OpenPort();
    std::uint8_t BlockRequestCode() const;
    void ReportLogError();

    Environment env_;
    WindowThread& window_;
    SerialLibrary library_;
    TDeviceLink link_;
    std::vector<SessionObserver*> observers_;

    bool libraryLoaded_ = false;
    std::vector<std::string> ports_;
    MainSettings settings_;
    std::string currentPortName_;
    std::string portPath_;
    MonitorDisplay display_;
    std::unique_ptr<TLog> log_;
    std::string lastVorxType_, lastVorxVersion_;
    bool settingsErrorShown_ = false;

    bool remote_ = false;
    ConnectionState state_ = ConnectionState::Disconnected;
    bool cancelConnect_ = false;
    bool testDown_ = false, testRunning_ = false;
    std::uint8_t testType_ = 0;
    bool setupOpen_ = false, updateOpen_ = false, transferStarted_ = false;
    unsigned pollEpoch_ = 0; // changes with every start or stop of a poll
    bool closing_ = false;
    PortProblem portProblem_ = PortProblem::None;
    std::string portProblemText_;
};

} // namespace km7
