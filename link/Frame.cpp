#include "link/Frame.h"

#include <algorithm>

namespace km7 {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc)
{
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::vector<std::uint8_t> BuildFrame(std::uint8_t code, const std::uint8_t* payload, std::size_t length)
{
    if (!payload)
        length = 0;
    length = std::min<std::size_t>(length, 255);
    std::vector<std::uint8_t> frame;
    frame.reserve(length + kFrameOverhead);
    frame.push_back(kFrameStart);
    frame.push_back(kFrameStart);
    frame.push_back(static_cast<std::uint8_t>(length));
    frame.push_back(code);
    frame.insert(frame.end(), payload, payload + length);
    const std::uint16_t crc = Crc16(frame.data() + 2, length + 2);
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

int ReadTimeoutMs(std::uint8_t code)
{
    if (code >= 30)
        return 10000;
    switch (code) {
    case 12:
    case 14:
    case 15:
    case 21:
        return 3000;
    case 20:
        return 1000;
    default:
        return 250;
    }
}

ParsedFrame ParseFrame(const std::uint8_t* bytes, std::size_t size)
{
    ParsedFrame f;
    if (!bytes || size < kFrameOverhead || bytes[0] != kFrameStart || bytes[1] != kFrameStart)
        return f;
    const std::size_t length = bytes[2];
    if (size < length + kFrameOverhead)
        return f;
    const std::uint16_t crc = Crc16(bytes + 2, length + 2);
    if (bytes[4 + length] != (crc >> 8) || bytes[5 + length] != (crc & 0xFF))
        return f;
    f.ok = true;
    f.length = static_cast<std::uint8_t>(length);
    f.code = bytes[3];
    f.data.assign(bytes + 4, bytes + 4 + length);
    return f;
}

} // namespace km7
