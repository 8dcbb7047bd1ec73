// The setup window: hosts the port editors over the session's configuration
// block. Created hidden at start; shown modeless when the session has read
// the block for it.
#pragma once

#include "session/DeviceSession.h"

#include <QDialog>
#include <QPushButton>

#include <string>

class TFormSetup : public QDialog, private km7::SessionObserver {
    Q_OBJECT
public:
    TFormSetup(km7::DeviceSession& session, std::string settingsPath, QWidget* parent = nullptr);
    ~TFormSetup() override;

    // Refills the editors from the session's block.
    void FillFromBlock();
    void RzBitBtnCloseClick();

    QPushButton* RzBitBtnClose;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // SessionObserver
    void OnSetupOpened() override;
    void OnSetupBlock() override;
    void OnCloseSetup() override;

    km7::DeviceSession& session_;
    std::string settingsPath_;
};

extern TFormSetup* FormSetup;
