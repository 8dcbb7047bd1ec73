#include "monitor/UFormMain.h"

#include "cfgfile/IniStore.h"
#include "config/UFormSetup.h"
#include "monitor/FormPlacement.h"
#include "update/UFormSoftware.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolTip>

TFormMain* FormMain = nullptr;

namespace {

constexpr int kClientWidth = 492;
constexpr int kClientHeight = 396;

QIcon StateIcon(const QColor& fill)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    p.drawEllipse(1, 1, 14, 14);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(8, 4, 8, 8);
    return QIcon(pm);
}

// The layout is in pixels for an 8-point "MS Sans Serif". Where that font
// is missing, a narrow sans serif of the same pixel height stands in, so
// that the texts fit their fixed places.
QFont UiFont()
{
    const QStringList installed = QFontDatabase::families();
    QString family = "Sans Serif";
    for (const char* candidate : {"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans Condensed",
                                  "Liberation Sans Narrow", "Nimbus Sans Narrow", "Arial Narrow"}) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            family = candidate;
            break;
        }
    }
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(family == "Sans Serif" ? 10 : 11);
    return f;
}

} // namespace

QColor ToQColor(km7::Colour c)
{
    switch (c) {
    case km7::Colour::Red: return QColor(255, 0, 0);
    case km7::Colour::Green: return QColor(0, 128, 0);
    case km7::Colour::Lime: return QColor(0, 255, 0);
    case km7::Colour::Teal: return QColor(0, 128, 128);
    case km7::Colour::Blue: return QColor(0, 0, 255);
    case km7::Colour::ButtonFace: return QApplication::palette().color(QPalette::Button);
    default: return QApplication::palette().color(QPalette::WindowText);
    }
}

TShape::TShape(QWidget* parent) : QWidget(parent) { setFixedSize(15, 15); }

void TShape::SetColour(km7::Colour c)
{
    if (c == colour_)
        return;
    colour_ = c;
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(ToQColor(colour_));
    p.drawRoundedRect(QRectF(0.5, 0.5, 14, 14), 4, 4);
}

TFormMain::TFormMain(Environment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)), link_(library_, windowThread_, *this)
{
    FormMain = this;
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(UiFont());
    iconDisconnected_ = StateIcon(QColor(160, 0, 0));
    iconConnected_ = StateIcon(QColor(0, 170, 0));
    BuildWindow();
    BuildDisplay();
    qApp->installEventFilter(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    if (!closed_) {
        // Destroyed without a close (tests, abnormal end): free the port and
        // the library all the same, after any running transaction.
        link_.WaitIdle();
        library_.ClosePort();
        library_.Unload();
    }
    if (FormMain == this)
        FormMain = nullptr;
}

void TFormMain::SetWindows(TFormSetup* setup, TFormSoftware* software)
{
    setup_ = setup;
    software_ = software;
}

void TFormMain::Hint(QWidget* w, const char* hint) { w->setToolTip(QString::fromUtf8(hint)); }

bool TFormMain::eventFilter(QObject* o, QEvent* e)
{
    // Hints show only while the Info button is down.
    if (e->type() == QEvent::ToolTip && !RzToolButtonHelp->isChecked() && o->isWidgetType() &&
        static_cast<QWidget*>(o)->window() == this)
        return true;
    return QWidget::eventFilter(o, e);
}

void TFormMain::BuildWindow()
{
    ToolBar = new QToolBar(this);
    ToolBar->setGeometry(0, 0, kClientWidth, 29);
    ToolBar->setIconSize(QSize(16, 16));
    ToolBar->setContentsMargins(0, 0, 0, 0);
    ToolBar->setMovable(false);
    auto button = [this](const char* name, const char* hint, QStyle::StandardPixmap icon, bool toggle) {
        auto* b = new QToolButton(ToolBar);
        b->setObjectName(name);
        b->setCheckable(toggle);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        Hint(b, hint);
        ToolBar->addWidget(b);
        return b;
    };
    RzToolButtonState = button("RzToolButtonState", "Check state Mux", QStyle::SP_DriveNetIcon, true);
    RzToolButtonState->setIcon(iconDisconnected_);
    RzToolButtonRemote = button("RzToolButtonRemote", "Remote Mux", QStyle::SP_ComputerIcon, true);
    RzToolButtonSetup = button("RzToolButtonSetup", "Setup Mux", QStyle::SP_FileDialogDetailedView, false);
    RzToolButtonReset = button("RzToolButtonReset", "Reset Mux", QStyle::SP_BrowserReload, false);
    RzToolButtonUpdate = button("RzToolButtonUpdate", "Update Firmware", QStyle::SP_ArrowUp, false);
    RzToolButtonHelp = button("RzToolButtonHelp", "Info", QStyle::SP_MessageBoxQuestion, true);
    RzToolButtonExit = button("RzToolButtonExit", "Exit", QStyle::SP_DialogCloseButton, false);
    RzToolButtonSetup->setEnabled(false);
    RzToolButtonReset->setEnabled(false);

    StaticTextConnection = new QLabel(ToolBar);
    StaticTextConnection->setObjectName("StaticTextConnection");
    StaticTextConnection->setFixedWidth(230);
    StaticTextConnection->setAlignment(Qt::AlignCenter);
    StaticTextConnection->setStyleSheet("color: rgb(255,0,0);");
    ToolBar->addWidget(StaticTextConnection);
    RzComboBoxPort = new QComboBox(ToolBar);
    RzComboBoxPort->setObjectName("RzComboBoxPort");
    RzComboBoxPort->setFixedWidth(72);
    RzComboBoxPort->setEditable(false);
    Hint(RzComboBoxPort, "COM Port");
    ToolBar->addWidget(RzComboBoxPort);

    StatusBar = new QStatusBar(this);
    StatusBar->setGeometry(0, kClientHeight - 20, kClientWidth, 20);
    StatusBar->setSizeGripEnabled(false);
    RzStatusPaneMessage = new QLabel(StatusBar);
    RzStatusPaneMessage->setObjectName("RzStatusPaneMessage");
    RzStatusPaneMessage->setFixedWidth(337);
    RzProgressStatus = new QProgressBar(StatusBar);
    RzProgressStatus->setObjectName("RzProgressStatus");
    RzProgressStatus->setRange(0, 100);
    RzProgressStatus->setValue(0);
    RzProgressStatus->setTextVisible(false);
    StatusBar->addWidget(RzStatusPaneMessage);
    StatusBar->addWidget(RzProgressStatus, 1);

    TimerStatistics = new QTimer(this);
    TimerLoopStatistics = new QTimer(this);
    TimerRemoteControl = new QTimer(this);
    TimerRemoteControl->setInterval(100);

    connect(RzToolButtonState, &QToolButton::clicked, this, [this] { RzToolButtonStateClick(); });
    connect(RzToolButtonRemote, &QToolButton::clicked, this, [this] { RzToolButtonRemoteClick(); });
    connect(RzToolButtonSetup, &QToolButton::clicked, this, [this] { RzToolButtonSetupClick(); });
    connect(RzToolButtonReset, &QToolButton::clicked, this, [this] { RzToolButtonResetClick(); });
    connect(RzToolButtonUpdate, &QToolButton::clicked, this, [this] { RzToolButtonUpdateClick(); });
    connect(RzToolButtonExit, &QToolButton::clicked, this, [this] { RzToolButtonExitClick(); });
    connect(RzComboBoxPort, qOverload<int>(&QComboBox::activated), this, [this] { RzComboBoxPortChange(); });
    connect(TimerStatistics, &QTimer::timeout, this, [this] { TimerStatisticsTimer(); });
    connect(TimerLoopStatistics, &QTimer::timeout, this, [this] { TimerLoopStatisticsTimer(); });
    connect(TimerRemoteControl, &QTimer::timeout, this, [this] { TimerRemoteControlTimer(); });
}

void TFormMain::BuildDisplay()
{
    auto group = [this](const char* name, const char* caption, int x, int y, int w, int h) {
        auto* g = new QGroupBox(QString::fromUtf8(caption), this);
        g->setObjectName(name);
        g->setGeometry(x, y, w, h);
        g->hide();
        return g;
    };
    auto label = [](QWidget* parent, const QString& text, int x, int y, int w, Qt::Alignment a = Qt::AlignLeft) {
        auto* l = new QLabel(text, parent);
        l->setGeometry(x, y, w, 16);
        l->setAlignment(a | Qt::AlignVCenter);
        return l;
    };
    // State group: right-aligned captions before their texts.
    GroupBoxState = group("GroupBoxState", " State ", 8, 32, 169, 169);
    struct Row {
        QLabel** target;
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Row stateRows[] = {
        {&StaticTextMux, "StaticTextMux", "Multiplexer :", "Multiplexer type"},
        {&StaticTextVersion, "StaticTextVersion", "Version :", "Multiplexer version software"},
        {&StaticTextState, "StaticTextState", "State :", "Multiplexer state"},
        {&StaticTextInterface, "StaticTextInterface", "Interface :", "Multiplexer active interface"},
        {&StaticTextCable, "StaticTextCable", "Cable :", "P2 type cable"},
        {&StaticTextModules, "StaticTextModules", "Modules :", "Modules type"},
        {&StaticTextBitRatePx, "StaticTextBitRatePx", "BitRate P2 :", "Port 2 bitrate"},
        {&StaticTextBitRateOccupied, "StaticTextBitRateOccupied", "Occupied :", "Port 2 occupied bitrate"},
        {&StaticTextBitRateFree, "StaticTextBitRateFree", "Free :", "Port 2 free bitrate"},
    };
    int y = 18;
    for (const Row& r : stateRows) {
        label(GroupBoxState, r.caption, 2, y, 70, Qt::AlignRight);
        *r.target = label(GroupBoxState, "", 76, y, 90);
        (*r.target)->setObjectName(r.name);
        Hint(*r.target, r.hint);
        y += 16;
    }
    GroupBoxStatistics = group("GroupBoxStatistics", " Statistics ", 8, 208, 169, 113);
    const Row statRows[] = {
        {&StaticTextFillTime, "StaticTextFillTime", "Full time :", "Full time statistic"},
        {&StaticTextCurrTime, "StaticTextCurrTime", "Curr. time :", "Current time statistic"},
        {&StaticTextPacketsRxOK, "StaticTextPacketsRxOK", "RxOK packets :", "RxOK packets statistic"},
        {&StaticTextPacketsRxErr, "StaticTextPacketsRxErr", "RxErr packets :", "RxErr packets statistic"},
    };
    y = 18;
    for (const Row& r : statRows) {
        label(GroupBoxStatistics, r.caption, 2, y, 78, Qt::AlignRight);
        *r.target = label(GroupBoxStatistics, "", 84, y, 82);
        (*r.target)->setObjectName(r.name);
        Hint(*r.target, r.hint);
        y += 16;
    }
    RzBitBtnClearStatistics = new QPushButton("Clear", GroupBoxStatistics);
    RzBitBtnClearStatistics->setObjectName("RzBitBtnClearStatistics");
    RzBitBtnClearStatistics->setGeometry(92, 84, 70, 22);
    Hint(RzBitBtnClearStatistics, "Clear Statistics");
    connect(RzBitBtnClearStatistics, &QPushButton::clicked, this, [this] { RzBitBtnClearStatisticsClick(); });

    // Tests group, below the statistics.
    GroupBoxTests = group("GroupBoxTests", " Tests ", 8, 322, 169, 50);
    RzComboBoxTest = new QComboBox(GroupBoxTests);
    RzComboBoxTest->setObjectName("RzComboBoxTest");
    RzComboBoxTest->addItems({"DL", "LL"});
    RzComboBoxTest->setCurrentIndex(0);
    RzComboBoxTest->setGeometry(8, 18, 56, 24);
    Hint(RzComboBoxTest, "Test type");
    RzBitBtnTest = new QPushButton("Connect", GroupBoxTests);
    RzBitBtnTest->setObjectName("RzBitBtnTest");
    RzBitBtnTest->setCheckable(true);
    RzBitBtnTest->setGeometry(72, 18, 88, 24);
    Hint(RzBitBtnTest, "Connect/Disconnect Test");
    connect(RzBitBtnTest, &QPushButton::clicked, this, [this] { RzBitBtnTestClick(); });

    // Channels.
    GroupBoxChannels = group("GroupBoxChannels", " Channels ", 184, 144, 297, 225);
    auto channelRow = [&](int y0, const QString& caption, const QString& hint, QLabel*& info,
                          QLabel** transit, QLabel*& pri, int infoWidth) {
        label(GroupBoxChannels, caption, 8, y0, 57, Qt::AlignRight);
        info = label(GroupBoxChannels, "", 72, y0, infoWidth);
        Hint(info, hint.toUtf8().constData());
        if (transit) {
            *transit = label(GroupBoxChannels, "", 200, y0, 57);
            Hint(*transit, hint.toUtf8().constData());
        }
        pri = label(GroupBoxChannels, "", 256, y0, 33);
        Hint(pri, hint.toUtf8().constData());
    };
    for (int n = 0; n < 4; ++n) {
        channelRow(24 + 16 * n, QString("Phone #%1 :").arg(n + 1), QString("Phone Channel #%1 Info").arg(n + 1),
                   StaticTextPhone[n], &StaticTextPhoneTransit[n], StaticTextPhonePri[n], 129);
        StaticTextPhone[n]->setObjectName(QString("StaticTextPhone%1").arg(n + 1));
        StaticTextPhoneTransit[n]->setObjectName(QString("StaticTextPhoneTransit%1").arg(n + 1));
        StaticTextPhonePri[n]->setObjectName(QString("StaticTextPhonePri%1").arg(n + 1));
    }
    for (int n = 0; n < 6; ++n) {
        channelRow(96 + 16 * n, QString("Data #%1 :").arg(n + 1), QString("Data Channel #%1 Info").arg(n + 1),
                   StaticTextData[n], &StaticTextDataTransit[n], StaticTextDataPri[n], 129);
        StaticTextData[n]->setObjectName(QString("StaticTextData%1").arg(n + 1));
        StaticTextDataTransit[n]->setObjectName(QString("StaticTextDataTransit%1").arg(n + 1));
        StaticTextDataPri[n]->setObjectName(QString("StaticTextDataPri%1").arg(n + 1));
    }
    channelRow(200, "Ethernet :", "Ethernet Channel Info", StaticTextEthernet, nullptr, StaticTextEthernetPri, 177);
    StaticTextEthernet->setObjectName("StaticTextEthernet");
    StaticTextEthernetPri->setObjectName("StaticTextEthernetPri");

    // Indicators.
    auto shape = [&](QGroupBox* g, const char* name, int x, int yy, const char* text, QLabel** labelOut = nullptr) {
        auto* s = new TShape(g);
        s->setObjectName(name);
        s->move(x, yy);
        QLabel* l = label(g, text, x + 20, yy, 90);
        l->setGeometry(x + 20, yy - 1, g->width() - x - 24, 17);
        if (labelOut)
            *labelOut = l;
        return s;
    };
    GroupBoxE1 = group("GroupBoxE1", " E1 ", 256, 32, 145, 105);
    Hint(GroupBoxE1, "E1 interface circuits");
    ShapeLOF = shape(GroupBoxE1, "ShapeLOF", 10, 21, "LOF");
    ShapeLOS = shape(GroupBoxE1, "ShapeLOS", 10, 37, "LOS");
    ShapeRA = shape(GroupBoxE1, "ShapeRA", 10, 53, "RA");
    ShapeAI = shape(GroupBoxE1, "ShapeAI", 10, 69, "AI");
    ShapeLOT = shape(GroupBoxE1, "ShapeLOT", 66, 21, "LOT");
    ShapeE = shape(GroupBoxE1, "ShapeE", 66, 37, "E");
    ShapeCRC = shape(GroupBoxE1, "ShapeCRC", 66, 53, "CRC");
    ShapeCV = shape(GroupBoxE1, "ShapeCV", 66, 69, "CV");
    GroupBoxP2Nets = group("GroupBoxP2Nets", " Port 2 ", 184, 32, 65, 105);
    Hint(GroupBoxP2Nets, "Port 2 interface circuits");
    ShapeP2DTR = shape(GroupBoxP2Nets, "ShapeP2DTR", 10, 16, "DTR");
    ShapeP2DSR = shape(GroupBoxP2Nets, "ShapeP2DSR", 10, 32, "DSR");
    ShapeP2RTS = shape(GroupBoxP2Nets, "ShapeP2RTS", 10, 48, "RTS");
    ShapeP2CTS = shape(GroupBoxP2Nets, "ShapeP2CTS", 10, 64, "CTS");
    ShapeP2DCD = shape(GroupBoxP2Nets, "ShapeP2DCD", 10, 80, "DCD");
    GroupBoxVXIP = group("GroupBoxVXIP", " VX-IP ", 256, 32, 121, 105);
    Hint(GroupBoxVXIP, "E1 interface circuits");
    Shape_State = shape(GroupBoxVXIP, "Shape_State", 10, 16, "Active", &Label_State);
    Shape_N1 = shape(GroupBoxVXIP, "Shape_N1", 10, 32, "FirmWare", &Label_N1);
    Shape_N2 = shape(GroupBoxVXIP, "Shape_N2", 10, 48, "SRAM", &Label_N2);
    Shape_N3 = shape(GroupBoxVXIP, "Shape_N3", 10, 64, "Network Interface", &Label_N3);
    Shape_N4 = shape(GroupBoxVXIP, "Shape_N4", 10, 80, "...", &Label_N4);
    GroupBoxVXIP->raise(); // lies in front of the E1 group
}

// ---------------------------------------------------------------- start-up

void TFormMain::FormCreate()
{
    QApplication::setApplicationName(km7::kVersionString);
    libraryLoaded_ = library_.Load(env_.libraryPath);
    if (libraryLoaded_) {
        portList_ = env_.ports.Enumerate();
        RzComboBoxPort->clear();
        for (const auto& n : portList_)
            RzComboBoxPort->addItem(QString::fromStdString(n));
        if (RzComboBoxPort->count() > 0)
            RzComboBoxPort->setCurrentIndex(0);
        RzComboBoxPortChange();
    } else {
        library_.Unload();
        QMessageBox box(QMessageBox::NoIcon, "Error", "Can't load serial.dll", QMessageBox::Ok, this);
        if (QGuiApplication::platformName() != "offscreen")
            box.exec();
    }
}

void TFormMain::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (e->spontaneous())
        return; // a restore from the task bar is not a new show
    RestorePlacement(this, env_.settingsPath, "FormMain", false);
    FormShow();
}

void TFormMain::FormShow()
{
    settings_ = km7::ReadMainSettings(env_.settingsPath);
    currentPortName_ = settings_.comPort;
    const int found = RzComboBoxPort->findText(QString::fromStdString(currentPortName_), Qt::MatchExactly);
    RzComboBoxPort->setCurrentIndex(found >= 0 ? found : (RzComboBoxPort->count() > 0 ? 0 : -1));
    RzComboBoxPortChange();
    SetCaption();
    StaticTextConnection->setText(RemoteMode() ? "Connect to remote KM-7-TL" : "Connect to local KM-7-TL");
    RzToolButtonUpdate->setEnabled(!RemoteMode());
    ReleaseLog();
    NewLog();
}

void TFormMain::SetCaption()
{
    setWindowTitle(QString::fromStdString(std::string(km7::kVersionString) + " " + currentPortName_));
}

void TFormMain::NewLog()
{
    log_ = std::make_unique<km7::TLog>(windowTitle().toStdString(), settings_.logEnabled, env_.logDirectory);
    log_->WriteLine(std::string(km7::kVersionString) + " started.");
}

void TFormMain::ReleaseLog() { log_.reset(); }

std::string TFormMain::SelectedPort() const
{
    return RzComboBoxPort->currentIndex() >= 0 ? RzComboBoxPort->currentText().toStdString() : std::string();
}

void TFormMain::RzComboBoxPortChange()
{
    if (!libraryLoaded_)
        return;
    const std::string text = SelectedPort();
    libraryPortName_ = env_.ports.PathFor(text);
    if (text == currentPortName_)
        return;
    if (log_) {
        log_->WriteLine(std::string(km7::kVersionString) + " stopped.");
        ReleaseLog();
    }
    currentPortName_ = text;
    SetCaption();
    NewLog();
}

void TFormMain::closeEvent(QCloseEvent* e)
{
    if (link_.Busy()) {
        // A transaction still reads the port: close once it has ended.
        StopPolls();
        e->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    if (!closed_) {
        FormCloseQuery();
        SavePlacement(this, env_.settingsPath, "FormMain", false);
        closed_ = true;
    }
    if (setup_)
        setup_->hide();
    e->accept();
}

void TFormMain::FormCloseQuery()
{
    StopPolls();
    km7::WriteMainSettings(env_.settingsPath, settings_, display_.deviceType, SelectedPort());
    ClosePort();
    portList_.clear();
    if (libraryLoaded_) {
        library_.Unload();
        libraryLoaded_ = false;
    }
    if (log_)
        log_->WriteLine(std::string(km7::kVersionString) + " stopped.");
    ReleaseLog();
}

void TFormMain::ClosePort()
{
    link_.WaitIdle(); // never pull the port from under a reading worker
    library_.ClosePort();
}

// ---------------------------------------------------------------- link

std::uint8_t TFormMain::Issue(std::uint8_t code, const std::uint8_t* payload, std::uint8_t length)
{
    return link_.Issue(code, payload, length);
}

void TFormMain::ShowMessage(const std::string& text, km7::Colour colour)
{
    RzStatusPaneMessage->setText(QString::fromStdString(text));
    QPalette p = RzStatusPaneMessage->palette();
    p.setColor(QPalette::WindowText, ToQColor(colour));
    RzStatusPaneMessage->setPalette(p);
}

void TFormMain::OnErrorText(const std::string& text) { ShowMessage(text, km7::Colour::Red); }

void TFormMain::OnAnswer()
{
    if (log_)
        log_->answerFlag = true;
}

void TFormMain::OnNoAnswer()
{
    if (log_ && log_->answerFlag) {
        log_->WriteLine("No connection to device over port 3");
        log_->answerFlag = false;
    }
}

void TFormMain::SetText(QLabel* l, const km7::ColouredText& t)
{
    l->setText(QString::fromStdString(t.text));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, ToQColor(t.colour));
    l->setPalette(p);
}

void TFormMain::OnIdentification(const km7::Response& r)
{
    ShowMessage("", km7::Colour::WindowText);
    km7::DecodeIdentification(display_, r.data.data(), r.length);
    // The stored values change only with the device; write them when they do.
    const std::string type = km7::DeviceTypeName(display_.deviceType);
    if (type != lastVorxType_) {
        km7::WriteProfileString(env_.settingsPath, km7::kSettingsSection, "VORXType", type);
        lastVorxType_ = type;
    }
    if (display_.version.text != lastVorxVersion_) {
        km7::WriteProfileString(env_.settingsPath, km7::kSettingsSection, "VORXVersion", display_.version.text);
        lastVorxVersion_ = display_.version.text;
    }
    PaintIdentification();
}

void TFormMain::OnStateBlock(const km7::Response& r)
{
    if (r.length < km7::ConfigBlock::kSize) {
        // A cut block would replace the configuration with zeros, and a later
        // send would write them into the device: keep the block we have.
        ShowMessage(" Short configuration block from device!", km7::Colour::Red);
        return;
    }
    ShowMessage("", km7::Colour::WindowText);
    km7::DecodeStateBlock(display_, r.data.data(), r.length);
    PaintStateBlock();
}

void TFormMain::OnSetupBlock(const km7::Response&)
{
    if (setup_)
        setup_->FillFromBlock();
}

void TFormMain::PaintIdentification()
{
    SetText(StaticTextMux, display_.mux);
    SetText(StaticTextVersion, display_.version);
    SetText(StaticTextState, display_.state);
    SetText(StaticTextCable, display_.cable);
    SetText(StaticTextModules, display_.modules);
    SetText(StaticTextFillTime, display_.fillTime);
    SetText(StaticTextCurrTime, display_.currTime);
    SetText(StaticTextPacketsRxOK, display_.rxOk);
    SetText(StaticTextPacketsRxErr, display_.rxErr);
    PaintIndicators();
    GroupBoxVXIP->setVisible(display_.vxipVisible && Connected());
}

void TFormMain::PaintIndicators()
{
    TShape* e1[] = {ShapeLOF, ShapeLOS, ShapeRA, ShapeAI, ShapeLOT, ShapeE, ShapeCRC, ShapeCV};
    for (std::size_t i = 0; i < 8; ++i)
        e1[i]->SetColour(display_.e1[i]);
    TShape* p2[] = {ShapeP2DTR, ShapeP2DSR, ShapeP2RTS, ShapeP2CTS, ShapeP2DCD};
    for (std::size_t i = 0; i < 5; ++i)
        p2[i]->SetColour(display_.p2[i]);
    const km7::Indicator* ind[] = {&display_.vxip.state, &display_.vxip.n1, &display_.vxip.n2, &display_.vxip.n3,
                                   &display_.vxip.n4};
    TShape* shapes[] = {Shape_State, Shape_N1, Shape_N2, Shape_N3, Shape_N4};
    QLabel* labels[] = {Label_State, Label_N1, Label_N2, Label_N3, Label_N4};
    for (std::size_t i = 0; i < 5; ++i) {
        shapes[i]->SetColour(ind[i]->colour);
        labels[i]->setText(QString::fromStdString(ind[i]->label));
        shapes[i]->setVisible(ind[i]->visible);
        labels[i]->setVisible(ind[i]->visible);
    }
}

void TFormMain::PaintStateBlock()
{
    SetText(StaticTextInterface, display_.interface);
    SetText(StaticTextBitRatePx, display_.bitRatePx);
    SetText(StaticTextBitRateOccupied, display_.occupied);
    SetText(StaticTextBitRateFree, display_.freeRate);
    const km7::ChannelRows& rows = display_.channels;
    auto paintRow = [this](const km7::ChannelRow& row, QLabel* info, QLabel* transit, QLabel* pri) {
        SetText(info, row.info);
        transit->setVisible(row.transitVisible);
        if (row.transitVisible)
            SetText(transit, row.transit);
        pri->setText(QString::fromStdString(row.priority));
    };
    for (std::size_t n = 0; n < 4; ++n)
        paintRow(rows.phone[n], StaticTextPhone[n], StaticTextPhoneTransit[n], StaticTextPhonePri[n]);
    for (std::size_t n = 0; n < 6; ++n)
        paintRow(rows.data[n], StaticTextData[n], StaticTextDataTransit[n], StaticTextDataPri[n]);
    SetText(StaticTextEthernet, rows.ethernet);
    StaticTextEthernetPri->setText(QString::fromStdString(rows.ethernetPri));
}

// ---------------------------------------------------------------- connection

std::uint8_t TFormMain::BlockRequestCode() const
{
    // In remote mode the polls and Setup ask the remote device for its own
    // block, as the connect sequence does.
    return RemoteMode() ? km7::cmd::RemoteStateBlock : km7::cmd::StateBlock;
}

void TFormMain::RemoteProgress(bool on)
{
    if (on)
        TimerRemoteControl->start();
    else
        TimerRemoteControl->stop();
    RzProgressStatus->setValue(0);
}

void TFormMain::TimerRemoteControlTimer()
{
    RzProgressStatus->setValue(std::min(100, RzProgressStatus->value() + 1));
}

void TFormMain::StartStatisticsPoll()
{
    TimerStatistics->setInterval(settings_.statInterval);
    TimerStatistics->start();
}

void TFormMain::StartLoopPoll()
{
    TimerLoopStatistics->setInterval(settings_.loopInterval);
    TimerLoopStatistics->start();
}

void TFormMain::StopPolls()
{
    TimerStatistics->stop();
    TimerLoopStatistics->stop();
}

void TFormMain::StartRightPoll()
{
    if (!Connected())
        return;
    if (RzBitBtnTest->isChecked())
        StartLoopPoll();
    else
        StartStatisticsPoll();
}

void TFormMain::RzToolButtonStateClick()
{
    if (!RzToolButtonState->isChecked()) {
        Disconnect();
        return;
    }
    if (setup_)
        setup_->hide();
    const bool remote = RemoteMode();
    if (log_)
        log_->ResetStates();
    bool ok = libraryLoaded_ && library_.OpenPort(libraryPortName_) == 0;
    if (!ok && !libraryLoaded_)
        ShowMessage(" Can't load serial.dll", km7::Colour::Red);
    else if (!ok)
        ShowMessage(" Can't open port " + currentPortName_, km7::Colour::Red);
    if (ok) {
        using namespace km7::cmd;
        const std::vector<std::uint8_t> seq = remote
            ? std::vector<std::uint8_t>{RemoteOpen, RemoteConnect, RemoteIdentification, RemoteStateBlock}
            : std::vector<std::uint8_t>{Connect, Identification, StateBlock};
        if (remote)
            RemoteProgress(true);
        for (std::uint8_t code : seq) {
            // The operator may release the button while a request waits.
            if (Issue(code) != 0 || !RzToolButtonState->isChecked()) {
                ok = false;
                break;
            }
        }
    }
    RemoteProgress(false);
    RzToolButtonState->setIcon(ok ? iconConnected_ : iconDisconnected_);
    RzToolButtonState->setChecked(ok);
    RzToolButtonRemote->setEnabled(!ok);
    RzComboBoxPort->setEnabled(!ok);
    RzToolButtonSetup->setEnabled(ok);
    RzToolButtonReset->setEnabled(ok);
    RzToolButtonUpdate->setEnabled(ok && !remote);
    GroupBoxState->setVisible(ok);
    GroupBoxStatistics->setVisible(ok);
    GroupBoxTests->setVisible(ok && !remote);
    if (ok) {
        const bool e1 = display_.block.liType() == 1;
        GroupBoxE1->setVisible(e1);
        GroupBoxP2Nets->setVisible(!e1);
        GroupBoxVXIP->setVisible(display_.ident.port1Module() == 4);
    }
    GroupBoxChannels->setVisible(ok);
    if (ok) {
        if (log_) {
            log_->CheckStates(display_, remote);
            log_->connectionLineFlag = true;
        }
        StartStatisticsPoll();
    } else {
        ClosePort();
    }
    TimerLoopStatistics->stop();
}

void TFormMain::Disconnect()
{
    if (setup_)
        setup_->hide();
    const bool remote = RemoteMode();
    StopPolls();
    if (remote) {
        RemoteProgress(true);
        Issue(km7::cmd::RemoteClose);
    }
    RemoteProgress(false);
    ClosePort();
    RzToolButtonState->setIcon(iconDisconnected_);
    RzToolButtonState->setChecked(false);
    RzToolButtonRemote->setEnabled(true);
    RzToolButtonUpdate->setEnabled(true);
    RzComboBoxPort->setEnabled(true);
    RzToolButtonSetup->setEnabled(false);
    RzToolButtonReset->setEnabled(false);
    for (QGroupBox* g : {GroupBoxState, GroupBoxStatistics, GroupBoxTests, GroupBoxP2Nets, GroupBoxE1, GroupBoxVXIP,
                         GroupBoxChannels})
        g->hide();
    ShowMessage("", km7::Colour::WindowText);
    if (log_)
        log_->WriteLine(std::string("Connection to ") + (remote ? "remote" : "local") + " " +
                        StaticTextMux->text().toStdString() + " is closed");
}

void TFormMain::RzToolButtonRemoteClick()
{
    StaticTextConnection->setText(RemoteMode() ? "Connect to remote KM-7-TL" : "Connect to local KM-7-TL");
    RzToolButtonUpdate->setEnabled(!RemoteMode());
}

void TFormMain::TimerStatisticsTimer()
{
    TimerStatistics->stop();
    if (!Connected())
        return; // no poll on a closed port
    Issue(RemoteMode() ? km7::cmd::RemoteIdentification : km7::cmd::Identification);
    if (!Connected())
        return; // disconnected while the request ran
    Issue(BlockRequestCode());
    if (!Connected())
        return;
    if (log_ && log_->answerFlag)
        log_->CheckStates(display_, RemoteMode());
    if (!TimerLoopStatistics->isActive() && !(setup_ && setup_->isVisible()))
        StartStatisticsPoll();
}

void TFormMain::TimerLoopStatisticsTimer()
{
    TimerLoopStatistics->stop();
    if (!Connected())
        return;
    Issue(km7::cmd::Identification);
    if (!Connected())
        return;
    Issue(km7::cmd::StateBlock);
    if (!Connected())
        return;
    if (log_ && log_->answerFlag)
        log_->CheckStates(display_, RemoteMode());
    if (!TimerStatistics->isActive() && RzBitBtnTest->isChecked())
        StartLoopPoll();
}

void TFormMain::RzBitBtnClearStatisticsClick()
{
    StopPolls();
    Issue(RemoteMode() ? km7::cmd::RemoteClearStatistics : km7::cmd::ClearStatistics);
    if (!Connected())
        return;
    if (RzBitBtnTest->isChecked())
        StartLoopPoll();
    else
        StartStatisticsPoll();
}

void TFormMain::RzToolButtonResetClick()
{
    TimerStatistics->stop();
    std::uint8_t r = Issue(km7::cmd::Reset1);
    if (r == 0)
        r = Issue(km7::cmd::Reset2);
    if (r == 0) {
        RzToolButtonRemote->setChecked(false);
        RzToolButtonRemoteClick();
        RzToolButtonState->setChecked(false);
        Disconnect();
    } else if (Connected() && !TimerLoopStatistics->isActive()) {
        StartStatisticsPoll();
    }
}

void TFormMain::RzToolButtonSetupClick()
{
    StopPolls();
    if (Issue(BlockRequestCode()) != 0) {
        RzStatusPaneMessage->setText("Can`t enter Setup. Try again!");
        return;
    }
    if (setup_) {
        setup_->show();
        setup_->raise();
        setup_->FillFromBlock();
    }
}

void TFormMain::RzToolButtonUpdateClick()
{
    TimerStatistics->stop();
    bool started = false;
    if (software_) {
        software_->exec();
        started = software_->TransferStarted();
    }
    if (started) {
        RzToolButtonState->setChecked(false);
        Disconnect();
    } else if (Connected() && !TimerLoopStatistics->isActive()) {
        StartStatisticsPoll();
    }
}

void TFormMain::RzToolButtonExitClick()
{
    if (!link_.Busy())
        ClosePort();
    close();
}

void TFormMain::RzBitBtnTestClick()
{
    if (setup_)
        setup_->hide();
    StopPolls();
    std::uint8_t type = RzComboBoxTest->currentText() == "DL" ? 0 : 1;
    if (RzBitBtnTest->isChecked()) {
        if (Issue(km7::cmd::TestStart, &type, 1) == 0) {
            RzToolButtonRemote->setEnabled(false);
            RzToolButtonUpdate->setEnabled(false);
            RzComboBoxTest->setEnabled(false);
            RzToolButtonSetup->setEnabled(false);
            RzBitBtnTest->setText("Disconnect");
            StartLoopPoll();
        } else {
            RzBitBtnTest->setText("Connect");
            if (Connected())
                StartStatisticsPoll();
        }
    } else {
        if (Issue(km7::cmd::TestStop, &type, 1) == 0) {
            // The remote button stays disabled while connected.
            RzToolButtonRemote->setEnabled(!Connected());
            RzToolButtonUpdate->setEnabled(!RemoteMode());
            RzComboBoxTest->setEnabled(true);
            RzToolButtonSetup->setEnabled(Connected());
            RzBitBtnTest->setText("Connect");
            TimerLoopStatistics->stop();
            display_.block.setTestFlags(0);
            if (Connected())
                StartStatisticsPoll();
        } else {
            RzBitBtnTest->setText("Disconnect");
            if (Connected())
                StartLoopPoll();
        }
    }
}

void TFormMain::SendConfiguration()
{
    const bool remote = RemoteMode();
    km7::ConfigBlock payload = display_.block; // stays put while the window processes messages
    Issue(remote ? km7::cmd::RemoteSetConfig : km7::cmd::SetConfig, payload.Payload(),
          static_cast<std::uint8_t>(km7::ConfigBlock::kSize));
    Issue(remote ? km7::cmd::RemoteIdentification : km7::cmd::Identification);
    Issue(remote ? km7::cmd::RemoteStateBlock : km7::cmd::StateBlock);
    const bool e1 = display_.block.liType() == 1;
    GroupBoxE1->setVisible(e1 && Connected());
    GroupBoxP2Nets->setVisible(!e1 && Connected());
    if (setup_)
        setup_->FillFromBlock();
}
