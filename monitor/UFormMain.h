// The main window: toolbar, port choice, the device display and the
// connection control. The device work is the session's: each handler is a
// call into it, and the window paints what the session reports.
#pragma once

#include "monitor/Decoders.h"
#include "monitor/MessageBoxes.h"
#include "monitor/PortList.h"
#include "monitor/QtWindowThread.h"
#include "session/DeviceSession.h"

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
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

class TFormMain : public QWidget, private km7::SessionObserver {
    Q_OBJECT
public:
    // Where the program finds its files; the defaults follow the executable.
    struct Environment {
        std::string settingsPath;
        std::string libraryPath;
        km7::PortCatalog ports;
        std::string logDirectory; // empty: the current directory
        km7::MessageBoxes* messageBoxes = nullptr; // null: real message boxes
    };

    explicit TFormMain(Environment env, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The session the other windows work with.
    km7::DeviceSession& Session() { return *session_; }
    // The modal update window that the Update button shows.
    void SetUpdateWindow(QDialog* software) { software_ = software; }

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

    // What tests and other windows read.
    void SendConfiguration() { session_->SendConfiguration(); }
    bool RemoteMode() const { return session_->Remote(); }
    bool Connected() const { return session_->Connected(); }
    const km7::MonitorDisplay& Display() const { return session_->Display(); }
    km7::ConfigBlock& Block() { return session_->Block(); }
    std::uint8_t DeviceTypeCode() const { return session_->DeviceTypeCode(); }
    const std::string& SettingsPath() const { return session_->SettingsPath(); }
    const std::string& CurrentPortName() const { return session_->CurrentPortName(); }
    bool LibraryLoaded() const { return session_->LibraryLoaded(); }
    const km7::MainSettings& Settings() const { return session_->Settings(); }
    km7::TLog* Log() { return session_->Log(); }
    void ShowMessage(const std::string& text, km7::Colour colour);

    // Painting: the E1, Port 2 and VX-IP indicators and the channel rows
    // from what the session decoded.
    void ShowE1Alarms(const km7::MonitorDisplay& d);
    void ShowPort2Circuits(const km7::MonitorDisplay& d);
    void ShowVxIpStatus(const km7::MonitorDisplay& d);
    void ShowChannels(const km7::MonitorDisplay& d);

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
    // SessionObserver
    void OnMessage(const std::string& text, km7::Colour colour) override;
    void OnIdentification(const km7::MonitorDisplay& d) override;
    void OnStateBlock(const km7::MonitorDisplay& d) override;
    void OnConnectionState(km7::ConnectionState s) override;
    void OnLineGroup(bool e1) override;
    void OnRemoteProgress(bool on) override;
    void StartPoll(km7::PollKind kind, int intervalMs) override;
    void StopPolls() override;
    void OnLineTest(bool running) override;
    void OnRemoteMode(bool remote) override;

    void BuildWindow();
    void BuildDisplay();
    void Hint(QWidget* w, const char* hint);
    void SetCaption();
    std::string SelectedPort() const; // empty when none is selected
    void SetText(QLabel* l, const km7::ColouredText& t);

    Environment env_;
    km7::QtWindowThread windowThread_;
    std::unique_ptr<km7::DeviceSession> session_;
    km7::QtMessageBoxes defaultBoxes_;
    QDialog* software_ = nullptr;
    km7::ConnectionState lastState_ = km7::ConnectionState::Disconnected;
    bool closed_ = false;
    QElapsedTimer closeWait_;
    QIcon iconDisconnected_, iconConnected_;
};

// Program-wide windows.
extern TFormMain* FormMain;
