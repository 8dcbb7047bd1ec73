// What the main window shows about the device, as data: every text with its
// colour and every indicator colour, decoded from the identification record
// and the configuration block. The widgets only paint this.
#pragma once

#include "config/UConfigBlock.h"
#include "monitor/IdentRecord.h"

#include <array>
#include <cstdint>
#include <string>

namespace km7 {

enum class Colour { WindowText, Red, Green, Lime, Teal, Blue, ButtonFace };

struct ColouredText {
    std::string text;
    Colour colour = Colour::WindowText;
    bool operator==(const ColouredText&) const = default;
};

struct DeviceType {
    std::uint8_t code;
    const char* settingName; // VORXType
    const char* muxText;     // StaticTextMux
};

DeviceType DecodeDeviceType(std::uint8_t model, std::uint8_t revision);
std::string VersionText(std::uint8_t model, std::uint8_t revision, std::uint16_t versionWord);
ColouredText StateText(std::uint8_t lineStatus);
ColouredText CableText(unsigned cableCode);
ColouredText ModulesText(std::uint8_t phoneModule, std::uint8_t port1Module);
// Counts and times from the device are 32-bit sums shown as unsigned; the
// functions also take negative values.
std::string DurationText(std::int64_t seconds);
std::string GroupedCountText(std::int64_t n);

// The six Port 2 rate texts (index 1..6; index 0 unused) of a device type
// code 1..4.
std::array<std::string, 7> Port2RateTexts(std::uint8_t deviceType);

// Channel rows.
struct ChannelRow {
    ColouredText info;
    bool transitVisible = false;
    ColouredText transit;
    std::string priority;
    bool operator==(const ChannelRow&) const = default;
};

struct ChannelRows {
    std::array<ChannelRow, 4> phone;
    std::array<ChannelRow, 6> data;
    ColouredText ethernet;
    std::string ethernetPri;
};

ChannelRows DecodeChannels(const ConfigBlock& block, std::uint8_t phoneModule, std::uint8_t port1Module);

// Indicators. E1 order: LOF, LOS, RA, AI, LOT, E, CRC, CV (bits 0..7).
enum E1Indicator { LOF, LOS, RA, AI, LOT, E, CRC, CV };
std::array<Colour, 8> E1AlarmColours(std::uint8_t alarms);
// Port 2 order: DTR, DSR, RTS, CTS, DCD.
enum P2Indicator { P2DTR, P2DSR, P2RTS, P2CTS, P2DCD };
std::array<Colour, 5> Port2CircuitColours(std::uint8_t circuits);

struct Indicator {
    Colour colour = Colour::ButtonFace;
    std::string label;
    bool visible = true;
    bool operator==(const Indicator&) const = default;
};

struct VxIpDisplay {
    Indicator state{Colour::ButtonFace, "Active", true};
    Indicator n1{Colour::ButtonFace, "FirmWare", true};
    Indicator n2{Colour::ButtonFace, "SRAM", true};
    Indicator n3{Colour::ButtonFace, "Network Interface", true};
    Indicator n4{Colour::ButtonFace, "...", true};
};

// Updates the VX-IP group from its status byte; a fault keeps the four
// lower indicators as they were.
void ApplyVxIpStatus(VxIpDisplay& d, std::uint8_t status);

// Everything the main window shows and keeps about the device.
struct MonitorDisplay {
    IdentificationRecord ident;
    ConfigBlock block;
    std::uint8_t deviceType = 0;
    std::array<std::string, 7> rateTexts{}; // index 1..6

    ColouredText mux, version, state, interface, cable, modules, bitRatePx, occupied, freeRate;
    ColouredText fillTime, currTime, rxOk, rxErr;
    ChannelRows channels;
    std::array<Colour, 8> e1;
    std::array<Colour, 5> p2;
    VxIpDisplay vxip;
    bool vxipVisible = false;

    MonitorDisplay()
    {
        e1.fill(Colour::ButtonFace);
        p2.fill(Colour::ButtonFace);
    }
};

// Decodes an identification response (data of any length; missing bytes
// read as zero).
void DecodeIdentification(MonitorDisplay& d, const std::uint8_t* data, std::size_t size);
// Decodes a state response and makes it the current block.
void DecodeStateBlock(MonitorDisplay& d, const std::uint8_t* data, std::size_t size);

// "Port 2 bit rate" shown for a block and record.
ColouredText BitRatePxText(const ConfigBlock& block, const IdentificationRecord& ident,
                           const std::array<std::string, 7>& rateTexts);

} // namespace km7
