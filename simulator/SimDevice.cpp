#include "simulator/SimDevice.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace km7sim {

namespace {

bool ParseNumber(const std::string& text, unsigned long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 0);
    return end && *end == '\0';
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The rate of an index of the device's line rate list, in units of 10 bit/s.
std::uint32_t LineRate10(std::uint8_t model, unsigned index)
{
    static const unsigned oneCh[] = {0, 960, 1440, 1680, 1920, 2400, 560};
    static const unsigned twoCh[] = {0, 2400, 2880, 3360, 3840, 5040, 1200};
    static const unsigned other[] = {0, 1600, 3200, 4800, 6400, 8000, 1600};
    index = std::min(index, 6u);
    if (model == 3)
        return oneCh[index];
    if (model == 4)
        return twoCh[index];
    return other[index];
}

} // namespace

SimDevice::SimDevice()
{
    // A plausible factory configuration: one phone and two data ports on,
    // the line at rate index 3 on an internal clock, UPI interface.
    for (int n = 1; n <= 4; ++n) {
        auto p = block_.PhonePort(n);
        p.setState(n == 1 ? km7::ChannelState::ON : km7::ChannelState::OFF);
        p.setPriority(static_cast<unsigned>(n - 1));
        p.setInputLevel(6);
        p.setOutputLevel(6);
    }
    for (int n = 1; n <= 6; ++n) {
        auto d = block_.DataPort(n);
        d.setState(n <= 2 ? km7::ChannelState::ON : km7::ChannelState::OFF);
        d.setMode(n == 2 ? 1 : 0);
        d.setBitRate(n == 2 ? 0 : n == 1 ? 0 : 2);
        d.setPriority(static_cast<unsigned>(4 + n));
    }
    block_.setLiType(0);
    block_.setLiBitRate(3);
    block_.setLiBitRateSource(0);
    block_.setEthNomBitRate(3);
    block_.setEthState(km7::ChannelState::ON);
    block_.setE1TsMapping(1);
    block_.Bytes()[0] = 0x5A; // bytes the tool does not interpret must come back unchanged
    block_.Bytes()[199] = 0xA5;
    RecomputeRates();
    for (auto& p : profiles_)
        p = block_;
}

const char* SimDevice::Help()
{
    return "  model=N revision=N version=0xNNNN   device identity (model 1..4; 3 = KM-7-TL-1)\n"
           "  phone=N (0 FXS, 1 FXO, 2 4TF, 255 none)  port1=N (0 E1, 1 TQR, 2 TQR-100, 4 VX-IP, 255 none)\n"
           "  link=0|1  li=e1|upi  rate=0..7  source=int|ext  extrate=0..7  cable=0..31\n"
           "  e1=BYTE (bit0 LOF,1 LOS,2 RA,3 AI,4 LOT,5 E,6 CRC,7 CV)  circuits=BYTE (bits 1..5 DTR RTS CTS DSR DCD)\n"
           "  vxip=BYTE  ethlink=0|1  vocoder=59|70  fulltime=S  currtime=S  rxok=N  rxerr=N\n"
           "  total=N occupied=N ethrate=N (device-reported rates; setting one stops the automatic rates)\n";
}

bool SimDevice::Set(const std::string& rawKey, const std::string& value)
{
    const std::string key = Lower(rawKey);
    const std::string v = Lower(value);
    unsigned long n = 0;
    if (key == "li") {
        if (v != "e1" && v != "upi")
            return false;
        block_.setLiType(v == "e1" ? 1 : 0);
        return true;
    }
    if (key == "source") {
        if (v != "int" && v != "ext")
            return false;
        block_.setLiBitRateSource(v == "ext" ? 1 : 0);
        RecomputeRates();
        return true;
    }
    if (!ParseNumber(v, n))
        return false;
    if (key == "model") model_ = static_cast<std::uint8_t>(n);
    else if (key == "revision") revision_ = static_cast<std::uint8_t>(n);
    else if (key == "version") version_ = static_cast<std::uint16_t>(n);
    else if (key == "phone") phone_ = static_cast<std::uint8_t>(n);
    else if (key == "port1") port1_ = static_cast<std::uint8_t>(n);
    else if (key == "link") linkUp_ = n != 0;
    else if (key == "rate") block_.setLiBitRate(static_cast<unsigned>(n));
    else if (key == "extrate") extRate_ = static_cast<unsigned>(n & 7);
    else if (key == "cable") cable_ = static_cast<unsigned>(n & 31);
    else if (key == "e1") e1Alarms_ = static_cast<std::uint8_t>(n);
    else if (key == "circuits") circuits_ = static_cast<std::uint8_t>(n & 0x3E);
    else if (key == "vxip") vxip_ = static_cast<std::uint8_t>(n);
    else if (key == "ethlink") ethLink_ = static_cast<std::uint8_t>(n & 1);
    else if (key == "vocoder") vocoder59_ = n == 59;
    else if (key == "fulltime") fullTime_ = static_cast<std::uint32_t>(n);
    else if (key == "currtime") currTime_ = static_cast<std::uint32_t>(n);
    else if (key == "rxok") rxOk_ = static_cast<std::uint32_t>(n);
    else if (key == "rxerr") rxErr_ = static_cast<std::uint32_t>(n);
    else if (key == "total") { autoRates_ = false; block_.setBitRateTotal(static_cast<std::uint32_t>(n)); }
    else if (key == "occupied") { autoRates_ = false; block_.setBitRateOccupied(static_cast<std::uint16_t>(n)); }
    else if (key == "ethrate") { autoRates_ = false; block_.setEthBitRate(static_cast<std::uint16_t>(n)); }
    else
        return false;
    RecomputeRates();
    return true;
}

void SimDevice::RecomputeRates()
{
    if (!autoRates_)
        return;
    const unsigned index = block_.liBitRateSource() ? extRate_ : block_.liBitRate();
    const std::uint32_t total = LineRate10(model_, index);
    // Occupied: the vocoder rate per enabled phone, the data rates, and the
    // Ethernet channel takes what is left.
    std::uint32_t occupied = 0;
    for (int n = 1; n <= 4; ++n)
        if (block_.PhoneState(n) != km7::ChannelState::OFF)
            occupied += vocoder59_ ? 590 : 700;
    for (int n = 1; n <= 6; ++n) {
        auto d = block_.DataPort(n);
        if (d.state() == km7::ChannelState::OFF)
            continue;
        static const unsigned mmo[] = {240, 480, 960, 1920, 0, 0, 0, 0};
        static const unsigned tm[] = {10, 20, 30, 60, 120, 960, 0, 0};
        occupied += d.mode() ? tm[d.bitRate()] : mmo[d.bitRate()];
    }
    std::uint32_t eth = 0;
    if (block_.ethState() != km7::ChannelState::OFF && (port1_ == 1 || port1_ == 2 || port1_ == 4) &&
        total > occupied)
        eth = total - occupied;
    block_.setBitRateTotal(total);
    block_.setBitRateOccupied(static_cast<std::uint16_t>(std::min<std::uint32_t>(occupied + eth, 0xFFFF)));
    block_.setEthBitRate(static_cast<std::uint16_t>(std::min<std::uint32_t>(eth * 10 * 3 / 800, 0xFFFF)));
}

km7::IdentificationRecord SimDevice::Ident() const
{
    km7::IdentificationRecord r;
    r.setU32(0, timeCount0_);
    r.setU32(4, fullTime_);
    r.setU32(8, currTime_);
    r.setU32(12, rxOk_ / 2);
    r.setU32(16, rxErr_ / 2);
    r.setU32(20, rxOk_ - rxOk_ / 2);
    r.setU32(24, rxErr_ - rxErr_ / 2);
    r.setVersionWord(version_);
    r.setByte(km7::ident::Model, model_);
    r.setByte(km7::ident::Revision, revision_);
    r.setByte(km7::ident::E1Alarms, e1Alarms_);
    r.setByte(km7::ident::PhoneModule, phone_);
    r.setByte(km7::ident::Port1Module, port1_);
    r.setByte(km7::ident::VxIp, vxip_);
    r.setByte(km7::ident::LineStatus,
              static_cast<std::uint8_t>((linkUp_ ? 1 : 0) | (extRate_ << 1) | ((cable_ & 15) << 4)));
    r.setByte(km7::ident::Circuits,
              static_cast<std::uint8_t>(((cable_ >> 4) & 1) | circuits_ | (vocoder59_ ? 0x80 : 0)));
    r.setByte(km7::ident::EthLink, ethLink_);
    return r;
}

void SimDevice::Tick(unsigned seconds)
{
    fullTime_ += seconds;
    currTime_ += seconds;
    if (linkUp_)
        rxOk_ += 37 * seconds;
}

void SimDevice::Animate()
{
    // A slow walk through line events, one step per call.
    ++animateStep_;
    switch (animateStep_ % 12) {
    case 3: e1Alarms_ |= 0x01; circuits_ &= static_cast<std::uint8_t>(~0x20); break; // LOF, DCD lost
    case 5: e1Alarms_ &= static_cast<std::uint8_t>(~0x01); circuits_ |= 0x20; break;
    case 7: ++rxErr_; break;
    case 9: e1Alarms_ |= 0x40; break; // CRC errors seen
    case 11: e1Alarms_ &= static_cast<std::uint8_t>(~0x40); break;
    default: break;
    }
}

Answer SimDevice::Handle(std::uint8_t code, std::uint8_t replyCode, const std::vector<std::uint8_t>& payload)
{
    auto error = [](std::uint8_t e) { return Answer{255, {e}}; };
    Answer ok{replyCode, {}};
    switch (code) {
    case 10:
        return ok;
    case 11: {
        ++identRequests_;
        const auto r = Ident();
        ok.data.assign(r.Bytes(), r.Bytes() + km7::IdentificationRecord::kSize);
        return ok;
    }
    case 12:
        fullTime_ = 0;
        currTime_ = 0;
        timeCount0_ = 0;
        rxOk_ = 0;
        rxErr_ = 0;
        return ok;
    case 13:
    case 14:
        ok.data.assign(block_.Payload(), block_.Payload() + km7::ConfigBlock::kSize);
        return ok;
    case 15:
        if (payload.size() != km7::ConfigBlock::kSize)
            return error(11);
        block_.Replace(payload.data(), payload.size());
        RecomputeRates();
        return ok;
    case 16:
        resetArmed_ = true;
        return ok;
    case 17:
        if (!resetArmed_)
            return error(11);
        resetArmed_ = false;
        currTime_ = 0;
        block_.setTestFlags(0);
        return ok;
    case 18:
    case 19:
        if (payload.size() != 1 || payload[0] > 1)
            return error(11);
        block_.setTestFlags(code == 18 ? payload[0] + 1u : 0u);
        return ok;
    case 20:
    case 21:
        if (payload.size() != 1 || payload[0] > 5)
            return error(11);
        if (code == 20) {
            block_ = profiles_[payload[0]];
            RecomputeRates();
        } else {
            profiles_[payload[0]] = block_;
        }
        return ok;
    case 22:
        if (port1_ != 4)
            return error(11);
        vxip_ = 0x04;
        return ok;
    default:
        return error(11);
    }
}

} // namespace km7sim
