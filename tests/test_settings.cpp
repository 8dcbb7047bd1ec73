#include "monitor/Settings.h"

#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace km7;

namespace fs = std::filesystem;

namespace {

// Sets XDG_CONFIG_HOME for one test and puts back what was there.
class ConfigHome {
public:
    explicit ConfigHome(const std::string& dir)
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            old_ = old;
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    ~ConfigHome()
    {
        if (old_)
            ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    ConfigHome(const ConfigHome&) = delete;
    ConfigHome& operator=(const ConfigHome&) = delete;

private:
    std::optional<std::string> old_;
};

void MakeReadOnly(const std::string& path)
{
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

} // namespace

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

TEST(Settings, PathBesideExecutable)
{
    TempDir dir;
    ConfigHome home(dir.file("cfg"));
    // Nothing there yet, in a writable folder.
    EXPECT_EQ(SettingsPathFor(dir.file("km7tl")), dir.file("km7tl.ini"));
    // A read-only file there is the settings file all the same.
    WriteText(dir.file("km7tl.ini"), "[Settings]\r\nCOMPort=ttyS3\r\n");
    MakeReadOnly(dir.file("km7tl.ini"));
    EXPECT_EQ(SettingsPathFor(dir.file("km7tl")), dir.file("km7tl.ini"));
    EXPECT_EQ(ReadMainSettings(SettingsPathFor(dir.file("km7tl"))).comPort, "ttyS3");
    // So is a link, even one that leads nowhere yet.
    fs::create_symlink("nowhere.ini", dir.file("other.ini"));
    EXPECT_EQ(SettingsPathFor(dir.file("other")), dir.file("other.ini"));
    EXPECT_FALSE(fs::exists(dir.file("cfg"))) << "the configuration folder is not even made";
}

TEST(Settings, PathInConfigFolderOnlyWithoutFileAndUnwritableFolder)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser may write into any folder, so the fallback never applies";
    TempDir dir;
    const auto ro = dir.file("ro");
    fs::create_directory(ro);
    WriteText(ro + "/present.ini", "[Settings]\r\nCOMPort=ttyS3\r\n");
    MakeReadOnly(ro + "/present.ini");
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    const auto cfg = dir.file("cfg");
    ConfigHome home(cfg);
    EXPECT_EQ(SettingsPathFor(ro + "/km7tl"), cfg + "/km7tl/km7tl.ini");
    EXPECT_TRUE(fs::is_directory(cfg + "/km7tl"));
    // A read-only file in a read-only folder is still the one read.
    EXPECT_EQ(SettingsPathFor(ro + "/present"), ro + "/present.ini");
    EXPECT_EQ(ReadMainSettings(SettingsPathFor(ro + "/present")).comPort, "ttyS3");
}

TEST(Settings, ReadOnlyFileIsReadAndWritesFailWithTheReason)
{
    // Refused by the file's mode, so also for the superuser.
    TempDir dir;
    const auto path = dir.file("km7tl.ini");
    const std::string text = "[Settings]\r\nStatInterval=250\r\nCOMPort=ttyS3\r\nCreateLogFile=yes\r\n";
    WriteText(path, text);
    MakeReadOnly(path);
    const MainSettings s = ReadMainSettings(path);
    EXPECT_EQ(s.statInterval, 250);
    EXPECT_EQ(s.comPort, "ttyS3");
    EXPECT_TRUE(s.logEnabled);
    const std::string expected = "cannot write " + path + ": the file is read-only";
    std::string error;
    EXPECT_FALSE(WriteMainSettings(path, s, 3, "ttyS4", &error));
    EXPECT_EQ(error, expected);
    error.clear();
    EXPECT_FALSE(WritePlacement(path, "FormMain", false, {1, 2, 3, 4, false}, &error));
    EXPECT_EQ(error, expected);
    error.clear();
    EXPECT_FALSE(WriteProfileString(path, kSettingsSection, "VORXType", "MUX_TYPE_1ch", &error));
    EXPECT_EQ(error, expected);
    EXPECT_FALSE(WriteMainSettings(path, s, 3, "ttyS4")) << "no error text wanted";
    EXPECT_EQ(ReadText(path), text);
}

TEST(Settings, WriteIntoAMissingFolderSaysWhere)
{
    const std::string path = "/nonexistent/km7tl/km7tl.ini";
    std::string error;
    EXPECT_FALSE(WriteMainSettings(path, MainSettings{}, 0, "ttyS0", &error));
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
    error.clear();
    EXPECT_FALSE(WritePlacement(path, "FormMain", false, {}, &error));
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
}

TEST(Settings, NoSelectedPortKeepsTheStoredOne)
{
    TempDir dir;
    const auto path = dir.file("km7tl.ini");
    WriteText(path, "[Settings]\r\nCOMPort=ttyUSB3\r\n");
    const MainSettings s = ReadMainSettings(path);
    ASSERT_TRUE(WriteMainSettings(path, s, 0, ""));
    EXPECT_EQ(ReadText(path), "[Settings]\r\nCOMPort=ttyUSB3\r\nStatInterval=1000\r\nLoopInterval=1000\r\n"
                              "CreateLogFile=no\r\nFMTMode=0\r\n");
    // No file yet and no port: the key stays unwritten.
    const auto fresh = dir.file("fresh.ini");
    ASSERT_TRUE(WriteMainSettings(fresh, MainSettings{}, 0, ""));
    EXPECT_EQ(ReadText(fresh), "[Settings]\r\nStatInterval=1000\r\nLoopInterval=1000\r\nCreateLogFile=no\r\n"
                               "FMTMode=0\r\n");
}

TEST(Settings, PortNameWithLineBreaksTurnsNothingOn)
{
    TempDir dir;
    const auto path = dir.file("km7tl.ini");
    ASSERT_TRUE(WriteMainSettings(path, MainSettings{}, 0, "ttyX\nCreateLogFile=yes"));
    const MainSettings s = ReadMainSettings(path);
    EXPECT_FALSE(s.logEnabled);
    EXPECT_EQ(s.comPort, "ttyX CreateLogFile=yes");
    ASSERT_TRUE(WriteProfileString(path, kSettingsSection, "VORXVersion", "1.0\r\nStatInterval=1"));
    EXPECT_EQ(ReadMainSettings(path).statInterval, 1000);
}

TEST(Settings, PollPeriodsAreBoundedButWrittenBackAsRead)
{
    struct Case {
        const char* text;  // as stored in the file
        int read;          // the value kept for writing back
        int period;        // what the timer runs at
        const char* back;  // what the close writes
    };
    const Case cases[] = {
        {"-1", -1, 100, "-1"},
        {"0", 0, 100, "0"},
        {"99", 99, 100, "99"},
        {"100", 100, 100, "100"},
        {"101", 101, 101, "101"},
        {"1000", 1000, 1000, "1000"},
        {"$1F4", 500, 500, "500"},
        {"3600000", 3600000, 3600000, "3600000"},
        {"3600001", 3600001, 3600000, "3600001"},
        {"2147483647", 2147483647, 3600000, "2147483647"},
        {"-2147483648", -2147483647 - 1, 100, "-2147483648"},
        {"-0x80000000", -2147483647 - 1, 100, "-2147483648"},
        {"-$80000000", -2147483647 - 1, 100, "-2147483648"},
        // Not a 32-bit value: the default.
        {"2147483648", 1000, 1000, "1000"},
        {"0x80000000", 1000, 1000, "1000"},
        {"-2147483649", 1000, 1000, "1000"},
        {"x", 1000, 1000, "1000"},
    };
    TempDir dir;
    const auto path = dir.file("km7tl.ini");
    for (const auto& c : cases) {
        // Each interval once with the case's text, the other one as default.
        for (const bool stat : {true, false}) {
            const std::string key = stat ? "StatInterval" : "LoopInterval";
            WriteText(path, "[Settings]\r\n" + key + "=" + c.text + "\r\n");
            const MainSettings s = ReadMainSettings(path);
            EXPECT_EQ(stat ? s.statInterval : s.loopInterval, c.read) << key << "=" << c.text;
            EXPECT_EQ(stat ? s.StatPeriodMs() : s.LoopPeriodMs(), c.period) << key << "=" << c.text;
            EXPECT_EQ(stat ? s.LoopPeriodMs() : s.StatPeriodMs(), 1000) << key << "=" << c.text;
            if (stat) { // writing back is the same code for both: once is enough
                ASSERT_TRUE(WriteMainSettings(path, s, 0, "ttyS0"));
                EXPECT_EQ(ReadProfileString(path, "Settings", key, ""), c.back) << key << "=" << c.text;
            }
        }
    }
}

TEST(Settings, PlacementKeepsIntegersInRange)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[FormMain]\nLeft=-0x80000000\nTop=0x80000000\nMaximized=0x100000001\n");
    const WindowPlacement p = ReadPlacement(path, "FormMain", false, {5, 6, 505, 406, false});
    EXPECT_EQ(p.left, -2147483647 - 1);
    EXPECT_EQ(p.top, 6) << "out of range: the current value";
    EXPECT_FALSE(p.maximized) << "out of range is not 1";
}

TEST(Settings, DeviceTypeNames)
{
    EXPECT_STREQ(DeviceTypeName(1), "MUX_TYPE_OLD");
    EXPECT_STREQ(DeviceTypeName(2), "MUX_TYPE_3ch");
    EXPECT_STREQ(DeviceTypeName(3), "MUX_TYPE_1ch");
    EXPECT_STREQ(DeviceTypeName(4), "MUX_TYPE_2ch");
    EXPECT_STREQ(DeviceTypeName(255), "MUX_TYPE_UNKNOWN");
}
