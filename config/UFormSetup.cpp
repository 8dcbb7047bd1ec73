#include "config/UFormSetup.h"

#include "monitor/FormPlacement.h"
#include "monitor/UFormMain.h"

#include <QShowEvent>

TFormSetup* FormSetup = nullptr;

TFormSetup::TFormSetup(TFormMain* main, std::string settingsPath, QWidget* parent)
    : QDialog(parent), main_(main), settingsPath_(std::move(settingsPath))
{
    FormSetup = this;
    setWindowTitle("Setup Mux");
    setModal(false);
    setFixedSize(984, 626);
    RzBitBtnClose = new QPushButton("Close", this);
    RzBitBtnClose->setObjectName("RzBitBtnClose");
    RzBitBtnClose->setGeometry(893, 568, 75, 25);
    RzBitBtnClose->setToolTip("Close");
    RzBitBtnClose->setDefault(true);
    connect(RzBitBtnClose, &QPushButton::clicked, this, [this] { RzBitBtnCloseClick(); });
}

void TFormSetup::FillFromBlock()
{
    // The port editors fill themselves from the main window's block here.
}

void TFormSetup::RzBitBtnCloseClick()
{
    if (main_)
        main_->StartRightPoll();
    hide();
}

void TFormSetup::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        km7::RestorePlacement(this, settingsPath_, "FormSetup", false);
    RzBitBtnClose->setFocus();
}

void TFormSetup::hideEvent(QHideEvent* e)
{
    if (!e->spontaneous())
        km7::SavePlacement(this, settingsPath_, "FormSetup", false);
    QDialog::hideEvent(e);
}
