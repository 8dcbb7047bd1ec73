#include "monitor/Settings.h"

#include "cfgfile/IniStore.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace km7 {

namespace fs = std::filesystem;

std::string SettingsPathFor(const std::string& executablePath)
{
    const fs::path exe(executablePath);
    const fs::path name = exe.filename().replace_extension(".ini");
    const fs::path dir = exe.parent_path().empty() ? fs::path(".") : exe.parent_path();
    const fs::path beside = dir / name;
    std::error_code ec;
    // Any file of that name counts, read-only or a link (even a dangling one).
    if (fs::exists(fs::symlink_status(beside, ec)) || ::access(dir.c_str(), W_OK) == 0)
        return beside.string();
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = fs::path(home) / ".config";
    else
        return beside.string();
    config /= "km7tl";
    fs::create_directories(config, ec);
    return (config / name).string();
}

MainSettings ReadMainSettings(const std::string& path)
{
    IniFile ini(path);
    ini.Load();
    auto integer = [&](const char* key, long def) { return ini.GetInteger(kSettingsSection, key, def); };
    MainSettings s;
    s.savedDeviceType = static_cast<std::uint8_t>((integer("FMTMode", 0) / 7) & 0xFF);
    s.statInterval = static_cast<int>(integer("StatInterval", 1000));
    s.loopInterval = static_cast<int>(integer("LoopInterval", 1000));
    s.comPort = ini.GetString(kSettingsSection, "COMPort", "COM1");
    std::string log = ini.GetString(kSettingsSection, "CreateLogFile", "no");
    std::transform(log.begin(), log.end(), log.begin(), [](unsigned char c) { return std::tolower(c); });
    s.logEnabled = log == "yes";
    return s;
}

int BoundedPollPeriod(int ms)
{
    return std::clamp(ms, kMinPollPeriodMs, kMaxPollPeriodMs);
}

namespace {

bool Save(const IniFile& ini, std::string* error)
{
    if (ini.Save())
        return true;
    if (error)
        *error = ini.error();
    return false;
}

} // namespace

bool WriteMainSettings(const std::string& path, const MainSettings& read, std::uint8_t deviceType,
                       const std::string& selectedPort, std::string* error)
{
    IniFile ini(path);
    ini.Load(); // an unreadable file makes Save fail with the reason
    const int type = deviceType != 0 ? deviceType : read.savedDeviceType;
    ini.Set(kSettingsSection, "StatInterval", std::to_string(read.statInterval));
    ini.Set(kSettingsSection, "LoopInterval", std::to_string(read.loopInterval));
    ini.Set(kSettingsSection, "CreateLogFile", read.logEnabled ? "yes" : "no");
    ini.Set(kSettingsSection, "FMTMode", std::to_string(7 * type));
    if (!selectedPort.empty())
        ini.Set(kSettingsSection, "COMPort", selectedPort);
    return Save(ini, error);
}

const char* DeviceTypeName(std::uint8_t code)
{
    switch (code) {
    case 1: return "MUX_TYPE_OLD";
    case 2: return "MUX_TYPE_3ch";
    case 3: return "MUX_TYPE_1ch";
    case 4: return "MUX_TYPE_2ch";
    default: return "MUX_TYPE_UNKNOWN";
    }
}

WindowPlacement ReadPlacement(const std::string& path, const std::string& section, bool resizable,
                              const WindowPlacement& current)
{
    IniFile ini(path);
    ini.Load();
    auto integer = [&](const char* key, int def) { return static_cast<int>(ini.GetInteger(section, key, def)); };
    WindowPlacement p = current;
    p.left = integer("Left", current.left);
    p.top = integer("Top", current.top);
    if (resizable) {
        p.right = integer("Right", current.right);
        p.bottom = integer("Bottom", current.bottom);
    } else {
        // A fixed-size window keeps its size wherever it goes.
        p.right = p.left + (current.right - current.left);
        p.bottom = p.top + (current.bottom - current.top);
    }
    p.maximized = integer("Maximized", current.maximized ? 1 : 0) == 1;
    return p;
}

bool WritePlacement(const std::string& path, const std::string& section, bool resizable, const WindowPlacement& p,
                    std::string* error)
{
    IniFile ini(path);
    ini.Load(); // an unreadable file makes Save fail with the reason
    ini.Set(section, "Left", std::to_string(p.left));
    ini.Set(section, "Top", std::to_string(p.top));
    if (resizable) {
        ini.Set(section, "Right", std::to_string(p.right));
        ini.Set(section, "Bottom", std::to_string(p.bottom));
    }
    ini.Set(section, "Maximized", p.maximized ? "1" : "0");
    ini.Set(section, "Saved", "1");
    return Save(ini, error);
}

} // namespace km7
