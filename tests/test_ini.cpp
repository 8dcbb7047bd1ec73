#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace km7;

namespace fs = std::filesystem;

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
    std::string error;
    EXPECT_FALSE(WriteProfileString(dir.file("plain") + "/a.ini", "S", "K", "1", &error));
    EXPECT_NE(error.find(dir.file("plain") + "/a.ini"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(WriteProfileString("/nonexistent/dir/a.ini", "S", "K", "1", &error));
    EXPECT_NE(error.find("/nonexistent/dir/a.ini"), std::string::npos) << error;
    EXPECT_EQ(ReadText(dir.file("plain")), "x");
    EXPECT_FALSE(WriteProfileString("/nonexistent/dir/a.ini", "S", "K", "1")) << "no error text wanted";
}

TEST(IniStore, SomethingElseHoldingTheNameIsLeftAlone)
{
    TempDir dir;
    const auto path = dir.file("a.ini");
    fs::create_directories(path + "/keep");
    std::string error;
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "1", &error));
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
    EXPECT_TRUE(fs::is_directory(path + "/keep"));
}

TEST(IniStore, UnwritableFolderFailsWithoutDamage)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes everywhere";
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[S]\nK=1\n");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::string error;
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "2", &error));
    EXPECT_EQ(error, "cannot write " + path + ": the folder " + dir.path() + " is not writable");
    EXPECT_EQ(ReadProfileString(path, "S", "K", ""), "1");
}

TEST(IniStore, IntegerTexts)
{
    const std::pair<const char*, long> table[] = {
        {"1000", 1000},
        {" 250 ", 250},
        {"-5", -5},
        {"+12", 12},
        {"0x1C", 28},
        {"$1c", 28},
        {"0X10", 16},
        {"-$10", -16},
        {"000000000000000000042", 42},
        {"", 77},
        {"12abc", 77},
        {"abc", 77},
        {"0x", 77},
        {"$", 77},
        {"-", 77},
        {"- 5", 77},
        {"--5", 77},
        {"0x-5", 77},
        {"99999999999", 77},
        // The edges of the 32-bit signed range, and one step beyond.
        {"2147483647", 2147483647L},
        {"2147483648", 77},
        {"-2147483648", -2147483648L},
        {"-2147483649", 77},
        {"0x7FFFFFFF", 2147483647L},
        {"$7fffffff", 2147483647L},
        {"0x80000000", 77},
        {"$80000000", 77},
        {"0xFFFFFFFF", 77},
        {"-0x80000000", -2147483648L},
        {"-$80000000", -2147483648L},
        {"-0x80000001", 77},
        {"-$FFFFFFFF", 77},
        {"0x100000000", 77},
        {"-4294967296", 77},
        {"18446744073709551616", 77},
    };
    TempDir dir;
    for (auto [text, value] : table) {
        EXPECT_EQ(ParseIniInteger(text, 77), value) << '"' << text << '"';
        WriteText(dir.file("a.ini"), std::string("[S]\nK=") + text + "\n");
        EXPECT_EQ(ReadProfileInteger(dir.file("a.ini"), "S", "K", 77), value) << '"' << text << '"';
    }
}

TEST(IniStore, LineBreaksNeverReachTheFile)
{
    struct Case {
        const char *section, *key, *value;
        const char* file; // the whole file after the write into "[Settings]\r\nCOMPort=COM1\r\nLoopInterval=500\r\n"
    };
    const Case cases[] = {
        {"Settings", "COMPort", "ttyX\nCreateLogFile=yes",
         "[Settings]\r\nCOMPort=ttyX CreateLogFile=yes\r\nLoopInterval=500\r\n"},
        {"Settings", "COMPort", "ttyX\r\nCreateLogFile=yes\r\n",
         "[Settings]\r\nCOMPort=ttyX  CreateLogFile=yes  \r\nLoopInterval=500\r\n"},
        {"Settings", "COMPort", "ttyX\rCreateLogFile=yes",
         "[Settings]\r\nCOMPort=ttyX CreateLogFile=yes\r\nLoopInterval=500\r\n"},
        {"Settings", "VORXVersion", "\n[Settings]\nCreateLogFile=yes",
         "[Settings]\r\nCOMPort=COM1\r\nLoopInterval=500\r\nVORXVersion= [Settings] CreateLogFile=yes\r\n"},
        {"Settings", "K\nCreateLogFile", "yes",
         "[Settings]\r\nCOMPort=COM1\r\nLoopInterval=500\r\nK CreateLogFile=yes\r\n"},
        {"Other]\n[Settings]\nCreateLogFile=yes\n[X", "K", "1",
         "[Settings]\r\nCOMPort=COM1\r\nLoopInterval=500\r\n\r\n[Other] [Settings] CreateLogFile=yes [X]\r\nK=1\r\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = dir.file("a.ini");
        WriteText(path, "[Settings]\r\nCOMPort=COM1\r\nLoopInterval=500\r\n");
        ASSERT_TRUE(WriteProfileString(path, c.section, c.key, c.value)) << c.value;
        EXPECT_EQ(ReadText(path), c.file) << c.value;
        IniFile ini(path);
        ASSERT_TRUE(ini.Load());
        EXPECT_FALSE(ini.Get("Settings", "CreateLogFile")) << "a written text added a key: " << c.value;
        EXPECT_EQ(ini.GetString("Settings", "LoopInterval", ""), "500");
    }
}

TEST(IniStore, ReadOnlyFileIsReadButNotReplaced)
{
    // A file without any write bit is refused by its mode, so this holds
    // for the superuser as well.
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[S]\r\nK=1\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const ino_t inode = InodeOf(path);
    EXPECT_EQ(ReadProfileString(path, "S", "K", ""), "1");
    std::string error;
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "2", &error));
    EXPECT_EQ(error, "cannot write " + path + ": the file is read-only");
    EXPECT_EQ(ReadText(path), "[S]\r\nK=1\r\n");
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(InodeOf(path), inode);
    int files = 0;
    for (auto& e : fs::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1) << "no temporary file left";
}

TEST(IniStore, FileWithoutWritePermissionForThisUserIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser may write a file whose owner has the write bit";
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[S]\r\nK=1\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write);
    std::string error;
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "2", &error));
    EXPECT_EQ(error, "cannot write " + path + ": the file is read-only");
    EXPECT_EQ(ModeOf(path), 0422u);
}

TEST(IniStore, ReplacementKeepsThePermissionBits)
{
    for (unsigned mode : {0600u, 0640u, 0664u, 0604u, 0777u}) {
        TempDir dir;
        const auto path = dir.file("a.ini");
        WriteText(path, "[S]\r\nK=1\r\n");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(WriteProfileString(path, "S", "K", "2"));
        EXPECT_EQ(ReadText(path), "[S]\r\nK=2\r\n");
        EXPECT_EQ(ModeOf(path), mode) << std::oct << mode;
    }
}

TEST(IniStore, LinksAreWrittenThrough)
{
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> links; // link name -> what it points to
        const char* file;                                      // where the settings really are
    };
    const Case cases[] = {
        {"relative link", {{"a.ini", "real.ini"}}, "real.ini"},
        {"link into a sub-folder", {{"a.ini", "sub/real.ini"}}, "sub/real.ini"},
        {"chain of links", {{"a.ini", "b.ini"}, {"b.ini", "sub/real.ini"}}, "sub/real.ini"},
        {"relative link inside a linked folder", {{"a.ini", "sub/b.ini"}, {"sub/b.ini", "real.ini"}}, "sub/real.ini"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        fs::create_directory(dir.file("sub"));
        WriteText(dir.file(c.file), "[S]\r\nK=1\r\n");
        ASSERT_EQ(::chmod(dir.file(c.file).c_str(), 0640), 0);
        for (auto [link, to] : c.links)
            fs::create_symlink(to, dir.file(link));
        std::string error;
        ASSERT_TRUE(WriteProfileString(dir.file("a.ini"), "S", "K", "2", &error)) << c.what << ": " << error;
        EXPECT_EQ(ReadText(dir.file(c.file)), "[S]\r\nK=2\r\n") << c.what;
        EXPECT_EQ(ModeOf(dir.file(c.file)), 0640u) << c.what;
        for (auto [link, to] : c.links) {
            EXPECT_TRUE(fs::is_symlink(dir.file(link))) << c.what << ": " << link;
            EXPECT_EQ(fs::read_symlink(dir.file(link)), to) << c.what;
        }
    }
}

TEST(IniStore, DanglingLinkGetsItsTargetCreated)
{
    TempDir dir;
    fs::create_symlink("real.ini", dir.file("a.ini"));
    ASSERT_TRUE(WriteProfileString(dir.file("a.ini"), "S", "K", "1"));
    EXPECT_TRUE(fs::is_symlink(dir.file("a.ini")));
    EXPECT_EQ(ReadText(dir.file("real.ini")), "[S]\r\nK=1\r\n");
}

TEST(IniStore, LinkLoopFailsWithATextAndChangesNothing)
{
    TempDir dir;
    fs::create_symlink("b.ini", dir.file("a.ini"));
    fs::create_symlink("a.ini", dir.file("b.ini"));
    std::string error;
    EXPECT_FALSE(WriteProfileString(dir.file("a.ini"), "S", "K", "1", &error));
    EXPECT_NE(error.find(dir.file("a.ini")), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(dir.file("a.ini")));
    EXPECT_TRUE(fs::is_symlink(dir.file("b.ini")));
}

TEST(IniStore, UnreadableFileIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser reads every file";
    TempDir dir;
    const auto path = dir.file("a.ini");
    WriteText(path, "[S]\r\nK=1\r\n");
    fs::permissions(path, fs::perms::owner_write);
    std::string error;
    EXPECT_FALSE(WriteProfileString(path, "S", "K", "2", &error));
    EXPECT_NE(error.find("cannot write " + path), std::string::npos) << error;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadText(path), "[S]\r\nK=1\r\n");
}
