// The one font of the program's windows. Their layouts are fixed pixel
// places drawn for an 8-point "MS Sans Serif" (11 pixels high); where that
// font is missing, a stand-in is chosen by measuring the longest texts the
// windows show against their places.
#pragma once

#include <QFont>
#include <QString>

#include <optional>

// The first font, largest pixel size first (11 down to 8) and then in the
// order of preference of the families, in which every longest text fits
// its place. When no installed family fits even at
// 8 pixels, the system's sans serif at 8 pixels.
QFont UiFont();

// `family` at the largest pixel size, 11 down to 8, at which every longest
// text fits its place; none when it does not fit even at 8 pixels.
std::optional<QFont> FitUiFont(const QString& family);
