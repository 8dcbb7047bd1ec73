// The setup window: hosts the port editors over the main window's
// configuration block. Created hidden at start; shown modeless by Setup.
#pragma once

#include <QDialog>
#include <QPushButton>

#include <string>

class TFormMain;

class TFormSetup : public QDialog {
    Q_OBJECT
public:
    TFormSetup(TFormMain* main, std::string settingsPath, QWidget* parent = nullptr);

    // Refills the editors from the main window's block.
    void FillFromBlock();
    void RzBitBtnCloseClick();

    QPushButton* RzBitBtnClose;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    TFormMain* main_;
    std::string settingsPath_;
};

extern TFormSetup* FormSetup;
