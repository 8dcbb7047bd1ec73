// The request/response frame of the device link and its CRC-16.
//
//   E5 E5 <length> <code> <data: length bytes> <crc hi> <crc lo>
//
// The CRC covers length, code and data (CRC-16/MODBUS parameters, sent high
// byte first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace km7 {

constexpr std::uint8_t kFrameStart = 0xE5;
constexpr std::size_t kFrameOverhead = 6;      // two start bytes, length, code, CRC
constexpr std::size_t kFrameBufferSize = 262;  // largest frame is 261 bytes
constexpr std::uint8_t kErrorResponse = 255;

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0xFFFF);

// Builds a whole frame. A payload longer than 255 bytes is cut to 255, the
// most the length byte can say.
std::vector<std::uint8_t> BuildFrame(std::uint8_t code, const std::uint8_t* payload, std::size_t length);

// Read time-out of one attempt of a transaction, by command code.
int ReadTimeoutMs(std::uint8_t code);

// Result of looking at bytes that should hold one whole frame.
struct ParsedFrame {
    bool ok = false;
    std::uint8_t length = 0;
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
};

// Checks start bytes, length and CRC of exactly one frame at `bytes`.
ParsedFrame ParseFrame(const std::uint8_t* bytes, std::size_t size);

} // namespace km7
