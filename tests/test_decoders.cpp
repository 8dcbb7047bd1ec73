#include "monitor/Decoders.h"

#include <gtest/gtest.h>

using namespace km7;

TEST(Decoders, DeviceTypeTable)
{
    struct Case {
        int model, revision, code;
        const char* name;
        const char* mux;
    };
    const Case cases[] = {
        {1, 3, 1, "MUX_TYPE_OLD", "KM-7-TL"},      {1, 4, 1, "MUX_TYPE_OLD", "KM-7-TL"},
        {1, 2, 255, "MUX_TYPE_UNKNOWN", "KM-7-TL ???"}, {2, 9, 2, "MUX_TYPE_3ch", "KM-7-TL"},
        {3, 0, 3, "MUX_TYPE_1ch", "KM-7-TL-1"},    {4, 7, 4, "MUX_TYPE_2ch", "KM-7-TL-2"},
        {0, 3, 255, "MUX_TYPE_UNKNOWN", "KM-7-TL ???"}, {9, 3, 255, "MUX_TYPE_UNKNOWN", "KM-7-TL ???"},
    };
    for (const auto& c : cases) {
        const auto t = DecodeDeviceType(static_cast<std::uint8_t>(c.model), static_cast<std::uint8_t>(c.revision));
        EXPECT_EQ(t.code, c.code) << c.model << "/" << c.revision;
        EXPECT_STREQ(t.settingName, c.name);
        EXPECT_STREQ(t.muxText, c.mux);
    }
}

TEST(Decoders, VersionText)
{
    struct Case {
        int model, revision;
        std::uint16_t word;
        const char* text;
    };
    const Case cases[] = {
        {2, 5, 0x0209, "2.05.209"}, {3, 12, 0x0007, "3.12.007"}, {1, 0, 0x1A05, "1.00.11005"},
        {3, 5, 0x0000, "3.05.000"}, {3, 5, 0x000A, "3.05.010"},  {3, 5, 0x0100, "3.05.100"},
        {3, 5, 0xF000, "3.05.15000"}, {255, 255, 0x0030, "255.255.030"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionText(static_cast<std::uint8_t>(c.model), static_cast<std::uint8_t>(c.revision), c.word),
                  c.text);
}

TEST(Decoders, CableTable)
{
    struct Case {
        unsigned code;
        const char* text;
        Colour colour;
    };
    const Case cases[] = {
        {2, "DTE RS-232/V.24", Colour::WindowText}, {4, "DTE RS-449/530", Colour::WindowText},
        {12, "DTE RS-449/530", Colour::WindowText}, {5, "DTE RS-485", Colour::WindowText},
        {14, "DTE V.35", Colour::WindowText},       {18, "DCE not support", Colour::Teal},
        {20, "DCE not support", Colour::Teal},      {21, "DCE not support", Colour::Teal},
        {28, "DCE not support", Colour::Teal},      {30, "DCE not support", Colour::Teal},
        {31, "No Cable", Colour::Green},            {15, "Cable error", Colour::Red},
        {0, "Cable error", Colour::Red},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CableText(c.code), (ColouredText{c.text, c.colour})) << c.code;

    IdentificationRecord r;
    r.setByte(ident::Circuits, 0x01);
    r.setByte(ident::LineStatus, 0xF0);
    EXPECT_EQ(r.cableCode(), 31u);
    r.setByte(ident::Circuits, 0x00);
    EXPECT_EQ(r.cableCode(), 15u);
}

TEST(Decoders, ModulesText)
{
    EXPECT_EQ(ModulesText(255, 255), (ColouredText{"Not detected", Colour::Teal}));
    EXPECT_EQ(ModulesText(0, 0), (ColouredText{"FXS, E1", Colour::WindowText}));
    EXPECT_EQ(ModulesText(1, 2), (ColouredText{"FXO, ETH100", Colour::WindowText}));
    EXPECT_EQ(ModulesText(2, 4), (ColouredText{"4TF, VX-IP", Colour::WindowText}));
    EXPECT_EQ(ModulesText(255, 1), (ColouredText{"???, ETH", Colour::WindowText}));
    EXPECT_EQ(ModulesText(7, 3), (ColouredText{"???", Colour::Red}));
    EXPECT_EQ(ModulesText(0, 255), (ColouredText{"FXS", Colour::WindowText}));
}

TEST(Decoders, DurationAndGroupedCount)
{
    const std::pair<std::int64_t, const char*> durations[] = {
        {59, "0:00:59"}, {3600, "1:00:00"}, {90061, "1 d 1:01:01"}, {864000, "10 d 0:00:00"}, {0, "0:00:00"},
        {4294967295LL, "49710 d 6:28:15"},
    };
    for (auto [s, text] : durations)
        EXPECT_EQ(DurationText(s), text) << s;
    const std::pair<std::int64_t, const char*> counts[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1.000"},
        {1234567, "1.234.567"},
        {4294967, "4.294.967"},
        {1234567890, "1.234.567.890"},
        {-1000, "-1.000"},
        {-100, "-.100"}, // the minus sign counts as a character
        {-123456789, "-.123.456.789"},
        {INT32_MIN, "-2.147.483.648"},
        {4294967295LL, "4.294.967.295"},
    };
    for (auto [n, text] : counts)
        EXPECT_EQ(GroupedCountText(n), text) << n;
}

TEST(Decoders, StatisticsSumsWrapAt32BitsAndShowUnsigned)
{
    MonitorDisplay d;
    IdentificationRecord r;
    r.setU32(0, 0xFFFFFFFFu); // time count 0 = -1 when added
    r.setU32(4, 61);
    r.setU32(8, 0);
    r.setU32(12, 0x7FFFFFFF);
    r.setU32(20, 1);
    r.setU32(16, 999);
    r.setU32(24, 1);
    DecodeIdentification(d, r.Bytes(), IdentificationRecord::kSize);
    EXPECT_EQ(d.fillTime.text, "0:01:00");
    EXPECT_EQ(d.currTime.text, "49710 d 6:28:15");
    EXPECT_EQ(d.rxOk.text, "2.147.483.648");
    EXPECT_EQ(d.rxErr.text, "1.000");
}

TEST(Decoders, ShortIdentificationReadsZeros)
{
    MonitorDisplay d;
    const std::uint8_t few[] = {5, 0, 0, 0};
    DecodeIdentification(d, few, sizeof few);
    EXPECT_EQ(d.deviceType, 255);
    EXPECT_EQ(d.version.text, "0.00.000");
    EXPECT_EQ(d.state, (ColouredText{"Error", Colour::Red}));
    EXPECT_EQ(d.fillTime.text, "0:00:05");
    EXPECT_EQ(d.modules.text, "FXS, E1");
    DecodeIdentification(d, nullptr, 0);
    EXPECT_EQ(d.fillTime.text, "0:00:00");
}

TEST(Decoders, IndicatorsFollowTheKeptInterface)
{
    MonitorDisplay d;
    IdentificationRecord r;
    r.setByte(ident::E1Alarms, 0x03);   // LOF, LOS
    r.setByte(ident::Circuits, 0x3E);   // all five circuits
    DecodeIdentification(d, r.Bytes(), 48); // the all-zero block says UPI
    EXPECT_EQ(d.p2, (std::array<Colour, 5>{Colour::Lime, Colour::Lime, Colour::Lime, Colour::Lime, Colour::Lime}));
    EXPECT_EQ(d.e1[LOF], Colour::ButtonFace) << "E1 untouched under UPI";

    ConfigBlock e1;
    e1.setLiType(1);
    DecodeStateBlock(d, e1.Payload(), ConfigBlock::kSize);
    r.setByte(ident::Circuits, 0x00);
    DecodeIdentification(d, r.Bytes(), 48);
    EXPECT_EQ(d.e1[LOF], Colour::Lime);
    EXPECT_EQ(d.e1[LOS], Colour::Lime);
    EXPECT_EQ(d.e1[RA], Colour::Green);
    EXPECT_EQ(d.p2[P2DCD], Colour::Lime) << "Port 2 keeps its last colours";

    const auto p2 = Port2CircuitColours(0x02 | 0x10); // DTR, DSR
    EXPECT_EQ(p2, (std::array<Colour, 5>{Colour::Lime, Colour::Lime, Colour::Green, Colour::Green, Colour::Green}));
}

TEST(Decoders, VxIpCases)
{
    VxIpDisplay d;
    ApplyVxIpStatus(d, 0x01); // bootloader, firmware present
    EXPECT_EQ(d.state, (Indicator{Colour::Green, "Bootloader", true}));
    EXPECT_EQ(d.n1, (Indicator{Colour::Green, "FirmWare", true}));
    EXPECT_EQ(d.n2, (Indicator{Colour::Red, "RAM", true}));
    EXPECT_EQ(d.n3, (Indicator{Colour::Red, "Network interface", true}));
    EXPECT_FALSE(d.n4.visible);
    ApplyVxIpStatus(d, 0x11);
    EXPECT_EQ(d.n1.colour, Colour::Lime);
    ApplyVxIpStatus(d, 0x10);
    EXPECT_EQ(d.n1.colour, Colour::Red) << "firmware missing";

    const VxIpDisplay before = d;
    ApplyVxIpStatus(d, 0x16); // fault wins over active
    EXPECT_EQ(d.state, (Indicator{Colour::Red, "Fault", true}));
    EXPECT_EQ(d.n1, before.n1);
    EXPECT_EQ(d.n4, before.n4);

    ApplyVxIpStatus(d, 0x04 | 0x10 | 0x80);
    EXPECT_EQ(d.state, (Indicator{Colour::Lime, "Active", true}));
    EXPECT_EQ(d.n1, (Indicator{Colour::Lime, "LINK1", true}));
    EXPECT_EQ(d.n2, (Indicator{Colour::Green, "LINK2", true}));
    EXPECT_EQ(d.n3, (Indicator{Colour::Green, "TX", true}));
    EXPECT_EQ(d.n4, (Indicator{Colour::Lime, "RX", true})) << "shown again after the bootloader";
}

TEST(Decoders, ChannelRows)
{
    ConfigBlock b;
    auto p1 = b.PhonePort(1);
    p1.setState(ChannelState::ON);
    p1.setFmState(ChannelState::ON);
    p1.setPriority(0);
    auto p2 = b.PhonePort(2);
    p2.setState(ChannelState::OFF);
    p2.setDestination(1);
    p2.setTransit(ChannelState::CLIPPED);
    p2.setPriority(10);
    b.Bytes()[96 + 48 + 1] |= 0x0C; // phone 4: ON and CLIPPED
    b.PhonePort(4).setPriority(255);
    auto d1 = b.DataPort(1);
    d1.setState(ChannelState::ON);
    d1.setMode(1);
    d1.setBitRate(0);
    auto d2 = b.DataPort(2);
    d2.setState(ChannelState::CLIPPED);
    d2.setDestination(1);
    d2.setMode(0);
    d2.setBitRate(3);
    b.DataPort(3).setMode(0);
    b.DataPort(3).setBitRate(4);
    b.DataPort(4).setMode(1);
    b.DataPort(4).setBitRate(6);
    b.setEthState(ChannelState::ON);
    b.setEthBitRate(96);
    b.setEthPriority(2);

    const ChannelRows fourTf = DecodeChannels(b, 2, 4);
    EXPECT_EQ(fourTf.phone[0].info, (ColouredText{"On, UPI     FM On", Colour::Green}));
    EXPECT_EQ(fourTf.phone[0].priority, "Pri 1");
    EXPECT_EQ(fourTf.phone[1].info, (ColouredText{"Off, VX-IP   FM Off", Colour::WindowText}));
    EXPECT_TRUE(fourTf.phone[1].transitVisible);
    EXPECT_EQ(fourTf.phone[1].transit, (ColouredText{"Transit Clip", Colour::Red}));
    EXPECT_EQ(fourTf.phone[1].priority, "Pri 11");
    EXPECT_EQ(fourTf.phone[3].info.colour, Colour::Green) << "both bits read as ON";
    EXPECT_EQ(fourTf.phone[3].priority, "Pri 256");
    EXPECT_EQ(fourTf.data[0].info, (ColouredText{"On, UPI, TM 100", Colour::Green}));
    EXPECT_EQ(fourTf.data[1].info, (ColouredText{"Clipped, VX-IP, MMO 19200", Colour::Red}));
    EXPECT_EQ(fourTf.data[2].info.text, "Off, UPI, MMO ???");
    EXPECT_EQ(fourTf.data[3].info.text, "Off, UPI, TM ???");
    EXPECT_EQ(fourTf.data[0].transit, (ColouredText{"Transit Off", Colour::WindowText}));
    EXPECT_EQ(fourTf.ethernet, (ColouredText{"On, 25600 bit/s", Colour::Green}));
    EXPECT_EQ(fourTf.ethernetPri, "Pri 3");

    const ChannelRows fxo = DecodeChannels(b, 1, 0);
    EXPECT_EQ(fxo.phone[0].info.text, "On, UPI     ") << "no FM text without a 4TF module";
    for (const auto& row : fxo.phone)
        EXPECT_FALSE(row.transitVisible);
    for (const auto& row : fxo.data)
        EXPECT_FALSE(row.transitVisible);
    EXPECT_EQ(fxo.ethernet, (ColouredText{"No module", Colour::WindowText}));
    EXPECT_EQ(fxo.ethernetPri, "");

    b.setEthBitRate(1);
    EXPECT_EQ(DecodeChannels(b, 0, 1).ethernet.text, "On, 266 bit/s");
    b.setEthBitRate(0);
    EXPECT_EQ(DecodeChannels(b, 0, 2).ethernet.text, "On, 0 bit/s");
}

TEST(Decoders, StateBlockRates)
{
    MonitorDisplay d;
    // Before any device type is known the rate texts are empty.
    ConfigBlock b;
    b.setLiBitRate(2);
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
    EXPECT_EQ(d.bitRatePx, (ColouredText{"Internal", Colour::WindowText}));

    IdentificationRecord r;
    r.setByte(ident::Model, 3);
    r.setByte(ident::LineStatus, 0x01 | (3 << 1)); // link up, external index 3
    DecodeIdentification(d, r.Bytes(), 48);
    b.setLiBitRate(1);
    b.setBitRateTotal(960);
    b.setBitRateOccupied(1000);
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
    EXPECT_EQ(d.interface.text, "UPI");
    EXPECT_EQ(d.bitRatePx, (ColouredText{"  9,6 Internal", Colour::WindowText}));
    EXPECT_EQ(d.occupied, (ColouredText{"10000 bit/s", Colour::WindowText}));
    EXPECT_EQ(d.freeRate, (ColouredText{"-400 bit/s", Colour::WindowText}));

    b.setLiBitRateSource(1); // the rate comes from the record now
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
    EXPECT_EQ(d.bitRatePx.text, " 16,8 External");

    r.setByte(ident::Model, 4);
    r.setByte(ident::LineStatus, 0x00 | (7 << 1)); // link down, index 7
    DecodeIdentification(d, r.Bytes(), 48);
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
    EXPECT_EQ(d.bitRatePx, (ColouredText{" ???", Colour::Red}));
    EXPECT_EQ(d.occupied.colour, Colour::Red);
    EXPECT_EQ(d.rateTexts[3], " 33,6 ");

    // Unknown type: the texts keep what they held.
    r.setByte(ident::Model, 9);
    DecodeIdentification(d, r.Bytes(), 48);
    b.setLiBitRateSource(0);
    b.setLiType(1);
    b.setLiBitRate(6);
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
    EXPECT_EQ(d.bitRatePx.text, " 12,0 Internal");
    EXPECT_EQ(d.interface.text, "E1");
}

TEST(Decoders, RateTextTables)
{
    EXPECT_EQ(Port2RateTexts(3)[1], "  9,6 ");
    EXPECT_EQ(Port2RateTexts(3)[6], "  5,6 ");
    EXPECT_EQ(Port2RateTexts(4)[5], " 50,4 ");
    EXPECT_EQ(Port2RateTexts(1)[6], " 16 ");
    EXPECT_EQ(Port2RateTexts(2)[4], " 64 ");
}
