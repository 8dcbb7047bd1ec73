// The issue operation and its transactions over a real pseudo-terminal,
// against the device simulator.
#include "link/CSWMRG.h"
#include "link/ULink.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace km7;

namespace {

struct Recorder : LinkClient {
    std::vector<std::string> events;
    std::vector<std::string> errors;
    int noAnswers = 0;
    int answers = 0;
    Response last;
    void OnIdentification(const Response& r) override
    {
        events.push_back("ident:" + std::to_string(r.length));
        last = r;
    }
    void OnStateBlock(const Response& r) override
    {
        events.push_back("block:" + std::to_string(r.length));
        last = r;
    }
    void OnErrorText(const std::string& t) override { errors.push_back(t); }
    void OnAnswer() override { ++answers; }
    void OnNoAnswer() override { ++noAnswers; }
};

struct LinkFixture {
    explicit LinkFixture(std::vector<std::string> simArgs) : sim(std::move(simArgs)), link(lib, queue, client)
    {
        ok = sim.ok() && lib.Load(KM7_SERIAL_LIB) && lib.OpenPort(sim.pts()) == 0;
    }
    SimProcess sim;
    SerialLibrary lib;
    MessageQueue queue;
    Recorder client;
    TDeviceLink link;
    bool ok = false;
};

} // namespace

TEST(Transaction, GoodResponsesAreRoutedByCode)
{
    LinkFixture f({});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::Identification), 0);
    EXPECT_EQ(f.link.Issue(cmd::StateBlock), 0);
    EXPECT_EQ(f.link.Issue(cmd::Connect), 0) << "no routing, still success";
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"ident:48", "block:200"}));
    EXPECT_TRUE(f.client.errors.empty());
    EXPECT_EQ(f.client.answers, 3);
    EXPECT_FALSE(f.link.Busy());
}

TEST(Transaction, SilentDeviceGivesThreeReportsAndResult12)
{
    LinkFixture f({"--fault", "silent"});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::Identification), 12);
    EXPECT_EQ(f.client.noAnswers, 3);
    ASSERT_EQ(f.client.errors.size(), 3u);
    EXPECT_EQ(f.client.errors[0], " No answer from local mux or firmware is loading!");
    EXPECT_EQ(f.client.answers, 0);
}

TEST(Transaction, DeviceThatAnswersOnlyTheThirdRequest)
{
    {
        LinkFixture silentFirst({"--fault", "silent,count=2"});
        ASSERT_TRUE(silentFirst.ok);
        EXPECT_EQ(silentFirst.link.Issue(cmd::Identification), 0);
        EXPECT_EQ(silentFirst.client.noAnswers, 2);
        EXPECT_EQ(silentFirst.client.events.size(), 1u);
    }
    {
        LinkFixture garbledFirst({"--fault", "badcrc,count=2"});
        ASSERT_TRUE(garbledFirst.ok);
        EXPECT_EQ(garbledFirst.link.Issue(cmd::Identification), 0);
        EXPECT_EQ(garbledFirst.client.noAnswers, 0);
        EXPECT_TRUE(garbledFirst.client.errors.empty());
        EXPECT_EQ(garbledFirst.client.events.size(), 1u);
    }
}

// The serial library drives one port at a time, so each fixture below
// lives in its own scope.
TEST(Transaction, GarbageIsSkippedInSixByteSteps)
{
    {
        LinkFixture aligned({"--fault", "garbage,param=12,count=1"});
        ASSERT_TRUE(aligned.ok);
        EXPECT_EQ(aligned.link.Issue(cmd::StateBlock), 0);
        EXPECT_EQ(aligned.client.events, (std::vector<std::string>{"block:200"}));
        EXPECT_EQ(aligned.client.noAnswers, 0) << "found in the first attempt";
    }
    {
        // Three stray bytes put the frame off the six-byte grid: that attempt
        // ends in silence and the next one is answered cleanly.
        LinkFixture misaligned({"--fault", "garbage,param=3,count=1"});
        ASSERT_TRUE(misaligned.ok);
        EXPECT_EQ(misaligned.link.Issue(cmd::Identification), 0);
        EXPECT_EQ(misaligned.client.noAnswers, 1);
        EXPECT_EQ(misaligned.client.events.size(), 1u);
    }
}

TEST(Transaction, ShortFrameIsSentAgain)
{
    LinkFixture f({"--fault", "short,count=1"});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::StateBlock), 0);
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"block:200"}));
    EXPECT_TRUE(f.client.errors.empty());
}

TEST(Transaction, GarbledInAllAttemptsIsAFailure)
{
    LinkFixture f({"--fault", "badcrc,code=13"});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::Identification), 0);
    EXPECT_EQ(f.link.Issue(cmd::StateBlock), 12) << "no response accepted: not a success";
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"ident:48"}));
    EXPECT_EQ(f.client.errors,
              (std::vector<std::string>{" Damaged answers from local mux: check the port and the cable!"}));
    EXPECT_EQ(f.client.noAnswers, 1) << "counts as an outage for the log";
    EXPECT_EQ(f.link.Issue(cmd::Identification), 0) << "the next good answer is a success again";
}

TEST(Transaction, ChatteringPortEndsTheTransaction)
{
    // From the first request on, the port never stops sending bytes.
    LinkFixture f({"--fault", "chatter"});
    ASSERT_TRUE(f.ok);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(f.link.Issue(cmd::Connect), 12);
    EXPECT_EQ(f.link.Issue(cmd::Identification), 12);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(f.link.Busy());
    ASSERT_FALSE(f.client.errors.empty());
    EXPECT_EQ(f.client.errors.back(), " Damaged answers from local mux: check the port and the cable!");
    EXPECT_TRUE(f.client.events.empty());
    // Not a speed check: a hang guard far above 2 x 3 x 250 ms.
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST(Transaction, AbortStopsTheRunningTransactionAndRefusesMore)
{
    LinkFixture f({"--fault", "silent"});
    ASSERT_TRUE(f.ok);
    // The remote code waits 10 s per attempt; the abort comes while it waits.
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        f.link.Abort();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(f.link.Issue(cmd::RemoteOpen), 12);
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << "one attempt, not three";
    EXPECT_LE(f.client.noAnswers, 1);
    const int reports = f.client.noAnswers;
    EXPECT_EQ(f.link.Issue(cmd::Identification), 12);
    EXPECT_EQ(f.client.noAnswers, reports) << "refused at once, nothing sent";
    f.link.Reopen();
    EXPECT_EQ(f.link.Issue(cmd::Identification), 12);
    EXPECT_EQ(f.client.noAnswers, reports + 3);
}

TEST(Transaction, LateAnswerIsDiscardedByTheBufferClear)
{
    // The first answer comes 400 ms late, after its attempt has given up:
    // the second attempt takes it, and the answer to the second request
    // arrives behind it. The next transaction must not take that stale
    // answer for its own.
    LinkFixture f({"--fault", "slow,param=400,code=10,count=1"});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::Connect), 0) << "answered within the second attempt";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(f.link.Issue(cmd::StateBlock), 0);
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"block:200"}));
}

TEST(Transaction, ErrorResponsesGiveTheirTextsAndCodes)
{
    struct Case {
        const char* fault;
        std::uint8_t result;
        const char* text;
    };
    const Case cases[] = {
        {"error,param=15", 15, " Unknown error!"},
        {"error,param=10", 10, ""},
        {"error,param=11", 11, " Error execute command"},
        {"error,param=23", 23, " Access denied from local multiplexer!"},
        {"error-nodata", 0, " Unknown error!"}, // a fresh data area reads 0
    };
    for (const auto& c : cases) {
        LinkFixture f({"--fault", c.fault});
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.link.Issue(cmd::Identification), c.result) << c.fault;
        ASSERT_EQ(f.client.errors.size(), 1u) << c.fault;
        EXPECT_EQ(f.client.errors[0], c.text) << c.fault;
        EXPECT_EQ(f.client.answers, 0) << "an error response is not an answer";
        EXPECT_TRUE(f.client.events.empty());
    }
}

TEST(Transaction, SlowAnswerWithinTheLongTimeoutOfRemoteCodes)
{
    LinkFixture f({"--fault", "slow,param=600"});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.link.Issue(cmd::RemoteOpen), 0);
    EXPECT_EQ(f.link.Issue(cmd::RemoteIdentification), 0);
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"ident:48"}));
    EXPECT_EQ(f.client.noAnswers, 0);
}

TEST(Transaction, PayloadReachesTheDevice)
{
    LinkFixture f({});
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.link.Issue(cmd::StateBlock), 0);
    std::array<std::uint8_t, 200> block{};
    std::copy(f.client.last.data.begin(), f.client.last.data.begin() + 200, block.begin());
    block[160] ^= 0x01;
    block[5] = 0x77;
    ASSERT_EQ(f.link.Issue(cmd::SetConfig, block.data(), 200), 0);
    ASSERT_EQ(f.link.Issue(cmd::StateBlock), 0);
    EXPECT_EQ(f.client.last.data[5], 0x77);
    EXPECT_EQ(f.client.last.data[160], block[160]);
    const std::uint8_t bad = 9;
    EXPECT_EQ(f.link.Issue(cmd::TestStart, &bad, 1), 11) << "the device refuses a bad test type";
}

TEST(Transaction, NestedIssueWaitsForTheRunningTransaction)
{
    LinkFixture f({"--fault", "slow,param=150,code=13"});
    ASSERT_TRUE(f.ok);
    std::uint8_t nestedResult = 99;
    // A "timer" that fires while the outer issue waits.
    f.queue.Post([&] { nestedResult = f.link.Issue(cmd::Identification); });
    EXPECT_EQ(f.link.Issue(cmd::StateBlock), 0);
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(f.client.events, (std::vector<std::string>{"block:200", "ident:48"}));
}

TEST(Transaction, ClosedPortAnswersNothing)
{
    SerialLibrary lib;
    ASSERT_TRUE(lib.Load(KM7_SERIAL_LIB));
    MessageQueue queue;
    Recorder client;
    TDeviceLink link(lib, queue, client);
    EXPECT_EQ(link.Issue(cmd::Identification), 12);
    EXPECT_EQ(client.noAnswers, 3);
}

TEST(ResultHandler, RoutingTable)
{
    SerialLibrary lib;
    MessageQueue queue;
    Recorder client;
    TDeviceLink link(lib, queue, client);
    Response r;
    r.code = 40;
    link.HandleResult(r);
    EXPECT_EQ(link.ResultCode(), 0);
    EXPECT_TRUE(client.events.empty());
    EXPECT_EQ(client.answers, 1);
    r.code = 33;
    r.length = 48;
    link.HandleResult(r);
    r.code = 35;
    r.length = 200;
    link.HandleResult(r);
    EXPECT_EQ(client.events, (std::vector<std::string>{"ident:48", "block:200"}));
    r.code = 255;
    r.data[0] = 21;
    link.HandleResult(r);
    EXPECT_EQ(link.ResultCode(), 21);
    EXPECT_EQ(client.errors.back(), " Access disabled from remote multiplexer!");
}

TEST(ErrorTexts, Table)
{
    const std::pair<int, const char*> table[] = {
        {10, ""},
        {11, " Error execute command"},
        {12, " No answer from local mux or firmware is loading!"},
        {20, " Access disabled from local host!"},
        {21, " Access disabled from remote multiplexer!"},
        {22, " Access disabled from remote host!"},
        {23, " Access denied from local multiplexer!"},
        {24, " Access denied from remote multiplexer!"},
        {25, " Access denied from remote host!"},
        {0, " Unknown error!"},
        {13, " Unknown error!"},
        {255, " Unknown error!"},
    };
    for (auto [code, text] : table)
        EXPECT_EQ(ErrorText(static_cast<std::uint8_t>(code)), text) << code;
}

TEST(CSWMRG, WaitingWriterGoesBeforeNewReaders)
{
    CSWMRG g;
    g.AcquireShared();
    std::atomic<int> order{0};
    int writerAt = 0, readerAt = 0;
    std::thread writer([&] {
        g.AcquireExclusive();
        writerAt = ++order;
        g.Release();
    });
    while (g.WaitingWriters() == 0)
        std::this_thread::yield();
    std::thread reader([&] {
        g.AcquireShared();
        readerAt = ++order;
        g.Release();
    });
    while (g.WaitingReaders() == 0)
        std::this_thread::yield();
    EXPECT_EQ(order.load(), 0) << "both wait while the first reader holds the guard";
    g.Release();
    writer.join();
    reader.join();
    EXPECT_EQ(writerAt, 1);
    EXPECT_EQ(readerAt, 2);
}
