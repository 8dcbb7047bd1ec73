#include "update/UFormSoftware.h"

#include "monitor/FormPlacement.h"
#include "monitor/UiFont.h"

#include <QShowEvent>

TFormSoftware* FormSoftware = nullptr;

TFormSoftware::TFormSoftware(std::string settingsPath, QWidget* parent)
    : QDialog(parent), settingsPath_(std::move(settingsPath))
{
    FormSoftware = this;
    setWindowTitle("KM-7-TL - Update Firmware");
    setFont(UiFont());
    setModal(true);
    setMinimumSize(420, 100);
    setMaximumSize(500, 100);
    resize(420, 100);
    // Captions end 3 pixels before their lines, right-aligned.
    auto label = [this](const char* text, int y) {
        auto* l = new QLabel(text, this);
        l->setGeometry(2, y, 55, 17);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    label("File :", 3);
    label("Version :", 20);
    label("Messages :", 37);
    auto sunken = [this](const char* name, const char* hint, int x, int y, int w) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setGeometry(x, y, w, 17);
        l->setToolTip(hint);
        return l;
    };
    StaticTextSoftwareMux = sunken("StaticTextSoftwareMux", "Filename firmware", 60, 3, 270);
    StaticTextSoftwareMuxVersionSoftware =
        sunken("StaticTextSoftwareMuxVersionSoftware", "Version file firmware", 60, 20, 289);
    StaticTextMessage = sunken("StaticTextMessage", "Message line", 60, 37, 289);
    ButtonLoadSoftwareMux = new QPushButton("...", this);
    ButtonLoadSoftwareMux->setGeometry(331, 3, 17, 17);
    QFont bold = ButtonLoadSoftwareMux->font();
    bold.setBold(true);
    ButtonLoadSoftwareMux->setFont(bold);
    ButtonLoadSoftwareMux->setToolTip("Get file firmware");
    ButtonTransmitSoftwareMux = new QPushButton("Update", this);
    ButtonTransmitSoftwareMux->setGeometry(355, 15, 50, 25);
    ButtonTransmitSoftwareMux->setToolTip("Update firmware");
    ButtonTransmitSoftwareMux->setEnabled(false);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setGeometry(0, 83, 420, 17);
    ProgressBar->setRange(0, 100);
    ProgressBar->setEnabled(false);
    ProgressBar->setToolTip("Progress Bar for write firmware");
}

void TFormSoftware::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous()) {
        transferStarted_ = false;
        km7::RestorePlacement(this, settingsPath_, "FormSoftware", true);
    }
}

void TFormSoftware::hideEvent(QHideEvent* e)
{
    if (!e->spontaneous())
        km7::SavePlacement(this, settingsPath_, "FormSoftware", true);
    QDialog::hideEvent(e);
}
