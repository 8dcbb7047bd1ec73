// What km7ctl prints about a device: the texts, colours and indicators of
// the main window, as "label : text" lines or as one JSON object. Plain
// functions over the session's MonitorDisplay.
#pragma once

#include "monitor/Decoders.h"

#include <nlohmann/json.hpp>

#include <string>

namespace km7ctl {

// The colour's name in km7ctl's output: "red", "green", "lime", "teal",
// "blue", "windowtext" or "buttonface".
const char* ColourName(km7::Colour c);

// The indicator groups the main window shows for a display: the E1 group
// when the block's line interface is E1, else the Port 2 group; the VX-IP
// group when the Port 1 module is an IP module.
bool ShowsE1Group(const km7::MonitorDisplay& d);

// Every text of the State, Statistics and Channels groups with the window's
// own labels ("Multiplexer : KM-7-TL-1"), then one line per shown indicator
// group ("E1 : LOF green, LOS lime, ..."). Each line ends with '\n'.
std::string PlainStatus(const km7::MonitorDisplay& d);

// The same as one object: the control names without prefix ("Mux",
// "BitRatePx", ...) to {"text", "colour"}, "channels" (rows with "name",
// "text", "colour", "transit" (null when hidden) and "priority"),
// "indicators" (indicator name to colour name, shown groups only) and, with
// the VX-IP group shown, "labels" (its indicator name to the label text).
nlohmann::ordered_json JsonStatus(const km7::MonitorDisplay& d);

// `JsonStatus` on one line, without throwing on any text.
std::string JsonLine(const km7::MonitorDisplay& d);

} // namespace km7ctl
