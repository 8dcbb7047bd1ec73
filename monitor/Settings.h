// The program settings: section "Settings" of the INI file beside the
// executable, and the window placement sections.
#pragma once

#include <cstdint>
#include <string>

namespace km7 {

constexpr const char* kVersionString = "KM-7-TL_v2.09";
constexpr const char* kSettingsSection = "Settings";

// Where the settings file lives: beside the executable, named after it with
// ".ini", whenever such a file exists there (also when it is read-only: it
// is then read, and writes to it fail with an error text). Only when there
// is no such file and the executable's folder is not writable, the file of
// that name in the user's configuration folder ($XDG_CONFIG_HOME or
// ~/.config, subfolder km7tl) is used.
std::string SettingsPathFor(const std::string& executablePath);

// The polls run at most this often and at least this seldom, whatever the
// settings file says.
constexpr int kMinPollPeriodMs = 100;
constexpr int kMaxPollPeriodMs = 3600000;

// `ms` brought into kMinPollPeriodMs .. kMaxPollPeriodMs.
int BoundedPollPeriod(int ms);

struct MainSettings {
    std::uint8_t savedDeviceType = 0; // FMTMode / 7
    int statInterval = 1000;          // as read; written back unchanged
    int loopInterval = 1000;          // as read; written back unchanged
    std::string comPort = "COM1";
    bool logEnabled = false;

    // The periods the poll timers run at.
    int StatPeriodMs() const { return BoundedPollPeriod(statInterval); }
    int LoopPeriodMs() const { return BoundedPollPeriod(loopInterval); }
};

MainSettings ReadMainSettings(const std::string& path);

// What FormCloseQuery writes. `deviceType` is the code identified in this
// run (0 when none). An empty `selectedPort` (no port listed) leaves the
// stored COMPort as it is. On failure returns false and, when `error` is
// given, puts there a text naming the file and the reason.
bool WriteMainSettings(const std::string& path, const MainSettings& read, std::uint8_t deviceType,
                       const std::string& selectedPort, std::string* error = nullptr);

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
// False on failure, with the reason in `error` when given.
bool WritePlacement(const std::string& path, const std::string& section, bool resizable, const WindowPlacement& p,
                    std::string* error = nullptr);

} // namespace km7
