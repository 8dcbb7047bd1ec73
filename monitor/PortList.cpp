#include "monitor/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace km7 {

namespace fs = std::filesystem;

std::string AnnounceFolder()
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run && ::access(run, W_OK) == 0)
        return (fs::path(run) / "km7tl-ports").string();
    return "/tmp/km7tl-ports-" + std::to_string(::getuid());
}

void SortPortNames(std::vector<std::string>& names)
{
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        if (a.size() != b.size())
            return a.size() < b.size();
        return std::strcoll(a.c_str(), b.c_str()) < 0;
    });
}

namespace {

// A legacy 8250 driver registers ports that have no hardware behind them;
// sysfs gives those the port type 0 ("unknown"). Read from sysfs rather than
// by opening the device, which would wiggle the modem lines of a real port.
bool LegacyPortPresent(const fs::path& sysEntry)
{
    std::ifstream type(sysEntry / "type");
    int value = -1;
    if (!(type >> value))
        return true; // no type attribute: trust the driver link
    return value != 0;
}

bool IsSerialName(const std::string& n)
{
    static const char* const prefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB", "ttyMXU", "rfcomm"};
    for (const char* p : prefixes)
        if (n.rfind(p, 0) == 0)
            return true;
    return false;
}

} // namespace

std::vector<std::string> PortCatalog::Enumerate() const
{
    std::set<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsSerialName(name))
            continue;
        if (!fs::exists(it->path() / "device" / "driver", ec))
            continue;
        const std::string dev = (fs::path(devFolder) / name).string();
        if (!fs::exists(dev, ec))
            continue;
        std::error_code ec2;
        const std::string driver = fs::read_symlink(it->path() / "device" / "driver", ec2).filename().string();
        if (driver == "serial8250" && !LegacyPortPresent(it->path()))
            continue;
        found.insert(name);
    }
    if (!announceFolder.empty()) {
        for (fs::directory_iterator it(announceFolder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code ec2;
            if (fs::exists(it->path(), ec2)) // a dangling link is a simulator that has gone
                found.insert(it->path().filename().string());
        }
    }
    std::vector<std::string> names(found.begin(), found.end());
    SortPortNames(names);
    return names;
}

std::string PortCatalog::PathFor(const std::string& name) const
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return {}; // never a path outside the two folders
    if (!announceFolder.empty()) {
        const fs::path link = fs::path(announceFolder) / name;
        std::error_code ec;
        if (fs::exists(link, ec))
            return link.string();
    }
    return (fs::path(devFolder) / name).string();
}

} // namespace km7
