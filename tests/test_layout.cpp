// The fixed layouts of the main window and the update window: every text a
// label, button or list can show fits its place, and no label overlaps a
// neighbour. Run once as is and once with QT_SCALE_FACTOR=1.5.
#include "monitor/UFormMain.h"
#include "monitor/UiFont.h"
#include "update/UFormSoftware.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

// A name for failure messages: the object name, else the parent's, the
// caption and the place.
std::string NameOf(const QWidget* w)
{
    std::string name = w->objectName().toStdString();
    if (name.empty()) {
        const QWidget* p = w->parentWidget();
        const QRect g = w->geometry();
        const auto* l = qobject_cast<const QLabel*>(w);
        const std::string text = l && !l->text().isEmpty() ? " \"" + l->text().toStdString() + "\"" : "";
        name = (p ? p->objectName().toStdString() : std::string("?")) + text + " @(" + std::to_string(g.x()) + "," +
               std::to_string(g.y()) + " " + std::to_string(g.width()) + "x" + std::to_string(g.height()) + ")";
    }
    return name;
}

// The rectangle a label draws its text in, as QLabel computes it: the
// contents rectangle less the margin, and less the indent on the aligned
// side (a framed label indents by half an "x" unless told otherwise).
QRect TextRoom(const QLabel* l)
{
    const int m = l->margin();
    QRect r = l->contentsRect().adjusted(m, m, -m, -m);
    int indent = l->indent();
    if (indent < 0 && l->frameWidth() > 0)
        indent = l->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0) {
        const Qt::Alignment a = QStyle::visualAlignment(l->layoutDirection(), l->alignment());
        if (a & Qt::AlignLeft)
            r.setLeft(r.left() + indent);
        if (a & Qt::AlignRight)
            r.setRight(r.right() - indent);
    }
    return r;
}

// Empty when `text` fits the label with the label's own font.
std::string LabelMisfit(const QLabel* l, const QString& text)
{
    const QFontMetrics fm = l->fontMetrics();
    const QRect room = TextRoom(l);
    const int advance = fm.horizontalAdvance(text);
    std::string why;
    if (advance > room.width())
        why += " needs " + std::to_string(advance) + " px, has " + std::to_string(room.width());
    if (fm.height() > room.height())
        why += " is " + std::to_string(fm.height()) + " px high, has " + std::to_string(room.height());
    return why.empty() ? why : NameOf(l) + " \"" + text.toStdString() + "\"" + why;
}

std::string ButtonMisfit(const QPushButton* b, const QString& text)
{
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = text;
    const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
    const QFontMetrics fm = b->fontMetrics();
    const int advance = fm.horizontalAdvance(text);
    if (advance <= room.width() && fm.height() <= room.height())
        return {};
    return NameOf(b) + " \"" + text.toStdString() + "\" needs " + std::to_string(advance) + "x" +
           std::to_string(fm.height()) + " px, has " + std::to_string(room.width()) + "x" +
           std::to_string(room.height());
}

std::string ComboMisfit(const QComboBox* c, const QString& text)
{
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.editable = c->isEditable();
    opt.currentText = text;
    const QRect room = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    const int advance = c->fontMetrics().horizontalAdvance(text);
    if (advance <= room.width())
        return {};
    return NameOf(c) + " \"" + text.toStdString() + "\" needs " + std::to_string(advance) + " px, has " +
           std::to_string(room.width());
}

// Where the style draws the caption of a group box.
QRect GroupTitleRect(const QGroupBox* g)
{
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.textAlignment = g->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    opt.lineWidth = 1;
    return g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
}

// The caption of a group box lies inside the box, and its words (the
// blanks around them are padding) fit the place the style gives it.
std::string GroupTitleMisfit(const QGroupBox* g)
{
    const QRect title = GroupTitleRect(g);
    const int advance = g->fontMetrics().horizontalAdvance(g->title().trimmed());
    if (g->rect().contains(title) && advance <= title.width())
        return {};
    return NameOf(g) + " caption \"" + g->title().toStdString() + "\" needs " + std::to_string(advance) +
           " px, lies at x " + std::to_string(title.x()) + " w " + std::to_string(title.width());
}

// The widgets a label must not overlap: the other controls of its parent
// (Qt's own helpers, such as the tool bar's extension button, excepted).
std::vector<QWidget*> Siblings(const QWidget* w)
{
    std::vector<QWidget*> out;
    for (QObject* o : w->parentWidget()->children()) {
        auto* s = qobject_cast<QWidget*>(o);
        if (s && s != w && !s->isWindow() && !s->objectName().startsWith("qt_"))
            out.push_back(s);
    }
    return out;
}

// Every label of `window`: each of its texts fits, it lies inside its
// parent, it overlaps no sibling control and no group box caption.
// `longest` lists the texts of the labels whose text changes; a label that
// is empty and not listed is reported, so that a new display text cannot
// slip past this check. Returns one line per fault.
std::vector<std::string> LabelFaults(QWidget* window, const std::map<QLabel*, std::vector<QString>>& longest)
{
    std::vector<std::string> faults;
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l->window() != window)
            continue; // a label of another window owned by this one
        std::vector<QString> texts;
        if (auto it = longest.find(l); it != longest.end())
            texts = it->second;
        else if (!l->text().isEmpty())
            texts = {l->text()};
        else
            faults.push_back(NameOf(l) + ": a display label with no longest text in this test");
        const QString kept = l->text();
        for (const QString& t : texts) {
            l->setText(t);
            if (std::string why = LabelMisfit(l, t); !why.empty())
                faults.push_back(why);
        }
        l->setText(kept);

        QWidget* parent = l->parentWidget();
        if (!parent->rect().contains(l->geometry()))
            faults.push_back(NameOf(l) + " reaches out of " + NameOf(parent));
        for (QWidget* s : Siblings(l))
            if (l->geometry().intersects(s->geometry()))
                faults.push_back(NameOf(l) + " overlaps " + NameOf(s));
        if (auto* g = qobject_cast<QGroupBox*>(parent); g && l->geometry().intersects(GroupTitleRect(g)))
            faults.push_back(NameOf(l) + " overlaps the caption of " + NameOf(g));
    }
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) {
        if (g->window() != window)
            continue;
        if (std::string why = GroupTitleMisfit(g); !why.empty())
            faults.push_back(why);
    }
    return faults;
}

std::string Lines(const std::vector<std::string>& faults)
{
    std::string out;
    for (const std::string& f : faults)
        out += "\n  " + f;
    return out;
}

QString Dots(int n) { return QString(n, QLatin1Char('.')); }

// The main window without a device: no port, all groups shown as during a
// connection.
class MainWindow {
public:
    MainWindow()
    {
        TFormMain::Environment env;
        const auto file = [this](const char* name) { return dir_.filePath(name).toStdString(); };
        env.settingsPath = file("km7tl.ini");
        env.libraryPath = KM7_SERIAL_LIB;
        env.ports.announceFolder = file("ann");
        env.ports.sysClassTty = file("nosys");
        env.logDirectory = dir_.path().toStdString();
        form_ = std::make_unique<TFormMain>(env);
        software_ = new TFormSoftware(env.settingsPath, form_.get());
        form_->show();
        for (QGroupBox* g : form_->findChildren<QGroupBox*>())
            g->show();
        for (QLabel* l : form_->findChildren<QLabel*>())
            l->show();
        QApplication::processEvents();
    }
    ~MainWindow()
    {
        if (software_->isVisible())
            software_->hide();
        form_->close();
    }
    TFormMain* operator->() { return form_.get(); }
    TFormMain& form() { return *form_; }
    TFormSoftware& software() { return *software_; }

    // The longest texts each display label of the main window can show.
    std::map<QLabel*, std::vector<QString>> LongestTexts()
    {
        TFormMain& f = *form_;
        std::map<QLabel*, std::vector<QString>> m = {
            {f.StaticTextConnection, {"Connect to remote KM-7-TL", "Connect to local KM-7-TL"}},
            {f.RzStatusPaneMessage,
             {" No answer from local mux or firmware is loading!", " Access disabled from remote multiplexer!",
              " Access denied from remote multiplexer!", " Short configuration block from device!",
              "Can`t enter Setup. Try again!", " Can't load serial.dll", " Can't open port ttyUSB0"}},
            {f.StaticTextMux, {"KM-7-TL ???", "KM-7-TL-1", "KM-7-TL-2"}},
            {f.StaticTextVersion, {"255.255.15151515", "1.255.11005"}},
            {f.StaticTextState, {"Normal", "Error"}},
            {f.StaticTextInterface, {"UPI", "E1"}},
            {f.StaticTextCable,
             {"DTE RS-232/V.24", "DTE RS-449/530", "DTE RS-485", "DTE V.35", "DCE not support", "No Cable",
              "Cable error"}},
            {f.StaticTextModules, {"???, ETH100", "FXS, ETH100", "4TF, VX-IP", "FXO, E1", "Not detected"}},
            {f.StaticTextBitRatePx,
             {" 50,4 External", " 38,4 Internal", " 33,6 External", " 28,8 External", " 24,0 Internal",
              "  9,6 External", " 16 External", " ???", "External"}},
            {f.StaticTextBitRateOccupied, {"655350 bit/s"}},
            {f.StaticTextBitRateFree, {"-2147483648 bit/s", "2147483640 bit/s", "-655350 bit/s"}},
            {f.StaticTextFillTime, {"24854 d 23:59:59", "24855 d 3:14:07", "-3:0-4:0-8"}},
            {f.StaticTextCurrTime, {"24854 d 23:59:59", "24855 d 3:14:07", "-3:0-4:0-8"}},
            {f.StaticTextPacketsRxOK, {"-2.147.483.648", "4.294.967.295", "2.147.483.647"}},
            {f.StaticTextPacketsRxErr, {"-2.147.483.648", "4.294.967.295", "2.147.483.647"}},
            {f.StaticTextEthernet, {"Clipped, 17476000 bit/s", "On, 17476000 bit/s", "No module"}},
            {f.StaticTextEthernetPri, {"Pri 256", "Pri 11"}},
            {f.Label_State, {"Bootloader", "Active", "Fault"}},
            {f.Label_N1, {"FirmWare", "LINK1"}},
            {f.Label_N2, {"LINK2", "SRAM", "RAM"}},
            {f.Label_N3, {"Network interface", "Network Interface", "TX"}},
            {f.Label_N4, {"RX", "..."}},
        };
        for (QLabel* l : f.StaticTextPhone)
            m[l] = {"Clipped, VX-IP   FM Clip", "Clipped, UPI     FM Off", "On, VX-IP   FM On"};
        for (QLabel* l : f.StaticTextData)
            m[l] = {"Clipped, VX-IP, MMO 19200", "Clipped, VX-IP, MMO ???", "Clipped, VX-IP, TM 9600",
                    "On, UPI, TM 100"};
        for (QLabel* l : f.StaticTextPhoneTransit)
            m[l] = {"Transit Clip", "Transit Off", "Transit On"};
        for (QLabel* l : f.StaticTextDataTransit)
            m[l] = {"Transit Clip", "Transit Off", "Transit On"};
        for (QLabel* l : f.StaticTextPhonePri)
            m[l] = {"Pri 256", "Pri 11"};
        for (QLabel* l : f.StaticTextDataPri)
            m[l] = {"Pri 256", "Pri 11"};
        return m;
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<TFormMain> form_;
    TFormSoftware* software_ = nullptr;
};

// The longest texts of the update window's three lines. A file name has no
// bound; the one here is a long but ordinary name.
std::map<QLabel*, std::vector<QString>> UpdateLongestTexts(TFormSoftware& s)
{
    return {
        {s.StaticTextSoftwareMux, {" km7tl_1ch_v3_12_b0105.tqm - CRC16: 0xFFFF"}},
        {s.StaticTextSoftwareMuxVersionSoftware, {" PCB ver 255.1515, SW ver 255.255.15151515"}},
        {s.StaticTextMessage,
         {" SW 255.255.xx can't be load into 255.xx KM-7-TL !",
          " KM-7-TL software has been written successfully.", " Attempting to write KM-7-TL software" + Dots(16),
          " FLASH erasing ." + Dots(31), " FLASH not erased (error 0xFF)!", " FLASH writing terminated by user!",
          " KM-7-TL software has NOT been written!", " Can't open file \"km7tl_1ch_v3_12_b0105.tqm\" !",
          " File \"km7tl_1ch_v3_12_b0105.tqm\" is empty!", " Unknown result: 0xFF!", " You can update the firmware! ",
          " Can`t open COM-port!"}},
    };
}

std::vector<std::string> ControlFaults(const std::map<QPushButton*, std::vector<QString>>& buttons,
                                       const std::map<QComboBox*, std::vector<QString>>& lists)
{
    std::vector<std::string> faults;
    for (const auto& [b, texts] : buttons)
        for (const QString& t : texts)
            if (std::string why = ButtonMisfit(b, t); !why.empty())
                faults.push_back(why);
    for (const auto& [c, texts] : lists)
        for (const QString& t : texts)
            if (std::string why = ComboMisfit(c, t); !why.empty())
                faults.push_back(why);
    return faults;
}

std::vector<std::string> MainWindowFaults(MainWindow& w)
{
    std::vector<std::string> faults = LabelFaults(&w.form(), w.LongestTexts());
    const std::vector<std::string> more =
        ControlFaults({{w->RzBitBtnClearStatistics, {"Clear"}}, {w->RzBitBtnTest, {"Connect", "Disconnect"}}},
                      {{w->RzComboBoxTest, {"DL", "LL"}}, {w->RzComboBoxPort, {"COM256", "ttyUSB0", "ttyACM0"}}});
    faults.insert(faults.end(), more.begin(), more.end());
    return faults;
}

std::vector<std::string> UpdateWindowFaults(TFormSoftware& s)
{
    std::vector<std::string> faults = LabelFaults(&s, UpdateLongestTexts(s));
    const std::vector<std::string> more =
        ControlFaults({{s.ButtonTransmitSoftwareMux, {"Update", "Stop"}}, {s.ButtonLoadSoftwareMux, {"..."}}}, {});
    faults.insert(faults.end(), more.begin(), more.end());
    return faults;
}

} // namespace

TEST(Layout, MainWindowKeepsItsFixedPlaces)
{
    MainWindow w;
    EXPECT_EQ(w->size(), QSize(492, 396));
    const std::vector<std::pair<QWidget*, QRect>> places = {
        {w->GroupBoxState, QRect(8, 32, 169, 169)},      {w->GroupBoxStatistics, QRect(8, 208, 169, 113)},
        {w->GroupBoxChannels, QRect(184, 144, 297, 225)}, {w->GroupBoxE1, QRect(256, 32, 145, 105)},
        {w->GroupBoxP2Nets, QRect(184, 32, 65, 105)},     {w->GroupBoxVXIP, QRect(256, 32, 121, 105)},
        {w->ShapeLOF, QRect(10, 21, 15, 15)},             {w->ShapeCV, QRect(66, 69, 15, 15)},
        {w->ShapeP2DCD, QRect(10, 80, 15, 15)},           {w->Shape_N4, QRect(10, 80, 15, 15)},
    };
    for (const auto& [widget, rect] : places)
        EXPECT_EQ(widget->geometry(), rect) << NameOf(widget);
    // Channel columns: info at 72, transit at 200, priority at 256, 16 pixels a row.
    EXPECT_EQ(w->StaticTextPhone[0]->pos(), QPoint(72, 24));
    EXPECT_EQ(w->StaticTextPhoneTransit[3]->pos(), QPoint(200, 72));
    EXPECT_EQ(w->StaticTextDataPri[5]->pos(), QPoint(256, 176));
    EXPECT_EQ(w->StaticTextEthernet->pos(), QPoint(72, 200));
    EXPECT_EQ(w->StaticTextEthernetPri->pos(), QPoint(256, 200));
}

TEST(Layout, MainWindowTextsFitAndDoNotOverlap)
{
    MainWindow w;
    EXPECT_GE(w->font().pixelSize(), 9) << "a font too small to read";
    const std::vector<std::string> faults = MainWindowFaults(w);
    EXPECT_TRUE(faults.empty()) << Lines(faults);
}

TEST(Layout, UpdateWindowTextsFitAndDoNotOverlap)
{
    MainWindow w;
    TFormSoftware& s = w.software();
    s.show();
    QApplication::processEvents();
    EXPECT_EQ(s.font().toString().toStdString(), w->font().toString().toStdString()) << "one font for all windows";
    EXPECT_EQ(s.size(), QSize(420, 100));
    EXPECT_EQ(s.StaticTextSoftwareMux->geometry(), QRect(60, 3, 270, 17));
    EXPECT_EQ(s.StaticTextSoftwareMuxVersionSoftware->geometry(), QRect(60, 20, 289, 17));
    EXPECT_EQ(s.StaticTextMessage->geometry(), QRect(60, 37, 289, 17));
    const std::vector<std::string> faults = UpdateWindowFaults(s);
    EXPECT_TRUE(faults.empty()) << Lines(faults);
    s.hide();
}

// Whatever stand-in a machine has, the size chosen for it fits both
// windows.
TEST(Layout, EachStandInFontFitsAtTheSizeChosenForIt)
{
    int tried = 0;
    for (const char* family : {"DejaVu Sans Condensed", "DejaVu Sans", "Liberation Sans", "Liberation Sans Narrow",
                               "Nimbus Sans", "Sans Serif"}) {
        if (!QFontDatabase::families().contains(family, Qt::CaseInsensitive))
            continue;
        SCOPED_TRACE(family);
        ++tried;
        const std::optional<QFont> font = FitUiFont(family);
        ASSERT_TRUE(font.has_value()) << "no size from 11 to 8 pixels fits";
        MainWindow w;
        w->setFont(*font);
        w.software().setFont(*font);
        w.software().show();
        QApplication::processEvents();
        std::vector<std::string> faults = MainWindowFaults(w);
        const std::vector<std::string> update = UpdateWindowFaults(w.software());
        faults.insert(faults.end(), update.begin(), update.end());
        EXPECT_TRUE(faults.empty()) << font->family().toStdString() << " " << font->pixelSize() << " px:"
                                    << Lines(faults);
        w.software().hide();
    }
    if (tried == 0)
        GTEST_SKIP() << "none of the stand-in fonts is installed";
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
