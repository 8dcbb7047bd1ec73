#include "config/UConfigBlock.h"

#include <gtest/gtest.h>

#include <functional>

using namespace km7;

namespace {

ConfigBlock Patterned()
{
    ConfigBlock b;
    for (std::size_t i = 0; i < ConfigBlock::kSize; ++i)
        b.Bytes()[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    return b;
}

// Counts the bits that differ between two blocks.
int BitsChanged(const ConfigBlock& a, const ConfigBlock& b)
{
    int n = 0;
    for (std::size_t i = 0; i < ConfigBlock::kSize; ++i)
        n += __builtin_popcount(static_cast<unsigned>(a.Payload()[i] ^ b.Payload()[i]));
    return n;
}

} // namespace

// Each field is written with every value of its width; the value must read
// back and no bit outside the field may change.
TEST(ConfigBlock, FieldsChangeOnlyTheirOwnBits)
{
    struct Field {
        const char* name;
        int width;
        std::function<unsigned(ConfigBlock&)> get;
        std::function<void(ConfigBlock&, unsigned)> set;
    };
    const std::vector<Field> fields = {
        {"testFlags", 2, [](ConfigBlock& b) { return b.testFlags(); }, [](ConfigBlock& b, unsigned v) { b.setTestFlags(v); }},
        {"liType", 1, [](ConfigBlock& b) { return b.liType(); }, [](ConfigBlock& b, unsigned v) { b.setLiType(v); }},
        {"liBitRate", 3, [](ConfigBlock& b) { return b.liBitRate(); }, [](ConfigBlock& b, unsigned v) { b.setLiBitRate(v); }},
        {"liBitRateSource", 1, [](ConfigBlock& b) { return b.liBitRateSource(); }, [](ConfigBlock& b, unsigned v) { b.setLiBitRateSource(v); }},
        {"ethDuplex", 1, [](ConfigBlock& b) { return b.ethDuplex(); }, [](ConfigBlock& b, unsigned v) { b.setEthDuplex(v); }},
        {"ethFilter", 1, [](ConfigBlock& b) { return b.ethFilter(); }, [](ConfigBlock& b, unsigned v) { b.setEthFilter(v); }},
        {"ethCompressOrSpeed", 1, [](ConfigBlock& b) { return b.ethCompressOrSpeed(); }, [](ConfigBlock& b, unsigned v) { b.setEthCompressOrSpeed(v); }},
        {"ethNomBitRate", 3, [](ConfigBlock& b) { return b.ethNomBitRate(); }, [](ConfigBlock& b, unsigned v) { b.setEthNomBitRate(v); }},
        {"ethPriority", 8, [](ConfigBlock& b) { return b.ethPriority(); }, [](ConfigBlock& b, unsigned v) { b.setEthPriority(v); }},
        {"e1Crc", 1, [](ConfigBlock& b) { return b.e1Crc(); }, [](ConfigBlock& b, unsigned v) { b.setE1Crc(v); }},
        {"e1JitterAtt", 2, [](ConfigBlock& b) { return b.e1JitterAtt(); }, [](ConfigBlock& b, unsigned v) { b.setE1JitterAtt(v); }},
        {"e1JitterDepth", 1, [](ConfigBlock& b) { return b.e1JitterDepth(); }, [](ConfigBlock& b, unsigned v) { b.setE1JitterDepth(v); }},
        {"e1RcGain", 1, [](ConfigBlock& b) { return b.e1RcGain(); }, [](ConfigBlock& b, unsigned v) { b.setE1RcGain(v); }},
        {"e1Ais", 1, [](ConfigBlock& b) { return b.e1Ais(); }, [](ConfigBlock& b, unsigned v) { b.setE1Ais(v); }},
        {"e1Rai", 1, [](ConfigBlock& b) { return b.e1Rai(); }, [](ConfigBlock& b, unsigned v) { b.setE1Rai(v); }},
        {"e1TsMapping", 5, [](ConfigBlock& b) { return b.e1TsMapping(); }, [](ConfigBlock& b, unsigned v) { b.setE1TsMapping(v); }},
        {"e1Clock", 1, [](ConfigBlock& b) { return b.e1Clock(); }, [](ConfigBlock& b, unsigned v) { b.setE1Clock(v); }},
        {"e1TwoTs", 1, [](ConfigBlock& b) { return b.e1TwoTs(); }, [](ConfigBlock& b, unsigned v) { b.setE1TwoTs(v); }},
        {"upiClockFreq", 2, [](ConfigBlock& b) { return b.upiClockFreq(); }, [](ConfigBlock& b, unsigned v) { b.setUpiClockFreq(v); }},
        {"upiClockMode", 1, [](ConfigBlock& b) { return b.upiClockMode(); }, [](ConfigBlock& b, unsigned v) { b.setUpiClockMode(v); }},
        {"data3.destination", 1, [](ConfigBlock& b) { return b.DataPort(3).destination(); }, [](ConfigBlock& b, unsigned v) { b.DataPort(3).setDestination(v); }},
        {"data3.loop", 1, [](ConfigBlock& b) { return b.DataPort(3).loop(); }, [](ConfigBlock& b, unsigned v) { b.DataPort(3).setLoop(v); }},
        {"data6.bitRate", 3, [](ConfigBlock& b) { return b.DataPort(6).bitRate(); }, [](ConfigBlock& b, unsigned v) { b.DataPort(6).setBitRate(v); }},
        {"data1.mode", 1, [](ConfigBlock& b) { return b.DataPort(1).mode(); }, [](ConfigBlock& b, unsigned v) { b.DataPort(1).setMode(v); }},
        {"data2.priority", 8, [](ConfigBlock& b) { return b.DataPort(2).priority(); }, [](ConfigBlock& b, unsigned v) { b.DataPort(2).setPriority(v); }},
        {"phone4.signaling", 2, [](ConfigBlock& b) { return b.PhonePort(4).signaling(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(4).setSignaling(v); }},
        {"phone1.signalingLevel", 1, [](ConfigBlock& b) { return b.PhonePort(1).signalingLevel(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(1).setSignalingLevel(v); }},
        {"phone2.acoust", 1, [](ConfigBlock& b) { return b.PhonePort(2).acoust(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(2).setAcoust(v); }},
        {"phone2.echoState", 1, [](ConfigBlock& b) { return b.PhonePort(2).echoState(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(2).setEchoState(v); }},
        {"phone3.echoNbs", 1, [](ConfigBlock& b) { return b.PhonePort(3).echoNbs(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(3).setEchoNbs(v); }},
        {"phone3.echoSuppression", 1, [](ConfigBlock& b) { return b.PhonePort(3).echoSuppression(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(3).setEchoSuppression(v); }},
        {"phone1.generator", 2, [](ConfigBlock& b) { return b.PhonePort(1).generator(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(1).setGenerator(v); }},
        {"phone4.priority", 8, [](ConfigBlock& b) { return b.PhonePort(4).priority(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(4).setPriority(v); }},
        {"phone1.inputLevel", 8, [](ConfigBlock& b) { return b.PhonePort(1).inputLevel(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(1).setInputLevel(v); }},
        {"phone2.outputLevel", 8, [](ConfigBlock& b) { return b.PhonePort(2).outputLevel(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(2).setOutputLevel(v); }},
        {"phone3.fmLevel", 4, [](ConfigBlock& b) { return b.PhonePort(3).fmLevel(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(3).setFmLevel(v); }},
        {"phone3.fmBaudRate", 2, [](ConfigBlock& b) { return b.PhonePort(3).fmBaudRate(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(3).setFmBaudRate(v); }},
        {"phone4.fmCarriers", 3, [](ConfigBlock& b) { return b.PhonePort(4).fmCarriers(); }, [](ConfigBlock& b, unsigned v) { b.PhonePort(4).setFmCarriers(v); }},
    };
    for (const auto& f : fields) {
        for (unsigned v = 0; v < (1u << f.width); ++v) {
            ConfigBlock b = Patterned();
            const ConfigBlock before = b;
            const unsigned old = f.get(b);
            f.set(b, v);
            EXPECT_EQ(f.get(b), v) << f.name;
            int changed = 0;
            for (unsigned x = old ^ v; x; x >>= 1)
                changed += x & 1u;
            EXPECT_EQ(BitsChanged(before, b), changed) << f.name << " = " << v;
        }
        ConfigBlock b = Patterned();
        f.set(b, 0xFFFFFFFFu); // too wide: masked to the field
        EXPECT_EQ(f.get(b), (1u << f.width) - 1u) << f.name;
    }
}

TEST(ConfigBlock, ChannelStateBits)
{
    ConfigBlock b = Patterned();
    auto d = b.DataPort(4);
    const ConfigBlock before = b;
    d.setState(ChannelState::CLIPPED);
    EXPECT_EQ(d.state(), ChannelState::CLIPPED);
    EXPECT_EQ(b.Payload()[48 + 24 + 1] & 3, 2);
    d.setState(ChannelState::ON);
    EXPECT_EQ(b.Payload()[48 + 24 + 1] & 3, 1);
    d.setState(ChannelState::OFF);
    EXPECT_EQ(b.Payload()[48 + 24 + 1] & 3, 0);
    b.Bytes()[48 + 24 + 1] |= 3; // both bits: ON
    EXPECT_EQ(d.state(), ChannelState::ON);
    for (std::size_t i = 0; i < ConfigBlock::kSize; ++i) {
        const std::uint8_t mask = i == 48 + 24 + 1 ? 0xFC : 0xFF;
        EXPECT_EQ(b.Payload()[i] & mask, before.Payload()[i] & mask) << i;
    }

    // Every state field with its two bits.
    struct S {
        std::size_t byte;
        int on, clip;
        std::function<void(ConfigBlock&, ChannelState)> set;
        std::function<ChannelState(ConfigBlock&)> get;
    };
    const S states[] = {
        {48 + 0, 1, 2, [](ConfigBlock& c, ChannelState s) { c.DataPort(1).setTransit(s); }, [](ConfigBlock& c) { return c.DataPort(1).transit(); }},
        {96 + 16 + 1, 2, 3, [](ConfigBlock& c, ChannelState s) { c.PhonePort(2).setState(s); }, [](ConfigBlock& c) { return c.PhonePort(2).state(); }},
        {96 + 48 + 0, 1, 2, [](ConfigBlock& c, ChannelState s) { c.PhonePort(4).setTransit(s); }, [](ConfigBlock& c) { return c.PhonePort(4).transit(); }},
        {96 + 32 + 12, 0, 1, [](ConfigBlock& c, ChannelState s) { c.PhonePort(3).setFmState(s); }, [](ConfigBlock& c) { return c.PhonePort(3).fmState(); }},
        {160, 3, 4, [](ConfigBlock& c, ChannelState s) { c.setEthState(s); }, [](ConfigBlock& c) { return c.ethState(); }},
    };
    for (const auto& s : states) {
        ConfigBlock c;
        s.set(c, ChannelState::CLIPPED);
        EXPECT_EQ(c.Payload()[s.byte], 1 << s.clip);
        s.set(c, ChannelState::ON);
        EXPECT_EQ(c.Payload()[s.byte], 1 << s.on);
        c.Bytes()[s.byte] = static_cast<std::uint8_t>((1 << s.on) | (1 << s.clip));
        EXPECT_EQ(s.get(c), ChannelState::ON);
    }
}

TEST(ConfigBlock, WordsAreLittleEndian)
{
    ConfigBlock b;
    b.setBitRateTotal(0x01020304);
    b.setBitRateOccupied(0xA1B2);
    b.setEthBitRate(0x0C0D);
    b.setE1TsMapping(31);
    b.setE1TwoTs(1);
    const std::uint8_t* p = b.Payload();
    EXPECT_EQ(p[184], 0x04);
    EXPECT_EQ(p[187], 0x01);
    EXPECT_EQ(p[188], 0xB2);
    EXPECT_EQ(p[189], 0xA1);
    EXPECT_EQ(p[190], 0x0D);
    EXPECT_EQ(p[168], 0x80); // bits 7..11: mapping 31
    EXPECT_EQ(p[169], 0x0F | 0x20);
    EXPECT_EQ(b.bitRateTotal(), 0x01020304u);
}

TEST(ConfigBlock, ReplaceTakesTwoHundredBytes)
{
    std::vector<std::uint8_t> big(255, 0xEE);
    ConfigBlock b;
    b.Replace(big.data(), big.size());
    EXPECT_EQ(b.Payload()[199], 0xEE);
    const std::uint8_t few[] = {1, 2, 3};
    b.Replace(few, 3);
    EXPECT_EQ(b.Payload()[2], 3);
    EXPECT_EQ(b.Payload()[3], 0);
    EXPECT_EQ(b.Payload()[199], 0);
}

TEST(ValueLists, IndexAndText)
{
    EXPECT_EQ(InputLevelList.count, 19u);
    EXPECT_EQ(OutputLevelList.count, 20u);
    EXPECT_EQ(FmLevelList.count, 14u);
    EXPECT_EQ(*InputLevelList.Text(18), "+5,0");
    EXPECT_EQ(*OutputLevelList.Text(7), "-11,0");
    EXPECT_EQ(*FmLevelList.Text(13), "-17");
    EXPECT_EQ(*FmCarrierList.Text(5), "2640+3120");
    EXPECT_EQ(*EthNomRateList.Text(7), "64");
    EXPECT_EQ(*JitterAttList.Text(2), "TRANSMITTER");
    EXPECT_FALSE(FmLevelList.Text(14).has_value()) << "no reading beyond the list";
    EXPECT_FALSE(TmRateList.Text(6).has_value());
    EXPECT_EQ(*TmRateList.Index("9600"), 5u);
    EXPECT_EQ(*SignalingList.Index("TDN_1200"), 3u);
    EXPECT_FALSE(MmoRateList.Index("9600 ").has_value()) << "exact comparison";
    EXPECT_FALSE(SignalingList.Index("off").has_value());
    EXPECT_EQ(*OutputLevelList.Index("-13,0"), 6u);
}

TEST(ValueLists, LineRatesByDeviceType)
{
    EXPECT_EQ(*LiBitRateList(3).Text(1), "9,6");
    EXPECT_EQ(*LiBitRateList(3).Text(6), "5,6");
    EXPECT_EQ(*LiBitRateList(4).Text(3), "33,6");
    EXPECT_EQ(*LiBitRateList(4).Text(6), "12,0");
    for (int t : {0, 1, 2, 255}) {
        const ValueList group = LiBitRateList(static_cast<std::uint8_t>(t));
        EXPECT_EQ(*group.Text(0), "---");
        EXPECT_EQ(*group.Text(6), "16");
        EXPECT_FALSE(group.Text(7).has_value());
    }
    EXPECT_EQ(*LiBitRateList(1).Index("16"), 1u) << "the first match";
}

TEST(FieldRules, WhichFieldsApply)
{
    struct Case {
        FieldGroup g;
        DeviceContext d;
        bool applies;
    };
    const Case cases[] = {
        {FieldGroup::PortStatePriority, {255, 255, 255}, true},
        {FieldGroup::DestinationTransit, {3, 0, 4}, true},
        {FieldGroup::DestinationTransit, {3, 0, 1}, false},
        {FieldGroup::PhoneAcoust, {1, 0, 0}, true},
        {FieldGroup::PhoneAcoust, {1, 2, 0}, false},
        {FieldGroup::Phone4TF, {1, 2, 0}, true},
        {FieldGroup::Phone4TF, {1, 1, 0}, false},
        {FieldGroup::EthStatePriorityRate, {1, 0, 4}, true},
        {FieldGroup::EthStatePriorityRate, {1, 0, 0}, false},
        {FieldGroup::EthDuplexFilter, {1, 0, 4}, false},
        {FieldGroup::EthDuplexFilter, {1, 0, 2}, true},
        {FieldGroup::EthCompression, {1, 0, 1}, true},
        {FieldGroup::EthCompression, {1, 0, 2}, false},
        {FieldGroup::EthSpeed, {1, 0, 2}, true},
        {FieldGroup::E1Word, {1, 0, 0}, true},
        {FieldGroup::E1Word, {1, 0, 1}, false},
        {FieldGroup::E1TwoTs, {2, 0, 0}, true},
        {FieldGroup::E1TwoTs, {3, 0, 0}, false},
        {FieldGroup::E1TwoTs, {4, 0, 0}, false},
        {FieldGroup::UpiClockFreq, {1, 0, 1}, true},
        {FieldGroup::UpiClockFreq, {4, 0, 0}, false},
        {FieldGroup::UpiClockModeLiRate, {3, 0, 4}, true},
        {FieldGroup::LiType, {1, 0, 0}, true},
        {FieldGroup::LiType, {1, 0, 4}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldApplies(c.g, c.d), c.applies)
            << int(c.g) << " type " << int(c.d.deviceType) << " phone " << int(c.d.phoneModule) << " port1 "
            << int(c.d.port1Module);
}
