// The main window: toolbar, port choice, the device display and the
// connection control. It owns the link state, the settings, the current
// identification record and configuration block and the current log.
#pragma once

#include "link/SerialLibrary.h"
#include "link/ULink.h"
#include "log/Ulog.h"
#include "monitor/Decoders.h"
#include "monitor/PortList.h"
#include "monitor/QtWindowThread.h"
#include "monitor/Settings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TFormSetup;
class TFormSoftware;

// A 15 x 15 rounded-square indicator.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent);
    void SetColour(km7::Colour c);
    km7::Colour Colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    km7::Colour colour_ = km7::Colour::ButtonFace;
};

QColor ToQColor(km7::Colour c);

class TFormMain : public QWidget, public km7::LinkClient {
    Q_OBJECT
public:
    // Where the program finds its files; the defaults follow the executable.
    struct Environment {
        std::string settingsPath;
        std::string libraryPath;
        km7::PortCatalog ports;
        std::string logDirectory; // empty: the current directory
    };

    explicit TFormMain(Environment env, QWidget* parent = nullptr);
    ~TFormMain() override;

    void SetWindows(TFormSetup* setup, TFormSoftware* software);

    // Start-up, port choice and end.
    void FormCreate();
    void FormShow();
    void RzComboBoxPortChange();
    void FormCloseQuery();

    // Connection control.
    void RzToolButtonStateClick();
    void RzToolButtonRemoteClick();
    void RzToolButtonResetClick();
    void RzToolButtonSetupClick();
    void RzToolButtonUpdateClick();
    void RzToolButtonExitClick();
    void RzBitBtnClearStatisticsClick();
    void RzBitBtnTestClick();
    void TimerStatisticsTimer();
    void TimerLoopStatisticsTimer();
    void TimerRemoteControlTimer();

    void SendConfiguration();
    void StartStatisticsPoll();
    void StartLoopPoll();
    void StopPolls();
    // The poll that a closing setup window starts again.
    void StartRightPoll();

    std::uint8_t Issue(std::uint8_t code, const std::uint8_t* payload = nullptr, std::uint8_t length = 0);
    std::uint8_t ResultCode() const { return link_.ResultCode(); }
    bool RemoteMode() const { return RzToolButtonRemote->isChecked(); }
    bool Connected() const { return RzToolButtonState->isChecked(); }

    // What other windows read.
    km7::MonitorDisplay& Display() { return display_; }
    km7::ConfigBlock& Block() { return display_.block; }
    std::uint8_t DeviceTypeCode() const { return display_.deviceType; }
    const std::string& SettingsPath() const { return env_.settingsPath; }
    const std::string& CurrentPortName() const { return currentPortName_; }
    const std::string& LibraryPortName() const { return libraryPortName_; }
    bool LibraryLoaded() const { return libraryLoaded_; }
    const km7::MainSettings& Settings() const { return settings_; }
    km7::TLog* Log() { return log_.get(); }
    void ShowMessage(const std::string& text, km7::Colour colour);

    // LinkClient
    void OnIdentification(const km7::Response& r) override;
    void OnStateBlock(const km7::Response& r) override;
    void OnSetupBlock(const km7::Response& r) override;
    void OnErrorText(const std::string& text) override;
    void OnAnswer() override;
    void OnNoAnswer() override;

    // Controls.
    QToolBar* ToolBar;
    QToolButton *RzToolButtonState, *RzToolButtonRemote, *RzToolButtonSetup, *RzToolButtonReset,
        *RzToolButtonUpdate, *RzToolButtonHelp, *RzToolButtonExit;
    QLabel* StaticTextConnection;
    QComboBox* RzComboBoxPort;
    QStatusBar* StatusBar;
    QLabel* RzStatusPaneMessage;
    QProgressBar* RzProgressStatus;

    QGroupBox *GroupBoxState, *GroupBoxStatistics, *GroupBoxChannels, *GroupBoxE1, *GroupBoxP2Nets, *GroupBoxVXIP,
        *GroupBoxTests;
    QLabel *StaticTextMux, *StaticTextVersion, *StaticTextState, *StaticTextInterface, *StaticTextCable,
        *StaticTextModules, *StaticTextBitRatePx, *StaticTextBitRateOccupied, *StaticTextBitRateFree;
    QLabel *StaticTextFillTime, *StaticTextCurrTime, *StaticTextPacketsRxOK, *StaticTextPacketsRxErr;
    QPushButton* RzBitBtnClearStatistics;
    QComboBox* RzComboBoxTest;
    QPushButton* RzBitBtnTest;

    std::array<QLabel*, 4> StaticTextPhone, StaticTextPhoneTransit, StaticTextPhonePri;
    std::array<QLabel*, 6> StaticTextData, StaticTextDataTransit, StaticTextDataPri;
    QLabel *StaticTextEthernet, *StaticTextEthernetPri;

    TShape *ShapeLOF, *ShapeLOS, *ShapeRA, *ShapeAI, *ShapeLOT, *ShapeE, *ShapeCRC, *ShapeCV;
    TShape *ShapeP2DTR, *ShapeP2DSR, *ShapeP2RTS, *ShapeP2CTS, *ShapeP2DCD;
    TShape *Shape_State, *Shape_N1, *Shape_N2, *Shape_N3, *Shape_N4;
    QLabel *Label_State, *Label_N1, *Label_N2, *Label_N3, *Label_N4;

    QTimer *TimerStatistics, *TimerLoopStatistics, *TimerRemoteControl;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void BuildWindow();
    void BuildDisplay();
    void Hint(QWidget* w, const char* hint);
    void SetCaption();
    void NewLog();
    void ReleaseLog();
    std::string SelectedPort() const; // empty when none is selected
    void RemoteProgress(bool on);
    void Disconnect();
    void SetText(QLabel* l, const km7::ColouredText& t);
    void PaintIdentification();
    void PaintStateBlock();
    void PaintIndicators();
    void ClosePort();
    std::uint8_t BlockRequestCode() const;

    Environment env_;
    km7::SerialLibrary library_;
    km7::QtWindowThread windowThread_;
    km7::TDeviceLink link_;
    TFormSetup* setup_ = nullptr;
    TFormSoftware* software_ = nullptr;

    std::string currentPortName_;
    std::string libraryPortName_; // what the serial library opens
    bool libraryLoaded_ = false;
    std::vector<std::string> portList_;
    km7::MainSettings settings_;
    km7::MonitorDisplay display_;
    std::unique_ptr<km7::TLog> log_;
    std::string lastVorxType_, lastVorxVersion_;
    bool closed_ = false;
    QIcon iconDisconnected_, iconConnected_;
};

// Program-wide windows.
extern TFormMain* FormMain;
