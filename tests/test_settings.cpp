#include "monitor/Settings.h"

#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace km7;

TEST(Settings, DefaultsWithoutFile)
{
    TempDir dir;
    const auto path = dir.file("km7tl.ini");
    const MainSettings s = ReadMainSettings(path);
    EXPECT_EQ(s.savedDeviceType, 0);
    EXPECT_EQ(s.statInterval, 1000);
    EXPECT_EQ(s.loopInterval, 1000);
    EXPECT_EQ(s.comPort, "COM1");
    EXPECT_FALSE(s.logEnabled);
    ASSERT_TRUE(WriteMainSettings(path, s, 0, "ttyUSB0"));
    IniFile ini(path);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetString("Settings", "FMTMode", ""), "0");
    EXPECT_EQ(ini.GetString("Settings", "StatInterval", ""), "1000");
    EXPECT_EQ(ini.GetString("Settings", "LoopInterval", ""), "1000");
    EXPECT_EQ(ini.GetString("Settings", "CreateLogFile", ""), "no");
    EXPECT_EQ(ini.GetString("Settings", "COMPort", ""), "ttyUSB0");
}

TEST(Settings, DeviceTypeRoundTrip)
{
    struct Case {
        const char* stored;
        int savedType;
        int identified;
        const char* written;
    };
    const Case cases[] = {
        {"28", 4, 3, "21"}, // a run that identifies type 3
        {"28", 4, 0, "28"}, // nothing identified: the saved code goes back
        {"10", 1, 0, "7"},  // integer division
        {"junk", 0, 0, "0"},
        {"0x1C", 4, 0, "28"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = dir.file("a.ini");
        WriteText(path, std::string("[Settings]\nFMTMode=") + c.stored + "\n");
        const MainSettings s = ReadMainSettings(path);
        EXPECT_EQ(s.savedDeviceType, c.savedType) << c.stored;
        ASSERT_TRUE(WriteMainSettings(path, s, static_cast<std::uint8_t>(c.identified), "COM1"));
        EXPECT_EQ(ReadProfileString(path, "Settings", "FMTMode", ""), c.written) << c.stored;
    }
}

TEST(Settings, LogFlagAndIntervals)
{
    const std::pair<const char*, bool> logs[] = {{"yes", true}, {"YES", true}, {"Yes", true},
                                                 {"no", false}, {"y", false},  {"true", false}};
    for (auto [value, enabled] : logs) {
        TempDir dir;
        const auto path = dir.file("a.ini");
        WriteText(path, std::string("[settings]\nCreateLogFile=") + value + "\nStatInterval=$1F4\nLoopInterval=x\n");
        const MainSettings s = ReadMainSettings(path);
        EXPECT_EQ(s.logEnabled, enabled) << value;
        EXPECT_EQ(s.statInterval, 500);
        EXPECT_EQ(s.loopInterval, 1000);
        ASSERT_TRUE(WriteMainSettings(path, s, 0, "COM1"));
        EXPECT_EQ(ReadProfileString(path, "Settings", "CreateLogFile", ""), enabled ? "yes" : "no") << value;
        EXPECT_EQ(ReadProfileString(path, "Settings", "StatInterval", ""), "500");
    }
}

TEST(Settings, PlacementFallsBackPerKey)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[FormMain]\nLeft=100\nMaximized=1\n[FormSoftware]\nLeft=10\nTop=20\nRight=460\nBottom=120\n");
    const WindowPlacement current{5, 6, 505, 406, false};
    const WindowPlacement m = ReadPlacement(path, "FormMain", false, current);
    EXPECT_EQ(m.left, 100);
    EXPECT_EQ(m.top, 6);
    EXPECT_EQ(m.right - m.left, 500) << "a fixed window keeps its size";
    EXPECT_TRUE(m.maximized);
    const WindowPlacement s = ReadPlacement(path, "FormSoftware", true, current);
    EXPECT_EQ(s.right, 460);
    EXPECT_EQ(s.bottom, 120);
    EXPECT_FALSE(s.maximized);

    ASSERT_TRUE(WritePlacement(path, "FormSetup", false, {1, 2, 3, 4, false}));
    EXPECT_EQ(ReadProfileString(path, "FormSetup", "Saved", ""), "1");
    EXPECT_EQ(ReadProfileString(path, "FormSetup", "Right", "none"), "none");
}

TEST(Settings, PathBesideExecutableOrInConfigFolder)
{
    TempDir dir;
    EXPECT_EQ(SettingsPathFor(dir.file("km7tl")), dir.file("km7tl.ini"));
    if (::geteuid() == 0)
        return; // root can write into any folder; the fallback cannot be shown
    const auto ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    std::filesystem::permissions(ro, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const auto cfg = dir.file("cfg");
    ::setenv("XDG_CONFIG_HOME", cfg.c_str(), 1);
    EXPECT_EQ(SettingsPathFor(ro + "/km7tl"), cfg + "/km7tl/km7tl.ini");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(Settings, DeviceTypeNames)
{
    EXPECT_STREQ(DeviceTypeName(1), "MUX_TYPE_OLD");
    EXPECT_STREQ(DeviceTypeName(2), "MUX_TYPE_3ch");
    EXPECT_STREQ(DeviceTypeName(3), "MUX_TYPE_1ch");
    EXPECT_STREQ(DeviceTypeName(4), "MUX_TYPE_2ch");
    EXPECT_STREQ(DeviceTypeName(255), "MUX_TYPE_UNKNOWN");
}
