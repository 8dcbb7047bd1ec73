#include "km7ctl/Outcome.h"

namespace km7ctl {

int ExitForResult(std::uint8_t result)
{
    if (result == 0)
        return kSuccess;
    return result == 12 ? kNoAnswer : kDeviceError;
}

std::string WithoutLeadingBlank(const std::string& text)
{
    return !text.empty() && text.front() == ' ' ? text.substr(1) : text;
}

std::string PortProblemMessage(km7::PortProblem problem, const std::string& detail, const std::string& port,
                               const std::vector<std::string>& listed)
{
    using km7::PortProblem;
    std::string text = detail;
    if (text.empty()) {
        switch (problem) {
        case PortProblem::None: return {};
        case PortProblem::NoLibrary: text = "the serial library cannot be loaded"; break;
        case PortProblem::NoPort: text = "no serial port is chosen"; break;
        case PortProblem::Missing: text = "port " + port + " does not exist"; break;
        case PortProblem::PermissionDenied: text = "permission denied on port " + port; break;
        case PortProblem::Busy: text = "port " + port + " is busy: another program uses it"; break;
        case PortProblem::OpenFailed: text = "port " + port + " cannot be opened"; break;
        }
    }
    if (problem == PortProblem::Missing || problem == PortProblem::NoPort) {
        std::string present;
        for (const auto& name : listed)
            present += (present.empty() ? "" : ", ") + name;
        text += present.empty() ? "; no serial ports were found" : "; present ports: " + present + " (choose one with -p)";
    }
    if (problem == PortProblem::PermissionDenied && text.find("dialout") == std::string::npos)
        text += "; join the group that owns the port (usually 'dialout': sudo usermod -aG dialout $USER) and log in again";
    return text;
}

} // namespace km7ctl
