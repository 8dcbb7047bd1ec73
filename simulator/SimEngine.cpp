#include "simulator/SimEngine.h"

#include "link/Frame.h"

#include <cstdlib>
#include <sstream>

namespace km7sim {

std::optional<Fault> ParseFault(const std::string& text)
{
    std::stringstream ss(text);
    std::string part;
    std::getline(ss, part, ',');
    Fault f;
    if (part == "silent") f.kind = Fault::Silent;
    else if (part == "garbage") { f.kind = Fault::Garbage; f.param = 6; }
    else if (part == "badcrc") f.kind = Fault::BadCrc;
    else if (part == "short") f.kind = Fault::Short;
    else if (part == "slow") { f.kind = Fault::Slow; f.param = 500; }
    else if (part == "error") { f.kind = Fault::Error; f.param = 11; }
    else if (part == "error-nodata") f.kind = Fault::ErrorNoData;
    else if (part == "chatter") f.kind = Fault::Chatter;
    else
        return std::nullopt;
    while (std::getline(ss, part, ',')) {
        const auto eq = part.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        const std::string key = part.substr(0, eq);
        char* end = nullptr;
        const long v = std::strtol(part.c_str() + eq + 1, &end, 0);
        if (!end || *end)
            return std::nullopt;
        if (key == "param") f.param = static_cast<int>(v);
        else if (key == "code") f.code = static_cast<int>(v);
        else if (key == "count") f.count = static_cast<int>(v);
        else if (key == "skip") f.skip = static_cast<int>(v);
        else
            return std::nullopt;
    }
    return f;
}

std::string ParseScript(const std::string& text, std::vector<ScriptStep>& steps)
{
    std::stringstream lines(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::stringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        char* end = nullptr;
        ScriptStep step;
        step.atIdent = static_cast<unsigned>(std::strtoul(word.c_str(), &end, 10));
        if (!end || *end)
            return "line " + std::to_string(lineNo) + ": expected a request number";
        while (words >> word) {
            if (word == "remote") {
                step.remote = true;
                continue;
            }
            const auto eq = word.find('=');
            if (eq == std::string::npos)
                return "line " + std::to_string(lineNo) + ": expected key=value, got " + word;
            step.settings.emplace_back(word.substr(0, eq), word.substr(eq + 1));
        }
        steps.push_back(std::move(step));
    }
    return {};
}

std::vector<Chunk> SimEngine::Feed(const std::uint8_t* data, std::size_t size)
{
    buffer_.insert(buffer_.end(), data, data + size);
    std::vector<Chunk> out;
    for (;;) {
        // Drop everything before a frame start (a lone E5 at the end may be
        // the first half of one).
        std::size_t start = 0;
        while (start < buffer_.size() &&
               !(buffer_[start] == km7::kFrameStart &&
                 (start + 1 == buffer_.size() || buffer_[start + 1] == km7::kFrameStart)))
            ++start;
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));
        if (buffer_.size() < 4)
            break;
        const std::size_t total = buffer_[2] + km7::kFrameOverhead;
        if (buffer_.size() < total)
            break;
        const auto frame = km7::ParseFrame(buffer_.data(), total);
        if (!frame.ok) {
            buffer_.erase(buffer_.begin()); // not a frame after all: look further on
            continue;
        }
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
        ++requests_;
        lastCodes.push_back(frame.code);
        lastPayloads.push_back(frame.data);
        auto chunks = Answer(frame.code, frame.data);
        out.insert(out.end(), chunks.begin(), chunks.end());
    }
    return out;
}

void SimEngine::ApplyScript()
{
    while (scriptPos_ < script.size() && script[scriptPos_].atIdent <= local.identRequests() + 1) {
        const ScriptStep& step = script[scriptPos_++];
        SimDevice* dev = step.remote ? (remote ? &*remote : nullptr) : &local;
        if (!dev)
            continue;
        for (const auto& [k, v] : step.settings)
            dev->Set(k, v);
    }
}

std::vector<Chunk> SimEngine::Answer(std::uint8_t code, const std::vector<std::uint8_t>& payload)
{
    if (code == 11)
        ApplyScript();
    if (animate && code == 11)
        local.Animate();

    // Which fault, if any, hits this request.
    const Fault* fault = nullptr;
    for (auto& f : faults) {
        if (f.count == 0 || (f.code >= 0 && f.code != code))
            continue;
        if (f.skip > 0) {
            --f.skip;
            continue;
        }
        if (f.count > 0)
            --f.count;
        fault = &f;
        break;
    }
    if (fault && fault->kind == Fault::Chatter)
        chattering = true;
    if (chattering || (fault && fault->kind == Fault::Silent))
        return {};

    km7sim::Answer answer;
    bool silent = false;
    if (code >= 10 && code <= 22) {
        answer = local.Handle(code, code, payload);
    } else if (code == 30) {
        if (!remote)
            silent = true;
        else
            remoteOpen_ = true;
        answer = {30, {}};
    } else if (code == 31) {
        remoteOpen_ = false;
        answer = {31, {}};
    } else if (code >= 32 && code <= 39) {
        if (!remote) {
            silent = true;
        } else if (!remoteOpen_) {
            answer = {255, {11}}; // the way to the remote device is not open (command 30)
        } else {
            const std::uint8_t localCode = code == 38 ? 20 : code == 39 ? 21 : static_cast<std::uint8_t>(code - 22);
            answer = remote->Handle(localCode, code, payload);
        }
    } else {
        answer = {255, {11}};
    }
    if (silent)
        return {};

    if (fault && fault->kind == Fault::Error)
        answer = {255, {static_cast<std::uint8_t>(fault->param)}};
    if (fault && fault->kind == Fault::ErrorNoData)
        answer = {255, {}};

    Chunk chunk;
    chunk.bytes = km7::BuildFrame(answer.code, answer.data.data(), answer.data.size());
    if (fault) {
        switch (fault->kind) {
        case Fault::Garbage: {
            std::vector<std::uint8_t> junk;
            for (int i = 0; i < fault->param; ++i)
                junk.push_back(static_cast<std::uint8_t>(0x11 * (i % 13) + 1));
            chunk.bytes.insert(chunk.bytes.begin(), junk.begin(), junk.end());
            break;
        }
        case Fault::BadCrc: {
            auto& hi = chunk.bytes[chunk.bytes.size() - 2];
            auto& lo = chunk.bytes[chunk.bytes.size() - 1];
            if (hi == lo)
                lo ^= 0x01; // swapping equal bytes would leave the CRC right
            std::swap(hi, lo);
            break;
        }
        case Fault::Short:
            chunk.bytes.resize(chunk.bytes.size() > 3 ? chunk.bytes.size() - 3 : 1);
            break;
        case Fault::Slow:
            chunk.delayMs = fault->param;
            break;
        default:
            break;
        }
    }
    return {chunk};
}

} // namespace km7sim
