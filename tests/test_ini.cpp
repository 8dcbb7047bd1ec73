#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace km7;

TEST(IniStore, LookupIgnoresCaseAndTrims)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "; comment\n[Settings]\r\n  comport = COM3 \r\nQuoted=\"x y\"\n[other]\nComPort=COM9\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetString("SETTINGS", "COMPort", "d"), "COM3");
    EXPECT_EQ(ini.GetString("settings", "quoted", "d"), "x y");
    EXPECT_EQ(ini.GetString("Other", "comport", "d"), "COM9");
    EXPECT_EQ(ini.GetString("Settings", "missing", "d"), "d");
    EXPECT_EQ(ini.GetString("Nowhere", "COMPort", "d"), "d");
}

TEST(IniStore, WritesKeepPlacesAndOrder)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[Settings]\r\nA=1\r\nB=2\r\n\r\n[FormMain]\r\nLeft=5\r\n");
    ASSERT_TRUE(WriteProfileString(path, "settings", "a", "10"));   // in place, key spelling kept
    ASSERT_TRUE(WriteProfileString(path, "Settings", "C", "3"));    // end of its section, before the gap
    ASSERT_TRUE(WriteProfileString(path, "FormSetup", "Top", "7")); // new section at the end
    EXPECT_EQ(ReadText(path),
              "[Settings]\r\nA=10\r\nB=2\r\nC=3\r\n\r\n[FormMain]\r\nLeft=5\r\n\r\n[FormSetup]\r\nTop=7\r\n");
}

TEST(IniStore, MissingFileIsCreatedAtFirstWrite)
{
    TempDir dir;
    const auto path = dir.file("new.ini");
    EXPECT_EQ(ReadProfileString(path, "Settings", "COMPort", "COM1"), "COM1");
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(WriteProfileString(path, "Settings", "COMPort", "ttyUSB0"));
    EXPECT_EQ(ReadText(path), "[Settings]\r\nCOMPort=ttyUSB0\r\n");
}

TEST(IniStore, ReplacementLeavesNoTemporaryFiles)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(WriteProfileString(path, "S", "K", std::to_string(i)));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1);
    EXPECT_EQ(ReadProfileString(path, "S", "K", ""), "4");
}

TEST(IniStore, OversizedFileIsNeitherReadNorOverwritten)
{
    TempDir dir;
    const auto path = dir.file("big.ini");
    std::string big = "[Settings]\nCOMPort=COM7\n";
    big += std::string(IniFile::kMaxFileSize, ';');
    WriteText(path, big);
    EXPECT_EQ(ReadProfileString(path, "Settings", "COMPort", "COM1"), "COM1");
    EXPECT_FALSE(WriteProfileString(path, "Settings", "COMPort", "COM2"));
    EXPECT_EQ(ReadText(path).size(), big.size());
}

TEST(IniStore, WriteIntoAMissingFolderFails)
{
    TempDir dir;
    WriteText(dir.file("plain"), "x");
    EXPECT_FALSE(WriteProfileString(dir.file("plain") + "/a.ini", "S", "K", "1"));
    EXPECT_FALSE(WriteProfileString("/nonexistent/dir/a.ini", "S", "K", "1"));
    EXPECT_EQ(ReadText(dir.file("plain")), "x");
}

TEST(IniStore, UnwritableFolderFailsWithoutDamage)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes everywhere";
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[S]\nK=1\n");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "2"));
    EXPECT_EQ(ReadProfileString(path, "S", "K", ""), "1");
}

TEST(IniStore, IntegerTexts)
{
    const std::pair<const char*, long> table[] = {
        {"1000", 1000}, {" 250 ", 250}, {"-5", -5}, {"0x1C", 28}, {"$1c", 28}, {"0X10", 16},
        {"", 77},       {"12abc", 77},  {"abc", 77}, {"0x", 77},  {"$", 77},   {"99999999999", 77},
    };
    for (auto [text, value] : table)
        EXPECT_EQ(ParseIniInteger(text, 77), value) << '"' << text << '"';
}
