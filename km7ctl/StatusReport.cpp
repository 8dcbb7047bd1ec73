#include "km7ctl/StatusReport.h"

#include <array>
#include <utility>

namespace km7ctl {

namespace {

using km7::Colour;
using km7::ColouredText;
using km7::MonitorDisplay;

constexpr std::array<const char*, 8> kE1Names = {"LOF", "LOS", "RA", "AI", "LOT", "E", "CRC", "CV"};
constexpr std::array<const char*, 5> kPort2Names = {"DTR", "DSR", "RTS", "CTS", "DCD"};

// The State and Statistics texts in the window's order: label, JSON key, text.
struct TextField {
    const char* label;
    const char* key;
    const ColouredText MonitorDisplay::*text;
};
constexpr std::array<TextField, 13> kTextFields = {{
    {"Multiplexer :", "Mux", &MonitorDisplay::mux},
    {"Version :", "Version", &MonitorDisplay::version},
    {"State :", "State", &MonitorDisplay::state},
    {"Interface :", "Interface", &MonitorDisplay::interface},
    {"Cable :", "Cable", &MonitorDisplay::cable},
    {"Modules :", "Modules", &MonitorDisplay::modules},
    {"BitRate P2 :", "BitRatePx", &MonitorDisplay::bitRatePx},
    {"Occupied :", "BitRateOccupied", &MonitorDisplay::occupied},
    {"Free :", "BitRateFree", &MonitorDisplay::freeRate},
    {"Full time :", "FillTime", &MonitorDisplay::fillTime},
    {"Curr. time :", "CurrTime", &MonitorDisplay::currTime},
    {"RxOK packets :", "PacketsRxOK", &MonitorDisplay::rxOk},
    {"RxErr packets :", "PacketsRxErr", &MonitorDisplay::rxErr},
}};

// One channel row as the window shows it: name, info, transit when shown,
// priority.
struct Row {
    std::string name;
    const ColouredText* info;
    const ColouredText* transit; // null when hidden
    const std::string* priority;
};

std::vector<Row> Rows(const MonitorDisplay& d)
{
    std::vector<Row> rows;
    const auto& c = d.channels;
    for (std::size_t i = 0; i < c.phone.size(); ++i)
        rows.push_back({"Phone #" + std::to_string(i + 1), &c.phone[i].info,
                        c.phone[i].transitVisible ? &c.phone[i].transit : nullptr, &c.phone[i].priority});
    for (std::size_t i = 0; i < c.data.size(); ++i)
        rows.push_back({"Data #" + std::to_string(i + 1), &c.data[i].info,
                        c.data[i].transitVisible ? &c.data[i].transit : nullptr, &c.data[i].priority});
    rows.push_back({"Ethernet", &c.ethernet, nullptr, &c.ethernetPri});
    return rows;
}

// The VX-IP indicators in the window's order with their names.
std::array<std::pair<const char*, const km7::Indicator*>, 5> VxIpIndicators(const MonitorDisplay& d)
{
    return {{{"State", &d.vxip.state}, {"N1", &d.vxip.n1}, {"N2", &d.vxip.n2}, {"N3", &d.vxip.n3},
             {"N4", &d.vxip.n4}}};
}

nlohmann::ordered_json Coloured(const ColouredText& t)
{
    nlohmann::ordered_json j;
    j["text"] = t.text;
    j["colour"] = ColourName(t.colour);
    return j;
}

void PadTo(std::string& s, std::size_t width)
{
    s.append(s.size() + 2 > width ? 2 : width - s.size(), ' ');
}

void TrimRight(std::string& s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
}

} // namespace

const char* ColourName(Colour c)
{
    switch (c) {
    case Colour::WindowText: return "windowtext";
    case Colour::Red: return "red";
    case Colour::Green: return "green";
    case Colour::Lime: return "lime";
    case Colour::Teal: return "teal";
    case Colour::Blue: return "blue";
    case Colour::ButtonFace: return "buttonface";
    }
    return "unknown";
}

bool ShowsE1Group(const MonitorDisplay& d)
{
    return d.block.liType() == 1;
}

std::string PlainStatus(const MonitorDisplay& d)
{
    std::string out;
    for (const auto& f : kTextFields)
        out += std::string(f.label) + " " + (d.*f.text).text + "\n";

    // The channel rows in columns, as the window lines them up.
    constexpr std::size_t kInfoEnd = 37, kTransitWidth = 14;
    for (const Row& r : Rows(d)) {
        std::string line = r.name + " : " + r.info->text;
        PadTo(line, kInfoEnd);
        if (r.transit) {
            std::string transit = r.transit->text;
            PadTo(transit, kTransitWidth);
            line += transit;
        }
        line += *r.priority;
        TrimRight(line);
        out += line + "\n";
    }

    auto group = [&out](const char* caption, const auto& entries) {
        std::string line = std::string(caption) + " :";
        const char* sep = " ";
        for (const auto& [name, colour] : entries) {
            line += sep + name + " " + ColourName(colour);
            sep = ", ";
        }
        out += line + "\n";
    };
    std::vector<std::pair<std::string, Colour>> entries;
    if (ShowsE1Group(d)) {
        for (std::size_t i = 0; i < kE1Names.size(); ++i)
            entries.emplace_back(kE1Names[i], d.e1[i]);
        group("E1", entries);
    } else {
        for (std::size_t i = 0; i < kPort2Names.size(); ++i)
            entries.emplace_back(kPort2Names[i], d.p2[i]);
        group("Port 2", entries);
    }
    if (d.vxipVisible) {
        entries.clear();
        for (const auto& [name, ind] : VxIpIndicators(d))
            if (ind->visible)
                entries.emplace_back(ind->label, ind->colour);
        group("VX-IP", entries);
    }
    return out;
}

nlohmann::ordered_json JsonStatus(const MonitorDisplay& d)
{
    nlohmann::ordered_json j;
    for (const auto& f : kTextFields)
        j[f.key] = Coloured(d.*f.text);

    auto channels = nlohmann::ordered_json::array();
    for (const Row& r : Rows(d)) {
        nlohmann::ordered_json row;
        row["name"] = r.name;
        row["text"] = r.info->text;
        row["colour"] = ColourName(r.info->colour);
        row["transit"] = r.transit ? Coloured(*r.transit) : nlohmann::ordered_json(nullptr);
        row["priority"] = *r.priority;
        channels.push_back(std::move(row));
    }
    j["channels"] = std::move(channels);

    auto indicators = nlohmann::ordered_json::object();
    if (ShowsE1Group(d)) {
        for (std::size_t i = 0; i < kE1Names.size(); ++i)
            indicators[kE1Names[i]] = ColourName(d.e1[i]);
    } else {
        for (std::size_t i = 0; i < kPort2Names.size(); ++i)
            indicators[kPort2Names[i]] = ColourName(d.p2[i]);
    }
    if (d.vxipVisible) {
        auto labels = nlohmann::ordered_json::object();
        for (const auto& [name, ind] : VxIpIndicators(d)) {
            if (!ind->visible)
                continue;
            indicators[name] = ColourName(ind->colour);
            labels[name] = ind->label;
        }
        j["indicators"] = std::move(indicators);
        j["labels"] = std::move(labels);
    } else {
        j["indicators"] = std::move(indicators);
    }
    return j;
}

std::string JsonLine(const MonitorDisplay& d)
{
    return JsonStatus(d).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace km7ctl
