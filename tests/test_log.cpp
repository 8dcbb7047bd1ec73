#include "log/Ulog.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iomanip>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace km7;

namespace fs = std::filesystem;

namespace {

// Lines from..to-1 of a fixture: "nnnnn " and `width` - 6 times `fill`,
// each ended by `end`. With the defaults a line takes 64 bytes, so 8192 of
// them fill the log to its limit of 524288 bytes.
std::string Numbered(int from, int to, const char* end = "\r\n", int width = 62, char fill = 'x')
{
    std::string out;
    for (int i = from; i < to; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%05d ", i);
        out += number;
        out += std::string(static_cast<std::size_t>(width - 6), fill);
        out += end;
    }
    return out;
}

// The first line of a log object, message "new", at the fixed time: 35 bytes.
const std::string kFirstNew = "\r\n\r\n08.12.2012 14:03:07 [1] : new\r\n";

std::tm FixedTime()
{
    std::tm t{};
    t.tm_mday = 8;
    t.tm_mon = 11;
    t.tm_year = 112;
    t.tm_hour = 14;
    t.tm_min = 3;
    t.tm_sec = 7;
    return t;
}

std::vector<std::string> Lines(const std::string& path)
{
    const std::string text = ReadText(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The message part of every non-empty line.
std::vector<std::string> Messages(const std::string& path)
{
    std::vector<std::string> out;
    for (const auto& l : Lines(path)) {
        const auto at = l.find("] : ");
        if (at != std::string::npos)
            out.push_back(l.substr(at + 4));
    }
    return out;
}

} // namespace

TEST(Log, FileNameAndLineFormat)
{
    TempDir dir;
    TLog log("KM-7-TL_v2.09 COM3", true, dir.path(), FixedTime);
    EXPECT_EQ(log.FileName(), dir.file("km-7-tl_v2.09 com3.log"));
    log.WriteLine("KM-7-TL_v2.09 started.");
    log.WriteLine("second");
    EXPECT_EQ(ReadText(log.FileName()),
              "\r\n\r\n08.12.2012 14:03:07 [1] : KM-7-TL_v2.09 started.\r\n08.12.2012 14:03:07 [2] : second\r\n");
    EXPECT_EQ(log.LineCounter(), 3);
}

TEST(Log, EachLogObjectStartsWithTwoEmptyLines)
{
    TempDir dir;
    {
        TLog a("Cap", true, dir.path(), FixedTime);
        a.WriteLine("one");
    }
    TLog b("Cap", true, dir.path(), FixedTime);
    b.ResetStates(); // does not restart the numbering
    b.WriteLine("two");
    EXPECT_EQ(Lines(b.FileName()),
              (std::vector<std::string>{"", "", "08.12.2012 14:03:07 [1] : one", "", "",
                                        "08.12.2012 14:03:07 [1] : two"}));
}

TEST(Log, DisabledLogWritesNothing)
{
    TempDir dir;
    TLog log("Cap", false, dir.path(), FixedTime);
    log.WriteLine("x");
    MonitorDisplay d;
    log.CheckStates(d, false);
    EXPECT_FALSE(std::filesystem::exists(log.FileName()));
    EXPECT_EQ(log.LineCounter(), 1);
}

TEST(Log, SizeLimitDropsOldestLines)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    // A fixture of exactly the limit: 8192 lines of 62 characters + CR LF.
    std::string fixture;
    for (int i = 0; i < 8192; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "%05d %s", i, std::string(56, 'x').c_str());
        fixture += line;
        fixture += "\r\n";
    }
    ASSERT_EQ(fixture.size(), TLog::kSizeLimit);
    WriteText(log.FileName(), fixture);
    log.WriteLine("new");
    const auto lines = Lines(log.FileName());
    const std::string newLine = "08.12.2012 14:03:07 [1] : new";
    // Two empty lines (2 bytes each) and the new line had to fit.
    const std::size_t need = 2 + 2 + newLine.size() + 2;
    const std::size_t dropped = (need + 63) / 64;
    ASSERT_EQ(lines.size(), 8192 - dropped + 3);
    EXPECT_EQ(lines.front().substr(0, 5), (std::ostringstream() << std::setw(5) << std::setfill('0') << dropped).str());
    EXPECT_EQ(lines.back(), newLine);
    EXPECT_LE(ReadText(log.FileName()).size(), TLog::kSizeLimit);
}

TEST(Log, HugeFileIsCutToTheLimit)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    std::string big;
    for (int i = 0; i < 40000; ++i)
        big += "old line " + std::to_string(i) + " " + std::string(40, 'y') + "\r\n";
    ASSERT_GT(big.size(), 2 * TLog::kSizeLimit);
    WriteText(log.FileName(), big);
    log.WriteLine("after");
    const std::string text = ReadText(log.FileName());
    EXPECT_LE(text.size(), TLog::kSizeLimit);
    EXPECT_NE(text.find("old line 39999 "), std::string::npos) << "the newest old lines stay";
    EXPECT_EQ(Messages(log.FileName()).back(), "after");
}

TEST(Log, ReadOnlyOrUnreadableFileIsLeftAlone)
{
    // Both modes lack every write bit: refused by the mode, so this holds
    // for the superuser too. A full file would take the rewrite, a short one
    // the append.
    for (unsigned mode : {0444u, 0000u}) {
        for (const std::string& text : {std::string("precious\r\n"), Numbered(0, 8192)}) {
            TempDir dir;
            TLog log("Cap", true, dir.path(), FixedTime);
            WriteText(log.FileName(), text);
            ASSERT_EQ(::chmod(log.FileName().c_str(), mode), 0);
            const ino_t inode = InodeOf(log.FileName());
            log.WriteLine("x");
            EXPECT_EQ(log.LastError(), "Event log not written: cannot write " + log.FileName() + ": the file is read-only");
            EXPECT_EQ(log.LineCounter(), 1);
            EXPECT_EQ(ModeOf(log.FileName()), mode);
            EXPECT_EQ(InodeOf(log.FileName()), inode);
            ASSERT_EQ(::chmod(log.FileName().c_str(), 0644), 0);
            EXPECT_TRUE(ReadText(log.FileName()) == text) << std::oct << mode << " " << text.size();
        }
    }
}

TEST(Log, FailedLinesUseNeitherNumberNorSeparator)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    fs::create_directory(log.FileName()); // something else holds the name
    log.WriteLine("one");
    log.WriteLine("two");
    EXPECT_EQ(log.LineCounter(), 1);
    fs::remove(log.FileName());
    log.WriteLine("three");
    EXPECT_EQ(ReadText(log.FileName()), "\r\n\r\n08.12.2012 14:03:07 [1] : three\r\n");
    ASSERT_EQ(::chmod(log.FileName().c_str(), 0444), 0);
    log.WriteLine("four");
    ASSERT_EQ(::chmod(log.FileName().c_str(), 0644), 0);
    log.WriteLine("five");
    EXPECT_EQ(ReadText(log.FileName()),
              "\r\n\r\n08.12.2012 14:03:07 [1] : three\r\n08.12.2012 14:03:07 [2] : five\r\n");
    EXPECT_EQ(log.LineCounter(), 3);
}

TEST(Log, WriteFailureIsReportedOnceWhileItLasts)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    const std::string notRegular =
        "Event log not written: cannot write " + log.FileName() + ": it is not a regular file";
    const std::string readOnly = "Event log not written: cannot write " + log.FileName() + ": the file is read-only";
    EXPECT_EQ(log.TakeNewWriteError(), std::nullopt);

    fs::create_directory(log.FileName());
    log.WriteLine("a");
    EXPECT_EQ(log.TakeNewWriteError(), notRegular) << "the first line fails";
    log.WriteLine("b");
    EXPECT_EQ(log.TakeNewWriteError(), std::nullopt) << "still failing: said already";
    log.WriteLine("c");
    EXPECT_EQ(log.TakeNewWriteError(), std::nullopt);

    fs::remove(log.FileName());
    log.WriteLine("d");
    EXPECT_EQ(log.TakeNewWriteError(), std::nullopt);
    EXPECT_EQ(log.LastError(), "");

    ASSERT_EQ(::chmod(log.FileName().c_str(), 0444), 0);
    log.WriteLine("e");
    log.WriteLine("f");
    log.WriteLine("g");
    EXPECT_EQ(log.TakeNewWriteError(), readOnly) << "failing again after a written line";
    EXPECT_EQ(log.TakeNewWriteError(), std::nullopt) << "taken";

    // Failing and recovering before anybody asked: a line was lost, say so.
    ASSERT_EQ(::chmod(log.FileName().c_str(), 0644), 0);
    log.WriteLine("h");
    ASSERT_EQ(::chmod(log.FileName().c_str(), 0444), 0);
    log.WriteLine("i");
    ASSERT_EQ(::chmod(log.FileName().c_str(), 0644), 0);
    log.WriteLine("j");
    EXPECT_EQ(log.TakeNewWriteError(), readOnly);
    EXPECT_EQ(Messages(log.FileName()), (std::vector<std::string>{"d", "h", "j"}));

    TLog off("Cap", false, "/nonexistent/folder", FixedTime);
    off.WriteLine("x");
    EXPECT_EQ(off.TakeNewWriteError(), std::nullopt) << "a disabled log writes nothing, so nothing fails";
}

TEST(Log, FileEndsAsIfAllLinesWereRewritten)
{
    // The file after one line ("new", the first of its log object) must be
    // what reading all lines, adding the line, dropping the oldest lines to
    // fit 524288 bytes and writing every line with CR LF leaves. `kept`:
    // the file stays the same file (appended to), else it is replaced.
    const std::string msgFits(524258, 'm');  // with one empty line: exactly the limit
    const std::string msgAlone(524261, 'm'); // its line alone is over the limit
    struct Case {
        const char* what;
        std::optional<std::string> start;
        std::string message, expected;
        bool kept;
    };
    const Case cases[] = {
        {"missing file", std::nullopt, "new", kFirstNew, false},
        {"empty file", "", "new", kFirstNew, true},
        {"CR LF lines", "a\r\nb\r\n", "new", "a\r\nb\r\n" + kFirstNew, true},
        {"CR inside a line", "a\rb\r\n", "new", "a\rb\r\n" + kFirstNew, true},
        {"LF only", "a\nb\n", "new", "a\r\nb\r\n" + kFirstNew, false},
        {"mixed line ends", "a\r\nb\n", "new", "a\r\nb\r\n" + kFirstNew, false},
        {"no final line end", "a\r\nb", "new", "a\r\nb\r\n" + kFirstNew, false},
        {"exactly at the limit", Numbered(0, 8192), "new", Numbered(1, 8192) + kFirstNew, false},
        // 8191 * 64 + 29 = 524253 = 524288 - 35: the line just fits.
        {"room for exactly the line", Numbered(0, 8191) + std::string(27, 'y') + "\r\n", "new",
         Numbered(0, 8191) + std::string(27, 'y') + "\r\n" + kFirstNew, true},
        // One byte more: the oldest line goes.
        {"one byte short", Numbered(0, 8191) + std::string(28, 'y') + "\r\n", "new",
         Numbered(1, 8191) + std::string(28, 'y') + "\r\n" + kFirstNew, false},
        // 8192 lines of 63 characters count 65 bytes each: 532480 + 35 is
        // 8227 over the limit, so 127 lines go (126 * 65 = 8190 is too few).
        {"LF only at the limit", Numbered(0, 8192, "\n", 63, 'z'), "new",
         Numbered(127, 8192, "\r\n", 63, 'z') + kFirstNew, false},
        // 3 + 4 + (26 + 524258 + 2) = 524293: "a" and one empty line go.
        {"a line of nearly the limit", "a\r\n", msgFits, "\r\n08.12.2012 14:03:07 [1] : " + msgFits + "\r\n",
         false},
        {"a line over the limit", "a\r\n", msgAlone, "", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        TLog log("Cap", true, dir.path(), FixedTime);
        if (c.start) {
            WriteText(log.FileName(), *c.start);
            ASSERT_EQ(::chmod(log.FileName().c_str(), 0640), 0);
        }
        const ino_t inode = InodeOf(log.FileName());
        log.WriteLine(c.message);
        EXPECT_EQ(log.LastError(), "") << c.what;
        const std::string text = ReadText(log.FileName());
        EXPECT_TRUE(text == c.expected) << c.what << ": " << text.size() << " bytes, " << c.expected.size()
                                        << " expected";
        EXPECT_LE(text.size(), TLog::kSizeLimit) << c.what;
        if (c.start) {
            EXPECT_EQ(InodeOf(log.FileName()) == inode, c.kept) << c.what;
            EXPECT_EQ(ModeOf(log.FileName()), 0640u) << c.what;
        }
        EXPECT_EQ(log.LineCounter(), 2) << c.what;
    }
}

TEST(Log, ConsecutiveLinesOnAFullFile)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    WriteText(log.FileName(), Numbered(0, 8192));
    const std::string two = "08.12.2012 14:03:07 [2] : two\r\n";     // 31 bytes
    const std::string three = "08.12.2012 14:03:07 [3] : three\r\n"; // 33 bytes
    log.WriteLine("new"); // 524288 + 35: one old line goes
    EXPECT_TRUE(ReadText(log.FileName()) == Numbered(1, 8192) + kFirstNew);
    log.WriteLine("two"); // 524259 + 31 is 2 over: the next old line goes
    EXPECT_TRUE(ReadText(log.FileName()) == Numbered(2, 8192) + kFirstNew + two);
    const ino_t inode = InodeOf(log.FileName());
    log.WriteLine("three"); // 524226 + 33 fits
    EXPECT_TRUE(ReadText(log.FileName()) == Numbered(2, 8192) + kFirstNew + two + three);
    EXPECT_EQ(InodeOf(log.FileName()), inode) << "appended";
}

TEST(Log, AnotherWritersChangesAreSeen)
{
    const std::string two = "08.12.2012 14:03:07 [2] : two\r\n";
    {
        // Another program appends an LF-ended line to a nearly full log:
        // 524259 + 7 + 31 is over the limit, so the oldest line goes and
        // the new line ends get CR LF.
        TempDir dir;
        TLog log("Cap", true, dir.path(), FixedTime);
        WriteText(log.FileName(), Numbered(0, 8191));
        log.WriteLine("new");
        std::FILE* f = std::fopen(log.FileName().c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputs("other\n", f);
        std::fclose(f);
        log.WriteLine("two");
        EXPECT_TRUE(ReadText(log.FileName()) == Numbered(1, 8191) + kFirstNew + "other\r\n" + two);
    }
    {
        // Another program replaces the log by a short file.
        TempDir dir;
        TLog log("Cap", true, dir.path(), FixedTime);
        log.WriteLine("new");
        WriteText(dir.file("other"), "x\r\n");
        fs::rename(dir.file("other"), log.FileName());
        log.WriteLine("two");
        EXPECT_EQ(ReadText(log.FileName()), "x\r\n" + two);
    }
    {
        // Or removes it.
        TempDir dir;
        TLog log("Cap", true, dir.path(), FixedTime);
        log.WriteLine("new");
        fs::remove(log.FileName());
        log.WriteLine("two");
        EXPECT_EQ(ReadText(log.FileName()), two);
    }
}

TEST(Log, MessageWithLineBreaksIsReadBackAsLines)
{
    TempDir dir;
    TLog log("Cap", true, dir.path(), FixedTime);
    log.WriteLine("m1\nm2");
    EXPECT_EQ(ReadText(log.FileName()), "\r\n\r\n08.12.2012 14:03:07 [1] : m1\nm2\r\n");
    log.WriteLine("next");
    EXPECT_EQ(ReadText(log.FileName()),
              "\r\n\r\n08.12.2012 14:03:07 [1] : m1\r\nm2\r\n08.12.2012 14:03:07 [2] : next\r\n");
}

TEST(Log, LinkedLogIsWrittenThrough)
{
    TempDir dir;
    fs::create_directory(dir.file("real"));
    TLog log("Cap", true, dir.path(), FixedTime);
    const std::string target = dir.file("real/cap.log");
    WriteText(target, "a\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink("real/cap.log", log.FileName());
    log.WriteLine("new"); // appended
    EXPECT_TRUE(fs::is_symlink(log.FileName()));
    EXPECT_EQ(ReadText(target), "a\r\n" + kFirstNew);
    WriteText(target, Numbered(0, 8192));
    log.WriteLine("two"); // replaced
    EXPECT_TRUE(fs::is_symlink(log.FileName()));
    EXPECT_EQ(fs::read_symlink(log.FileName()), "real/cap.log");
    EXPECT_TRUE(ReadText(target) == Numbered(1, 8192) + "08.12.2012 14:03:07 [2] : two\r\n");
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_EQ(log.LastError(), "");
}

TEST(Log, FilesThatCannotBeWrittenDoNotStopTheProgram)
{
    TLog missing("Cap", true, "/nonexistent/folder", FixedTime);
    missing.WriteLine("x");
    EXPECT_FALSE(missing.LastError().empty());

    TempDir dir;
    TLog folder("Cap", true, dir.path(), FixedTime);
    std::filesystem::create_directory(folder.FileName()); // something else holds the name
    std::filesystem::create_directory(folder.FileName() + "/keep");
    folder.WriteLine("x");
    EXPECT_FALSE(folder.LastError().empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder.FileName() + "/keep"));
}

// ---------------------------------------------------------------- CheckStates

namespace {

// A display as the main window would hold it after a poll.
struct Device {
    std::uint8_t model = 3, phone = 0, port1 = 0, e1 = 0, circuits = 0x3E, vxip = 0x04, ethLink = 1;
    bool link = true, liE1 = false;
    unsigned rate = 1, extRate = 0;
    bool external = false;
    std::uint16_t occupied = 6400;
    std::uint32_t total = 9600;
};

void Poll(MonitorDisplay& d, const Device& dev)
{
    IdentificationRecord r;
    r.setByte(ident::Model, dev.model);
    r.setByte(ident::Revision, 5);
    r.setVersionWord(0x0209);
    r.setByte(ident::PhoneModule, dev.phone);
    r.setByte(ident::Port1Module, dev.port1);
    r.setByte(ident::E1Alarms, dev.e1);
    r.setByte(ident::Circuits, static_cast<std::uint8_t>(dev.circuits | 0x01));
    r.setByte(ident::LineStatus, static_cast<std::uint8_t>((dev.link ? 1 : 0) | (dev.extRate << 1) | 0xF0));
    r.setByte(ident::VxIp, dev.vxip);
    r.setByte(ident::EthLink, dev.ethLink);
    r.setU32(4, 93784);
    r.setU32(8, 600);
    r.setU32(12, 1234);
    DecodeIdentification(d, r.Bytes(), 48);
    ConfigBlock b;
    b.setLiType(dev.liE1 ? 1 : 0);
    b.setLiBitRate(dev.rate);
    b.setLiBitRateSource(dev.external ? 1 : 0);
    b.setBitRateOccupied(dev.occupied);
    b.setBitRateTotal(dev.total);
    DecodeStateBlock(d, b.Payload(), ConfigBlock::kSize);
}

struct LogFixture {
    TempDir dir;
    TLog log{"Cap", true, dir.path(), FixedTime};
    MonitorDisplay d;
    std::size_t seen = 0;
    // The lines written since the last call.
    std::vector<std::string> Step(const Device& dev, bool remote = false)
    {
        Poll(d, dev);
        log.CheckStates(d, remote);
        log.connectionLineFlag = true;
        auto all = Messages(log.FileName());
        std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())), all.end());
        seen = all.size();
        return fresh;
    }
};

using Lines_ = std::vector<std::string>;

} // namespace

TEST(CheckStates, FirstCallAfterConnectUpi)
{
    LogFixture f;
    Device dev;
    dev.circuits = 0x3E & ~0x20; // DCD missing
    EXPECT_EQ(f.Step(dev), (Lines_{
                               "Connection to local KM-7-TL-1 is established, FW version 3.05.209, interface UPI, "
                               "cable No Cable, available modules FXS, E1, full time 1 d 2:03:04, curr time 0:10:00, "
                               "Rx OK packets 1.234, Rx Err packets 0",
                               "Link UP, bitrate  9,6 kbit/s (int), occupied 64000 bit/s, free 32000 bit/s",
                               "Port 2 (UPI-2) status is changed to DOWN",
                           }));
    EXPECT_TRUE(f.Step(dev).empty()) << "no change, no line";
    dev.circuits = 0x3E;
    EXPECT_EQ(f.Step(dev), (Lines_{"Port 2 (UPI-2) status is changed to UP"}));
}

TEST(CheckStates, RemoteE1ConnectionWithAlarms)
{
    LogFixture f;
    Device dev;
    dev.model = 4;
    dev.liE1 = true;
    dev.link = false;
    dev.e1 = 0x01 | 0x10; // LOF, LOT
    // At the first connection of a run the record is decoded before any
    // block says E1; the second connection sees the alarms at once.
    f.Step(dev, true);
    f.log.ResetStates();
    const auto lines = f.Step(dev, true);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("Connection to remote KM-7-TL-2 is established, FW version 4.05.209, interface E1, "
                             "available modules FXS, E1, full time",
                             0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[0].find("cable"), std::string::npos) << "no cable on E1";
    EXPECT_EQ(lines[1], "Link DOWN");
    EXPECT_EQ(lines[2], "E1 port is detected alarm: Loss Of Frame");
    EXPECT_EQ(lines[3], "E1 port is detected alarm: Loss Of Transmitter");
    EXPECT_EQ(lines[4], "E1 port status is changed to DOWN");
}

TEST(CheckStates, LosMasksTheOtherAlarms)
{
    LogFixture f;
    Device dev;
    dev.liE1 = true;
    f.Step(dev);
    dev.e1 = 0x02; // LOS
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Signal", "E1 port status is changed to DOWN"}));
    dev.e1 = 0x02 | 0x01 | 0x08 | 0x04; // LOF, AI, RA under LOS: nothing
    EXPECT_TRUE(f.Step(dev).empty());
    dev.e1 = 0x02;
    EXPECT_TRUE(f.Step(dev).empty());
    dev.e1 = 0x01; // LOS gone, LOF present: never remembered, so written
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Frame"}));
    dev.e1 = 0x00;
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port status is changed to UP"}));
    dev.e1 = 0x01 | 0x08 | 0x04 | 0x20 | 0x40 | 0x80;
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Frame",
                                   "E1 port is detected alarm: Alarm Indication signal",
                                   "E1 port is detected alarm: Remote Alarm", "E1 port status is changed to DOWN"}));
}

TEST(CheckStates, LofRememberedFromBeforeLos)
{
    LogFixture f;
    Device dev;
    dev.liE1 = true;
    f.Step(dev);
    dev.e1 = 0x01; // LOF
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Frame", "E1 port status is changed to DOWN"}));
    dev.e1 = 0x03; // LOS comes on top
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Signal"}));
    dev.e1 = 0x01; // LOS clears, LOF still remembered as present
    EXPECT_TRUE(f.Step(dev).empty());
}

TEST(CheckStates, SwitchingTheLineInterface)
{
    LogFixture f;
    Device dev;
    dev.liE1 = true;
    EXPECT_EQ(f.Step(dev).back(), "E1 port status is changed to UP");
    dev.liE1 = false;
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port status is changed to DOWN", "Port 2 (UPI-2) status is changed to UP"}));
    dev.liE1 = true;
    EXPECT_EQ(f.Step(dev), (Lines_{"Port 2 (UPI-2) status is changed to DOWN", "E1 port status is changed to UP"}));
}

TEST(CheckStates, E1IndicatorsKeptFromTheirLastUse)
{
    // The record is decoded under the block of the previous poll, and a
    // group hidden by the other interface keeps its colours: after a switch
    // back to E1 the first poll is judged by the E1 colours of before.
    LogFixture f;
    Device dev;
    dev.liE1 = true;
    dev.e1 = 0x10; // LOT
    f.Step(dev);
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port is detected alarm: Loss Of Transmitter", "E1 port status is changed to DOWN"}));
    dev.liE1 = false;
    f.Step(dev);
    dev.e1 = 0x00; // LOT gone, but only seen while the block says UPI
    f.Step(dev);
    EXPECT_EQ(f.d.e1[LOT], Colour::Lime);
    dev.liE1 = true;
    EXPECT_EQ(f.Step(dev), (Lines_{"Port 2 (UPI-2) status is changed to DOWN"})) << "E1 still judged DOWN";
    EXPECT_EQ(f.Step(dev), (Lines_{"E1 port status is changed to UP"}));
}

TEST(CheckStates, LinkDownAndUpRelogsTheRate)
{
    LogFixture f;
    Device dev;
    f.Step(dev);
    dev.link = false;
    EXPECT_EQ(f.Step(dev), (Lines_{"Link DOWN"}));
    dev.rate = 2; // no rate lines while down
    dev.rate = 1;
    EXPECT_TRUE(f.Step(dev).empty());
    dev.link = true;
    EXPECT_EQ(f.Step(dev), (Lines_{"Link UP, bitrate  9,6 kbit/s (int), occupied 64000 bit/s, free 32000 bit/s"}));
    dev.occupied = 7000;
    EXPECT_EQ(f.Step(dev), (Lines_{"Link UP, bitrate  9,6 kbit/s (int), occupied 70000 bit/s, free 26000 bit/s"}));
    dev.external = true;
    dev.extRate = 0;
    EXPECT_EQ(f.Step(dev), (Lines_{"Link UP, bitrate ??? (ext), occupied 70000 bit/s, free 26000 bit/s"}));
    dev.extRate = 2;
    EXPECT_EQ(f.Step(dev), (Lines_{"Link UP, bitrate 14,4 kbit/s (ext), occupied 70000 bit/s, free 26000 bit/s"}));
}

TEST(CheckStates, EthernetModules)
{
    LogFixture f;
    Device dev;
    dev.port1 = 2;
    EXPECT_EQ(f.Step(dev).back(), "Ethernet port link status is changed to UP");
    dev.ethLink = 0;
    EXPECT_EQ(f.Step(dev), (Lines_{"Ethernet port link status is changed to DOWN"}));
}

TEST(CheckStates, VxIpFaultAndBootloader)
{
    LogFixture f;
    Device dev;
    dev.port1 = 4;
    dev.vxip = 0x04 | 0x10; // active, LINK1 up
    const auto first = f.Step(dev);
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[first.size() - 3], "VX-IP module status is changed to UP");
    EXPECT_EQ(first[first.size() - 2], "Ethernet port 1 link status is changed to UP");
    EXPECT_EQ(first[first.size() - 1], "Ethernet port 2 link status is changed to DOWN");
    dev.vxip = 0x02; // fault
    EXPECT_EQ(f.Step(dev), (Lines_{"VX-IP module status is changed to DOWN"}));
    dev.vxip = 0x01; // bootloader: still down, no port lines
    EXPECT_TRUE(f.Step(dev).empty());
    dev.vxip = 0x04 | 0x10 | 0x20;
    EXPECT_EQ(f.Step(dev),
              (Lines_{"VX-IP module status is changed to UP", "Ethernet port 2 link status is changed to UP"}));
}

TEST(CheckStates, SecondConnectionWritesItsFirstStatesAgain)
{
    LogFixture f;
    Device dev;
    f.Step(dev);
    f.log.ResetStates();
    const auto again = f.Step(dev);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].rfind("Connection to local", 0), 0u);
    EXPECT_EQ(f.log.LineCounter(), 7) << "numbering runs on";
}
