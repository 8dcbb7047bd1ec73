// Window placements kept in the settings file, one section per window.
#pragma once

#include <QWidget>

#include <string>

namespace km7 {

// Moves and sizes `w` from `section`; a corner that lies on no screen puts
// the window at (0, 0).
void RestorePlacement(QWidget* w, const std::string& settingsPath, const std::string& section, bool resizable);
void SavePlacement(const QWidget* w, const std::string& settingsPath, const std::string& section, bool resizable);

} // namespace km7
