#include "monitor/UFormMain.h"

#include "monitor/FormPlacement.h"
#include "monitor/UiFont.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QStyle>

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

namespace {

km7::DeviceSession::Environment SessionEnvironment(const TFormMain::Environment& env)
{
    km7::DeviceSession::Environment e;
    e.settingsPath = env.settingsPath;
    e.libraryPath = env.libraryPath;
    e.ports = env.ports;
    e.logDirectory = env.logDirectory;
    return e;
}

} // namespace

TFormMain::TFormMain(Environment env, QWidget* parent)
    : QWidget(parent), env_(std::move(env)),
      session_(std::make_unique<km7::DeviceSession>(SessionEnvironment(env_), windowThread_))
{
    FormMain = this;
    if (!env_.messageBoxes)
        env_.messageBoxes = &defaultBoxes_;
    session_->AddObserver(this);
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
    // Destroyed without a close (tests, abnormal end): the session frees the
    // port and the library after any running transaction.
    session_->RemoveObserver(this);
    if (FormMain == this)
        FormMain = nullptr;
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
    // The next poll starts no earlier than its interval after the last one.
    TimerStatistics->setTimerType(Qt::PreciseTimer);
    TimerLoopStatistics->setTimerType(Qt::PreciseTimer);
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
            *transit = label(GroupBoxChannels, "", 200, y0, 56);
            Hint(*transit, hint.toUtf8().constData());
        }
        pri = label(GroupBoxChannels, "", 256, y0, 33);
        Hint(pri, hint.toUtf8().constData());
    };
    for (int n = 0; n < 4; ++n) {
        channelRow(24 + 16 * n, QString("Phone #%1 :").arg(n + 1), QString("Phone Channel #%1 Info").arg(n + 1),
                   StaticTextPhone[n], &StaticTextPhoneTransit[n], StaticTextPhonePri[n], 128);
        StaticTextPhone[n]->setObjectName(QString("StaticTextPhone%1").arg(n + 1));
        StaticTextPhoneTransit[n]->setObjectName(QString("StaticTextPhoneTransit%1").arg(n + 1));
        StaticTextPhonePri[n]->setObjectName(QString("StaticTextPhonePri%1").arg(n + 1));
    }
    for (int n = 0; n < 6; ++n) {
        channelRow(96 + 16 * n, QString("Data #%1 :").arg(n + 1), QString("Data Channel #%1 Info").arg(n + 1),
                   StaticTextData[n], &StaticTextDataTransit[n], StaticTextDataPri[n], 128);
        StaticTextData[n]->setObjectName(QString("StaticTextData%1").arg(n + 1));
        StaticTextDataTransit[n]->setObjectName(QString("StaticTextDataTransit%1").arg(n + 1));
        StaticTextDataPri[n]->setObjectName(QString("StaticTextDataPri%1").arg(n + 1));
    }
    channelRow(200, "Ethernet :", "Ethernet Channel Info", StaticTextEthernet, nullptr, StaticTextEthernetPri, 177);
    StaticTextEthernet->setObjectName("StaticTextEthernet");
    StaticTextEthernetPri->setObjectName("StaticTextEthernetPri");

    // Indicators. A label runs beside its indicator, as high as it, up to
    // `right` (the next column's indicator, or the group's frame).
    auto shape = [&](QGroupBox* g, const char* name, int x, int yy, const char* text, QLabel** labelOut = nullptr,
                     int right = 0) {
        auto* s = new TShape(g);
        s->setObjectName(name);
        s->move(x, yy);
        if (right == 0)
            right = g->width() - 4;
        QLabel* l = label(g, text, x + 20, yy, right - x - 20);
        l->resize(l->width(), s->height());
        if (labelOut)
            *labelOut = l;
        return s;
    };
    GroupBoxE1 = group("GroupBoxE1", " E1 ", 256, 32, 145, 105);
    Hint(GroupBoxE1, "E1 interface circuits");
    ShapeLOF = shape(GroupBoxE1, "ShapeLOF", 10, 21, "LOF", nullptr, 64);
    ShapeLOS = shape(GroupBoxE1, "ShapeLOS", 10, 37, "LOS", nullptr, 64);
    ShapeRA = shape(GroupBoxE1, "ShapeRA", 10, 53, "RA", nullptr, 64);
    ShapeAI = shape(GroupBoxE1, "ShapeAI", 10, 69, "AI", nullptr, 64);
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
    if (session_->LoadLibrary()) {
        RzComboBoxPort->clear();
        for (const auto& n : session_->Ports())
            RzComboBoxPort->addItem(QString::fromStdString(n));
        if (RzComboBoxPort->count() > 0)
            RzComboBoxPort->setCurrentIndex(0);
        RzComboBoxPortChange();
    } else {
        env_.messageBoxes->Show(this, "Error", "Can't load serial.dll");
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
    session_->ReadSettings();
    const int found =
        RzComboBoxPort->findText(QString::fromStdString(session_->CurrentPortName()), Qt::MatchExactly);
    RzComboBoxPort->setCurrentIndex(found >= 0 ? found : (RzComboBoxPort->count() > 0 ? 0 : -1));
    RzComboBoxPortChange();
    SetCaption();
    StaticTextConnection->setText(RemoteMode() ? "Connect to remote KM-7-TL" : "Connect to local KM-7-TL");
    RzToolButtonUpdate->setEnabled(!RemoteMode());
    session_->StartLog();
}

void TFormMain::SetCaption() { setWindowTitle(QString::fromStdString(session_->Caption())); }

std::string TFormMain::SelectedPort() const
{
    return RzComboBoxPort->currentIndex() >= 0 ? RzComboBoxPort->currentText().toStdString() : std::string();
}

void TFormMain::RzComboBoxPortChange()
{
    if (!session_->LibraryLoaded())
        return;
    session_->SelectPort(SelectedPort());
    SetCaption();
}

void TFormMain::closeEvent(QCloseEvent* e)
{
    if (!closed_) {
        // No further command; the running one stops after its current read.
        session_->RequestClose();
        if (session_->Busy()) {
            if (!closeWait_.isValid())
                closeWait_.start();
            else if (closeWait_.elapsed() > 500)
                ShowMessage(" Closing: waiting for the device to end the running request...",
                            km7::Colour::WindowText);
            e->ignore();
            QTimer::singleShot(50, this, [this] { close(); });
            return;
        }
        FormCloseQuery();
        SavePlacement(this, env_.settingsPath, "FormMain", false);
        closed_ = true;
    }
    e->accept();
}

void TFormMain::FormCloseQuery()
{
    const std::string error = session_->Shutdown(SelectedPort());
    if (!error.empty())
        env_.messageBoxes->Show(this, "Error", QString::fromStdString(error));
}

// ---------------------------------------------------------------- painting

void TFormMain::ShowMessage(const std::string& text, km7::Colour colour)
{
    RzStatusPaneMessage->setText(QString::fromStdString(text));
    QPalette p = RzStatusPaneMessage->palette();
    p.setColor(QPalette::WindowText, ToQColor(colour));
    RzStatusPaneMessage->setPalette(p);
}

void TFormMain::OnMessage(const std::string& text, km7::Colour colour) { ShowMessage(text, colour); }

void TFormMain::SetText(QLabel* l, const km7::ColouredText& t)
{
    l->setText(QString::fromStdString(t.text));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, ToQColor(t.colour));
    l->setPalette(p);
}

void TFormMain::OnIdentification(const km7::MonitorDisplay& d)
{
    SetText(StaticTextMux, d.mux);
    SetText(StaticTextVersion, d.version);
    SetText(StaticTextState, d.state);
    SetText(StaticTextCable, d.cable);
    SetText(StaticTextModules, d.modules);
    SetText(StaticTextFillTime, d.fillTime);
    SetText(StaticTextCurrTime, d.currTime);
    SetText(StaticTextPacketsRxOK, d.rxOk);
    SetText(StaticTextPacketsRxErr, d.rxErr);
    ShowE1Alarms(d);
    ShowPort2Circuits(d);
    ShowVxIpStatus(d);
    GroupBoxVXIP->setVisible(d.vxipVisible && Connected());
}

void TFormMain::ShowE1Alarms(const km7::MonitorDisplay& d)
{
    TShape* e1[] = {ShapeLOF, ShapeLOS, ShapeRA, ShapeAI, ShapeLOT, ShapeE, ShapeCRC, ShapeCV};
    for (std::size_t i = 0; i < 8; ++i)
        e1[i]->SetColour(d.e1[i]);
}

void TFormMain::ShowPort2Circuits(const km7::MonitorDisplay& d)
{
    TShape* p2[] = {ShapeP2DTR, ShapeP2DSR, ShapeP2RTS, ShapeP2CTS, ShapeP2DCD};
    for (std::size_t i = 0; i < 5; ++i)
        p2[i]->SetColour(d.p2[i]);
}

void TFormMain::ShowVxIpStatus(const km7::MonitorDisplay& d)
{
    const km7::Indicator* ind[] = {&d.vxip.state, &d.vxip.n1, &d.vxip.n2, &d.vxip.n3, &d.vxip.n4};
    TShape* shapes[] = {Shape_State, Shape_N1, Shape_N2, Shape_N3, Shape_N4};
    QLabel* labels[] = {Label_State, Label_N1, Label_N2, Label_N3, Label_N4};
    for (std::size_t i = 0; i < 5; ++i) {
        shapes[i]->SetColour(ind[i]->colour);
        labels[i]->setText(QString::fromStdString(ind[i]->label));
        shapes[i]->setVisible(ind[i]->visible);
        labels[i]->setVisible(ind[i]->visible);
    }
}

void TFormMain::OnStateBlock(const km7::MonitorDisplay& d)
{
    SetText(StaticTextInterface, d.interface);
    SetText(StaticTextBitRatePx, d.bitRatePx);
    SetText(StaticTextBitRateOccupied, d.occupied);
    SetText(StaticTextBitRateFree, d.freeRate);
    ShowChannels(d);
}

void TFormMain::ShowChannels(const km7::MonitorDisplay& d)
{
    const km7::ChannelRows& rows = d.channels;
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

// ---------------------------------------------------------------- session reports

void TFormMain::OnConnectionState(km7::ConnectionState s)
{
    using km7::ConnectionState;
    const ConnectionState before = lastState_;
    lastState_ = s;
    const bool connected = s == ConnectionState::Connected;
    const bool idle = s == ConnectionState::Disconnected;
    // Neither the port nor the mode changes from the start of a connect to
    // the end of a disconnect.
    RzToolButtonRemote->setEnabled(idle);
    RzComboBoxPort->setEnabled(idle);
    RzToolButtonSetup->setEnabled(connected);
    RzToolButtonReset->setEnabled(connected);
    if (s == ConnectionState::Connecting || s == ConnectionState::Disconnecting)
        return;
    RzToolButtonState->setIcon(connected ? iconConnected_ : iconDisconnected_);
    RzToolButtonState->setChecked(connected);
    if (connected)
        RzToolButtonUpdate->setEnabled(!RemoteMode());
    else
        // A failed connect leaves Update off; a closed connection turns it on.
        RzToolButtonUpdate->setEnabled(before == ConnectionState::Disconnecting);
    GroupBoxState->setVisible(connected);
    GroupBoxStatistics->setVisible(connected);
    GroupBoxTests->setVisible(connected && !RemoteMode());
    // The session says which line group to show right after this.
    GroupBoxVXIP->setVisible(connected && Display().vxipVisible);
    if (!connected) {
        GroupBoxP2Nets->hide();
        GroupBoxE1->hide();
    }
    GroupBoxChannels->setVisible(connected);
}

void TFormMain::OnLineGroup(bool e1)
{
    GroupBoxE1->setVisible(e1 && Connected());
    GroupBoxP2Nets->setVisible(!e1 && Connected());
}

void TFormMain::OnRemoteProgress(bool on)
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

void TFormMain::StartPoll(km7::PollKind kind, int intervalMs)
{
    QTimer* t = kind == km7::PollKind::Statistics ? TimerStatistics : TimerLoopStatistics;
    t->setInterval(intervalMs);
    t->start();
}

void TFormMain::StopPolls()
{
    TimerStatistics->stop();
    TimerLoopStatistics->stop();
}

void TFormMain::OnLineTest(bool running)
{
    if (running) {
        RzToolButtonRemote->setEnabled(false);
        RzToolButtonUpdate->setEnabled(false);
        RzComboBoxTest->setEnabled(false);
        RzToolButtonSetup->setEnabled(false);
        RzBitBtnTest->setText("Disconnect");
        return;
    }
    // Back to idle: stopped, or the connection ended.
    RzBitBtnTest->setChecked(false);
    RzBitBtnTest->setText("Connect");
    RzComboBoxTest->setEnabled(true);
    RzToolButtonRemote->setEnabled(lastState_ == km7::ConnectionState::Disconnected);
    RzToolButtonUpdate->setEnabled(!RemoteMode());
    RzToolButtonSetup->setEnabled(Connected());
}

void TFormMain::OnRemoteMode(bool remote)
{
    RzToolButtonRemote->setChecked(remote);
    StaticTextConnection->setText(remote ? "Connect to remote KM-7-TL" : "Connect to local KM-7-TL");
    RzToolButtonUpdate->setEnabled(!remote);
}

// ---------------------------------------------------------------- handlers

void TFormMain::RzToolButtonStateClick()
{
    if (RzToolButtonState->isChecked()) {
        session_->Connect();
        return;
    }
    if (session_->State() == km7::ConnectionState::Connecting) {
        // Released while the connect sequence waits: stop it there.
        session_->CancelConnect();
        return;
    }
    session_->Disconnect();
}

void TFormMain::RzToolButtonRemoteClick()
{
    if (!session_->SetRemote(RzToolButtonRemote->isChecked()))
        RzToolButtonRemote->setChecked(RemoteMode());
}

void TFormMain::TimerStatisticsTimer()
{
    TimerStatistics->stop();
    session_->PollStatistics();
}

void TFormMain::TimerLoopStatisticsTimer()
{
    TimerLoopStatistics->stop();
    session_->PollLineTest();
}

void TFormMain::RzBitBtnClearStatisticsClick() { session_->ClearStatistics(); }

void TFormMain::RzToolButtonResetClick() { session_->Reset(); }

void TFormMain::RzToolButtonSetupClick() { session_->OpenSetup(); }

void TFormMain::RzToolButtonUpdateClick()
{
    session_->BeginUpdate();
    if (software_)
        software_->exec();
    session_->EndUpdate();
}

void TFormMain::RzToolButtonExitClick() { close(); }

void TFormMain::RzBitBtnTestClick()
{
    const bool start = RzBitBtnTest->isChecked();
    const std::uint8_t type = RzComboBoxTest->currentText() == "DL" ? 0 : 1;
    if (session_->LineTestClick(start, type) != 0)
        // Refused: the button stays where the click put it, with the
        // caption of the state the device is still in.
        RzBitBtnTest->setText(start ? "Connect" : "Disconnect");
}
