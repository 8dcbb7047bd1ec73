// The identification record: the first 48 data bytes of the response to
// the identification request. Multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace km7 {

class IdentificationRecord {
public:
    static constexpr std::size_t kSize = 48;

    // Bytes beyond `size` read as zero.
    void Replace(const std::uint8_t* data, std::size_t size);
    const std::uint8_t* Bytes() const { return b_.data(); }

    std::uint32_t timeCount0() const { return U32(0); }
    std::uint32_t fullTimeCount() const { return U32(4); }
    std::uint32_t currentTimeCount() const { return U32(8); }
    std::uint32_t rxOkA() const { return U32(12); }
    std::uint32_t rxErrA() const { return U32(16); }
    std::uint32_t rxOkB() const { return U32(20); }
    std::uint32_t rxErrB() const { return U32(24); }
    std::uint16_t versionWord() const { return static_cast<std::uint16_t>(b_[32] | (b_[33] << 8)); }
    std::uint8_t modelByte() const { return b_[34]; }
    std::uint8_t revisionByte() const { return b_[35]; }
    std::uint8_t e1Alarms() const { return b_[36]; }
    std::uint8_t phoneModule() const { return b_[37]; }
    std::uint8_t port1Module() const { return b_[38]; }
    std::uint8_t vxIpStatus() const { return b_[39]; }
    std::uint8_t lineStatus() const { return b_[40]; }
    std::uint8_t circuits() const { return b_[41]; }
    std::uint8_t ethLink() const { return b_[42]; }

    bool linkUp() const { return lineStatus() & 1u; }
    unsigned externalRateIndex() const { return (lineStatus() >> 1) & 7u; }
    unsigned cableCode() const { return (circuits() & 1u) * 16u + (lineStatus() >> 4); }
    // Circuit byte bit 7: the vocoder runs at 5,9 kbit/s (else 7,0 kbit/s).
    bool vocoder59() const { return (circuits() & 0x80u) != 0; }

    void setU32(std::size_t offset, std::uint32_t v);
    void setVersionWord(std::uint16_t v)
    {
        b_[32] = static_cast<std::uint8_t>(v & 0xFF);
        b_[33] = static_cast<std::uint8_t>(v >> 8);
    }
    void setByte(std::size_t offset, std::uint8_t v) { b_.at(offset) = v; }

private:
    std::uint32_t U32(std::size_t o) const
    {
        return static_cast<std::uint32_t>(b_[o]) | (static_cast<std::uint32_t>(b_[o + 1]) << 8) |
               (static_cast<std::uint32_t>(b_[o + 2]) << 16) | (static_cast<std::uint32_t>(b_[o + 3]) << 24);
    }
    std::array<std::uint8_t, kSize> b_{};
};

// Offsets of the single-byte fields.
namespace ident {
constexpr std::size_t Model = 34, Revision = 35, E1Alarms = 36, PhoneModule = 37, Port1Module = 38, VxIp = 39,
                      LineStatus = 40, Circuits = 41, EthLink = 42;
}

} // namespace km7
