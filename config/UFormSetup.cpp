#include "config/UFormSetup.h"

#include "monitor/FormPlacement.h"

#include <QShowEvent>

TFormSetup* FormSetup = nullptr;

TFormSetup::TFormSetup(km7::DeviceSession& session, std::string settingsPath, QWidget* parent)
    : QDialog(parent), session_(session), settingsPath_(std::move(settingsPath))
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
    session_.AddObserver(this);
}

TFormSetup::~TFormSetup()
{
    session_.RemoveObserver(this);
    if (FormSetup == this)
        FormSetup = nullptr;
}

void TFormSetup::FillFromBlock()
{
    // The port editors fill themselves from the session's block here.
}

void TFormSetup::OnSetupOpened()
{
    show();
    raise();
    FillFromBlock();
}

void TFormSetup::OnSetupBlock() { FillFromBlock(); }

void TFormSetup::OnCloseSetup() { hide(); }

void TFormSetup::RzBitBtnCloseClick()
{
    hide();
    session_.CloseSetup();
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
