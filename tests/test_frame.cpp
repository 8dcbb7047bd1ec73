#include "link/Frame.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace km7;

TEST(Crc16, CheckValueOfTheNineDigits)
{
    const char* digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)), 0x4B37);
}

TEST(Frame, RequestBytes)
{
    struct Case {
        std::uint8_t code;
        std::vector<std::uint8_t> payload;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {11, {}, {0xE5, 0xE5, 0x00, 0x0B, 0x77, 0x40}},
        {13, {}, {0xE5, 0xE5, 0x00, 0x0D, 0x75, 0xC0}},
        {18, {0x00}, {0xE5, 0xE5, 0x01, 0x12, 0x00, 0xA0, 0x2C}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildFrame(c.code, c.payload.data(), c.payload.size()), c.bytes) << int(c.code);
}

TEST(Frame, NullPayloadSendsNoData)
{
    EXPECT_EQ(BuildFrame(11, nullptr, 5).size(), 6u);
}

TEST(Frame, ParseAcceptsGoodAndRejectsDamagedFrames)
{
    std::vector<std::uint8_t> data(200);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    auto frame = BuildFrame(13, data.data(), data.size());
    auto good = ParseFrame(frame.data(), frame.size());
    ASSERT_TRUE(good.ok);
    EXPECT_EQ(good.code, 13);
    EXPECT_EQ(good.data, data);

    auto swapped = frame;
    std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
    EXPECT_FALSE(ParseFrame(swapped.data(), swapped.size()).ok);
    EXPECT_FALSE(ParseFrame(frame.data(), frame.size() - 1).ok) << "one byte short";
    auto badStart = frame;
    badStart[1] = 0xE4;
    EXPECT_FALSE(ParseFrame(badStart.data(), badStart.size()).ok);
    const std::uint8_t empty[] = {0xE5, 0xE5, 0x00, 0x0B, 0x77, 0x40};
    auto zero = ParseFrame(empty, sizeof empty);
    EXPECT_TRUE(zero.ok);
    EXPECT_EQ(zero.length, 0);
}

TEST(Frame, ReadTimeoutByCode)
{
    const std::pair<int, int> table[] = {{0, 250},   {10, 250},  {11, 250},   {12, 3000}, {13, 250},
                                         {14, 3000}, {15, 3000}, {16, 250},   {20, 1000}, {21, 3000},
                                         {22, 250},  {29, 250},  {30, 10000}, {35, 10000}, {255, 10000}};
    for (auto [code, ms] : table)
        EXPECT_EQ(ReadTimeoutMs(static_cast<std::uint8_t>(code)), ms) << code;
}
