// The update window: firmware file choice and transfer into the local
// multiplexer's bootloader. Shown modally by the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <string>

class TFormSoftware : public QDialog {
    Q_OBJECT
public:
    explicit TFormSoftware(std::string settingsPath, QWidget* parent = nullptr);

    // Set when a transfer was started since the window was last shown.
    bool TransferStarted() const { return transferStarted_; }

    QLabel *StaticTextSoftwareMux, *StaticTextSoftwareMuxVersionSoftware, *StaticTextMessage;
    QPushButton *ButtonLoadSoftwareMux, *ButtonTransmitSoftwareMux;
    QProgressBar* ProgressBar;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    std::string settingsPath_;
    bool transferStarted_ = false;
};

extern TFormSoftware* FormSoftware;
