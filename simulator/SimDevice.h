// A simulated KM-7-TL: its identification state, configuration block,
// profiles and counters, and the answers it gives to each command.
#pragma once

#include "config/UConfigBlock.h"
#include "monitor/IdentRecord.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace km7sim {

struct Answer {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
};

class SimDevice {
public:
    SimDevice();

    // Sets a named property ("model=3", "li=e1", "e1=0x02", ...). Returns
    // false for an unknown key or bad value; see Help().
    bool Set(const std::string& key, const std::string& value);
    static const char* Help();

    // Local command code (10..22) with its payload; `replyCode` is the code
    // the answer carries (the remote variant's code for a remote request).
    Answer Handle(std::uint8_t code, std::uint8_t replyCode, const std::vector<std::uint8_t>& payload);

    // Advances the counters by the seconds that have passed.
    void Tick(unsigned seconds);
    // One step of the changing demo state (alarms, circuits, counters).
    void Animate();

    unsigned identRequests() const { return identRequests_; }
    km7::ConfigBlock& block() { return block_; }
    km7::IdentificationRecord Ident() const;

private:
    void RecomputeRates();

    std::uint8_t model_ = 3, revision_ = 5;
    std::uint16_t version_ = 0x0209;
    std::uint8_t phone_ = 0, port1_ = 0, e1Alarms_ = 0, vxip_ = 0x04, ethLink_ = 1;
    bool linkUp_ = true;
    unsigned extRate_ = 3;
    unsigned cable_ = 14;
    std::uint8_t circuits_ = 0x3E; // DTR RTS CTS DSR DCD
    bool vocoder59_ = false;
    std::uint32_t timeCount0_ = 0, fullTime_ = 93784, currTime_ = 600;
    std::uint32_t rxOk_ = 1234, rxErr_ = 0;
    km7::ConfigBlock block_;
    std::array<km7::ConfigBlock, 6> profiles_{};
    bool resetArmed_ = false;
    bool autoRates_ = true;
    unsigned identRequests_ = 0;
    unsigned animateStep_ = 0;
};

} // namespace km7sim
