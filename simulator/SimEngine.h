// The simulator's protocol side: takes the bytes the tool sends, finds the
// request frames, lets the local or the remote device answer and applies
// the injected faults.
#pragma once

#include "simulator/SimDevice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace km7sim {

struct Fault {
    enum Kind { Silent, Garbage, BadCrc, Short, Slow, Error, ErrorNoData, Chatter } kind = Silent;
    int param = 0;  // garbage bytes, delay in ms, error code
    int code = -1;  // only requests with this code; -1 every request
    int count = -1; // how many requests it hits; -1 all
    int skip = 0;   // matching requests let through before it starts
};

// Parses "kind[,param=N][,code=N][,count=N][,skip=N]"; kinds: silent, garbage,
// badcrc, short, slow, error, error-nodata, chatter (from the first request
// it hits on, the port sends bytes without end and answers nothing).
std::optional<Fault> ParseFault(const std::string& text);

struct Chunk {
    int delayMs = 0;
    std::vector<std::uint8_t> bytes;
};

struct ScriptStep {
    unsigned atIdent = 0; // applied when the local device gets this identification request
    bool remote = false;
    std::vector<std::pair<std::string, std::string>> settings;
};

// Reads script lines "N key=value ..." ("N remote key=value ..." for the
// remote device); '#' starts a comment. Returns an error text or empty.
std::string ParseScript(const std::string& text, std::vector<ScriptStep>& steps);

class SimEngine {
public:
    SimDevice local;
    std::optional<SimDevice> remote = SimDevice();
    std::vector<Fault> faults;
    std::vector<ScriptStep> script;
    bool animate = false;

    // Feeds received bytes; returns what to send back, in order.
    std::vector<Chunk> Feed(const std::uint8_t* data, std::size_t size);

    unsigned requests() const { return requests_; }
    // A chatter fault has struck: the main loop keeps the line full of bytes.
    bool chattering = false;
    std::vector<std::uint8_t> lastCodes; // codes of the requests seen, for the log
    std::vector<std::vector<std::uint8_t>> lastPayloads; // their payloads

private:
    std::vector<Chunk> Answer(std::uint8_t code, const std::vector<std::uint8_t>& payload);
    void ApplyScript();

    std::vector<std::uint8_t> buffer_;
    bool remoteOpen_ = false;
    unsigned requests_ = 0;
    std::size_t scriptPos_ = 0;
};

} // namespace km7sim
