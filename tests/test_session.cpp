// The device session's sequences against the simulator on a
// pseudo-terminal, without a window: the codes each sequence sends, in
// order, and what it reports to its observers.
#include "session/DeviceSession.h"

#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace km7;

namespace {

struct Recorder : SessionObserver {
    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<std::string> logLines;
    std::string lastPoll;
    int identifications = 0, blocks = 0;
    void OnMessage(const std::string& text, Colour colour) override
    {
        messages.push_back((colour == Colour::Red ? "red:" : "clear:") + text);
    }
    void OnIdentification(const MonitorDisplay&) override { ++identifications; }
    void OnStateBlock(const MonitorDisplay&) override { ++blocks; }
    void OnConnectionState(ConnectionState s) override
    {
        static const char* names[] = {"disconnected", "connecting", "connected", "disconnecting"};
        events.push_back(names[static_cast<int>(s)]);
    }
    void OnLineGroup(bool e1) override { events.push_back(e1 ? "group:E1" : "group:P2"); }
    void OnRemoteProgress(bool on) override { events.push_back(on ? "progress:on" : "progress:off"); }
    void StartPoll(PollKind kind, int intervalMs) override
    {
        lastPoll = (kind == PollKind::Statistics ? "statistics:" : "linetest:") + std::to_string(intervalMs);
    }
    void StopPolls() override { lastPoll = "stopped"; }
    void OnLineTest(bool running) override { events.push_back(running ? "test:running" : "test:idle"); }
    void OnRemoteMode(bool remote) override { events.push_back(remote ? "mode:remote" : "mode:local"); }
    void OnLogLine(const std::string& line) override
    {
        const auto at = line.find("] : ");
        logLines.push_back(at == std::string::npos ? line : line.substr(at + 4));
    }
    bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

// One session with the simulator announced as "ttySIMs".
class SessionFixture {
public:
    explicit SessionFixture(std::vector<std::string> simArgs,
                            const std::string& settings = "[Settings]\r\nCOMPort=ttySIMs\r\nCreateLogFile=yes\r\n")
        : sim_(WithVerbose(std::move(simArgs)), dir_.file("ann"), "ttySIMs")
    {
        WriteText(dir_.file("km7tl.ini"), settings);
        DeviceSession::Environment env;
        env.settingsPath = dir_.file("km7tl.ini");
        env.libraryPath = KM7_SERIAL_LIB;
        env.ports.announceFolder = dir_.file("ann");
        env.ports.sysClassTty = dir_.file("nosys");
        env.logDirectory = dir_.path();
        session_ = std::make_unique<DeviceSession>(env, queue_);
        session_->AddObserver(&seen);
        session_->LoadLibrary();
        session_->ReadSettings();
        session_->SelectPort("ttySIMs");
        session_->StartLog();
    }
    ~SessionFixture() { session_->RemoveObserver(&seen); }

    DeviceSession* operator->() { return session_.get(); }
    DeviceSession& session() { return *session_; }
    SimProcess& sim() { return sim_; }
    bool ok() const { return sim_.ok(); }
    std::string logText() const { return ReadText(dir_.file("km-7-tl_v2.09 ttysims.log")); }
    std::string settingsPath() const { return dir_.file("km7tl.ini"); }

    Recorder seen;

private:
    static std::vector<std::string> WithVerbose(std::vector<std::string> args)
    {
        args.push_back("--verbose");
        return args;
    }
    TempDir dir_;
    SimProcess sim_;
    MessageQueue queue_;
    std::unique_ptr<DeviceSession> session_;
};

using Codes = std::vector<int>;

} // namespace

TEST(Session, ConnectLocalPollAndDisconnect)
{
    SessionFixture s({"--set", "model=3"},
                     "[Settings]\r\nCOMPort=ttySIMs\r\nCreateLogFile=yes\r\nStatInterval=700\r\n");
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    EXPECT_EQ(s.sim().Codes(), (Codes{10, 11, 13}));
    EXPECT_EQ(s.seen.events, (std::vector<std::string>{"connecting", "progress:off", "connected", "group:P2"}));
    EXPECT_EQ(s.seen.lastPoll, "statistics:700");
    EXPECT_EQ(s->Display().mux.text, "KM-7-TL-1");

    s.sim().ForgetRequests();
    s->PollStatistics();
    EXPECT_EQ(s.sim().Codes(), (Codes{11, 13}));
    EXPECT_EQ(s.seen.lastPoll, "statistics:700") << "the poll starts itself again";

    s.sim().ForgetRequests();
    s->Disconnect();
    EXPECT_TRUE(s.sim().Codes().empty()) << "no 31 in local mode";
    EXPECT_EQ(s->State(), ConnectionState::Disconnected);
    EXPECT_EQ(s.seen.lastPoll, "stopped");
    ASSERT_FALSE(s.seen.logLines.empty());
    EXPECT_EQ(s.seen.logLines.back(), "Connection to local KM-7-TL-1 is closed");
    EXPECT_NE(s.logText().find("] : Connection to local KM-7-TL-1 is closed\r\n"), std::string::npos);
}

TEST(Session, ConnectRemoteAndDisconnectSends31)
{
    SessionFixture s({"--remote-set", "model=4"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->SetRemote(true));
    ASSERT_TRUE(s->Connect());
    EXPECT_EQ(s.sim().Codes(), (Codes{30, 32, 33, 35}));
    EXPECT_TRUE(s.seen.Has("progress:on"));
    EXPECT_EQ(s->Display().mux.text, "KM-7-TL-2");
    EXPECT_FALSE(s->SetRemote(false)) << "the mode stays while connected";
    s.sim().ForgetRequests();
    s->PollStatistics();
    EXPECT_EQ(s.sim().Codes(), (Codes{33, 35}));
    s.sim().ForgetRequests();
    s->Disconnect();
    EXPECT_EQ(s.sim().Codes(), (Codes{31}));
    EXPECT_EQ(s.seen.logLines.back(), "Connection to remote KM-7-TL-2 is closed");
}

TEST(Session, SilentDeviceFailsTheConnect)
{
    SessionFixture s({"--fault", "silent"});
    ASSERT_TRUE(s.ok());
    EXPECT_FALSE(s->Connect());
    EXPECT_EQ(s->State(), ConnectionState::Disconnected);
    EXPECT_EQ(s.seen.events.back(), "disconnected");
    EXPECT_EQ(s.seen.messages.back(), "red: No answer from local mux or firmware is loading!");
    EXPECT_EQ(s->LastResult(), 12);
    // One outage line for the whole silent connect.
    const std::string log = s.logText();
    const auto first = log.find("No connection to device over port 3");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("No connection to device over port 3", first + 1), std::string::npos);
}

TEST(Session, FailurePartWayThroughConnect)
{
    // Identification answers, the block request is refused.
    SessionFixture s({"--set", "port1=4", "--set", "vxip=0x34", "--fault", "error,param=23,code=13"});
    ASSERT_TRUE(s.ok());
    EXPECT_FALSE(s->Connect());
    EXPECT_EQ(s.sim().Codes(), (Codes{10, 11, 13}));
    EXPECT_FALSE(s.seen.Has("connected"));
    EXPECT_EQ(s.seen.messages.back(), "red: Access denied from local multiplexer!");
    EXPECT_EQ(s.seen.lastPoll, "") << "no poll started";
}

TEST(Session, EveryAnswerDamagedIsNotAConnection)
{
    SessionFixture s({"--fault", "badcrc"});
    ASSERT_TRUE(s.ok());
    EXPECT_FALSE(s->Connect());
    EXPECT_EQ(s.sim().Codes(), (Codes{10, 10, 10}));
    EXPECT_EQ(s.seen.messages.back(), "red: Damaged answers from local mux: check the port and the cable!");
    EXPECT_EQ(s.logText().find("is established"), std::string::npos);
}

TEST(Session, ModeCannotChangeWhileConnecting)
{
    SessionFixture s({"--fault", "slow,param=300,code=32"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->SetRemote(true));
    struct Flipper : SessionObserver {
        DeviceSession* session = nullptr;
        bool refused = false;
        void OnRemoteProgress(bool on) override
        {
            if (on)
                refused = !session->SetRemote(false);
        }
    } flipper;
    flipper.session = &s.session();
    s->AddObserver(&flipper);
    ASSERT_TRUE(s->Connect());
    s->RemoveObserver(&flipper);
    EXPECT_TRUE(flipper.refused);
    EXPECT_TRUE(s->Remote());
    s.sim().ForgetRequests();
    s->Disconnect();
    EXPECT_EQ(s.sim().Codes(), (Codes{31}));
}

TEST(Session, ResetInRemoteModeEndsLocalAndDisconnected)
{
    SessionFixture s({});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->SetRemote(true));
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    EXPECT_EQ(s->Reset(), 0);
    EXPECT_EQ(s.sim().Codes(), (Codes{16, 17})) << "no 31: remote mode is over";
    EXPECT_FALSE(s->Remote());
    EXPECT_TRUE(s.seen.Has("mode:local"));
    EXPECT_EQ(s->State(), ConnectionState::Disconnected);
    EXPECT_EQ(s.seen.logLines.back().rfind("Connection to local ", 0), 0u) << s.seen.logLines.back();
}

TEST(Session, RefusedResetKeepsTheConnectionAndPolls)
{
    SessionFixture s({"--fault", "error,param=11,code=16"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    EXPECT_EQ(s->Reset(), 11);
    EXPECT_EQ(s.sim().Codes(), (Codes{16}));
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
}

TEST(Session, LineTestRefusedThenStopped)
{
    SessionFixture s({"--fault", "error,param=11,code=18"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    EXPECT_EQ(s->LineTestClick(true, 1), 11);
    EXPECT_TRUE(s->LineTestDown());
    EXPECT_FALSE(s->LineTestRunning());
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
    // Clear while the button is down starts the line-test poll.
    EXPECT_EQ(s->ClearStatistics(), 0);
    EXPECT_EQ(s.seen.lastPoll, "linetest:1000");
    EXPECT_EQ(s->LineTestClick(false, 1), 0);
    EXPECT_EQ(s.sim().Requests(), (std::vector<std::string>{"18 01", "12", "19 01"}));
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
}

TEST(Session, DisconnectStopsARunningLineTestAndReturnsToIdle)
{
    SessionFixture s({}, "[Settings]\r\nCOMPort=ttySIMs\r\nLoopInterval=400\r\n");
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    ASSERT_EQ(s->LineTestClick(true, 0), 0);
    EXPECT_TRUE(s->LineTestRunning());
    EXPECT_EQ(s.seen.lastPoll, "linetest:400");
    s.sim().ForgetRequests();
    s->PollLineTest();
    EXPECT_EQ(s.sim().Codes(), (Codes{11, 13}));
    s.sim().ForgetRequests();
    s->Disconnect();
    EXPECT_EQ(s.sim().Requests(), (std::vector<std::string>{"19 00"}));
    EXPECT_FALSE(s->LineTestDown());
    EXPECT_FALSE(s->LineTestRunning());
    EXPECT_TRUE(s.seen.Has("test:idle"));
    // The next connection polls statistics, and Clear restarts that poll.
    ASSERT_TRUE(s->Connect());
    EXPECT_EQ(s->ClearStatistics(), 0);
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
}

TEST(Session, ClearInBothModes)
{
    SessionFixture s({});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    EXPECT_EQ(s->ClearStatistics(), 0);
    EXPECT_EQ(s.sim().Codes(), (Codes{12}));
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
    s->Disconnect();
    ASSERT_TRUE(s->SetRemote(true));
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    EXPECT_EQ(s->ClearStatistics(), 0);
    EXPECT_EQ(s.sim().Codes(), (Codes{34}));
    EXPECT_EQ(s.seen.lastPoll, "statistics:1000");
}

TEST(Session, SendConfigurationInRemoteModeSendsTheWholeBlock)
{
    SessionFixture s({});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->SetRemote(true));
    ASSERT_TRUE(s->Connect());
    s->Block().setLiType(1);
    const ConfigBlock sent = s->Block();
    std::string hex;
    char b[3];
    for (std::size_t i = 0; i < ConfigBlock::kSize; ++i) {
        std::snprintf(b, sizeof b, "%02x", sent.Payload()[i]);
        hex += b;
    }
    s.sim().ForgetRequests();
    s->SendConfiguration();
    const auto requests = s.sim().Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "37 " + hex);
    EXPECT_EQ(requests[1], "33");
    EXPECT_EQ(requests[2], "35");
    EXPECT_EQ(s->Block().liType(), 1u) << "the device took the block";
    EXPECT_EQ(s.seen.events.back(), "group:E1");
}

TEST(Session, OutageLineOncePerOutageAcrossPolls)
{
    // Every attempt of the next two identification requests goes unanswered.
    SessionFixture s({"--fault", "silent,code=11,skip=1,count=6"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    s->PollStatistics(); // 11 silent, 13 answered: the answer flag is set again
    s->PollStatistics(); // 11 silent again: a new outage
    s->PollStatistics(); // answered
    const std::string log = s.logText();
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("No connection to device over port 3", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(count, 2u) << log;
}

TEST(Session, ShortBlockKeepsTheCurrentBlock)
{
    SessionFixture s({"--fault", "short,code=13,skip=1"});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    const ConfigBlock before = s->Block();
    s->PollStatistics();
    EXPECT_EQ(std::memcmp(before.Payload(), s->Block().Payload(), ConfigBlock::kSize), 0);
}

TEST(Session, ClosingRefusesFurtherCommands)
{
    SessionFixture s({});
    ASSERT_TRUE(s.ok());
    ASSERT_TRUE(s->Connect());
    s.sim().ForgetRequests();
    s->RequestClose();
    s->PollStatistics();
    EXPECT_EQ(s->ClearStatistics(), 12);
    EXPECT_TRUE(s.sim().Codes().empty());
    EXPECT_EQ(s->Shutdown(""), "");
    EXPECT_NE(s.logText().find("] : KM-7-TL_v2.09 stopped.\r\n"), std::string::npos);
    EXPECT_EQ(ReadProfileString(s.settingsPath(), "Settings", "COMPort", ""), "ttySIMs")
        << "nothing selected keeps the stored port";
}

TEST(Session, PortProblemsAreNamed)
{
    SessionFixture s({});
    s->SelectPort("/nonexistent/ttyNONE");
    EXPECT_FALSE(s->Connect());
    EXPECT_EQ(s->LastPortProblem(), PortProblem::Missing);
    EXPECT_NE(s->LastPortProblemText().find("/nonexistent/ttyNONE"), std::string::npos);
    EXPECT_EQ(s.seen.messages.back(), "red: Can't open port /nonexistent/ttyNONE");
}
