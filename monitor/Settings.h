// The program settings: section "Settings" of the INI file beside the
// executable, and the window placement sections.
#pragma once

#include <cstdint>
#include <string>

namespace km7 {

constexpr const char* kVersionString = "KM-7-TL_v2.09";
constexpr const char* kSettingsSection = "Settings";

// Where the settings file lives: beside the executable, named after it with
// ".ini"; when that folder is not writable, in the user's configuration
// folder ($XDG_CONFIG_HOME or ~/.config, subfolder km7tl).
std::string SettingsPathFor(const std::string& executablePath);

struct MainSettings {
    std::uint8_t savedDeviceType = 0; // FMTMode / 7
    int statInterval = 1000;
    int loopInterval = 1000;
    std::string comPort = "COM1";
    bool logEnabled = false;
};

MainSettings ReadMainSettings(const std::string& path);

// What FormCloseQuery writes. `deviceType` is the code identified in this
// run (0 when none).
bool WriteMainSettings(const std::string& path, const MainSettings& read, std::uint8_t deviceType,
                       const std::string& selectedPort);

// Name of a device type code as stored in VORXType.
const char* DeviceTypeName(std::uint8_t code);

struct WindowPlacement {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool maximized = false;
};

// Reads the placement of `section`; every missing key keeps the value of
// `current`. Right/Bottom are read only for resizable windows.
WindowPlacement ReadPlacement(const std::string& path, const std::string& section, bool resizable,
                              const WindowPlacement& current);
bool WritePlacement(const std::string& path, const std::string& section, bool resizable, const WindowPlacement& p);

} // namespace km7
