// Where every field lies in the bytes the device sends and takes: the
// configuration block, the identification record, the value list texts and
// the simulator's answers. Offsets, bits and texts below are written from the
// device's byte maps as literals; the code is only asked to agree with them.
#include "config/UConfigBlock.h"
#include "monitor/Decoders.h"
#include "monitor/IdentRecord.h"
#include "simulator/SimDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace km7;

namespace {

// Compares `size` bytes at `bytes` with `fill`, except the bytes from
// `offset` on, which must be `expected`.
::testing::AssertionResult BytesAre(const std::uint8_t* bytes, std::size_t size, std::uint8_t fill, std::size_t offset,
                                    const std::vector<std::uint8_t>& expected)
{
    for (std::size_t i = 0; i < size; ++i) {
        const bool own = i >= offset && i < offset + expected.size();
        const std::uint8_t want = own ? expected[i - offset] : fill;
        if (bytes[i] != want) {
            std::ostringstream text;
            text << "byte " << i << " is 0x" << std::hex << unsigned{bytes[i]} << ", expected 0x" << unsigned{want};
            return ::testing::AssertionFailure() << text.str();
        }
    }
    return ::testing::AssertionSuccess();
}

ConfigBlock FilledBlock(std::uint8_t fill)
{
    std::array<std::uint8_t, ConfigBlock::kSize> raw{};
    raw.fill(fill);
    ConfigBlock b;
    b.Replace(raw.data(), raw.size());
    return b;
}

std::vector<std::uint8_t> Inverted(const std::vector<std::uint8_t>& v)
{
    std::vector<std::uint8_t> out;
    for (auto x : v)
        out.push_back(static_cast<std::uint8_t>(~x));
    return out;
}

// A field of the block: `mask` holds its bits byte by byte from `offset`
// (little-endian for wider fields); `sampleBytes` is how `sample` lies there.
struct BitField {
    std::string name;
    std::size_t offset;
    std::vector<std::uint8_t> mask;
    int width;
    std::uint32_t sample;
    std::vector<std::uint8_t> sampleBytes;
    std::function<std::uint32_t(ConfigBlock&)> get;
    std::function<void(ConfigBlock&, std::uint32_t)> set;
};

struct StateField {
    std::string name;
    std::size_t offset;
    std::uint8_t on, clip; // the ON bit and the CLIPPED bit
    std::function<ChannelState(ConfigBlock&)> get;
    std::function<void(ConfigBlock&, ChannelState)> set;
};

// One field of a port record, at `byte` inside the record.
template <class Record>
struct RecordField {
    const char* name;
    std::size_t byte;
    std::uint8_t mask;
    int width;
    std::uint32_t sample;
    std::uint8_t sampleByte;
    std::function<std::uint32_t(Record)> get;
    std::function<void(Record, unsigned)> set;
};

template <class Record>
struct RecordState {
    const char* name;
    std::size_t byte;
    std::uint8_t on, clip;
    std::function<ChannelState(Record)> get;
    std::function<void(Record, ChannelState)> set;
};

// Data port n (1..6) starts at 48 + 8(n-1), phone port n (1..4) at 96 + 16(n-1).
constexpr std::array<std::size_t, 6> kDataPortAt = {48, 56, 64, 72, 80, 88};
constexpr std::array<std::size_t, 4> kPhonePortAt = {96, 112, 128, 144};

const std::vector<RecordField<DataPortRecord>>& DataFields()
{
    using R = DataPortRecord;
    static const std::vector<RecordField<R>> f = {
        {"destination", 0, 0x01, 1, 1, 0x01, [](R r) { return r.destination(); }, [](R r, unsigned v) { r.setDestination(v); }},
        {"loop", 0, 0x08, 1, 1, 0x08, [](R r) { return r.loop(); }, [](R r, unsigned v) { r.setLoop(v); }},
        {"bitRate", 0, 0x70, 3, 6, 0x60, [](R r) { return r.bitRate(); }, [](R r, unsigned v) { r.setBitRate(v); }},
        {"mode", 0, 0x80, 1, 1, 0x80, [](R r) { return r.mode(); }, [](R r, unsigned v) { r.setMode(v); }},
        {"priority", 4, 0xFF, 8, 10, 0x0A, [](R r) { return r.priority(); }, [](R r, unsigned v) { r.setPriority(v); }},
    };
    return f;
}

const std::vector<RecordState<DataPortRecord>>& DataStates()
{
    using R = DataPortRecord;
    static const std::vector<RecordState<R>> f = {
        {"transit", 0, 0x02, 0x04, [](R r) { return r.transit(); }, [](R r, ChannelState s) { r.setTransit(s); }},
        {"state", 1, 0x01, 0x02, [](R r) { return r.state(); }, [](R r, ChannelState s) { r.setState(s); }},
    };
    return f;
}

const std::vector<RecordField<PhonePortRecord>>& PhoneFields()
{
    using R = PhonePortRecord;
    static const std::vector<RecordField<R>> f = {
        {"destination", 0, 0x01, 1, 1, 0x01, [](R r) { return r.destination(); }, [](R r, unsigned v) { r.setDestination(v); }},
        {"signaling", 0, 0x18, 2, 1, 0x08, [](R r) { return r.signaling(); }, [](R r, unsigned v) { r.setSignaling(v); }},
        {"signalingLevel", 0, 0x20, 1, 1, 0x20, [](R r) { return r.signalingLevel(); }, [](R r, unsigned v) { r.setSignalingLevel(v); }},
        {"acoust", 0, 0x40, 1, 1, 0x40, [](R r) { return r.acoust(); }, [](R r, unsigned v) { r.setAcoust(v); }},
        {"echoState", 0, 0x80, 1, 1, 0x80, [](R r) { return r.echoState(); }, [](R r, unsigned v) { r.setEchoState(v); }},
        {"echoNbs", 1, 0x01, 1, 1, 0x01, [](R r) { return r.echoNbs(); }, [](R r, unsigned v) { r.setEchoNbs(v); }},
        {"echoSuppression", 1, 0x02, 1, 1, 0x02, [](R r) { return r.echoSuppression(); }, [](R r, unsigned v) { r.setEchoSuppression(v); }},
        {"generator", 1, 0x30, 2, 1, 0x10, [](R r) { return r.generator(); }, [](R r, unsigned v) { r.setGenerator(v); }},
        {"priority", 4, 0xFF, 8, 10, 0x0A, [](R r) { return r.priority(); }, [](R r, unsigned v) { r.setPriority(v); }},
        {"inputLevel", 5, 0xFF, 8, 18, 0x12, [](R r) { return r.inputLevel(); }, [](R r, unsigned v) { r.setInputLevel(v); }},
        {"outputLevel", 6, 0xFF, 8, 19, 0x13, [](R r) { return r.outputLevel(); }, [](R r, unsigned v) { r.setOutputLevel(v); }},
        {"fmLevel", 12, 0x3C, 4, 3, 0x0C, [](R r) { return r.fmLevel(); }, [](R r, unsigned v) { r.setFmLevel(v); }},
        {"fmBaudRate", 12, 0xC0, 2, 1, 0x40, [](R r) { return r.fmBaudRate(); }, [](R r, unsigned v) { r.setFmBaudRate(v); }},
        {"fmCarriers", 13, 0x07, 3, 6, 0x06, [](R r) { return r.fmCarriers(); }, [](R r, unsigned v) { r.setFmCarriers(v); }},
    };
    return f;
}

const std::vector<RecordState<PhonePortRecord>>& PhoneStates()
{
    using R = PhonePortRecord;
    static const std::vector<RecordState<R>> f = {
        {"transit", 0, 0x02, 0x04, [](R r) { return r.transit(); }, [](R r, ChannelState s) { r.setTransit(s); }},
        {"state", 1, 0x04, 0x08, [](R r) { return r.state(); }, [](R r, ChannelState s) { r.setState(s); }},
        {"fmState", 12, 0x01, 0x02, [](R r) { return r.fmState(); }, [](R r, ChannelState s) { r.setFmState(s); }},
    };
    return f;
}

std::vector<BitField> AllBitFields()
{
    using B = ConfigBlock&;
    std::vector<BitField> f = {
        {"testFlags", 28, {0x03}, 2, 2, {0x02}, [](B b) { return b.testFlags(); }, [](B b, std::uint32_t v) { b.setTestFlags(v); }},
        {"liType", 36, {0x01}, 1, 1, {0x01}, [](B b) { return b.liType(); }, [](B b, std::uint32_t v) { b.setLiType(v); }},
        {"liBitRate", 40, {0x07}, 3, 6, {0x06}, [](B b) { return b.liBitRate(); }, [](B b, std::uint32_t v) { b.setLiBitRate(v); }},
        {"liBitRateSource", 40, {0x08}, 1, 1, {0x08}, [](B b) { return b.liBitRateSource(); }, [](B b, std::uint32_t v) { b.setLiBitRateSource(v); }},
        {"ethDuplex", 160, {0x01}, 1, 1, {0x01}, [](B b) { return b.ethDuplex(); }, [](B b, std::uint32_t v) { b.setEthDuplex(v); }},
        {"ethFilter", 160, {0x02}, 1, 1, {0x02}, [](B b) { return b.ethFilter(); }, [](B b, std::uint32_t v) { b.setEthFilter(v); }},
        {"ethCompressOrSpeed", 160, {0x04}, 1, 1, {0x04}, [](B b) { return b.ethCompressOrSpeed(); }, [](B b, std::uint32_t v) { b.setEthCompressOrSpeed(v); }},
        {"ethNomBitRate", 160, {0xE0}, 3, 6, {0xC0}, [](B b) { return b.ethNomBitRate(); }, [](B b, std::uint32_t v) { b.setEthNomBitRate(v); }},
        {"ethPriority", 164, {0xFF}, 8, 10, {0x0A}, [](B b) { return b.ethPriority(); }, [](B b, std::uint32_t v) { b.setEthPriority(v); }},
        // The E1 word: byte 168 holds bits 0..7, byte 169 bits 8..15.
        {"e1Word", 168, {0xFF, 0xFF}, 16, 0x2A81, {0x81, 0x2A}, [](B b) { return b.e1Word(); }, [](B b, std::uint32_t v) { b.setE1Word(v); }},
        {"e1Crc", 168, {0x01, 0x00}, 1, 1, {0x01, 0x00}, [](B b) { return b.e1Crc(); }, [](B b, std::uint32_t v) { b.setE1Crc(v); }},
        {"e1JitterAtt", 168, {0x06, 0x00}, 2, 2, {0x04, 0x00}, [](B b) { return b.e1JitterAtt(); }, [](B b, std::uint32_t v) { b.setE1JitterAtt(v); }},
        {"e1JitterDepth", 168, {0x08, 0x00}, 1, 1, {0x08, 0x00}, [](B b) { return b.e1JitterDepth(); }, [](B b, std::uint32_t v) { b.setE1JitterDepth(v); }},
        {"e1RcGain", 168, {0x10, 0x00}, 1, 1, {0x10, 0x00}, [](B b) { return b.e1RcGain(); }, [](B b, std::uint32_t v) { b.setE1RcGain(v); }},
        {"e1Ais", 168, {0x20, 0x00}, 1, 1, {0x20, 0x00}, [](B b) { return b.e1Ais(); }, [](B b, std::uint32_t v) { b.setE1Ais(v); }},
        {"e1Rai", 168, {0x40, 0x00}, 1, 1, {0x40, 0x00}, [](B b) { return b.e1Rai(); }, [](B b, std::uint32_t v) { b.setE1Rai(v); }},
        // Bits 7..11 straddle the two bytes: mapping 13 is 0b01101 << 7.
        {"e1TsMapping", 168, {0x80, 0x0F}, 5, 13, {0x80, 0x06}, [](B b) { return b.e1TsMapping(); }, [](B b, std::uint32_t v) { b.setE1TsMapping(v); }},
        {"e1Clock", 168, {0x00, 0x10}, 1, 1, {0x00, 0x10}, [](B b) { return b.e1Clock(); }, [](B b, std::uint32_t v) { b.setE1Clock(v); }},
        {"e1TwoTs", 168, {0x00, 0x20}, 1, 1, {0x00, 0x20}, [](B b) { return b.e1TwoTs(); }, [](B b, std::uint32_t v) { b.setE1TwoTs(v); }},
        {"upiClockFreq", 176, {0x03}, 2, 1, {0x01}, [](B b) { return b.upiClockFreq(); }, [](B b, std::uint32_t v) { b.setUpiClockFreq(v); }},
        {"upiClockMode", 176, {0x04}, 1, 1, {0x04}, [](B b) { return b.upiClockMode(); }, [](B b, std::uint32_t v) { b.setUpiClockMode(v); }},
        {"bitRateTotal", 184, {0xFF, 0xFF, 0xFF, 0xFF}, 32, 0x12345678, {0x78, 0x56, 0x34, 0x12},
         [](B b) { return b.bitRateTotal(); }, [](B b, std::uint32_t v) { b.setBitRateTotal(v); }},
        {"bitRateOccupied", 188, {0xFF, 0xFF}, 16, 0xBEEF, {0xEF, 0xBE},
         [](B b) { return b.bitRateOccupied(); }, [](B b, std::uint32_t v) { b.setBitRateOccupied(static_cast<std::uint16_t>(v)); }},
        {"ethBitRate", 190, {0xFF, 0xFF}, 16, 0x1234, {0x34, 0x12},
         [](B b) { return b.ethBitRate(); }, [](B b, std::uint32_t v) { b.setEthBitRate(static_cast<std::uint16_t>(v)); }},
    };
    for (int n = 1; n <= 6; ++n)
        for (const auto& r : DataFields()) {
            auto get = r.get;
            auto set = r.set;
            f.push_back({"data port " + std::to_string(n) + " " + r.name, kDataPortAt[static_cast<std::size_t>(n - 1)] + r.byte,
                         {r.mask}, r.width, r.sample, {r.sampleByte},
                         [n, get](B b) { return get(b.DataPort(n)); },
                         [n, set](B b, std::uint32_t v) { set(b.DataPort(n), v); }});
        }
    for (int n = 1; n <= 4; ++n)
        for (const auto& r : PhoneFields()) {
            auto get = r.get;
            auto set = r.set;
            f.push_back({"phone port " + std::to_string(n) + " " + r.name, kPhonePortAt[static_cast<std::size_t>(n - 1)] + r.byte,
                         {r.mask}, r.width, r.sample, {r.sampleByte},
                         [n, get](B b) { return get(b.PhonePort(n)); },
                         [n, set](B b, std::uint32_t v) { set(b.PhonePort(n), v); }});
        }
    return f;
}

std::vector<StateField> AllStateFields()
{
    using B = ConfigBlock&;
    std::vector<StateField> f = {
        {"ethState", 160, 0x08, 0x10, [](B b) { return b.ethState(); }, [](B b, ChannelState s) { b.setEthState(s); }},
    };
    for (int n = 1; n <= 6; ++n) {
        for (const auto& r : DataStates()) {
            auto get = r.get;
            auto set = r.set;
            f.push_back({"data port " + std::to_string(n) + " " + r.name, kDataPortAt[static_cast<std::size_t>(n - 1)] + r.byte,
                         r.on, r.clip, [n, get](B b) { return get(b.DataPort(n)); },
                         [n, set](B b, ChannelState s) { set(b.DataPort(n), s); }});
        }
        // The block's own shortcut for the port state reads the same bits.
        f.push_back({"data port " + std::to_string(n) + " DataState", kDataPortAt[static_cast<std::size_t>(n - 1)] + 1, 0x01,
                     0x02, [n](B b) { return b.DataState(n); },
                     [n](B b, ChannelState s) { b.DataPort(n).setState(s); }});
    }
    for (int n = 1; n <= 4; ++n) {
        for (const auto& r : PhoneStates()) {
            auto get = r.get;
            auto set = r.set;
            f.push_back({"phone port " + std::to_string(n) + " " + r.name, kPhonePortAt[static_cast<std::size_t>(n - 1)] + r.byte,
                         r.on, r.clip, [n, get](B b) { return get(b.PhonePort(n)); },
                         [n, set](B b, ChannelState s) { set(b.PhonePort(n), s); }});
        }
        f.push_back({"phone port " + std::to_string(n) + " PhoneState", kPhonePortAt[static_cast<std::size_t>(n - 1)] + 1, 0x04,
                     0x08, [n](B b) { return b.PhoneState(n); },
                     [n](B b, ChannelState s) { b.PhonePort(n).setState(s); }});
    }
    return f;
}

void PutBytes(ConfigBlock& b, std::size_t offset, const std::vector<std::uint8_t>& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
        b.Bytes()[offset + i] = bytes[i];
}

std::vector<std::uint8_t> Or(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    std::vector<std::uint8_t> out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        out[i] = static_cast<std::uint8_t>(a[i] | b[i]);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Configuration block

TEST(BlockByteMap, WritingAFieldSetsExactlyItsBits)
{
    for (const auto& f : AllBitFields()) {
        SCOPED_TRACE(f.name);
        const std::uint32_t max = f.width == 32 ? 0xFFFFFFFFu : (1u << f.width) - 1u;
        const auto notMask = Inverted(f.mask);

        ConfigBlock b = FilledBlock(0x00);
        f.set(b, max);
        EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, 0x00, f.offset, f.mask)) << "all ones on zeros";

        b = FilledBlock(0xFF);
        f.set(b, 0);
        EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, 0xFF, f.offset, notMask)) << "zero on ones";

        b = FilledBlock(0x00);
        f.set(b, f.sample);
        EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, 0x00, f.offset, f.sampleBytes)) << "sample on zeros";

        b = FilledBlock(0xFF);
        f.set(b, f.sample);
        EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, 0xFF, f.offset, Or(f.sampleBytes, notMask)))
            << "sample on ones";

        if (f.width < 16) {
            // Bits above the width are dropped, not spilled into neighbours.
            b = FilledBlock(0x00);
            f.set(b, f.sample | ~max);
            EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, 0x00, f.offset, f.sampleBytes)) << "masked to width";
        }
    }
}

TEST(BlockByteMap, ReadingAFieldTakesExactlyItsBits)
{
    for (const auto& f : AllBitFields()) {
        SCOPED_TRACE(f.name);
        const std::uint32_t max = f.width == 32 ? 0xFFFFFFFFu : (1u << f.width) - 1u;
        const auto notMask = Inverted(f.mask);

        ConfigBlock b = FilledBlock(0x00);
        EXPECT_EQ(f.get(b), 0u);
        PutBytes(b, f.offset, f.sampleBytes);
        EXPECT_EQ(f.get(b), f.sample);
        PutBytes(b, f.offset, f.mask);
        EXPECT_EQ(f.get(b), max);

        b = FilledBlock(0xFF);
        EXPECT_EQ(f.get(b), max);
        PutBytes(b, f.offset, notMask);
        EXPECT_EQ(f.get(b), 0u) << "every other bit of the block set";
        PutBytes(b, f.offset, Or(f.sampleBytes, notMask));
        EXPECT_EQ(f.get(b), f.sample);
    }
}

TEST(BlockByteMap, ChannelStatesAreAnOnBitAndAClippedBit)
{
    for (const auto& f : AllStateFields()) {
        SCOPED_TRACE(f.name);
        const auto on = f.on, clip = f.clip;
        const auto both = static_cast<std::uint8_t>(on | clip);

        // Writing: ON sets ON and clears CLIPPED, CLIPPED the reverse, OFF clears both.
        struct Write {
            std::uint8_t fill;
            ChannelState value;
            std::uint8_t expected;
        };
        const Write writes[] = {
            {0x00, ChannelState::ON, on},
            {0x00, ChannelState::CLIPPED, clip},
            {0x00, ChannelState::OFF, 0x00},
            {0xFF, ChannelState::ON, static_cast<std::uint8_t>(~clip)},
            {0xFF, ChannelState::CLIPPED, static_cast<std::uint8_t>(~on)},
            {0xFF, ChannelState::OFF, static_cast<std::uint8_t>(~both)},
        };
        for (const auto& w : writes) {
            ConfigBlock b = FilledBlock(w.fill);
            f.set(b, w.value);
            EXPECT_TRUE(BytesAre(b.Payload(), ConfigBlock::kSize, w.fill, f.offset, {w.expected}))
                << ChannelStateText(w.value) << " on 0x" << std::hex << unsigned{w.fill};
        }

        // Reading: ON whenever the ON bit is set, CLIPPED with only the CLIPPED bit.
        struct Read {
            std::uint8_t fill;
            std::uint8_t raw;
            ChannelState expected;
        };
        const Read reads[] = {
            {0x00, 0x00, ChannelState::OFF},
            {0x00, on, ChannelState::ON},
            {0x00, clip, ChannelState::CLIPPED},
            {0x00, both, ChannelState::ON},
            {0xFF, 0xFF, ChannelState::ON},
            {0xFF, static_cast<std::uint8_t>(~clip), ChannelState::ON},
            {0xFF, static_cast<std::uint8_t>(~on), ChannelState::CLIPPED},
            {0xFF, static_cast<std::uint8_t>(~both), ChannelState::OFF},
        };
        for (const auto& r : reads) {
            ConfigBlock b = FilledBlock(r.fill);
            b.Bytes()[f.offset] = r.raw;
            EXPECT_EQ(f.get(b), r.expected) << "raw 0x" << std::hex << unsigned{r.raw} << " among 0x" << unsigned{r.fill};
        }
    }
}

// ---------------------------------------------------------------------------
// Identification record

TEST(IdentByteMap, FieldsAtTheirOffsetsLittleEndian)
{
    // Byte i holds i + 1, so every field reads a value of its own.
    std::array<std::uint8_t, 48> raw{};
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint8_t>(i + 1);
    IdentificationRecord r;
    r.Replace(raw.data(), raw.size());
    EXPECT_EQ(r.timeCount0(), 0x04030201u);
    EXPECT_EQ(r.fullTimeCount(), 0x08070605u);
    EXPECT_EQ(r.currentTimeCount(), 0x0C0B0A09u);
    EXPECT_EQ(r.rxOkA(), 0x100F0E0Du);
    EXPECT_EQ(r.rxErrA(), 0x14131211u);
    EXPECT_EQ(r.rxOkB(), 0x18171615u);
    EXPECT_EQ(r.rxErrB(), 0x1C1B1A19u);
    EXPECT_EQ(r.versionWord(), 0x2221u);
    EXPECT_EQ(r.modelByte(), 0x23u);
    EXPECT_EQ(r.revisionByte(), 0x24u);
    EXPECT_EQ(r.e1Alarms(), 0x25u);
    EXPECT_EQ(r.phoneModule(), 0x26u);
    EXPECT_EQ(r.port1Module(), 0x27u);
    EXPECT_EQ(r.vxIpStatus(), 0x28u);
    EXPECT_EQ(r.lineStatus(), 0x29u);
    EXPECT_EQ(r.circuits(), 0x2Au);
    EXPECT_EQ(r.ethLink(), 0x2Bu);
    EXPECT_TRUE(BytesAre(r.Bytes(), 48, 0, 0, std::vector<std::uint8_t>(raw.begin(), raw.end())))
        << "the record keeps all 48 bytes, the uninterpreted ones too";
}

TEST(IdentByteMap, WritersPutEachFieldAtItsOffset)
{
    struct Case {
        const char* name;
        std::function<void(IdentificationRecord&)> write;
        std::size_t offset;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"time count 0", [](IdentificationRecord& r) { r.setU32(0, 0x11223344); }, 0, {0x44, 0x33, 0x22, 0x11}},
        {"Rx error count B", [](IdentificationRecord& r) { r.setU32(24, 0xA1B2C3D4); }, 24, {0xD4, 0xC3, 0xB2, 0xA1}},
        {"version word", [](IdentificationRecord& r) { r.setVersionWord(0x1A05); }, 32, {0x05, 0x1A}},
        {"model byte", [](IdentificationRecord& r) { r.setByte(ident::Model, 0x5C); }, 34, {0x5C}},
        {"revision byte", [](IdentificationRecord& r) { r.setByte(ident::Revision, 0x5C); }, 35, {0x5C}},
        {"E1 alarm byte", [](IdentificationRecord& r) { r.setByte(ident::E1Alarms, 0x5C); }, 36, {0x5C}},
        {"phone module type", [](IdentificationRecord& r) { r.setByte(ident::PhoneModule, 0x5C); }, 37, {0x5C}},
        {"Port 1 module type", [](IdentificationRecord& r) { r.setByte(ident::Port1Module, 0x5C); }, 38, {0x5C}},
        {"VX-IP status byte", [](IdentificationRecord& r) { r.setByte(ident::VxIp, 0x5C); }, 39, {0x5C}},
        {"line status byte", [](IdentificationRecord& r) { r.setByte(ident::LineStatus, 0x5C); }, 40, {0x5C}},
        {"circuit byte", [](IdentificationRecord& r) { r.setByte(ident::Circuits, 0x5C); }, 41, {0x5C}},
        {"Ethernet link byte", [](IdentificationRecord& r) { r.setByte(ident::EthLink, 0x5C); }, 42, {0x5C}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            std::array<std::uint8_t, 48> raw{};
            raw.fill(fill);
            IdentificationRecord r;
            r.Replace(raw.data(), raw.size());
            c.write(r);
            EXPECT_TRUE(BytesAre(r.Bytes(), 48, fill, c.offset, c.bytes));
        }
    }
}

TEST(IdentByteMap, LineStatusAndCircuitBits)
{
    struct Case {
        std::uint8_t line, circuits;
        bool link;
        unsigned extRate, cable;
        bool vocoder59;
    };
    const Case cases[] = {
        {0x00, 0x00, false, 0, 0, false},
        {0x01, 0x00, true, 0, 0, false},
        {0x02, 0x00, false, 1, 0, false},
        {0x0C, 0x00, false, 6, 0, false},
        {0x0E, 0x00, false, 7, 0, false},
        {0x20, 0x00, false, 0, 2, false},
        {0x50, 0x00, false, 0, 5, false},
        {0xF0, 0x00, false, 0, 15, false},
        {0x00, 0x01, false, 0, 16, false},
        {0xF0, 0x01, false, 0, 31, false},
        {0xEB, 0x01, true, 5, 30, false},
        {0x00, 0xFE, false, 0, 0, true}, // only bit 0 of the circuit byte is cable code
        {0xFF, 0x7F, true, 7, 31, false},
        {0x00, 0x80, false, 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "line 0x" << std::hex << unsigned{c.line} << " circuits 0x"
                                          << unsigned{c.circuits});
        std::array<std::uint8_t, 48> raw{};
        raw[40] = c.line;
        raw[41] = c.circuits;
        IdentificationRecord r;
        r.Replace(raw.data(), raw.size());
        EXPECT_EQ(r.linkUp(), c.link);
        EXPECT_EQ(r.externalRateIndex(), c.extRate);
        EXPECT_EQ(r.cableCode(), c.cable);
        EXPECT_EQ(r.vocoder59(), c.vocoder59);
        EXPECT_EQ(StateText(c.line).text, c.link ? "Normal" : "Error");
    }
}

TEST(IdentByteMap, CircuitAndAlarmIndicatorsFromRawBytes)
{
    // Port 2 order DTR, DSR, RTS, CTS, DCD; bit 1 DTR, 2 RTS, 3 CTS, 4 DSR, 5 DCD.
    const auto L = Colour::Lime, G = Colour::Green;
    struct Case {
        std::uint8_t circuits;
        std::array<Colour, 5> lit;
    };
    const Case cases[] = {
        {0x02, {L, G, G, G, G}}, {0x04, {G, G, L, G, G}}, {0x08, {G, G, G, L, G}},
        {0x10, {G, L, G, G, G}}, {0x20, {G, G, G, G, L}}, {0xC1, {G, G, G, G, G}},
        {0x3E, {L, L, L, L, L}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "circuits 0x" << std::hex << unsigned{c.circuits});
        EXPECT_EQ(Port2CircuitColours(c.circuits), c.lit);
        // The same through a whole identification response (the kept block says UPI).
        std::array<std::uint8_t, 48> raw{};
        raw[41] = c.circuits;
        MonitorDisplay d;
        DecodeIdentification(d, raw.data(), raw.size());
        EXPECT_EQ(d.p2, c.lit);
    }

    // E1 alarms from byte 36 while the kept block says E1 (byte 36 bit 0).
    MonitorDisplay d;
    std::array<std::uint8_t, 200> block{};
    block[36] = 0x01;
    DecodeStateBlock(d, block.data(), block.size());
    std::array<std::uint8_t, 48> raw{};
    raw[36] = 0x42; // LOS and CRC
    raw[41] = 0xFF;
    DecodeIdentification(d, raw.data(), raw.size());
    EXPECT_EQ(d.e1, (std::array<Colour, 8>{G, L, G, G, G, G, L, G}));
    EXPECT_EQ(d.p2[0], Colour::ButtonFace) << "the Port 2 indicators stay untouched on E1";
}

// ---------------------------------------------------------------------------
// Value lists and rate texts

TEST(ValueListTexts, EveryEntryBothWays)
{
    struct Case {
        const char* name;
        ValueList list;
        std::vector<std::string> texts;
        std::vector<std::string> noMatch;
    };
    const std::vector<std::string> oneCh = {"---", "9,6", "14,4", "16,8", "19,2", "24,0", "5,6"};
    const std::vector<std::string> twoCh = {"---", "24,0", "28,8", "33,6", "38,4", "50,4", "12,0"};
    const std::vector<std::string> other = {"---", "16", "32", "48", "64", "80", "16"};
    const std::vector<Case> cases = {
        {"SignalingList", SignalingList, {"OFF", "ADASE_PS", "ADASE_DK", "TDN_1200"}, {"Off", "ADASE PS", "TDN 1200Hz", ""}},
        {"InputLevelList", InputLevelList,
         {"-22,0", "-20,5", "-19,0", "-17,5", "-16,0", "-14,5", "-13,0", "-11,5", "-10,0", "-8,5",
          "-7,0", "-5,5", "-4,0", "-2,5", "-1,0", "+0,5", "+2,0", "+4,0", "+5,0"},
         {"-13", "-13.0", "+5,5", "0,5", " -13,0"}},
        {"OutputLevelList", OutputLevelList,
         {"-22,0", "-20,5", "-19,0", "-17,5", "-16,0", "-14,5", "-13,0", "-11,0", "-9,5", "-8,0",
          "-6,5", "-5,0", "-3,5", "-2,0", "-0,5", "+1,0", "+2,5", "+4,0", "+5,5", "+7,0"},
         {"-11,5", "+7", "7,0"}},
        {"FmLevelList", FmLevelList,
         {"-30", "-29", "-28", "-27", "-26", "-25", "-24", "-23", "-22", "-21", "-20", "-19", "-18", "-17"},
         {"-31", "-16", "30", "-30,0"}},
        {"FmBaudRateList", FmBaudRateList, {"100", "200", "300", "600"}, {"150", "100 ", "1200"}},
        {"FmCarrierList", FmCarrierList, {"2640", "2880", "3120", "2640+2880", "2880+3120", "2640+3120"},
         {"2640, 2880", "2880+2640", "3120+2640"}},
        {"MmoRateList", MmoRateList, {"2400", "4800", "9600", "19200"}, {"1200", "MMO 2400", "9,6"}},
        {"TmRateList", TmRateList, {"100", "200", "300", "600", "1200", "9600"}, {"2400", "TM 100", "19200"}},
        {"EthNomRateList", EthNomRateList, {"8", "16", "24", "32", "40", "48", "56", "64"}, {"0", "72", "08", "8 "}},
        {"JitterAttList", JitterAttList, {"OFF", "RECEIVER", "TRANSMITTER"}, {"off", "Receiver", "RECEIVER "}},
        {"LiBitRateList 3", LiBitRateList(3), oneCh, {"9.6", "  9,6 ", "96", "16"}},
        {"LiBitRateList 4", LiBitRateList(4), twoCh, {"24", " 24,0 ", "9,6"}},
        {"LiBitRateList 0", LiBitRateList(0), other, {"96", "16,0", " 16 ", "9,6"}},
        {"LiBitRateList 1", LiBitRateList(1), other, {"96", "24,0"}},
        {"LiBitRateList 2", LiBitRateList(2), other, {"96", "24,0"}},
        {"LiBitRateList 5", LiBitRateList(5), other, {"96", "24,0"}},
        {"LiBitRateList 255", LiBitRateList(255), other, {"96", "24,0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.list.count, c.texts.size());
        for (unsigned i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(c.list.Text(i), std::optional<std::string>(c.texts[i])) << "index " << i;
            // The first equal entry: "16" of the last group is index 1, not 6.
            const auto first = static_cast<unsigned>(std::find(c.texts.begin(), c.texts.end(), c.texts[i]) - c.texts.begin());
            EXPECT_EQ(c.list.Index(c.texts[i]), std::optional<unsigned>(first)) << c.texts[i];
        }
        EXPECT_EQ(c.list.Text(static_cast<unsigned>(c.texts.size())), std::nullopt) << "one beyond the end";
        EXPECT_EQ(c.list.Text(255), std::nullopt);
        for (const auto& t : c.noMatch)
            EXPECT_EQ(c.list.Index(t), std::nullopt) << "\"" << t << "\"";
    }
    EXPECT_EQ(LiBitRateList(0).Index("16"), std::optional<unsigned>(1));
}

TEST(ValueListTexts, Port2RateTextsKeepTheirBlanks)
{
    struct Case {
        std::uint8_t code;
        std::array<const char*, 6> texts;
    };
    const Case cases[] = {
        {3, {"  9,6 ", " 14,4 ", " 16,8 ", " 19,2 ", " 24,0 ", "  5,6 "}},
        {4, {" 24,0 ", " 28,8 ", " 33,6 ", " 38,4 ", " 50,4 ", " 12,0 "}},
        {1, {" 16 ", " 32 ", " 48 ", " 64 ", " 80 ", " 16 "}},
        {2, {" 16 ", " 32 ", " 48 ", " 64 ", " 80 ", " 16 "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "device type " << unsigned{c.code});
        const auto texts = Port2RateTexts(c.code);
        for (std::size_t i = 1; i <= 6; ++i)
            EXPECT_EQ(texts[i], c.texts[i - 1]) << "index " << i;
    }
}

TEST(ValueListTexts, DataChannelRateTextsFromRawBytes)
{
    // Byte 0 of a data port: bit 0 destination, bits 4-6 rate, bit 7 mode
    // (1 TM); byte 1: bit 0 ON, bit 1 CLIPPED.
    struct Case {
        std::uint8_t byte0, byte1;
        const char* text;
    };
    const Case cases[] = {
        {0x80, 0x00, "Off, UPI, TM 100"},  {0x90, 0x01, "On, UPI, TM 200"},
        {0xA1, 0x02, "Clipped, VX-IP, TM 300"}, {0xB0, 0x03, "On, UPI, TM 600"},
        {0xC0, 0x00, "Off, UPI, TM 1200"}, {0xD0, 0x00, "Off, UPI, TM 9600"},
        {0xE0, 0x00, "Off, UPI, TM ???"},  {0xF1, 0xFC, "Off, VX-IP, TM ???"},
        {0x00, 0x00, "Off, UPI, MMO 2400"}, {0x10, 0x00, "Off, UPI, MMO 4800"},
        {0x20, 0x00, "Off, UPI, MMO 9600"}, {0x31, 0x01, "On, VX-IP, MMO 19200"},
        {0x40, 0x00, "Off, UPI, MMO ???"}, {0x50, 0x00, "Off, UPI, MMO ???"},
        {0x60, 0x00, "Off, UPI, MMO ???"}, {0x7E, 0x00, "Off, UPI, MMO ???"},
    };
    // Six cases at a time, one per data port, so a wrong port offset shows.
    for (std::size_t start = 0; start < std::size(cases); start += 6) {
        std::array<std::uint8_t, 200> raw{};
        for (std::size_t n = 0; n < 6 && start + n < std::size(cases); ++n) {
            raw[kDataPortAt[n]] = cases[start + n].byte0;
            raw[kDataPortAt[n] + 1] = cases[start + n].byte1;
        }
        ConfigBlock b;
        b.Replace(raw.data(), raw.size());
        const ChannelRows rows = DecodeChannels(b, 0, 0);
        for (std::size_t n = 0; n < 6 && start + n < std::size(cases); ++n)
            EXPECT_EQ(rows.data[n].info.text, cases[start + n].text) << "data port " << n + 1;
    }
}

// ---------------------------------------------------------------------------
// The simulator's answers, read as raw bytes

namespace {

// The data of the device's answer, empty unless it answered with `code`.
std::vector<std::uint8_t> AskData(km7sim::SimDevice& dev, std::uint8_t code, const std::vector<std::uint8_t>& payload = {})
{
    auto a = dev.Handle(code, code, payload);
    return a.code == code ? a.data : std::vector<std::uint8_t>{};
}

bool Accepted(km7sim::SimDevice& dev, std::uint8_t code, const std::vector<std::uint8_t>& payload = {})
{
    return dev.Handle(code, code, payload).code == code;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& d, std::size_t o)
{
    return static_cast<std::uint32_t>(d[o]) | static_cast<std::uint32_t>(d[o + 1]) << 8 |
           static_cast<std::uint32_t>(d[o + 2]) << 16 | static_cast<std::uint32_t>(d[o + 3]) << 24;
}

// A setting and the bits of one answer it must change: `mask` selects the
// bits from `offset` on, `bytes` is what they must hold.
struct SimCase {
    const char* key;
    const char* value;
    std::size_t offset;
    std::vector<std::uint8_t> mask, bytes;
};

// Applies `c` and checks its bits and that nothing else of the answer moved
// (apart from bytes `ignoreFrom`..`ignoreTo`, which the device recomputes).
void CheckSetting(const SimCase& c, std::uint8_t code, std::size_t size, std::size_t ignoreFrom = 0,
                  std::size_t ignoreTo = 0)
{
    SCOPED_TRACE(::testing::Message() << c.key << "=" << c.value);
    km7sim::SimDevice e;
    const auto before = AskData(e, code);
    ASSERT_EQ(before.size(), size);
    ASSERT_TRUE(e.Set(c.key, c.value));
    const auto after = AskData(e, code);
    ASSERT_EQ(after.size(), size);
    for (std::size_t i = 0; i < size; ++i) {
        const bool own = i >= c.offset && i < c.offset + c.mask.size();
        const std::uint8_t m = own ? c.mask[i - c.offset] : 0x00;
        if (own) {
            EXPECT_EQ(after[i] & m, c.bytes[i - c.offset]) << "byte " << i;
        }
        if (i >= ignoreFrom && i < ignoreTo && !own)
            continue;
        EXPECT_EQ(after[i] & ~m, before[i] & ~m) << "byte " << i << " must not change";
    }
}

} // namespace

TEST(SimulatorBytes, IdentificationSettingsLandAtTheirOffsets)
{
    const std::vector<SimCase> cases = {
        {"model", "4", 34, {0xFF}, {0x04}},
        {"revision", "12", 35, {0xFF}, {0x0C}},
        {"version", "0x1A05", 32, {0xFF, 0xFF}, {0x05, 0x1A}},
        {"e1", "0x02", 36, {0xFF}, {0x02}},
        {"e1", "0x81", 36, {0xFF}, {0x81}},
        {"phone", "2", 37, {0xFF}, {0x02}},
        {"phone", "255", 37, {0xFF}, {0xFF}},
        {"port1", "4", 38, {0xFF}, {0x04}},
        {"vxip", "0x16", 39, {0xFF}, {0x16}},
        {"link", "0", 40, {0x01}, {0x00}},
        {"link", "1", 40, {0x01}, {0x01}},
        {"extrate", "5", 40, {0x0E}, {0x0A}},
        {"extrate", "6", 40, {0x0E}, {0x0C}},
        {"cable", "27", 40, {0xF0, 0x01}, {0xB0, 0x01}},
        {"cable", "14", 40, {0xF0, 0x01}, {0xE0, 0x00}},
        {"cable", "31", 40, {0xF0, 0x01}, {0xF0, 0x01}},
        {"circuits", "0x0A", 41, {0x3E}, {0x0A}},
        {"circuits", "0x30", 41, {0x3E}, {0x30}},
        {"vocoder", "59", 41, {0x80}, {0x80}},
        {"vocoder", "70", 41, {0x80}, {0x00}},
        {"ethlink", "0", 42, {0xFF}, {0x00}},
        {"fulltime", "0x01020304", 4, {0xFF, 0xFF, 0xFF, 0xFF}, {0x04, 0x03, 0x02, 0x01}},
        {"currtime", "0x0A0B0C0D", 8, {0xFF, 0xFF, 0xFF, 0xFF}, {0x0D, 0x0C, 0x0B, 0x0A}},
    };
    for (const auto& c : cases)
        CheckSetting(c, 11, 48);
}

TEST(SimulatorBytes, PacketCountsAreTwoLittleEndianHalves)
{
    km7sim::SimDevice e;
    ASSERT_TRUE(e.Set("rxok", "0x12345679"));
    ASSERT_TRUE(e.Set("rxerr", "1001"));
    const auto d = AskData(e, 11);
    ASSERT_EQ(d.size(), 48u);
    EXPECT_EQ(Le32(d, 12) + Le32(d, 20), 0x12345679u) << "Rx OK count A (12-15) + B (20-23)";
    EXPECT_EQ(Le32(d, 16) + Le32(d, 24), 1001u) << "Rx error count A (16-19) + B (24-27)";
    EXPECT_EQ(Le32(d, 0), 0u) << "time count 0";
}

TEST(SimulatorBytes, BlockSettingsLandAtTheirOffsets)
{
    const std::vector<SimCase> cases = {
        {"li", "e1", 36, {0x01}, {0x01}},
        {"li", "upi", 36, {0x01}, {0x00}},
        {"rate", "5", 40, {0x07}, {0x05}},
        {"rate", "1", 40, {0x07}, {0x01}},
        {"source", "ext", 40, {0x08}, {0x08}},
        {"total", "0x00012345", 184, {0xFF, 0xFF, 0xFF, 0xFF}, {0x45, 0x23, 0x01, 0x00}},
        {"occupied", "0x1234", 188, {0xFF, 0xFF}, {0x34, 0x12}},
        {"ethrate", "0x0456", 190, {0xFF, 0xFF}, {0x56, 0x04}},
    };
    for (const auto& c : cases)
        CheckSetting(c, 13, 200, 184, 192);
}

// The simulator builds its factory block through the block's accessors;
// reading it back raw pins those accessors to the byte map once more.
TEST(SimulatorBytes, FactoryBlockRaw)
{
    km7sim::SimDevice e;
    const auto d = AskData(e, 13);
    ASSERT_EQ(d.size(), 200u);
    EXPECT_EQ(d[0], 0x5A);
    EXPECT_EQ(d[199], 0xA5);
    EXPECT_EQ(d[36] & 0x01, 0x00) << "UPI";
    EXPECT_EQ(d[40] & 0x0F, 0x03) << "rate index 3, internal clock";
    // Phones: 1 ON, others OFF (byte 1 bits 2-3); priority n-1 at byte 4; levels 6 at bytes 5 and 6.
    const std::uint8_t phoneState[] = {0x04, 0x00, 0x00, 0x00};
    for (std::size_t n = 0; n < 4; ++n) {
        SCOPED_TRACE(::testing::Message() << "phone port " << n + 1);
        EXPECT_EQ(d[kPhonePortAt[n] + 1] & 0x0C, phoneState[n]);
        EXPECT_EQ(d[kPhonePortAt[n] + 4], n);
        EXPECT_EQ(d[kPhonePortAt[n] + 5], 6);
        EXPECT_EQ(d[kPhonePortAt[n] + 6], 6);
    }
    // Data: 1 and 2 ON; 2 is TM 100, 1 MMO 2400, the others MMO 9600; priorities 5..10.
    const std::uint8_t dataByte0[] = {0x00, 0x80, 0x20, 0x20, 0x20, 0x20};
    const std::uint8_t dataState[] = {0x01, 0x01, 0x00, 0x00, 0x00, 0x00};
    for (std::size_t n = 0; n < 6; ++n) {
        SCOPED_TRACE(::testing::Message() << "data port " << n + 1);
        EXPECT_EQ(d[kDataPortAt[n]] & 0xF0, dataByte0[n]);
        EXPECT_EQ(d[kDataPortAt[n] + 1] & 0x03, dataState[n]);
        EXPECT_EQ(d[kDataPortAt[n] + 4], 5 + n);
    }
    EXPECT_EQ(d[160] & 0xF8, 0x68) << "Ethernet ON, nominal rate index 3";
    EXPECT_EQ(d[168], 0x80) << "TS mapping 1 at bit 7 of the E1 word";
    EXPECT_EQ(d[169] & 0x0F, 0x00);
}

// A block sent with command 15 is read by the device at the mapped offsets:
// the rates it reports back come from raw line rate and channel bits.
TEST(SimulatorBytes, RatesComputedFromRawBlockBits)
{
    struct Case {
        const char* name;
        const char* extrate;
        std::uint8_t port1;
        std::vector<std::pair<std::size_t, std::uint8_t>> raw;
        std::array<std::uint8_t, 8> rates; // bytes 184..191
    };
    const Case cases[] = {
        // Rate index 2 of a KM-7-TL-2 is 28,8 kbit/s: total 2880 (x10 bit/s).
        // Phone 2 ON, phone 4 CLIPPED (700 each), data 3 TM 9600 ON (960):
        // 2360 occupied; the Ethernet channel (ON) takes the 520 left,
        // 520 * 10 * 3 / 800 = 19 units.
        {"internal rate, channels, Ethernet",
         "3",
         1,
         {{40, 0x02}, {64, 0xD0}, {65, 0x01}, {113, 0x04}, {145, 0x08}, {160, 0x08}},
         {0x40, 0x0B, 0x00, 0x00, 0x40, 0x0B, 0x13, 0x00}},
        // External clock (byte 40 bit 3) takes the measured index 6: 12,0 kbit/s.
        {"external rate", "6", 0, {{40, 0x09}}, {0xB0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        // Everything off but bits next to the channel bits.
        // Rate index 4: 38,4 kbit/s.
        {"no channel bits", "3", 1, {{40, 0x04}, {65, 0xFC}, {113, 0xF3}, {160, 0xE7}},
         {0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        km7sim::SimDevice e;
        ASSERT_TRUE(e.Set("model", "4"));
        ASSERT_TRUE(e.Set("port1", std::to_string(c.port1)));
        ASSERT_TRUE(e.Set("extrate", c.extrate));
        std::vector<std::uint8_t> block(200, 0x00);
        for (const auto& [at, v] : c.raw)
            block[at] = v;
        block[7] = 0x77; // not interpreted: must come back
        ASSERT_TRUE(Accepted(e, 15, block));
        const auto d = AskData(e, 13);
        ASSERT_EQ(d.size(), 200u);
        EXPECT_TRUE(BytesAre(d.data() + 184, 8, 0, 0, std::vector<std::uint8_t>(c.rates.begin(), c.rates.end())));
        EXPECT_EQ(d[7], 0x77);
        for (const auto& [at, v] : c.raw)
            EXPECT_EQ(d[at], v) << "byte " << at << " comes back as sent";
    }
}

TEST(SimulatorBytes, LineTestFlagsInByte28)
{
    km7sim::SimDevice e;
    std::vector<std::uint8_t> block(200, 0x00);
    block[28] = 0xFC; // the other bits of byte 28 are carried
    ASSERT_TRUE(Accepted(e, 15, block));
    ASSERT_TRUE(Accepted(e, 18, {1}));
    EXPECT_EQ(AskData(e, 13)[28], 0xFE) << "test 1 started: flags 2";
    ASSERT_TRUE(Accepted(e, 18, {0}));
    EXPECT_EQ(AskData(e, 13)[28], 0xFD) << "test 0 started: flags 1";
    ASSERT_TRUE(Accepted(e, 19, {0}));
    EXPECT_EQ(AskData(e, 13)[28], 0xFC) << "stopped";
}
