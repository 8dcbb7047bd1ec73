#include "monitor/Decoders.h"

#include <algorithm>

namespace km7 {

DeviceType DecodeDeviceType(std::uint8_t model, std::uint8_t revision)
{
    switch (model) {
    case 1:
        if (revision == 3 || revision == 4)
            return {1, "MUX_TYPE_OLD", "KM-7-TL"};
        break;
    case 2: return {2, "MUX_TYPE_3ch", "KM-7-TL"};
    case 3: return {3, "MUX_TYPE_1ch", "KM-7-TL-1"};
    case 4: return {4, "MUX_TYPE_2ch", "KM-7-TL-2"};
    default: break;
    }
    return {255, "MUX_TYPE_UNKNOWN", "KM-7-TL ???"};
}

std::string VersionText(std::uint8_t model, std::uint8_t revision, std::uint16_t versionWord)
{
    std::string digits;
    bool leading = true;
    for (int i = 3; i >= 0; --i) {
        const unsigned d = (versionWord >> (4 * i)) & 0xFu;
        if (leading && d == 0 && i > 0)
            continue;
        leading = false;
        digits += std::to_string(d);
    }
    if (digits.size() == 1)
        digits = "00" + digits;
    else if (digits.size() == 2)
        digits = "0" + digits;
    std::string rev = std::to_string(revision);
    if (rev.size() == 1)
        rev = "0" + rev;
    return std::to_string(model) + "." + rev + "." + digits;
}

ColouredText StateText(std::uint8_t lineStatus)
{
    return (lineStatus & 1u) ? ColouredText{"Normal", Colour::WindowText} : ColouredText{"Error", Colour::Red};
}

ColouredText CableText(unsigned code)
{
    switch (code) {
    case 2: return {"DTE RS-232/V.24", Colour::WindowText};
    case 4:
    case 12: return {"DTE RS-449/530", Colour::WindowText};
    case 5: return {"DTE RS-485", Colour::WindowText};
    case 14: return {"DTE V.35", Colour::WindowText};
    case 18:
    case 20:
    case 21:
    case 28:
    case 30: return {"DCE not support", Colour::Teal};
    case 31: return {"No Cable", Colour::Green};
    default: return {"Cable error", Colour::Red};
    }
}

ColouredText ModulesText(std::uint8_t phone, std::uint8_t port1)
{
    if (phone == 255 && port1 == 255)
        return {"Not detected", Colour::Teal};
    ColouredText t;
    switch (phone) {
    case 0: t = {"FXS", Colour::WindowText}; break;
    case 1: t = {"FXO", Colour::WindowText}; break;
    case 2: t = {"4TF", Colour::WindowText}; break;
    default: t = {"???", Colour::Red}; break;
    }
    const char* suffix = nullptr;
    switch (port1) {
    case 0: suffix = ", E1"; break;
    case 1: suffix = ", ETH"; break;
    case 2: suffix = ", ETH100"; break;
    case 4: suffix = ", VX-IP"; break;
    default: break;
    }
    if (suffix) {
        t.text += suffix;
        t.colour = Colour::WindowText;
    }
    return t;
}

std::string DurationText(std::int64_t s)
{
    const std::int64_t d = s / 86400, h = (s % 86400) / 3600, m = (s % 3600) / 60, c = s % 60;
    auto two = [](std::int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    std::string t;
    if (d > 0)
        t = std::to_string(d) + " d ";
    return t + std::to_string(h) + ":" + two(m) + ":" + two(c);
}

std::string GroupedCountText(std::int64_t n)
{
    const std::string s = std::to_string(n);
    const std::size_t len = s.size();
    if (len <= 3)
        return s;
    // At most four groups: the head takes whatever is left of the last nine.
    const std::size_t groups = len >= 10 ? 3 : len >= 7 ? 2 : 1;
    std::string out = s.substr(0, len - 3 * groups);
    for (std::size_t g = groups; g > 0; --g)
        out += "." + s.substr(len - 3 * g, 3);
    return out;
}

std::array<std::string, 7> Port2RateTexts(std::uint8_t deviceType)
{
    switch (deviceType) {
    case 3: return {"", "  9,6 ", " 14,4 ", " 16,8 ", " 19,2 ", " 24,0 ", "  5,6 "};
    case 4: return {"", " 24,0 ", " 28,8 ", " 33,6 ", " 38,4 ", " 50,4 ", " 12,0 "};
    default: return {"", " 16 ", " 32 ", " 48 ", " 64 ", " 80 ", " 16 "};
    }
}

namespace {

ColouredText StatePrefix(ChannelState s)
{
    switch (s) {
    case ChannelState::ON: return {"On, ", Colour::Green};
    case ChannelState::CLIPPED: return {"Clipped, ", Colour::Red};
    default: return {"Off, ", Colour::WindowText};
    }
}

ColouredText TransitText(ChannelState s)
{
    switch (s) {
    case ChannelState::ON: return {"Transit On", Colour::Green};
    case ChannelState::CLIPPED: return {"Transit Clip", Colour::Red};
    default: return {"Transit Off", Colour::WindowText};
    }
}

} // namespace

ChannelRows DecodeChannels(const ConfigBlock& constBlock, std::uint8_t phoneModule, std::uint8_t port1Module)
{
    ConfigBlock block = constBlock; // records are views into a block
    ChannelRows rows;
    const bool vxip = port1Module == 4;
    for (int n = 1; n <= 4; ++n) {
        auto p = block.PhonePort(n);
        ChannelRow& row = rows.phone[static_cast<std::size_t>(n - 1)];
        row.info = StatePrefix(p.state());
        row.info.text += p.destination() ? "VX-IP   " : "UPI     ";
        if (phoneModule == 2) {
            const ChannelState fm = p.fmState();
            row.info.text += fm == ChannelState::ON ? "FM On" : fm == ChannelState::CLIPPED ? "FM Clip" : "FM Off";
        }
        row.transitVisible = vxip;
        if (vxip)
            row.transit = TransitText(p.transit());
        row.priority = "Pri " + std::to_string(p.priority() + 1);
    }
    for (int n = 1; n <= 6; ++n) {
        auto d = block.DataPort(n);
        ChannelRow& row = rows.data[static_cast<std::size_t>(n - 1)];
        row.info = StatePrefix(d.state());
        row.info.text += d.destination() ? "VX-IP, " : "UPI, ";
        if (d.mode() == 1) {
            const auto t = TmRateList.Text(d.bitRate());
            row.info.text += "TM " + (t ? *t : std::string("???"));
        } else {
            const auto t = MmoRateList.Text(d.bitRate());
            row.info.text += "MMO " + (t ? *t : std::string("???"));
        }
        row.transitVisible = vxip;
        if (vxip)
            row.transit = TransitText(d.transit());
        row.priority = "Pri " + std::to_string(d.priority() + 1);
    }
    if (port1Module == 1 || port1Module == 2 || port1Module == 4) {
        rows.ethernet = StatePrefix(block.ethState());
        rows.ethernet.text += std::to_string(static_cast<std::uint32_t>(block.ethBitRate()) * 800u / 3u) + " bit/s";
        rows.ethernetPri = "Pri " + std::to_string(block.ethPriority() + 1);
    } else {
        rows.ethernet = {"No module", Colour::WindowText};
        rows.ethernetPri.clear();
    }
    return rows;
}

std::array<Colour, 8> E1AlarmColours(std::uint8_t alarms)
{
    std::array<Colour, 8> c{};
    for (int bit = 0; bit < 8; ++bit)
        c[static_cast<std::size_t>(bit)] = (alarms >> bit) & 1u ? Colour::Lime : Colour::Green;
    return c;
}

std::array<Colour, 5> Port2CircuitColours(std::uint8_t circuits)
{
    auto lit = [&](int bit) { return (circuits >> bit) & 1u ? Colour::Lime : Colour::Green; };
    // DTR bit 1, DSR bit 4, RTS bit 2, CTS bit 3, DCD bit 5
    return {lit(1), lit(4), lit(2), lit(3), lit(5)};
}

void ApplyVxIpStatus(VxIpDisplay& d, std::uint8_t s)
{
    auto bit = [&](int b) { return ((s >> b) & 1u) != 0; };
    if (bit(1)) {
        d.state = {Colour::Red, "Fault", d.state.visible};
        return;
    }
    if (bit(2)) {
        d.state = {Colour::Lime, "Active", true};
        d.n1 = {bit(4) ? Colour::Lime : Colour::Green, "LINK1", true};
        d.n2 = {bit(5) ? Colour::Lime : Colour::Green, "LINK2", true};
        d.n3 = {bit(6) ? Colour::Lime : Colour::Green, "TX", true};
        d.n4 = {bit(7) ? Colour::Lime : Colour::Green, "RX", true};
        return;
    }
    d.state = {Colour::Green, "Bootloader", true};
    d.n1 = {bit(0) ? (bit(4) ? Colour::Lime : Colour::Green) : Colour::Red, "FirmWare", true};
    d.n2 = {bit(5) ? Colour::Lime : Colour::Red, "RAM", true};
    d.n3 = {bit(6) ? Colour::Lime : Colour::Red, "Network interface", true};
    d.n4.visible = false;
}

void DecodeIdentification(MonitorDisplay& d, const std::uint8_t* data, std::size_t size)
{
    IdentificationRecord r;
    r.Replace(data, size);

    const DeviceType type = DecodeDeviceType(r.modelByte(), r.revisionByte());
    d.deviceType = type.code;
    d.mux = {type.muxText, Colour::WindowText};
    d.version = {VersionText(r.modelByte(), r.revisionByte(), r.versionWord()), Colour::WindowText};
    d.state = StateText(r.lineStatus());
    d.cable = CableText(r.cableCode());
    d.modules = ModulesText(r.phoneModule(), r.port1Module());
    // 32-bit sums, wrapping as the device's counters do; shown unsigned so a
    // count past 2^31 does not turn negative.
    auto sum = [](std::uint32_t a, std::uint32_t b) { return static_cast<std::int64_t>(static_cast<std::uint32_t>(a + b)); };
    d.fillTime = {DurationText(sum(r.timeCount0(), r.fullTimeCount())), Colour::WindowText};
    d.currTime = {DurationText(sum(r.timeCount0(), r.currentTimeCount())), Colour::WindowText};
    d.rxOk = {GroupedCountText(sum(r.rxOkA(), r.rxOkB())), Colour::WindowText};
    d.rxErr = {GroupedCountText(sum(r.rxErrA(), r.rxErrB())), Colour::WindowText};
    d.ident = r;

    if (d.block.liType() == 1)
        d.e1 = E1AlarmColours(r.e1Alarms());
    else
        d.p2 = Port2CircuitColours(r.circuits());
    d.vxipVisible = r.port1Module() == 4;
    if (d.vxipVisible)
        ApplyVxIpStatus(d.vxip, r.vxIpStatus());
}

ColouredText BitRatePxText(const ConfigBlock& block, const IdentificationRecord& ident,
                           const std::array<std::string, 7>& rateTexts)
{
    const bool external = block.liBitRateSource() == 1;
    const unsigned index = external ? ident.externalRateIndex() : block.liBitRate();
    if (index == 0 || index == 7)
        return {" ???", Colour::Red};
    return {rateTexts[index] + (external ? "External" : "Internal"), Colour::WindowText};
}

void DecodeStateBlock(MonitorDisplay& d, const std::uint8_t* data, std::size_t size)
{
    ConfigBlock b;
    b.Replace(data, size);
    d.interface = {b.liType() == 1 ? "E1" : "UPI", Colour::WindowText};
    if (d.deviceType >= 1 && d.deviceType <= 4)
        d.rateTexts = Port2RateTexts(d.deviceType);
    d.bitRatePx = BitRatePxText(b, d.ident, d.rateTexts);
    d.channels = DecodeChannels(b, d.ident.phoneModule(), d.ident.port1Module());
    d.block = b;
    const std::int32_t occupied = 10 * static_cast<std::int32_t>(d.block.bitRateOccupied());
    const std::int32_t total = static_cast<std::int32_t>(10u * d.block.bitRateTotal());
    const std::int32_t freeRate = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) -
                                                            static_cast<std::uint32_t>(occupied));
    const Colour c = d.ident.linkUp() ? Colour::WindowText : Colour::Red;
    d.occupied = {std::to_string(occupied) + " bit/s", c};
    d.freeRate = {std::to_string(freeRate) + " bit/s", c};
}

} // namespace km7
