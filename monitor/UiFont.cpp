#include "monitor/UiFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>

namespace {

// The tightest places of the main window and the update window: the room,
// in pixels, that a label leaves for its text, and the longest text it
// shows there.
struct Place {
    int room;
    const char* text;
};

const Place kPlaces[] = {
    // Main window, channel rows: priority, transit, info, Ethernet info
    // and the captions.
    {33, "Pri 256"},
    {56, "Transit Clip"},
    {128, "Clipped, VX-IP, MMO 19200"},
    {128, "Clipped, VX-IP   FM Clip"},
    {177, "Clipped, 17476000 bit/s"},
    {57, "Phone #4 :"},
    {57, "Ethernet :"},
    // State group: captions and texts.
    {70, "Multiplexer :"},
    {70, "BitRate P2 :"},
    {90, "-2147483648 bit/s"},
    {90, "255.255.15151515"},
    {90, "DTE RS-232/V.24"},
    {90, " 50,4 External"},
    // Statistics group: captions and texts.
    {78, "RxErr packets :"},
    {82, "24854 d 23:59:59"},
    {82, "-2.147.483.648"},
    // Indicator labels: VX-IP group, E1 group (left column), Port 2 group.
    {87, "Network Interface"},
    {87, "Network interface"},
    {34, "LOF"},
    {31, "DCD"},
    // Tool bar, status pane and buttons.
    {230, "Connect to remote KM-7-TL"},
    {337, " No answer from local mux or firmware is loading!"},
    {80, "Disconnect"},
    // Update window: captions, the three sunken lines (less their frame
    // and indent) and the Update button.
    {55, "Messages :"},
    {262, " km7tl_1ch_v3_12_b0105.tqm - CRC16: 0xFFFF"},
    {280, " PCB ver 255.1515, SW ver 255.255.15151515"},
    {280, " SW 255.255.xx can't be load into 255.xx KM-7-TL !"},
    {280, " KM-7-TL software has been written successfully."},
    {280, " Attempting to write KM-7-TL software................"},
    {280, " FLASH erasing ..............................."},
    {42, "Update"},
};

// The lowest label is 15 pixels high inside.
constexpr int kRowHeight = 15;

// Families in order of preference: the layout's own font and its
// successors, then condensed and normal sans serifs of Debian's font
// packages, and last the system's sans serif.
const char* const kFamilies[] = {"MS Sans Serif",          "Microsoft Sans Serif", "Tahoma",
                                 "DejaVu Sans Condensed",  "Liberation Sans",      "Arimo",
                                 "Liberation Sans Narrow", "Nimbus Sans Narrow",   "Arial Narrow",
                                 "DejaVu Sans",            "Nimbus Sans",          "Sans Serif"};

constexpr int kLargest = 11;
constexpr int kSmallest = 8;

QFont MakeFont(const QString& family, int pixels)
{
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    return f;
}

// Every longest text fits with one pixel to spare, against rounding and
// hinting that differ from one screen to another.
bool FitsEverywhere(const QFont& f)
{
    const QFontMetricsF fm(f);
    if (QFontMetrics(f).height() > kRowHeight)
        return false;
    for (const Place& p : kPlaces)
        if (fm.horizontalAdvance(QString::fromLatin1(p.text)) > p.room - 1)
            return false;
    return true;
}

} // namespace

std::optional<QFont> FitUiFont(const QString& family)
{
    for (int px = kLargest; px >= kSmallest; --px) {
        QFont f = MakeFont(family, px);
        if (FitsEverywhere(f))
            return f;
    }
    return std::nullopt;
}

QFont UiFont()
{
    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const char* name : kFamilies)
        if (installed.contains(QString::fromLatin1(name), Qt::CaseInsensitive))
            families << QString::fromLatin1(name);
    if (!families.contains("Sans Serif", Qt::CaseInsensitive))
        families << "Sans Serif";
    for (int px = kLargest; px >= kSmallest; --px)
        for (const QString& family : families) {
            QFont f = MakeFont(family, px);
            if (FitsEverywhere(f))
                return f;
        }
    return MakeFont("Sans Serif", kSmallest);
}
