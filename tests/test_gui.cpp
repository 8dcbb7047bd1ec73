// The main window, headless, against the device simulator on a
// pseudo-terminal.
#include "config/UFormSetup.h"
#include "monitor/UFormMain.h"
#include "update/UFormSoftware.h"

#include "cfgfile/IniStore.h"

#include "SimProcess.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Pump(int ms)
{
    WaitUntil([] { return false; }, ms);
}

QColor TextColour(QLabel* l) { return l->palette().color(QPalette::WindowText); }

const std::string kNoSettingsFile = "<none>";

// One program run: settings file, log folder, simulator, the three windows.
class Program {
public:
    explicit Program(std::vector<std::string> simArgs, const std::string& settings = "",
                     const std::string& library = KM7_SERIAL_LIB)
        : sim_(std::move(simArgs), dir_.file("ann"), "ttySIMg")
    {
        if (settings != kNoSettingsFile)
            WriteText(dir_.file("km7tl.ini"),
                      settings.empty() ? "[Settings]\r\nCOMPort=ttySIMg\r\nCreateLogFile=yes\r\n" : settings);
        TFormMain::Environment env;
        env.settingsPath = dir_.file("km7tl.ini");
        env.libraryPath = library;
        env.ports.announceFolder = dir_.file("ann");
        env.ports.sysClassTty = dir_.file("nosys");
        env.logDirectory = dir_.path();
        env.messageBoxes = &boxes;
        main_ = std::make_unique<TFormMain>(env);
        software_ = new TFormSoftware(env.settingsPath, main_.get());
        setup_ = new TFormSetup(main_->Session(), env.settingsPath, main_.get());
        main_->SetUpdateWindow(software_);
        main_->show();
    }
    TFormMain* operator->() { return main_.get(); }
    TFormMain& form() { return *main_; }
    TFormSetup* setup() { return setup_; }
    const TempDir& dir() const { return dir_; }
    bool simOk() const { return sim_.ok(); }
    std::string settingsPath() const { return dir_.file("km7tl.ini"); }
    std::string logText() { return ReadText(dir_.file("km-7-tl_v2.09 ttysimg.log")); }
    void close() { main_->close(); }

    struct Boxes : km7::MessageBoxes {
        std::vector<std::string> shown;
        void Show(QWidget*, const QString& caption, const QString& text) override
        {
            shown.push_back(caption.toStdString() + ": " + text.toStdString());
        }
    } boxes;

private:
    TempDir dir_;
    SimProcess sim_;
    std::unique_ptr<TFormMain> main_;
    TFormSoftware* software_ = nullptr;
    TFormSetup* setup_ = nullptr;
};

} // namespace

TEST(MainWindow, StartsWithTheSimulatorsPortSelected)
{
    Program p({});
    ASSERT_TRUE(p.simOk());
    EXPECT_TRUE(p->LibraryLoaded());
    EXPECT_EQ(p->windowTitle().toStdString(), "KM-7-TL_v2.09 ttySIMg");
    EXPECT_EQ(p->RzComboBoxPort->currentText().toStdString(), "ttySIMg");
    EXPECT_EQ(p->StaticTextConnection->text().toStdString(), "Connect to local KM-7-TL");
    EXPECT_FALSE(p->RzToolButtonSetup->isEnabled());
    EXPECT_FALSE(p->RzToolButtonReset->isEnabled());
    EXPECT_TRUE(p->RzToolButtonUpdate->isEnabled());
    EXPECT_FALSE(p->GroupBoxState->isVisible());
    EXPECT_EQ(p->size(), QSize(492, 396));
    EXPECT_EQ(p->GroupBoxChannels->geometry(), QRect(184, 144, 297, 225));
    EXPECT_EQ(p->ShapeLOF->size(), QSize(15, 15));
    EXPECT_NE(p.logText().find("] : KM-7-TL_v2.09 started."), std::string::npos);
}

TEST(MainWindow, RefusesAnIncompleteLibrary)
{
    Program p({}, "", KM7_INCOMPLETE_LIB);
    EXPECT_FALSE(p->LibraryLoaded());
    EXPECT_EQ(p.boxes.shown, (std::vector<std::string>{"Error: Can't load serial.dll"}));
    EXPECT_EQ(p->RzComboBoxPort->count(), 0);
    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_FALSE(p->GroupBoxState->isVisible());
    p.close();
}

TEST(MainWindow, ConnectLocalPollsAndDisconnects)
{
    Program p({"--set", "model=3", "--set", "rxok=1000"},
              "[Settings]\r\nCOMPort=ttySIMg\r\nCreateLogFile=yes\r\nStatInterval=200\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked()) << p->RzStatusPaneMessage->text().toStdString();
    EXPECT_TRUE(p->GroupBoxState->isVisible());
    EXPECT_TRUE(p->GroupBoxTests->isVisible());
    EXPECT_TRUE(p->GroupBoxP2Nets->isVisible());
    EXPECT_FALSE(p->GroupBoxE1->isVisible());
    EXPECT_FALSE(p->RzComboBoxPort->isEnabled());
    EXPECT_FALSE(p->RzToolButtonRemote->isEnabled());
    EXPECT_TRUE(p->RzToolButtonSetup->isEnabled());
    EXPECT_TRUE(p->RzToolButtonUpdate->isEnabled());
    EXPECT_EQ(p->StaticTextMux->text().toStdString(), "KM-7-TL-1");
    EXPECT_EQ(p->StaticTextVersion->text().toStdString(), "3.05.209");
    EXPECT_EQ(p->StaticTextState->text().toStdString(), "Normal");
    EXPECT_EQ(p->StaticTextCable->text().toStdString(), "DTE V.35");
    EXPECT_EQ(p->StaticTextInterface->text().toStdString(), "UPI");
    EXPECT_EQ(p->StaticTextBitRatePx->text().toStdString(), " 16,8 Internal");
    EXPECT_EQ(p->StaticTextPhone[0]->text().toStdString(), "On, UPI     ");
    EXPECT_EQ(TextColour(p->StaticTextPhone[0]), QColor(0, 128, 0));
    EXPECT_EQ(p->StaticTextEthernet->text().toStdString(), "No module");
    EXPECT_EQ(p->ShapeP2DTR->Colour(), km7::Colour::Lime);
    EXPECT_EQ(km7::ReadProfileString(p.dir().file("km7tl.ini"), "Settings", "VORXType", ""), "MUX_TYPE_1ch");
    EXPECT_TRUE(p->TimerStatistics->isActive());

    const QString before = p->StaticTextPacketsRxOK->text();
    EXPECT_TRUE(WaitUntil([&] { return p->StaticTextPacketsRxOK->text() != before; }, 4000))
        << "the poll shows the changing counters";

    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_FALSE(p->GroupBoxState->isVisible());
    EXPECT_FALSE(p->GroupBoxChannels->isVisible());
    EXPECT_TRUE(p->RzComboBoxPort->isEnabled());
    EXPECT_FALSE(p->RzToolButtonSetup->isEnabled());
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), "");
    Pump(400);
    EXPECT_FALSE(p->TimerStatistics->isActive());
    const std::string log = p.logText();
    EXPECT_NE(log.find("] : Connection to local KM-7-TL-1 is established, FW version 3.05.209, interface UPI"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("] : Link UP, bitrate 16,8 kbit/s (int)"), std::string::npos) << log;
    EXPECT_NE(log.find("] : Connection to local KM-7-TL-1 is closed\r\n"), std::string::npos) << log;
    p.close();
    EXPECT_NE(p.logText().find("] : KM-7-TL_v2.09 stopped."), std::string::npos);
    EXPECT_EQ(km7::ReadProfileString(p.dir().file("km7tl.ini"), "Settings", "FMTMode", ""), "21");
    EXPECT_EQ(km7::ReadProfileString(p.dir().file("km7tl.ini"), "Settings", "COMPort", ""), "ttySIMg");
    EXPECT_EQ(km7::ReadProfileString(p.dir().file("km7tl.ini"), "FormMain", "Saved", ""), "1");
}

TEST(MainWindow, ConnectRemoteShowsProgressAndResetEndsLocal)
{
    Program p({"--remote-set", "model=4", "--fault", "slow,param=300,code=32"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonRemote->click();
    EXPECT_EQ(p->StaticTextConnection->text().toStdString(), "Connect to remote KM-7-TL");
    EXPECT_FALSE(p->RzToolButtonUpdate->isEnabled());
    int maxProgress = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { maxProgress = std::max(maxProgress, p->RzProgressStatus->value()); });
    probe.start(20);
    p->RzToolButtonState->click();
    probe.stop();
    ASSERT_TRUE(p->RzToolButtonState->isChecked()) << p->RzStatusPaneMessage->text().toStdString();
    EXPECT_GE(maxProgress, 2) << "the bar grows while the remote requests run";
    EXPECT_EQ(p->RzProgressStatus->value(), 0);
    EXPECT_EQ(p->StaticTextMux->text().toStdString(), "KM-7-TL-2");
    EXPECT_FALSE(p->GroupBoxTests->isVisible());
    EXPECT_FALSE(p->RzToolButtonUpdate->isEnabled());

    p->RzToolButtonReset->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_FALSE(p->RzToolButtonRemote->isChecked());
    EXPECT_EQ(p->StaticTextConnection->text().toStdString(), "Connect to local KM-7-TL");
    EXPECT_NE(p.logText().find("] : Connection to local KM-7-TL-2 is closed"), std::string::npos);
    p.close();
}

TEST(MainWindow, SilentDeviceLeavesTheButtonUp)
{
    Program p({"--fault", "silent"});
    ASSERT_TRUE(p.simOk());
    QElapsedTimer t;
    t.start();
    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), " No answer from local mux or firmware is loading!");
    EXPECT_EQ(TextColour(p->RzStatusPaneMessage), QColor(255, 0, 0));
    EXPECT_TRUE(p->RzComboBoxPort->isEnabled());
    EXPECT_FALSE(p->GroupBoxState->isVisible());
    const std::string log = p.logText();
    const auto first = log.find("No connection to device over port 3");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("No connection to device over port 3", first + 1), std::string::npos) << "once per outage";
    p.close();
}

TEST(MainWindow, LineTestStartsAndStops)
{
    Program p({}, "[Settings]\r\nCOMPort=ttySIMg\r\nLoopInterval=150\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzComboBoxTest->setCurrentIndex(1); // "LL"
    p->RzBitBtnTest->click();
    EXPECT_TRUE(p->RzBitBtnTest->isChecked());
    EXPECT_EQ(p->RzBitBtnTest->text().toStdString(), "Disconnect");
    EXPECT_FALSE(p->RzComboBoxTest->isEnabled());
    EXPECT_FALSE(p->RzToolButtonSetup->isEnabled());
    EXPECT_TRUE(p->TimerLoopStatistics->isActive());
    EXPECT_FALSE(p->TimerStatistics->isActive());
    Pump(400);
    EXPECT_EQ(p->Block().testFlags(), 2u) << "the device reports test LL running";
    p->RzBitBtnTest->click();
    EXPECT_FALSE(p->RzBitBtnTest->isChecked());
    EXPECT_EQ(p->RzBitBtnTest->text().toStdString(), "Connect");
    EXPECT_EQ(p->Block().testFlags(), 0u);
    EXPECT_TRUE(p->RzToolButtonSetup->isEnabled());
    EXPECT_TRUE(p->TimerStatistics->isActive());
    EXPECT_FALSE(p->TimerLoopStatistics->isActive());
    p.close();
}

TEST(MainWindow, RefusedLineTestKeepsTheButtonDown)
{
    Program p({"--fault", "error,param=11,code=18"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzBitBtnTest->click();
    EXPECT_TRUE(p->RzBitBtnTest->isChecked());
    EXPECT_EQ(p->RzBitBtnTest->text().toStdString(), "Connect");
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), " Error execute command");
    EXPECT_TRUE(p->TimerStatistics->isActive());
    p.close();
}

TEST(MainWindow, SetupOpensAndItsCloseRestartsThePoll)
{
    Program p({});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzToolButtonSetup->click();
    EXPECT_TRUE(p.setup()->isVisible());
    EXPECT_EQ(p.setup()->windowTitle().toStdString(), "Setup Mux");
    EXPECT_FALSE(p->TimerStatistics->isActive());
    p.setup()->RzBitBtnClose->click();
    EXPECT_FALSE(p.setup()->isVisible());
    EXPECT_TRUE(p->TimerStatistics->isActive());
    p.close();
}

TEST(MainWindow, SetupFailureKeepsThePollsStopped)
{
    Program p({"--fault", "error,param=24,code=13,skip=1"},
              "[Settings]\r\nCOMPort=ttySIMg\r\nStatInterval=60000\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzToolButtonSetup->click();
    EXPECT_FALSE(p.setup()->isVisible());
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), "Can`t enter Setup. Try again!");
    EXPECT_EQ(TextColour(p->RzStatusPaneMessage), QColor(255, 0, 0)) << "the colour of the error report stays";
    EXPECT_FALSE(p->TimerStatistics->isActive());
    p.close();
}

TEST(MainWindow, CloseWhileATransactionRunsWaitsForIt)
{
    Program p({"--fault", "slow,param=200,code=12"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    QTimer::singleShot(50, &p.form(), [&] { p->RzToolButtonExitClick(); });
    p->RzBitBtnClearStatisticsClick(); // waits 200 ms for its answer
    EXPECT_TRUE(WaitUntil([&] { return !p->isVisible(); }, 3000));
    EXPECT_FALSE(p->LibraryLoaded());
    EXPECT_NE(p.logText().find("] : KM-7-TL_v2.09 stopped."), std::string::npos);
}

TEST(MainWindow, ScriptedStatesWriteTheLog)
{
    TempDir scriptDir;
    const std::string script = scriptDir.file("states.txt");
    WriteText(script, "# poll number: new state\n"
                      "3 link=0\n"
                      "5 link=1 rate=4\n"
                      "7 li=e1\n"
                      "8 e1=0x02\n"
                      "10 e1=0x00\n");
    Program p({"--script", script},
              "[Settings]\r\nCOMPort=ttySIMg\r\nCreateLogFile=yes\r\nStatInterval=100\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    const std::string last = "E1 port is detected alarm: Loss Of Signal";
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string log = p.logText();
            const auto at = log.find(last);
            return at != std::string::npos && log.find("E1 port status is changed to UP", at) != std::string::npos;
        },
        10000))
        << p.logText();
    p->RzToolButtonState->click();
    p.close();

    std::vector<std::string> messages;
    const std::string log = p.logText();
    for (std::size_t at = 0; (at = log.find("] : ", at)) != std::string::npos; at += 4)
        messages.push_back(log.substr(at + 4, log.find("\r\n", at) - at - 4));
    const std::vector<std::string> expected = {
        "KM-7-TL_v2.09 started.",
        "Connection to local KM-7-TL-1 is established, FW version 3.05.209, interface UPI, cable DTE V.35, "
        "available modules FXS, E1, full time ",
        "Link UP, bitrate 16,8 kbit/s (int), occupied ",
        "Port 2 (UPI-2) status is changed to UP",
        "Link DOWN",
        "Link UP, bitrate 19,2 kbit/s (int), occupied ",
        "Port 2 (UPI-2) status is changed to DOWN",
        "E1 port status is changed to UP",
        "E1 port is detected alarm: Loss Of Signal",
        "E1 port status is changed to DOWN",
        "E1 port status is changed to UP",
        "Connection to local KM-7-TL-1 is closed",
        "KM-7-TL_v2.09 stopped.",
    };
    ASSERT_EQ(messages.size(), expected.size()) << log;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(messages[i].substr(0, expected[i].size()), expected[i]) << i;
    EXPECT_EQ(log.substr(0, 4), "\r\n\r\n");
}

TEST(MainWindow, HintsOnlyWhileInfoIsDown)
{
    Program p({});
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), p->RzToolButtonExit->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(p->RzToolButtonExit, &tip);
    EXPECT_FALSE(QToolTip::isVisible());
    p->RzToolButtonHelp->click();
    QApplication::sendEvent(p->RzToolButtonExit, &tip);
    EXPECT_TRUE(WaitUntil([] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text().toStdString(), "Exit");
    p.close();
}

TEST(MainWindow, UpdateButtonFollowsModeAndConnection)
{
    Program p({"--fault", "error,param=22,code=31"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonRemote->click();
    EXPECT_FALSE(p->RzToolButtonUpdate->isEnabled());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    EXPECT_FALSE(p->RzToolButtonUpdate->isEnabled());
    p->RzToolButtonState->click(); // 31 is refused: the connection closes all the same
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_TRUE(p->RzToolButtonRemote->isChecked());
    EXPECT_TRUE(p->RzToolButtonUpdate->isEnabled()) << "enabled again while the remote button stays down";
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), "");
    EXPECT_NE(p.logText().find("] : Connection to remote KM-7-TL-1 is closed"), std::string::npos);
    p.close();
}

TEST(MainWindow, FailedLocalConnectDisablesUpdate)
{
    Program p({"--fault", "error,param=20,code=10"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    EXPECT_EQ(p->RzStatusPaneMessage->text().toStdString(), " Access disabled from local host!");
    EXPECT_FALSE(p->RzToolButtonUpdate->isEnabled());
    EXPECT_TRUE(p->RzToolButtonRemote->isEnabled());
    p->RzToolButtonRemote->click();
    p->RzToolButtonRemote->click();
    EXPECT_TRUE(p->RzToolButtonUpdate->isEnabled());
    p.close();
}

TEST(MainWindow, SendingALineInterfaceChangeSwapsTheGroups)
{
    Program p({}, "[Settings]\r\nCOMPort=ttySIMg\r\nStatInterval=60000\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    EXPECT_TRUE(p->GroupBoxP2Nets->isVisible());
    EXPECT_FALSE(p->GroupBoxE1->isVisible());
    const std::uint8_t untouched = p->Block().Payload()[0];
    p->Block().setLiType(1);
    p->SendConfiguration();
    EXPECT_EQ(p->Block().liType(), 1u) << "the device took the block";
    EXPECT_EQ(p->Block().Payload()[0], untouched);
    EXPECT_TRUE(p->GroupBoxE1->isVisible());
    EXPECT_FALSE(p->GroupBoxP2Nets->isVisible());
    EXPECT_EQ(p->StaticTextInterface->text().toStdString(), "E1");
    p.close();
}

TEST(MainWindow, UpdateWindowClosedWithoutTransferRestartsOnlyALivePoll)
{
    Program p({});
    ASSERT_TRUE(p.simOk());
    auto closeSoon = [&] {
        QTimer::singleShot(100, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                w->reject();
        });
    };
    closeSoon();
    p->RzToolButtonUpdate->click();
    EXPECT_FALSE(p->TimerStatistics->isActive()) << "no poll on a closed port";
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    closeSoon();
    p->RzToolButtonUpdate->click();
    EXPECT_TRUE(p->TimerStatistics->isActive());
    EXPECT_TRUE(p->RzToolButtonState->isChecked());
    p.close();
}

TEST(MainWindow, FirstRunWithoutSettingsFile)
{
    Program p({}, kNoSettingsFile);
    ASSERT_TRUE(p.simOk());
    EXPECT_EQ(p->CurrentPortName(), "ttySIMg") << "COM1 is not there: the first listed port";
    EXPECT_EQ(p->Settings().statInterval, 1000);
    EXPECT_EQ(p->Settings().loopInterval, 1000);
    EXPECT_FALSE(p->Settings().logEnabled);
    p.close();
    EXPECT_TRUE(p.logText().empty()) << "no log without CreateLogFile=yes";
    const std::string path = p.settingsPath();
    EXPECT_EQ(km7::ReadProfileString(path, "Settings", "FMTMode", ""), "0");
    EXPECT_EQ(km7::ReadProfileString(path, "Settings", "StatInterval", ""), "1000");
    EXPECT_EQ(km7::ReadProfileString(path, "Settings", "LoopInterval", ""), "1000");
    EXPECT_EQ(km7::ReadProfileString(path, "Settings", "CreateLogFile", ""), "no");
    EXPECT_EQ(km7::ReadProfileString(path, "Settings", "COMPort", ""), "ttySIMg");
}

TEST(MainWindow, PortChangeMovesTheLogToTheNewPort)
{
    Program p({});
    ASSERT_TRUE(p.simOk());
    SimProcess second({}, p.dir().file("ann"), "ttySIMh");
    ASSERT_TRUE(second.ok());
    // The list is read at start; this run sees the new port after a refill.
    p->RzComboBoxPort->addItem("ttySIMh");
    const int before = p->Log()->LineCounter();
    p->RzComboBoxPort->setCurrentIndex(0);
    p->RzComboBoxPortChange(); // the same port again: nothing happens
    EXPECT_EQ(p->Log()->LineCounter(), before);
    p->RzComboBoxPort->setCurrentIndex(1);
    p->RzComboBoxPortChange();
    EXPECT_EQ(p->windowTitle().toStdString(), "KM-7-TL_v2.09 ttySIMh");
    EXPECT_EQ(p->Session().PortPath(), p.dir().file("ann/ttySIMh"));
    EXPECT_NE(p.logText().find("[2] : KM-7-TL_v2.09 stopped."), std::string::npos) << p.logText();
    const std::string second_log = ReadText(p.dir().file("km-7-tl_v2.09 ttysimh.log"));
    EXPECT_NE(second_log.find("[1] : KM-7-TL_v2.09 started."), std::string::npos);
    p->RzToolButtonState->click();
    EXPECT_TRUE(p->RzToolButtonState->isChecked()) << "connects through the new port";
    p.close();
}

TEST(MainWindow, ModeAndPortAreLockedFromTheStartOfAConnect)
{
    Program p({"--fault", "slow,param=400,code=32"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonRemote->click();
    bool remoteEnabled = true, portEnabled = true;
    QTimer::singleShot(150, &p.form(), [&] {
        remoteEnabled = p->RzToolButtonRemote->isEnabled();
        portEnabled = p->RzComboBoxPort->isEnabled();
        p->RzToolButtonRemote->click(); // a disabled button ignores the click
    });
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    EXPECT_FALSE(remoteEnabled);
    EXPECT_FALSE(portEnabled);
    EXPECT_TRUE(p->RzToolButtonRemote->isChecked());
    EXPECT_TRUE(p->RemoteMode());
    p->RzToolButtonState->click();
    EXPECT_NE(p.logText().find("] : Connection to remote KM-7-TL-1 is closed"), std::string::npos);
    p.close();
}

TEST(MainWindow, LineTestThenDisconnectLeavesTheTestsGroupIdle)
{
    Program p({}, "[Settings]\r\nCOMPort=ttySIMg\r\nStatInterval=100\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzBitBtnTest->click();
    ASSERT_EQ(p->RzBitBtnTest->text().toStdString(), "Disconnect");
    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzBitBtnTest->isChecked());
    EXPECT_EQ(p->RzBitBtnTest->text().toStdString(), "Connect");
    EXPECT_TRUE(p->RzComboBoxTest->isEnabled());
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    p->RzBitBtnClearStatistics->click();
    EXPECT_TRUE(p->TimerStatistics->isActive()) << "the statistics poll, not the line-test poll";
    EXPECT_FALSE(p->TimerLoopStatistics->isActive());
    p.close();
}

TEST(MainWindow, FailedConnectShowsNoGroup)
{
    // A VX-IP device that answers 11 and refuses 13.
    Program p({"--set", "port1=4", "--set", "vxip=0x34", "--fault", "error,param=11,code=13"});
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonState->click();
    EXPECT_FALSE(p->RzToolButtonState->isChecked());
    for (QGroupBox* g : {p->GroupBoxState, p->GroupBoxStatistics, p->GroupBoxChannels, p->GroupBoxE1,
                         p->GroupBoxP2Nets, p->GroupBoxVXIP, p->GroupBoxTests})
        EXPECT_FALSE(g->isVisible()) << g->objectName().toStdString();
    p.close();
}

TEST(MainWindow, CloseDuringASilentRemotePollEndsSoon)
{
    // The remote device answers the connect, then falls silent: every poll
    // request waits 10 s an attempt.
    Program p({"--fault", "silent,code=33,skip=1"},
              "[Settings]\r\nCOMPort=ttySIMg\r\nCreateLogFile=yes\r\nStatInterval=100\r\n");
    ASSERT_TRUE(p.simOk());
    p->RzToolButtonRemote->click();
    p->RzToolButtonState->click();
    ASSERT_TRUE(p->RzToolButtonState->isChecked());
    // The exit click comes while a poll request waits for its answer.
    bool busyAtExit = false;
    QElapsedTimer t;
    QTimer::singleShot(600, &p.form(), [&] {
        busyAtExit = p->Session().Busy();
        t.start();
        p->RzToolButtonExit->click();
    });
    EXPECT_TRUE(WaitUntil([&] { return !p->isVisible(); }, 15000));
    EXPECT_TRUE(busyAtExit);
    // A hang guard, not a speed test: far below the 30 s of three attempts.
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_NE(p.logText().find("] : KM-7-TL_v2.09 stopped."), std::string::npos);
}

TEST(MainWindow, NoPortListedKeepsTheStoredPort)
{
    Program p({}, "[Settings]\r\nCOMPort=ttyUSB7\r\n", KM7_INCOMPLETE_LIB);
    EXPECT_EQ(p->RzComboBoxPort->count(), 0);
    p.close();
    EXPECT_EQ(km7::ReadProfileString(p.settingsPath(), "Settings", "COMPort", ""), "ttyUSB7");
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
