// km7ctl's exit statuses and the messages it prints for failures.
#pragma once

#include "session/DeviceSession.h"

#include <cstdint>
#include <string>
#include <vector>

namespace km7ctl {

enum ExitStatus : int {
    kSuccess = 0,
    kDeviceError = 1,  // the device answered with an error response
    kUsage = 2,        // wrong command line
    kCannotOpen = 3,   // the port or the serial library cannot be opened
    kNoAnswer = 4,     // the device did not answer
    kInterrupted = 130 // SIGINT or SIGTERM ended a command before it was done
};

// The exit status for a request's result code: 0 success, 12 no answer,
// anything else an error response.
int ExitForResult(std::uint8_t result);

// A device text without the blank it starts with.
std::string WithoutLeadingBlank(const std::string& text);

// What to tell the operator when the port could not be opened: which port
// and why, with what to do about it. `detail` is the session's text,
// `listed` the present ports.
std::string PortProblemMessage(km7::PortProblem problem, const std::string& detail, const std::string& port,
                               const std::vector<std::string>& listed);

} // namespace km7ctl
