// The PC's serial ports: real ports that have a driver (ttyS*, ttyUSB*,
// ttyACM*, ...) shown by their short device name and opened as /dev/<name>,
// plus the ports that running device simulators announce as symlinks in a
// per-user folder.
#pragma once

#include <string>
#include <vector>

namespace km7 {

// The folder where simulators announce their ports:
// $XDG_RUNTIME_DIR/km7tl-ports, or /tmp/km7tl-ports-<uid> without it.
std::string AnnounceFolder();

// Sorts: shorter names first, equal lengths by the locale's collation.
void SortPortNames(std::vector<std::string>& names);

struct PortCatalog {
    std::string announceFolder;
    std::string sysClassTty = "/sys/class/tty";
    std::string devFolder = "/dev";

    // Names of the present ports, sorted.
    std::vector<std::string> Enumerate() const;
    // The device path to open for a listed name (an announced port wins).
    std::string PathFor(const std::string& name) const;
};

} // namespace km7
