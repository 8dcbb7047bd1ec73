// The simulator's protocol engine, in process.
#include "simulator/SimEngine.h"

#include "link/Frame.h"

#include <gtest/gtest.h>

using namespace km7sim;

namespace {

std::vector<std::uint8_t> Request(std::uint8_t code, std::vector<std::uint8_t> payload = {})
{
    return km7::BuildFrame(code, payload.data(), payload.size());
}

km7::ParsedFrame Ask(SimEngine& e, std::uint8_t code, std::vector<std::uint8_t> payload = {})
{
    auto req = Request(code, std::move(payload));
    auto out = e.Feed(req.data(), req.size());
    if (out.empty())
        return {};
    return km7::ParseFrame(out[0].bytes.data(), out[0].bytes.size());
}

} // namespace

TEST(Simulator, AnswersLocalAndRemoteCodes)
{
    SimEngine e;
    e.local.Set("model", "3");
    e.remote->Set("model", "4");
    auto ident = Ask(e, 11);
    ASSERT_TRUE(ident.ok);
    EXPECT_EQ(ident.code, 11);
    EXPECT_EQ(ident.length, 48);
    EXPECT_EQ(ident.data[34], 3);
    EXPECT_EQ(Ask(e, 33).code, 255) << "the remote device needs command 30 first";
    EXPECT_EQ(Ask(e, 30).code, 30);
    auto remote = Ask(e, 33);
    ASSERT_TRUE(remote.ok);
    EXPECT_EQ(remote.code, 33);
    EXPECT_EQ(remote.data[34], 4);
    EXPECT_EQ(Ask(e, 35).length, 200);
    EXPECT_EQ(Ask(e, 31).code, 31);
    EXPECT_EQ(Ask(e, 35).code, 255) << "closed again by command 31";
    auto bad = Ask(e, 99);
    EXPECT_EQ(bad.code, 255);
    EXPECT_EQ(bad.data[0], 11);
}

TEST(Simulator, FramesSplitAcrossReadsAndJunkBetween)
{
    SimEngine e;
    auto req = Request(11);
    std::vector<std::uint8_t> stream = {0x00, 0xE5, 0x13};
    stream.insert(stream.end(), req.begin(), req.end());
    stream.insert(stream.end(), req.begin(), req.end());
    auto first = e.Feed(stream.data(), 5);
    auto rest = e.Feed(stream.data() + 5, stream.size() - 5);
    EXPECT_EQ(first.size() + rest.size(), 2u);
    EXPECT_EQ(e.requests(), 2u);
}

TEST(Simulator, StoresConfigurationAndProfiles)
{
    SimEngine e;
    auto block = Ask(e, 13).data;
    block[3] = 0x42;
    EXPECT_EQ(Ask(e, 15, block).code, 15);
    EXPECT_EQ(Ask(e, 13).data[3], 0x42);
    EXPECT_EQ(Ask(e, 21, {2}).code, 21);
    block[3] = 0x43;
    Ask(e, 15, block);
    EXPECT_EQ(Ask(e, 20, {2}).code, 20);
    EXPECT_EQ(Ask(e, 13).data[3], 0x42);
    EXPECT_EQ(Ask(e, 20, {6}).code, 255) << "profile 6 does not exist";
    EXPECT_EQ(Ask(e, 15, {1, 2, 3}).code, 255) << "a cut block is refused";
    EXPECT_EQ(Ask(e, 17).code, 255) << "reset needs its first step";
    EXPECT_EQ(Ask(e, 16).code, 16);
    EXPECT_EQ(Ask(e, 17).code, 17);
}

TEST(Simulator, FaultsAndScripts)
{
    EXPECT_FALSE(ParseFault("nonsense").has_value());
    EXPECT_FALSE(ParseFault("slow,param").has_value());
    auto f = ParseFault("error,param=15,code=13,count=2");
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->param, 15);
    EXPECT_EQ(f->code, 13);
    EXPECT_EQ(f->count, 2);

    SimEngine e;
    e.faults.push_back(*ParseFault("silent,count=1,code=11"));
    auto req = Request(11);
    EXPECT_TRUE(e.Feed(req.data(), req.size()).empty());
    EXPECT_TRUE(Ask(e, 11).ok) << "count used up";

    std::vector<ScriptStep> steps;
    EXPECT_EQ(ParseScript("# states\n2 link=0 e1=0x02\n3 remote link=0\n", steps), "");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_TRUE(steps[1].remote);
    EXPECT_NE(ParseScript("x link=0\n", steps), "");
    SimEngine s;
    ParseScript("2 link=0\n", s.script);
    EXPECT_EQ(Ask(s, 11).data[40] & 1, 1);
    EXPECT_EQ(Ask(s, 11).data[40] & 1, 0) << "applied at the second identification";
}
