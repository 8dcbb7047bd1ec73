#include "config/UConfigBlock.h"

#include <algorithm>
#include <cstring>

namespace km7 {

const char* ChannelStateText(ChannelState s)
{
    switch (s) {
    case ChannelState::ON: return "ON";
    case ChannelState::CLIPPED: return "CLIPPED";
    default: return "OFF";
    }
}

void ConfigBlock::Replace(const std::uint8_t* data, std::size_t size)
{
    bytes_.fill(0);
    if (data)
        std::memcpy(bytes_.data(), data, std::min(size, kSize));
}

DataPortRecord ConfigBlock::DataPort(int n)
{
    n = std::clamp(n, 1, static_cast<int>(kDataPorts));
    return DataPortRecord(bytes_.data() + 48 + DataPortRecord::kSize * static_cast<std::size_t>(n - 1));
}

PhonePortRecord ConfigBlock::PhonePort(int n)
{
    n = std::clamp(n, 1, static_cast<int>(kPhonePorts));
    return PhonePortRecord(bytes_.data() + 96 + PhonePortRecord::kSize * static_cast<std::size_t>(n - 1));
}

ChannelState ConfigBlock::DataState(int n) const { return const_cast<ConfigBlock*>(this)->DataPort(n).state(); }

ChannelState ConfigBlock::PhoneState(int n) const { return const_cast<ConfigBlock*>(this)->PhonePort(n).state(); }

void ConfigBlock::setE1Word(unsigned w)
{
    bytes_[168] = static_cast<std::uint8_t>(w & 0xFF);
    bytes_[169] = static_cast<std::uint8_t>((w >> 8) & 0xFF);
}

void ConfigBlock::SetE1Bits(int shift, int width, unsigned v)
{
    const unsigned mask = ((1u << width) - 1u) << shift;
    setE1Word((e1Word() & ~mask) | ((v << shift) & mask));
}

std::uint32_t ConfigBlock::bitRateTotal() const
{
    return static_cast<std::uint32_t>(bytes_[184]) | (static_cast<std::uint32_t>(bytes_[185]) << 8) |
           (static_cast<std::uint32_t>(bytes_[186]) << 16) | (static_cast<std::uint32_t>(bytes_[187]) << 24);
}

void ConfigBlock::setBitRateTotal(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes_[184 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void ConfigBlock::setBitRateOccupied(std::uint16_t v)
{
    bytes_[188] = static_cast<std::uint8_t>(v & 0xFF);
    bytes_[189] = static_cast<std::uint8_t>(v >> 8);
}

void ConfigBlock::setEthBitRate(std::uint16_t v)
{
    bytes_[190] = static_cast<std::uint8_t>(v & 0xFF);
    bytes_[191] = static_cast<std::uint8_t>(v >> 8);
}

std::optional<std::string> ValueList::Text(unsigned index) const
{
    if (index >= count)
        return std::nullopt;
    return std::string(items[index]);
}

std::optional<unsigned> ValueList::Index(const std::string& text) const
{
    for (std::size_t i = 0; i < count; ++i)
        if (text == items[i])
            return static_cast<unsigned>(i);
    return std::nullopt;
}

namespace {
const char* const kSignaling[] = {"OFF", "ADASE_PS", "ADASE_DK", "TDN_1200"};
const char* const kInputLevel[] = {"-22,0", "-20,5", "-19,0", "-17,5", "-16,0", "-14,5", "-13,0",
                                   "-11,5", "-10,0", "-8,5",  "-7,0",  "-5,5",  "-4,0",  "-2,5",
                                   "-1,0",  "+0,5",  "+2,0",  "+4,0",  "+5,0"};
const char* const kOutputLevel[] = {"-22,0", "-20,5", "-19,0", "-17,5", "-16,0", "-14,5", "-13,0",
                                    "-11,0", "-9,5",  "-8,0",  "-6,5",  "-5,0",  "-3,5",  "-2,0",
                                    "-0,5",  "+1,0",  "+2,5",  "+4,0",  "+5,5",  "+7,0"};
const char* const kFmLevel[] = {"-30", "-29", "-28", "-27", "-26", "-25", "-24",
                                "-23", "-22", "-21", "-20", "-19", "-18", "-17"};
const char* const kFmBaudRate[] = {"100", "200", "300", "600"};
const char* const kFmCarrier[] = {"2640", "2880", "3120", "2640+2880", "2880+3120", "2640+3120"};
const char* const kMmoRate[] = {"2400", "4800", "9600", "19200"};
const char* const kTmRate[] = {"100", "200", "300", "600", "1200", "9600"};
const char* const kEthNomRate[] = {"8", "16", "24", "32", "40", "48", "56", "64"};
const char* const kJitterAtt[] = {"OFF", "RECEIVER", "TRANSMITTER"};
const char* const kLiBitRate[] = {
    "---", "9,6",  "14,4", "16,8", "19,2", "24,0", "5,6",  // MUX_TYPE_1ch
    "---", "24,0", "28,8", "33,6", "38,4", "50,4", "12,0", // MUX_TYPE_2ch
    "---", "16",   "32",   "48",   "64",   "80",   "16",   // the others
};

template <std::size_t N>
constexpr ValueList Make(const char* const (&a)[N])
{
    return ValueList{a, N};
}
} // namespace

const ValueList SignalingList = Make(kSignaling);
const ValueList InputLevelList = Make(kInputLevel);
const ValueList OutputLevelList = Make(kOutputLevel);
const ValueList FmLevelList = Make(kFmLevel);
const ValueList FmBaudRateList = Make(kFmBaudRate);
const ValueList FmCarrierList = Make(kFmCarrier);
const ValueList MmoRateList = Make(kMmoRate);
const ValueList TmRateList = Make(kTmRate);
const ValueList EthNomRateList = Make(kEthNomRate);
const ValueList JitterAttList = Make(kJitterAtt);

ValueList LiBitRateList(std::uint8_t deviceType)
{
    const std::size_t group = deviceType == 3 ? 0 : deviceType == 4 ? 1 : 2;
    return ValueList{kLiBitRate + 7 * group, 7};
}

bool FieldApplies(FieldGroup group, const DeviceContext& d)
{
    const bool smallType = d.deviceType == 3 || d.deviceType == 4;
    switch (group) {
    case FieldGroup::PortStatePriority:
    case FieldGroup::DataModeRate:
    case FieldGroup::PhoneEcho:
    case FieldGroup::UpiClockModeLiRate:
        return true;
    case FieldGroup::DestinationTransit:
        return d.port1Module == 4;
    case FieldGroup::PhoneAcoust:
        return d.phoneModule == 0;
    case FieldGroup::Phone4TF:
        return d.phoneModule == 2;
    case FieldGroup::EthStatePriorityRate:
        return d.port1Module == 1 || d.port1Module == 2 || d.port1Module == 4;
    case FieldGroup::EthDuplexFilter:
        return d.port1Module == 1 || d.port1Module == 2;
    case FieldGroup::EthCompression:
        return d.port1Module == 1;
    case FieldGroup::EthSpeed:
        return d.port1Module == 2;
    case FieldGroup::E1Word:
    case FieldGroup::LiType:
        return d.port1Module == 0;
    case FieldGroup::E1TwoTs:
        return d.port1Module == 0 && !smallType;
    case FieldGroup::UpiClockFreq:
        return !smallType;
    }
    return false;
}

} // namespace km7
