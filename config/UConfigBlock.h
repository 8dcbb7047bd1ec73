// The device configuration block: 200 bytes as the device reports and
// accepts them, with a named accessor for every interpreted field. Writing a
// field changes only its own bits; everything else travels unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace km7 {

enum class ChannelState { OFF, ON, CLIPPED };

const char* ChannelStateText(ChannelState s); // "OFF", "ON", "CLIPPED"

namespace detail {
inline unsigned GetBits(const std::uint8_t* b, std::size_t byte, int shift, int width)
{
    return (b[byte] >> shift) & ((1u << width) - 1u);
}
inline void SetBits(std::uint8_t* b, std::size_t byte, int shift, int width, unsigned v)
{
    const unsigned mask = ((1u << width) - 1u) << shift;
    b[byte] = static_cast<std::uint8_t>((b[byte] & ~mask) | ((v << shift) & mask));
}
// Two separate bits: ON at `onBit`, CLIPPED at `clipBit`.
inline ChannelState GetState(const std::uint8_t* b, std::size_t byte, int onBit, int clipBit)
{
    if (GetBits(b, byte, onBit, 1))
        return ChannelState::ON;
    return GetBits(b, byte, clipBit, 1) ? ChannelState::CLIPPED : ChannelState::OFF;
}
inline void SetState(std::uint8_t* b, std::size_t byte, int onBit, int clipBit, ChannelState s)
{
    SetBits(b, byte, onBit, 1, s == ChannelState::ON ? 1u : 0u);
    SetBits(b, byte, clipBit, 1, s == ChannelState::CLIPPED ? 1u : 0u);
}
} // namespace detail

#define KM7_BITS(name, setter, byte, shift, width)                                                  \
    unsigned name() const { return detail::GetBits(P(), byte, shift, width); }                       \
    void setter(unsigned v) { detail::SetBits(P(), byte, shift, width, v); }
#define KM7_STATE(name, setter, byte, onBit, clipBit)                                               \
    ChannelState name() const { return detail::GetState(P(), byte, onBit, clipBit); }                \
    void setter(ChannelState s) { detail::SetState(P(), byte, onBit, clipBit, s); }

// A data port's 8 bytes inside a block.
class DataPortRecord {
public:
    static constexpr std::size_t kSize = 8;
    explicit DataPortRecord(std::uint8_t* p) : p_(p) {}
    KM7_BITS(destination, setDestination, 0, 0, 1)
    KM7_STATE(transit, setTransit, 0, 1, 2)
    KM7_BITS(loop, setLoop, 0, 3, 1)
    KM7_BITS(bitRate, setBitRate, 0, 4, 3)
    KM7_BITS(mode, setMode, 0, 7, 1)
    KM7_STATE(state, setState, 1, 0, 1)
    KM7_BITS(priority, setPriority, 4, 0, 8)

private:
    std::uint8_t* P() const { return p_; }
    std::uint8_t* p_;
};

// A phone port's 16 bytes inside a block.
class PhonePortRecord {
public:
    static constexpr std::size_t kSize = 16;
    explicit PhonePortRecord(std::uint8_t* p) : p_(p) {}
    KM7_BITS(destination, setDestination, 0, 0, 1)
    KM7_STATE(transit, setTransit, 0, 1, 2)
    KM7_BITS(signaling, setSignaling, 0, 3, 2)
    KM7_BITS(signalingLevel, setSignalingLevel, 0, 5, 1)
    KM7_BITS(acoust, setAcoust, 0, 6, 1)
    KM7_BITS(echoState, setEchoState, 0, 7, 1)
    KM7_BITS(echoNbs, setEchoNbs, 1, 0, 1)
    KM7_BITS(echoSuppression, setEchoSuppression, 1, 1, 1)
    KM7_STATE(state, setState, 1, 2, 3)
    KM7_BITS(generator, setGenerator, 1, 4, 2)
    KM7_BITS(priority, setPriority, 4, 0, 8)
    KM7_BITS(inputLevel, setInputLevel, 5, 0, 8)
    KM7_BITS(outputLevel, setOutputLevel, 6, 0, 8)
    KM7_STATE(fmState, setFmState, 12, 0, 1)
    KM7_BITS(fmLevel, setFmLevel, 12, 2, 4)
    KM7_BITS(fmBaudRate, setFmBaudRate, 12, 6, 2)
    KM7_BITS(fmCarriers, setFmCarriers, 13, 0, 3)

private:
    std::uint8_t* P() const { return p_; }
    std::uint8_t* p_;
};

class ConfigBlock {
public:
    static constexpr std::size_t kSize = 200;
    static constexpr std::size_t kDataPorts = 6, kPhonePorts = 4;

    // Takes the block from a response. Bytes beyond `size` read as zero;
    // more than 200 bytes are ignored.
    void Replace(const std::uint8_t* data, std::size_t size);
    const std::uint8_t* Payload() const { return bytes_.data(); }
    std::uint8_t* Bytes() { return bytes_.data(); }
    bool operator==(const ConfigBlock& o) const { return bytes_ == o.bytes_; }

    // Port n: data 1..6, phone 1..4 (out-of-range n is clamped to the range).
    DataPortRecord DataPort(int n);
    PhonePortRecord PhonePort(int n);
    ChannelState DataState(int n) const;
    ChannelState PhoneState(int n) const;

    KM7_BITS(testFlags, setTestFlags, 28, 0, 2)
    KM7_BITS(liType, setLiType, 36, 0, 1)
    KM7_BITS(liBitRate, setLiBitRate, 40, 0, 3)
    KM7_BITS(liBitRateSource, setLiBitRateSource, 40, 3, 1)

    KM7_BITS(ethDuplex, setEthDuplex, 160, 0, 1)
    KM7_BITS(ethFilter, setEthFilter, 160, 1, 1)
    KM7_BITS(ethCompressOrSpeed, setEthCompressOrSpeed, 160, 2, 1)
    KM7_STATE(ethState, setEthState, 160, 3, 4)
    KM7_BITS(ethNomBitRate, setEthNomBitRate, 160, 5, 3)
    KM7_BITS(ethPriority, setEthPriority, 164, 0, 8)

    // E1 word, bytes 168..169 little-endian.
    unsigned e1Word() const { return bytes_[168] | (bytes_[169] << 8); }
    void setE1Word(unsigned w);
    unsigned e1Crc() const { return E1Bits(0, 1); }
    void setE1Crc(unsigned v) { SetE1Bits(0, 1, v); }
    unsigned e1JitterAtt() const { return E1Bits(1, 2); }
    void setE1JitterAtt(unsigned v) { SetE1Bits(1, 2, v); }
    unsigned e1JitterDepth() const { return E1Bits(3, 1); }
    void setE1JitterDepth(unsigned v) { SetE1Bits(3, 1, v); }
    unsigned e1RcGain() const { return E1Bits(4, 1); }
    void setE1RcGain(unsigned v) { SetE1Bits(4, 1, v); }
    unsigned e1Ais() const { return E1Bits(5, 1); }
    void setE1Ais(unsigned v) { SetE1Bits(5, 1, v); }
    unsigned e1Rai() const { return E1Bits(6, 1); }
    void setE1Rai(unsigned v) { SetE1Bits(6, 1, v); }
    unsigned e1TsMapping() const { return E1Bits(7, 5); }
    void setE1TsMapping(unsigned v) { SetE1Bits(7, 5, v); }
    unsigned e1Clock() const { return E1Bits(12, 1); }
    void setE1Clock(unsigned v) { SetE1Bits(12, 1, v); }
    unsigned e1TwoTs() const { return E1Bits(13, 1); }
    void setE1TwoTs(unsigned v) { SetE1Bits(13, 1, v); }

    KM7_BITS(upiClockFreq, setUpiClockFreq, 176, 0, 2)
    KM7_BITS(upiClockMode, setUpiClockMode, 176, 2, 1)

    std::uint32_t bitRateTotal() const;
    void setBitRateTotal(std::uint32_t v);
    std::uint16_t bitRateOccupied() const { return static_cast<std::uint16_t>(bytes_[188] | (bytes_[189] << 8)); }
    void setBitRateOccupied(std::uint16_t v);
    std::uint16_t ethBitRate() const { return static_cast<std::uint16_t>(bytes_[190] | (bytes_[191] << 8)); }
    void setEthBitRate(std::uint16_t v);

private:
    unsigned E1Bits(int shift, int width) const { return (e1Word() >> shift) & ((1u << width) - 1u); }
    void SetE1Bits(int shift, int width, unsigned v);

    std::uint8_t* P() const { return const_cast<std::uint8_t*>(bytes_.data()); }

    std::array<std::uint8_t, kSize> bytes_{};
};

#undef KM7_BITS
#undef KM7_STATE

// A constant list of texts; index to text and text to index.
struct ValueList {
    const char* const* items;
    std::size_t count;

    // The text of `index`, or none beyond the list.
    std::optional<std::string> Text(unsigned index) const;
    // The first entry exactly equal to `text`, or none.
    std::optional<unsigned> Index(const std::string& text) const;
};

extern const ValueList SignalingList, InputLevelList, OutputLevelList, FmLevelList, FmBaudRateList, FmCarrierList,
    MmoRateList, TmRateList, EthNomRateList, JitterAttList;
// The seven-entry group of the device type code.
ValueList LiBitRateList(std::uint8_t deviceType);

// The three values of the monitored device that decide which fields apply.
struct DeviceContext {
    std::uint8_t deviceType = 0;   // 1..4, 255
    std::uint8_t phoneModule = 0;  // 0 FXS, 1 FXO, 2 4TF
    std::uint8_t port1Module = 0;  // 0 E1, 1 TQR, 2 TQR-100, 4 VX-IP
};

enum class FieldGroup {
    PortStatePriority,   // data and phone ports: state, priority
    DestinationTransit,  // data and phone ports
    DataModeRate,
    PhoneEcho,           // echoState, echoNbs
    PhoneAcoust,
    Phone4TF,            // echoSuppression, signaling, levels, FM modem
    EthStatePriorityRate,
    EthDuplexFilter,
    EthCompression,
    EthSpeed,
    E1Word,
    E1TwoTs,
    UpiClockFreq,
    UpiClockModeLiRate,  // upiClockMode, liBitRate, liBitRateSource
    LiType,
};

bool FieldApplies(FieldGroup group, const DeviceContext& device);

} // namespace km7
