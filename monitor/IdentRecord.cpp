#include "monitor/IdentRecord.h"

#include <algorithm>
#include <cstring>

namespace km7 {

void IdentificationRecord::Replace(const std::uint8_t* data, std::size_t size)
{
    b_.fill(0);
    if (data)
        std::memcpy(b_.data(), data, std::min(size, kSize));
}

void IdentificationRecord::setU32(std::size_t offset, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        b_.at(offset + i) = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

} // namespace km7
