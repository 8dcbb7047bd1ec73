#include "link/SerialLibrary.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

using namespace km7;

TEST(SerialLibrary, LoadsAllFourteenOperations)
{
    SerialLibrary lib;
    ASSERT_TRUE(lib.Load(KM7_SERIAL_LIB)) << lib.Error();
    EXPECT_FALSE(lib.Connected());
    EXPECT_EQ(lib.OpenPort("/nonexistent/ttyUSB9"), 1);
    EXPECT_FALSE(lib.Connected());
}

TEST(SerialLibrary, RefusesMissingFileOrOperation)
{
    SerialLibrary lib;
    EXPECT_FALSE(lib.Load("/nonexistent/serial.so"));
    EXPECT_FALSE(lib.Loaded());
    EXPECT_FALSE(lib.Load(KM7_INCOMPLETE_LIB));
    EXPECT_FALSE(lib.Loaded());
    EXPECT_NE(lib.Error().find("_InputCount"), std::string::npos) << lib.Error();
    // Nothing loaded: every operation is harmless.
    EXPECT_EQ(lib.OpenPort("/dev/null"), 1);
    char b[4];
    EXPECT_EQ(lib.Read(b, 4), 0);
}

TEST(SerialLibrary, RefusesFilesThatAreNotTerminals)
{
    SerialLibrary lib;
    ASSERT_TRUE(lib.Load(KM7_SERIAL_LIB));
    EXPECT_EQ(lib.OpenPort("/dev/null"), 1);
}

TEST(SerialLibrary, OpensPseudoTerminalAndReadsWithinTimeout)
{
    SimProcess sim({});
    ASSERT_TRUE(sim.ok());
    SerialLibrary lib;
    ASSERT_TRUE(lib.Load(KM7_SERIAL_LIB));
    ASSERT_EQ(lib.OpenPort(sim.pts()), 0);
    EXPECT_TRUE(lib.Connected());
    EXPECT_EQ(lib.OpenPort(sim.pts()), 0) << "an open port is set up again";
    const std::uint8_t req[] = {0xE5, 0xE5, 0x00, 0x0B, 0x77, 0x40};
    EXPECT_EQ(lib.Write(req, 6), 6);
    lib.SetReadTimeout(1000);
    std::uint8_t buf[64] = {};
    EXPECT_EQ(lib.Read(buf, 54), 54) << "48 data bytes and the frame";
    EXPECT_EQ(buf[0], 0xE5);
    EXPECT_EQ(buf[2], 48);
    lib.SetReadTimeout(50);
    EXPECT_EQ(lib.Read(buf, 6), 0) << "nothing more comes";
    lib.ClosePort();
    EXPECT_FALSE(lib.Connected());
}
