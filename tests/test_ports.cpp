#include "monitor/PortList.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace km7;
namespace fs = std::filesystem;

TEST(PortList, ShorterNamesFirstThenCollation)
{
    std::vector<std::string> names = {"COM10", "COM2", "COM1", "ttyUSB10", "ttyS0", "ttyUSB2", "ttyACM0"};
    SortPortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM10", "ttyS0", "ttyACM0", "ttyUSB2", "ttyUSB10"}));
}

TEST(PortList, RealPortsWithDriverAndAnnouncedPorts)
{
    TempDir dir;
    const fs::path sys = dir.file("sys"), dev = dir.file("dev"), ann = dir.file("ann");
    fs::create_directories(dev);
    fs::create_directories(ann);
    auto port = [&](const std::string& name, bool driver) {
        fs::create_directories(sys / name / "device");
        if (driver) {
            fs::create_directories(sys / "drivers" / "usb-serial");
            fs::create_directory_symlink(sys / "drivers" / "usb-serial", sys / name / "device" / "driver");
        }
        WriteText((dev / name).string(), "");
    };
    port("ttyUSB0", true);
    // Two ports of the legacy driver: one with hardware, one without.
    for (const char* legacy : {"ttyS0", "ttyS1"}) {
        fs::create_directories(sys / legacy / "device");
        fs::create_directories(sys / "drivers" / "serial8250");
        fs::create_directory_symlink(sys / "drivers" / "serial8250", sys / legacy / "device" / "driver");
        WriteText((dev / legacy).string(), "");
    }
    WriteText((sys / "ttyS0" / "type").string(), "4\n");
    WriteText((sys / "ttyS1" / "type").string(), "0\n");
    port("ttyACM12", true);
    port("ttyUSB1", false); // no driver: not a port
    port("tty0", true);     // a console, not a serial port
    WriteText((dev / "pts0").string(), "");
    fs::create_symlink(dev / "pts0", ann / "ttySIM0");
    fs::create_symlink(dev / "gone", ann / "ttySIM1"); // its simulator has ended
    fs::create_symlink(dev / "pts0", ann / "ttySIM-with-a-long-name");

    PortCatalog cat{ann.string(), sys.string(), dev.string()};
    EXPECT_EQ(cat.Enumerate(),
              (std::vector<std::string>{"ttyS0", "ttySIM0", "ttyUSB0", "ttyACM12", "ttySIM-with-a-long-name"}));
    EXPECT_EQ(cat.PathFor("ttySIM0"), (ann / "ttySIM0").string());
    EXPECT_EQ(cat.PathFor("ttySIM-with-a-long-name"), (ann / "ttySIM-with-a-long-name").string())
        << "names are never cut";
    EXPECT_EQ(cat.PathFor("ttyUSB0"), (dev / "ttyUSB0").string());
    EXPECT_EQ(cat.PathFor("../etc/passwd"), "");
    EXPECT_EQ(cat.PathFor(""), "");
}

TEST(PortList, MissingFoldersGiveAnEmptyList)
{
    PortCatalog cat{"/nonexistent/ann", "/nonexistent/sys", "/nonexistent/dev"};
    EXPECT_TRUE(cat.Enumerate().empty());
}
